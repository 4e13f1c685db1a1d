#pragma once

// A worker's share of a drawing's rows with its pixels in double-precision
// SIMD lanes (views in double's range): the lanes make the plain
// perturbation steps, perturbStep everything else, and a lane whose pixel is
// finished takes the next pixel of the worker's rows at once. The counts are
// those of the scalar loop, bit for bit.

#include <atomic>

#include "deep/pixel_count.h"
#include "deep/row_control.h"

namespace mandel {

// Takes rows from nextRow until none is left or the control says stop.
void workRowsInLanes(const RowJob& job, std::atomic<int>& nextRow, RowControl& control);

}  // namespace mandel
