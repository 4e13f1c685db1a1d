#pragma once

#include <QObject>
#include <QString>
#include <atomic>
#include <thread>

#include "export_view.h"

namespace mandel_ui {

struct ExportOutcome {
    enum class Kind { Completed, Cancelled, Failed };
    Kind kind = Kind::Failed;
    QString path;
    QString error;  // why it failed
};

// Draws a picture of any size with the deep engine (the region the texts
// name in the window's colours, or the explorer's view in its colours) and
// writes it, or its count map, on a thread of its own, so that
// the window stays responsive. The file appears complete when the export
// completes; a cancelled or failed export leaves none.
class ExportJob : public QObject {
    Q_OBJECT

public:
    explicit ExportJob(QObject* parent = nullptr);
    // Cancels a running export and waits until its thread has removed its file.
    ~ExportJob() override;

    // Starts the export; at most one runs at a time (returns false then).
    bool start(const ExportRequest& request);
    // Stops the running export within about 50 ms.
    void cancel() { cancelled_ = true; }
    bool isRunning() const { return worker_.joinable(); }

signals:
    // On the thread of the job's object, as rows are written.
    void progressed(int rowsDone, int rowsTotal);
    void finished(const mandel_ui::ExportOutcome& outcome);

private:
    ExportOutcome run(const ExportRequest& request);  // on the worker thread
    void finishOnOwnThread(const ExportOutcome& outcome);

    std::thread worker_;
    std::atomic<bool> cancelled_{false};
};

}  // namespace mandel_ui
