#pragma once

#include <cstdint>
#include <span>

#include "scan_plan.h"

namespace mandel {

// Escape counts of every point of a plan, row by row (index y·pointsPerRow + x).
// out must hold plan.pointCount() values.

// One point at a time with mandel, on the calling thread: the definition.
void escapeCountsReference(const ScanPlan& plan, float cmax, std::span<std::int16_t> out);

// The same counts, computed in SIMD lanes on several threads. threads = 0 uses
// every core of the machine.
void escapeCountsFast(const ScanPlan& plan, float cmax, std::span<std::int16_t> out,
                      unsigned threads = 0);

}  // namespace mandel
