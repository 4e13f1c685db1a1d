#pragma once

// The zoom square that a drag draws, shared by the main window's picture and
// the explorer's.

#include <QPoint>
#include <QRect>
#include <QSize>

namespace mandel_ui {

// The square from the press point towards the pointer, with the side of the
// drag's longer leg, stopped at the edges of an area of this size.
QRect zoomSquare(const QPoint& press, const QPoint& pointer, const QSize& area);

}  // namespace mandel_ui
