#include "export_job.h"

#include <QMetaObject>
#include <exception>
#include <new>

#include "deep/deep_drawing.h"
#include "deep/deep_outputs.h"
#include "deep/deep_picture_colours.h"

namespace mandel_ui {

ExportJob::ExportJob(QObject* parent) : QObject(parent) {}

ExportJob::~ExportJob() {
    cancel();
    if (worker_.joinable()) worker_.join();
}

bool ExportJob::start(const ExportRequest& request) {
    if (isRunning()) return false;
    cancelled_ = false;
    worker_ = std::thread([this, request] {
        const ExportOutcome outcome = run(request);
        // The file is complete or gone by now; the result goes to the job's own thread.
        QMetaObject::invokeMethod(
            this, [this, outcome] { finishOnOwnThread(outcome); }, Qt::QueuedConnection);
    });
    return true;
}

ExportOutcome ExportJob::run(const ExportRequest& request) {
    ExportOutcome outcome{ExportOutcome::Kind::Failed, request.path, QString()};
    try {
        // The deep engine draws the region the texts name at every size;
        // single precision would not show it at large sizes.
        const mandel::DeepView view = exportedView(request);
        mandel::Colouring colouring = request.explorer ? request.explorer->colouring : mandel::Colouring{};
        // A count map holds each pixel's own sample: more samples would change nothing in it.
        const bool countMap = exportFormatForPath(request.path) == ExportFormat::CountMap;
        colouring.supersample =
            countMap ? 1 : mandel::supersampleWithin(colouring.supersample, view.width, view.height);
        mandel::DeepDrawing drawing(mandel::sampleView(view, colouring.supersample));
        const std::string path = request.path.toStdString();
        mandel::DeepOutputPaths paths;
        switch (exportFormatForPath(request.path)) {
            case ExportFormat::CountMap: paths.counts = path; break;
            case ExportFormat::Bmp: paths.bmp = path; break;
            case ExportFormat::Png: paths.png = path; break;
        }
        mandel::DeepPictureOptions options;
        options.base = exportedBase(request);
        options.colouring = colouring;
        options.compute.cancel = &cancelled_;
        options.compute.progress = [this](const mandel::DeepProgress& p) {
            const int done = static_cast<int>(p.rowsDone);
            const int total = static_cast<int>(p.rowsTotal);
            QMetaObject::invokeMethod(
                this, [this, done, total] { emit progressed(done, total); }, Qt::QueuedConnection);
            return !cancelled_;
        };
        const bool completed =
            mandel::drawDeepOutputs(drawing, {view, exportedBase(request), colouring}, paths, options).completed;
        outcome.kind = completed ? ExportOutcome::Kind::Completed : ExportOutcome::Kind::Cancelled;
    } catch (const std::bad_alloc&) {
        outcome.error = QStringLiteral("out of memory");
    } catch (const std::exception& error) {
        outcome.error = QString::fromStdString(error.what());
    }
    return outcome;
}

void ExportJob::finishOnOwnThread(const ExportOutcome& outcome) {
    if (worker_.joinable()) worker_.join();
    emit finished(outcome);
}

}  // namespace mandel_ui
