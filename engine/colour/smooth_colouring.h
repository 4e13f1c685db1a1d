#pragma once

// Colours of the continuous counts: a pixel's ν = n + excess (smooth_count.h)
// placed on a cyclic gradient at offset + density·ν (linear scale) or
// offset + density·log2 ν (logarithmic scale: cycles per doubling of the
// count). The inside of the set takes the gradient's inside colour.

#include <cstdint>
#include <span>

#include "colour/gradients.h"

namespace mandel {

enum class DensityScale { Linear, Log };

struct SmoothScale {
    double density = 0;  // colour cycles per count (linear) or per doubling (log)
    DensityScale scale = DensityScale::Linear;
    double offset = 0;  // in cycles, 0 <= offset < 1
};

// The gradient position of the continuous count nu >= 1.
double colourPosition(double nu, const SmoothScale& scale);

// The colour of a pixel whose count is `count` (the limit: inside) and whose
// ν − count is `excess`.
Rgb smoothColour(std::int32_t count, float excess, std::int64_t limit, const Gradient& gradient,
                 const SmoothScale& scale);

// The distance shading: within this many pixels of the set a colour fades
// into the inside colour (as the square root of the distance).
inline constexpr double kBoundaryPixels = 1.0;

// The smooth colour `colour` shaded: times the slope shading (0..1), and
// blended into `inside` within kBoundaryPixels of the set.
Rgb shadedColour(const Rgb& colour, float distance, float slope, const Rgb& inside);

// Cycles the automatic density puts between two percentiles of the view's
// escaped continuous counts. Most escaped pixels lie at the low counts, so
// the upper one is the median: the cycles then spread over the bulk of the
// picture, and the rarer high counts near the boundary cycle faster.
inline constexpr double kAutomaticCycles = 1.0;
inline constexpr double kAutomaticLow = 0.05;
inline constexpr double kAutomaticHigh = 0.5;

// A density that spreads the gradient over what the view shows, from the
// escaped pixels' ν (count + excess; counts at the limit are inside and left
// out): kAutomaticCycles between the percentiles kAutomaticLow and
// kAutomaticHigh, and the offset `offset` placed at the lower one. Deterministic in its inputs.
SmoothScale automaticScale(std::span<const std::int32_t> counts, std::span<const float> excess, std::int64_t limit,
                           DensityScale scale, double offset);

// x − floor(x): an offset in [0, 1).
double wrapOffset(double offset);

}  // namespace mandel
