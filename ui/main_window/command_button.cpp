#include "command_button.h"

#include <QPainter>
#include <QPen>

namespace mandel_ui {

void CommandButton::paintEvent(QPaintEvent* event) {
    QPushButton::paintEvent(event);
    if (!hasFocus()) return;
    constexpr double kInset = 4.5;  // inside the button's bevel, on whole pixels
    QPainter painter(this);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(palette().color(QPalette::ButtonText), 1, Qt::DotLine));
    painter.drawRect(QRectF(rect()).adjusted(kInset, kInset, -kInset, -kInset));
}

}  // namespace mandel_ui
