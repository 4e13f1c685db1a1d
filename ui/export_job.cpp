#include "export_job.h"

#include <QMetaObject>
#include <exception>
#include <new>

#include "drawing/draw_picture.h"
#include "files/picture_file.h"

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
        const mandel::PictureScan scan = mandel::planPictureScan(request.region, request.size, mandel::ScanExtent::Picture);
        const std::string path = request.path.toStdString();
        const auto file = mandel::openPictureFile(path, mandel::pictureFormatForPath(path), {request.region, scan.size});
        mandel::PictureSink* sinks[] = {file.get()};
        mandel::DrawOptions options;
        options.progress = [this](const mandel::DrawProgress& p) {
            const int done = static_cast<int>(p.rowsDone);
            const int total = static_cast<int>(p.rowsTotal);
            QMetaObject::invokeMethod(this, [this, done, total] { emit progressed(done, total); }, Qt::QueuedConnection);
            return !cancelled_;
        };
        const bool completed = mandel::drawPicture(scan, sinks, options).completed;
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
