#pragma once

// A pixel's count settled at any precision: the point (from MPFR) is iterated
// directly, in fixed point of at least that many bits, with a carried error
// bound (zero while no operation has rounded);
// where a test is not decided by the bound, the precision doubles and the
// pixel starts again, up to a cap. Within the cap the result is the count of
// exact arithmetic; beyond it, the count of the last precision tried, taking
// its undecided tests as computed, and flagged as not certified.

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "deep/deep_view.h"
#include "deep/perturbation.h"

namespace mandel {

struct MpfrPixel {
    std::int64_t count = 0;  // or kCancelledCount
    bool certified = true;   // false: the cap was reached before a decision
    std::int64_t iterations = 0;
    int finalBits = 0;
    EscapePoint escape;  // z where it escaped, in double (for the continuous count)
};

// Pixel (x, y) of the location, the side spanning `span` pixels, from
// startBits up to maxBits (at least one attempt, at the smaller of the two).
// `stop` is asked often enough to return within a few milliseconds.
MpfrPixel mpfrPixelCount(const DeepLocation& location, int span, int x, int y, int startBits, int maxBits,
                         const std::function<bool()>& stop);

// A pixel of the view, by column and row.
struct PixelPlace {
    int x = 0, y = 0;
};

// Where this many pixels or more wait for mpfrPixelCount, their first
// attempts may be made side by side (on processors that have the
// instructions): the lanes cost about as much as three pixels one at a time.
inline constexpr std::size_t kMinLanePixels = 3;

// mpfrPixelCount for each pixel, the same counts; the first attempts of each
// eight made side by side where this processor and the precision allow.
std::vector<MpfrPixel> mpfrPixelCounts(const DeepLocation& location, int span, std::span<const PixelPlace> pixels,
                                       int startBits, int maxBits, const std::function<bool()>& stop);

}  // namespace mandel
