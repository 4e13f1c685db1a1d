#pragma once

#include <cstdint>
#include <span>

#include "kernel/scan_plan.h"

namespace mandel {

// Escape counts of every point of a plan, row by row (index y·pointsPerRow + x).
// out must hold plan.pointCount() values.

// One point at a time with mandel, on the calling thread: the definition.
void escapeCountsReference(const ScanPlan& plan, float cmax, std::span<std::int16_t> out);

// The same counts, computed in SIMD lanes on several threads. threads = 0 uses
// every core of the machine. When the system refuses a thread, the threads it
// did create (at least the calling one) share all the rows.
void escapeCountsFast(const ScanPlan& plan, float cmax, std::span<std::int16_t> out, unsigned threads = 0);

// Which loop the fast path runs. Both give exactly the reference counts.
enum class FastKernel {
    // Also ends a point as soon as its orbit is seen to repeat a state bit for
    // bit (such a point can never escape). The default.
    CycleCheck,
    // Iterates every point until it escapes or reaches the limit.
    Plain,
};

struct FastOptions {
    unsigned threads = 0;  // 0 = every core; otherwise at most this many threads
    FastKernel kernel = FastKernel::CycleCheck;
};

void escapeCountsFast(const ScanPlan& plan, float cmax, std::span<std::int16_t> out, const FastOptions& options);

}  // namespace mandel
