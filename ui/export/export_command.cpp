#include "export_command.h"

#include <QDir>
#include <QFileInfo>
#include <QProgressDialog>

#include "export_dialog.h"
#include "save_location.h"

namespace mandel_ui {

ExportCommand::ExportCommand(QWidget* window, MessagePresenter present)
    : QObject(window), window_(window), present_(std::move(present)) {
    asker_ = [this](const ExportRequest& proposal) { return askWithDialog(proposal); };
    connect(&job_, &ExportJob::progressed, this, &ExportCommand::showProgress);
    connect(&job_, &ExportJob::finished, this, &ExportCommand::finish);
}

std::optional<ExportRequest> ExportCommand::askWithDialog(const ExportRequest& proposal) {
    ExportDialog dialog(proposal, window_);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return dialog.request();
}

void ExportCommand::run(const mandel::RegionTexts& region) {
    askAndStart({region, lastSize_, QString(), std::nullopt});
}

void ExportCommand::runExplorer(const ExplorerExportView& view) {
    ExplorerExportView proposed = view;
    proposed.square = lastSquare_;
    askAndStart({{}, lastSize_, QString(), proposed});
}

void ExportCommand::askAndStart(ExportRequest proposal) {
    if (isRunning()) return;
    proposal.path = freeExportPath(lastFolder_.isEmpty() ? picturesFolder() : lastFolder_);
    const std::optional<ExportRequest> request = asker_(proposal);
    if (!request) return;
    lastSize_ = request->size;
    if (request->explorer) lastSquare_ = request->explorer->square;
    lastFolder_ = QFileInfo(request->path).absolutePath();
    // The Pictures folder may not exist yet on a new account.
    if (lastFolder_ == QDir(picturesFolder()).absolutePath()) QDir().mkpath(lastFolder_);

    if (!job_.start(*request)) return;
    progress_ =
        new QProgressDialog(QStringLiteral("画像を書き出しています。\n%1").arg(QDir::toNativeSeparators(request->path)),
                            QStringLiteral("キャンセル"), 0, 100, window_);
    progress_->setObjectName(QStringLiteral("exportProgress"));
    progress_->setWindowTitle(exportTitle());
    progress_->setFont(window_->font());
    // The window stays usable while the picture is written.
    progress_->setWindowModality(Qt::NonModal);
    progress_->setAutoClose(false);
    progress_->setAutoReset(false);
    progress_->setMinimumDuration(0);
    progress_->setValue(0);
    connect(progress_, &QProgressDialog::canceled, &job_, &ExportJob::cancel);
    progress_->show();
    emit runningChanged(true);
}

void ExportCommand::showProgress(int rowsDone, int rowsTotal) {
    if (!progress_ || rowsTotal <= 0) return;
    progress_->setValue(static_cast<int>(100LL * rowsDone / rowsTotal));
}

void ExportCommand::finish(const ExportOutcome& outcome) {
    if (progress_) {
        progress_->hide();
        progress_->deleteLater();
    }
    emit runningChanged(false);
    const QString path = QDir::toNativeSeparators(outcome.path);
    switch (outcome.kind) {
        case ExportOutcome::Kind::Completed:
            present_({MessageRequest::Kind::Information, exportTitle(),
                      QStringLiteral("画像を書き出しました。\n\n") + path});
            break;
        case ExportOutcome::Kind::Failed:
            present_(
                {MessageRequest::Kind::Error, exportTitle(),
                 QStringLiteral("画像を書き出せませんでした。\n\n") + path + QStringLiteral("\n\n") + outcome.error});
            break;
        case ExportOutcome::Kind::Cancelled: break;  // the user asked for it; no file was left
    }
}

}  // namespace mandel_ui
