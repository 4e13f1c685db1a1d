#pragma once

// A worker's share of a drawing's rows in rescaled doubles (views below
// double's range) with its pixels in SIMD lanes: the lanes make the plain
// steps and the approximation steps, the scalar loop every other iteration,
// and a lane whose pixel is finished takes the next pixel at once. The
// counts are the scalar loop's, bit for bit. Drawings that carry the
// derivative (distances) take the extended-range loop pixel by pixel.

#include <atomic>

#include "deep/pixel_count.h"
#include "deep/row_control.h"

namespace mandel {

// Whether the job's pixels can take the rescaled lanes.
bool takesRescaledLanes(const RowJob& job);

// Takes rows from nextRow until none is left or the control says stop.
void workRowsInRescaledLanes(const RowJob& job, std::atomic<int>& nextRow, RowControl& control);

}  // namespace mandel
