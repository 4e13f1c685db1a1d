#include "focus_frame.h"

#include <QPainter>
#include <QPalette>
#include <QPen>

namespace mandel_ui {

void paintFocusFrame(QPainter& painter, const QRect& area, const QPalette& palette) {
    painter.save();
    painter.setBrush(Qt::NoBrush);
    // Pens centred on the half pixel, so each line covers whole pixels.
    const QRectF edges(area);
    painter.setPen(QPen(palette.color(QPalette::Highlight), 2, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    painter.drawRect(edges.adjusted(1, 1, -1, -1));
    painter.setPen(QPen(Qt::white, 1, Qt::DotLine));
    painter.drawRect(edges.adjusted(2.5, 2.5, -2.5, -2.5));
    painter.restore();
}

}  // namespace mandel_ui
