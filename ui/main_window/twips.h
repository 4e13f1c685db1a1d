#pragma once

#include <QRect>
#include <cmath>

namespace mandel_ui {

// Positions and sizes of the window's design, in twips (1/1440 inch) from the
// top-left corner of the client area.
struct TwipsRect {
    int left, top, width, height;
};

// 15 twips make one pixel at 96 dpi; Qt's own high-DPI scaling takes care of
// other screens.
inline constexpr double kTwipsPerPixel = 15.0;

inline int pixels(int twips) { return static_cast<int>(std::lround(twips / kTwipsPerPixel)); }

inline QRect pixelRect(const TwipsRect& r) {
    return QRect(pixels(r.left), pixels(r.top), pixels(r.width), pixels(r.height));
}

}  // namespace mandel_ui
