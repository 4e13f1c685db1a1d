#pragma once

#include <QObject>
#include <QPointer>
#include <QProgressDialog>
#include <QString>
#include <functional>
#include <optional>

#include "export_job.h"
#include "window_messages.h"

namespace mandel_ui {

// The window's export command: asks for the size and the file, draws and
// writes the picture in the background with a progress dialog that can
// cancel it, and then says where the file went (or why it failed).
class ExportCommand : public QObject {
    Q_OBJECT

public:
    // Shows the export dialog with the proposal; nullopt when the user cancels.
    using Asker = std::function<std::optional<ExportRequest>(const ExportRequest& proposal)>;

    ExportCommand(QWidget* window, MessagePresenter present);
    // Replaces the dialog (for tests).
    void setAsker(Asker asker) { asker_ = std::move(asker); }
    // Replaces the way messages are shown (for tests).
    void setPresenter(MessagePresenter present) { present_ = std::move(present); }

    // Asks, then exports the region; does nothing while an export runs.
    void run(const mandel::RegionTexts& region);
    // The same for the explorer's view.
    void runExplorer(const ExplorerExportView& view);
    bool isRunning() const { return job_.isRunning(); }

    ExportJob& job() { return job_; }
    QProgressDialog* progressDialog() const { return progress_; }

signals:
    void runningChanged(bool running);

private:
    void askAndStart(ExportRequest proposal);
    std::optional<ExportRequest> askWithDialog(const ExportRequest& proposal);
    void showProgress(int rowsDone, int rowsTotal);
    void finish(const ExportOutcome& outcome);

    QWidget* window_;
    MessagePresenter present_;
    Asker asker_;
    ExportJob job_;
    QPointer<QProgressDialog> progress_;
    // Proposed again in the next export of this session.
    int lastSize_ = kDefaultExportSize;
    bool lastSquare_ = false;  // the explorer's shape
    QString lastFolder_;
};

}  // namespace mandel_ui
