#pragma once

// A pixel's count settled in MPFR: the point is iterated directly at a
// precision with a carried error bound; where a test is not decided by the
// bound, the precision doubles and the pixel starts again. The result is the
// count of exact arithmetic.

#include <cstdint>
#include <functional>

#include "deep/deep_view.h"

namespace mandel {

struct SettledPixel {
    std::int64_t count = 0;  // or kCancelledCount
    std::int64_t iterations = 0;
    int finalBits = 0;
};

// Pixel (x, y) of the location, the side spanning `span` pixels. `stop` is
// asked every few thousand iterations.
SettledPixel settledCount(const DeepLocation& location, int span, int x, int y, int startBits,
                          const std::function<bool()>& stop);

}  // namespace mandel
