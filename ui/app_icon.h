#pragma once

#include <QIcon>
#include <QImage>

namespace mandel_ui {

// A small picture of the whole Mandelbrot set, computed and coloured by the
// engine, size × size pixels.
QImage mandelbrotIconImage(int size);

// The window icon: the picture at 32 × 32 and 16 × 16.
QIcon makeAppIcon();

}  // namespace mandel_ui
