#pragma once

// Helpers for error bounds carried in round-to-nearest arithmetic: each bound
// is inflated a little after it is computed, which covers the rounding of the
// few operations that computed it, so the result stays an upper bound.

#include <cmath>
#include <limits>

#include "deep/ext_real.h"
#include "deep/number_ladder.h"

namespace mandel {

// Relative inflation covering the rounding of one bound's computation (a few
// dozen operations of relative error 2^-53 each).
inline constexpr double kBoundInflation = 1 + 0x1p-40;

inline double roundUp(double bound) { return bound * kBoundInflation; }
inline ExtReal roundUp(const ExtReal& bound) { return ExtReal(bound.mantissa * kBoundInflation, bound.exponent); }

// std::fmax(|re|, |im|), NaN cases included, without the library call GCC
// makes for fmax.
inline double largerMagnitude(double re, double im) {
    const double a = std::fabs(re), b = std::fabs(im);
    return (a < b || a != a) ? b : a;
}

// a / b rounded up, for a ≥ 0 and b > 0.
inline double ratioUp(double a, double b) { return roundUp(a / b); }
inline ExtReal ratioUp(const ExtReal& a, const ExtReal& b) {
    if (a.isZero()) return {};
    return roundUp(ExtReal(a.mantissa / b.mantissa, a.exponent - b.exponent));
}

// A double at least as large as a bound.
inline double upperDouble(double bound) { return bound; }
inline double upperDouble(const ExtReal& bound) {
    return bound.toDouble() * kBoundInflation + std::numeric_limits<double>::denorm_min();
}

// x as a double, exactly: false unless it is 0 or a normal double small
// enough that its products with values below 2^40 stay far from overflow.
inline bool exactDouble(const ExtReal& x, double& out) {
    if (x.isZero()) {
        out = 0;
        return true;
    }
    if (x.exponent < -1020 || x.exponent > 900) return false;
    out = x.normalToDouble();
    return true;
}

// A bound as a double, upward: exact where exactDouble serves.
inline double boundUp(const ExtReal& x) {
    double out;
    return exactDouble(x, out) ? out : upperDouble(x);
}

// |x + iy| rounded upward; in double, within √2 where the squares underflow.
// The four-argument form takes x² + y² and its square root as the caller
// has already formed them.
inline double magnitudeUp(double x, double y, double squares, double root) {
    return squares >= kSquaresFloor ? roundUp(root) : std::fabs(x) + std::fabs(y);
}
inline double magnitudeUp(double x, double y) {
    const double squares = x * x + y * y;
    return magnitudeUp(x, y, squares, std::sqrt(squares));
}
inline ExtReal magnitudeUp(const ExtReal&, const ExtReal&, const ExtReal&, const ExtReal& root) {
    return roundUp(root);
}
inline ExtReal magnitudeUp(const ExtReal& x, const ExtReal& y) { return roundUp(sqrt(x * x + y * y)); }

}  // namespace mandel
