#pragma once

#include <QPushButton>
#include <QRect>

class QPainter;
class QPalette;

namespace mandel_ui {

// The frame a control of ours draws along its edges while it has the
// keyboard focus: the highlight colour outside and a dotted light line
// inside, so that it shows on any background, a picture included.
void paintFocusFrame(QPainter& painter, const QRect& area, const QPalette& palette);

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
