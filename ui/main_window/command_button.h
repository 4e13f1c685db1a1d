#pragma once

#include <QPushButton>

namespace mandel_ui {

// A command button that shows the keyboard focus as a dotted rectangle
// around its caption. The style outlines a focused button the way it
// outlines the default button, so the default button would otherwise look
// the same with and without the focus.
class CommandButton : public QPushButton {
    Q_OBJECT

public:
    using QPushButton::QPushButton;

protected:
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace mandel_ui
