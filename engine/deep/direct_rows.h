#pragma once

// One row of a shallow view through the direct double stage in SIMD lanes
// (direct_lanes.h): what it decides is stored, the rest is left to the
// perturbation stages.

#include <vector>

#include "deep/pixel_count.h"
#include "deep/row_control.h"

namespace mandel {

// Row `row` (relative to the job's first row): known counts and the counts
// the stage decides are stored with their colour outputs (ν left in
// `pending`); the columns it leaves undecided are appended to `undecided`.
// Returns false if cancelled.
bool directRow(const RowJob& job, int row, RowControl& control, PendingExcesses& pending, std::vector<int>& undecided);

}  // namespace mandel
