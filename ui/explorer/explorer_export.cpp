#include "explorer_export.h"

#include <QMessageBox>
#include <QWidget>

#include "export_command.h"

namespace mandel_ui {

namespace {

const QString kCommandName = QStringLiteral("explorerExport");

}  // namespace

ExportCommand* explorerExportCommand(QWidget* window) {
    if (auto* existing = window->findChild<ExportCommand*>(kCommandName, Qt::FindDirectChildrenOnly)) return existing;
    auto* command =
        new ExportCommand(window, [window](const MessageRequest& request) { makeMessageBox(request, window)->exec(); });
    command->setObjectName(kCommandName);
    return command;
}

void startExplorerExport(QWidget* parent, const mandel::ExploreLocation& location, QSize viewPixels,
                         const mandel::Colouring& colouring) {
    explorerExportCommand(parent)->runExplorer({location, viewPixels, false, colouring});
}

}  // namespace mandel_ui
