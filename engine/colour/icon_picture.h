#pragma once

#include <vector>

#include "colour/banding.h"

namespace mandel {

// The program's icon: a small picture of the whole Mandelbrot set, computed
// and coloured by the engine, size × size pixels, row by row from the top.
// The window and the installed icon files are both made from it.
std::vector<Rgb> iconPicture(int size);

}  // namespace mandel
