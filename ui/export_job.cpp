#include "export_job.h"

#include <QMetaObject>
#include <exception>
#include <memory>
#include <new>
#include <vector>

#include "deep/deep_drawing.h"
#include "deep/deep_picture.h"
#include "deep/count_map_file.h"
#include "deep/deep_picture_file.h"

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
        QMetaObject::invokeMethod(this, [this, outcome] { finishOnOwnThread(outcome); }, Qt::QueuedConnection);
    });
    return true;
}

ExportOutcome ExportJob::run(const ExportRequest& request) {
    ExportOutcome outcome{ExportOutcome::Kind::Failed, request.path, QString()};
    try {
        // The deep engine draws the region the texts name at every size;
        // single precision would not show it at large sizes.
        const mandel::DeepView view = exportedView(request);
        mandel::DeepDrawing drawing(view);
        const std::string path = request.path.toStdString();
        std::unique_ptr<mandel::PictureSink> picture;
        std::unique_ptr<mandel::CountMapWriter> countMap;
        std::vector<mandel::PictureSink*> pictures;
        std::vector<mandel::CountSink*> countMaps;
        switch (exportFormatForPath(request.path)) {
        case ExportFormat::CountMap:
            countMap = std::make_unique<mandel::CountMapWriter>(path, view.width, view.height);
            countMaps.push_back(countMap.get());
            break;
        case ExportFormat::Bmp:
        case ExportFormat::Png:
            picture = mandel::openDeepPictureFile(path, mandel::pictureFormatForPath(path),
                                                  {view, exportedBase(request)});
            pictures.push_back(picture.get());
            break;
        }
        mandel::DeepPictureOptions options;
        options.base = exportedBase(request);
        options.compute.cancel = &cancelled_;
        options.compute.progress = [this](const mandel::DeepProgress& p) {
            const int done = static_cast<int>(p.rowsDone);
            const int total = static_cast<int>(p.rowsTotal);
            QMetaObject::invokeMethod(this, [this, done, total] { emit progressed(done, total); }, Qt::QueuedConnection);
            return !cancelled_;
        };
        const bool completed = mandel::drawDeepPicture(drawing, pictures, countMaps, options).completed;
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
