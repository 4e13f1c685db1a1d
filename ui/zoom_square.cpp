#include "zoom_square.h"

#include <algorithm>
#include <cstdlib>

namespace mandel_ui {

QRect zoomSquare(const QPoint& press, const QPoint& pointer, const QSize& area) {
    const int dx = pointer.x() - press.x();
    const int dy = pointer.y() - press.y();
    // Room between the press point and the area's edge in each direction.
    const int roomX = dx < 0 ? press.x() : area.width() - press.x();
    const int roomY = dy < 0 ? press.y() : area.height() - press.y();
    const int side = std::max(0, std::min({std::max(std::abs(dx), std::abs(dy)), roomX, roomY}));
    const int left = dx < 0 ? press.x() - side : press.x();
    const int top = dy < 0 ? press.y() - side : press.y();
    return QRect(left, top, side, side);
}

}  // namespace mandel_ui
