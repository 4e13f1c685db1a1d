#pragma once

// A pixel's count iterated directly in double-double arithmetic (about 106
// bits) with a carried error bound: a much cheaper way than MPFR to settle
// the pixels of shallow views that double perturbation leaves undecided.
// Returns the count, kUndecidedCount or kCancelledCount.

#include <cstdint>
#include <functional>

#include "deep/deep_view.h"

namespace mandel {

std::int64_t doubleDoubleCount(const DeepLocation& location, int span, int x, int y, const std::function<bool()>& stop,
                               std::int64_t& iterations);

}  // namespace mandel
