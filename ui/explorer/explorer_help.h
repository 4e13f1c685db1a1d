#pragma once

// The explorer's ヘルプ → 操作の説明: its gestures and keys in one window.

class QWidget;

namespace mandel_ui {

void showExplorerHelp(QWidget* parent);

}  // namespace mandel_ui
