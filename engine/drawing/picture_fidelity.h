#pragma once

// Whether a single-precision picture shows the region its texts name. At
// large sizes the step side / size rounds to a whole number of the
// coordinates' spacing, and below half of that spacing a position stops
// moving: the picture then shows another region, or stripes.

#include <string>

#include "drawing/picture_scan.h"

namespace mandel {

// "" when every column and row of the picture (x, y < size) lies within half
// a pixel of where it belongs, a + x·side/size (b + y·side/size for the rows,
// with a, b and side the texts' values), and each lies past the one before.
// Otherwise the first that does not: "column 1235 stops moving" or "row 17
// lies 0.6213 pixels from where it belongs".
std::string singlePrecisionPictureProblem(const PictureScan& scan, const RegionTexts& region);

}  // namespace mandel
