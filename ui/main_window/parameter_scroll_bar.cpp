#include "parameter_scroll_bar.h"

#include <QKeyEvent>
#include <QPainter>

#include "focus_frame.h"

namespace mandel_ui {

ParameterScrollBar::ParameterScrollBar(QWidget* parent) : QScrollBar(Qt::Horizontal, parent) {
    setFocusPolicy(Qt::StrongFocus);
}

void ParameterScrollBar::keyPressEvent(QKeyEvent* event) {
    SliderAction action = SliderNoAction;
    switch (event->key()) {
        case Qt::Key_Left:
        case Qt::Key_Up: action = SliderSingleStepSub; break;
        case Qt::Key_Right:
        case Qt::Key_Down: action = SliderSingleStepAdd; break;
        case Qt::Key_PageUp: action = SliderPageStepSub; break;
        case Qt::Key_PageDown: action = SliderPageStepAdd; break;
        case Qt::Key_Home: action = SliderToMinimum; break;
        case Qt::Key_End: action = SliderToMaximum; break;
        default: QScrollBar::keyPressEvent(event); return;
    }
    triggerAction(action);
    event->accept();
}

void ParameterScrollBar::paintEvent(QPaintEvent* event) {
    QScrollBar::paintEvent(event);
    if (!hasFocus()) return;
    QPainter painter(this);
    paintFocusFrame(painter, rect(), palette());
}

}  // namespace mandel_ui
