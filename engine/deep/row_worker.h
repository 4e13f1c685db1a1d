#pragma once

// Computes rows of a drawing on several threads: an atomic row counter hands
// out rows, each pixel through its stages (pixel_count.h), in SIMD lanes where
// the drawing has no approximation steps (lane_rows.h). Cancel is checked
// every few thousand iterations and progress reported at least every 50 ms.

#include "deep/deep_options.h"
#include "deep/pixel_count.h"

namespace mandel {

// Adds to stats; returns false if cancelled.
bool computeRowsOnThreads(const RowJob& job, const DeepOptions& options, DeepStats& stats);

}  // namespace mandel
