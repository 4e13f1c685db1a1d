#pragma once

// What the colouring takes from an escaped pixel besides its count, from z
// and dz/dc where it escaped: the orbit and its derivative continued in
// double (and the extended range) to the large radius of smooth_count.h,
// then the distance to the set, |z|·ln|z| / |dz/dc|, in pixels, and the slope
// shading of the direction z/(dz/dc) under a light from the upper left. Every
// operation defined (defined_math.h), as the continuous count's.

#include "deep/ext_real.h"
#include "deep/scaled_derivative.h"

namespace mandel {

// The light of the slope shading: its direction (unit) and its height above
// the plane; a slope facing away from it keeps (h − 1)/(h + 1) of the colour.
inline constexpr double kLightRe = -0x1.6a09e667f3bcdp-1;  // −√½: from the left
inline constexpr double kLightIm = -0x1.6a09e667f3bcdp-1;  // −√½: and above (rows grow downward)
inline constexpr double kLightHeight = 1.5;

struct DistanceEstimate {
    float distance = 0;  // pixels; the largest float where it is farther
    float slope = 1;     // 0..1
};

// z (|z| > 2) and dz/dc where the pixel escaped, its point c in double, and
// the pixel spacing.
DistanceEstimate estimateDistance(double zr, double zi, double cr, double ci, ScaledDerivative derivative,
                                  const ExtReal& spacing);

}  // namespace mandel
