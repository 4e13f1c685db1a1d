#include "deep/pixel_finish.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "colour/defined_math.h"
#include "colour/smooth_count.h"

namespace mandel {

namespace {

// a / b for b ≠ 0, in the extended range.
ExtReal quotient(const ExtReal& a, const ExtReal& b) {
    return ExtReal(a.mantissa / b.mantissa, a.exponent - b.exponent);
}

}  // namespace

DistanceEstimate estimateDistance(double zr, double zi, double cr, double ci, ScaledDerivative derivative,
                                  const ExtReal& spacing) {
    double r = zr * zr + zi * zi;
    // |z| stays below 2^17 here: from below 2^300 the derivative cannot overflow in a step.
    for (int steps = 0; r <= kSmoothRadiusSquared && steps < kSmoothMaxSteps; ++steps) {
        derivative.step(zr, zi);
        const double wr = (zr * zr - zi * zi) + cr;
        const double wi = (zr + zr) * zi + ci;
        zr = wr;
        zi = wi;
        r = zr * zr + zi * zi;
    }
    DistanceEstimate out;
    const ExtReal dr = derivative.realPart(), di = derivative.imagPart();
    const ExtReal size = sqrt(dr * dr + di * di);
    const double zAbs = std::sqrt(r);
    const double numerator = zAbs * (definedLn(r) / 2);
    if (size.isZero() || spacing.isZero()) {
        out.distance = std::numeric_limits<float>::max();
    } else {
        const double pixels = quotient(ExtReal(numerator), size * spacing).toDouble();
        out.distance = static_cast<float>(std::min<double>(pixels, std::numeric_limits<float>::max()));
    }
    // The direction of z / (dz/dc) = z·conj(dz/dc) / |dz/dc|²; the scale does not matter.
    const double a = derivative.re, b = derivative.im;
    const double ur = zr * a + zi * b;
    const double ui = zi * a - zr * b;
    const double length = std::sqrt(ur * ur + ui * ui);
    if (length > 0) {
        const double facing = (ur * kLightRe + ui * kLightIm) / length;
        out.slope = static_cast<float>((facing + kLightHeight) / (1 + kLightHeight));
    }
    return out;
}

}  // namespace mandel
