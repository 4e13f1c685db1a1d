#pragma once

// One pixel's escape count by perturbation against the reference orbit, with
// rebasing and a rigorous error bound. R is double, or ExtReal below double's
// range. The bound e covers |δz̃ − δz| where δz = z − Z_m in exact arithmetic
// (exact pixel, exact orbit of the reference point); every escape test must be
// decided with the margin of that bound, otherwise the pixel is undecided and
// must be settled with more precision.

#include <cmath>
#include <cstdint>
#include <vector>

#include "deep/deep_reference.h"
#include "deep/error_bound.h"
#include "deep/ext_real.h"

namespace mandel {

inline constexpr std::int64_t kUndecidedCount = -1;
inline constexpr std::int64_t kCancelledCount = -2;
inline constexpr int kPollInterval = 4096;  // iterations between cancel checks

// δc = c − C of one pixel, a bound on its rounding error, and |δc| (upward).
template <class R>
struct PixelOffset {
    R re{};
    R im{};
    R err{};
    R abs{};
};

template <class R>
struct NumberTraits;

template <>
struct NumberTraits<double> {
    // Underflow in a step may lose up to a few 2^-1074 absolutely.
    static double stepAbsoluteError() { return 0x1p-1068; }
    static void load(const OrbitPoint& p, double& zr, double& zi, double& err)
    {
        zr = p.re;
        zi = p.im;
        err = p.err;
    }
    static double lowerDouble(double v) { return v; }
};

template <>
struct NumberTraits<ExtReal> {
    static ExtReal stepAbsoluteError() { return {}; }
    static void load(const OrbitPoint& p, ExtReal& zr, ExtReal& zi, ExtReal& err)
    {
        zr = ExtReal(p.re, p.exponent);
        zi = ExtReal(p.im, p.exponent);
        err = ExtReal(p.err, p.errExponent);
    }
    static double lowerDouble(const ExtReal& v) { return v.toDouble(); }
};

enum class EscapeTest { Escaped, Stays, Undecided };

// Decides |w| > 2 for the exact w, given the computed |w̃| and a bound on
// |w̃ − w| (both in R), with margins for the rounding of the test itself.
template <class R>
EscapeTest escapeTest(const R& wAbs, const R& bound)
{
    constexpr double kMargin = 0x1p-46;
    const double low = NumberTraits<R>::lowerDouble(wAbs) * (1 - kMargin);
    const double high = upperDouble(wAbs) * (1 + kMargin);
    const double e = upperDouble(bound) * (1 + kMargin);
    if (low - e > 2 * (1 + kMargin)) return EscapeTest::Escaped;
    if (high + e < 2 * (1 - kMargin)) return EscapeTest::Stays;
    return EscapeTest::Undecided;
}

// The count, kUndecidedCount, or kCancelledCount when stop() said so.
// `iterations` is increased by the perturbation steps taken.
template <class R, class Stop>
std::int64_t perturbedCount(const std::vector<OrbitPoint>& orbit, const PixelOffset<R>& dc, std::int64_t limit,
                            Stop& stop, std::int64_t& iterations)
{
    using Traits = NumberTraits<R>;
    const std::int64_t last = static_cast<std::int64_t>(orbit.size()) - 1;
    const R gamma(0x1p-49);  // rounding of one step, relative to its terms' sizes
    const R two(2.0);
    const R wRounding(0x1p-51);
    R dzr = dc.re, dzi = dc.im, e = dc.err;
    R zr, zi, zErr;
    std::int64_t m = 1;
    for (std::int64_t i = 1;; ++i) {
        Traits::load(orbit[static_cast<std::size_t>(m)], zr, zi, zErr);
        const R wr = zr + dzr, wi = zi + dzi;
        const R w2 = wr * wr + wi * wi;
        const R wAbs = sqrt(w2);
        const R wErr = roundUp(zErr + e + wRounding * wAbs);
        const EscapeTest test = escapeTest(wAbs, wErr);
        if (test == EscapeTest::Escaped) return i;
        if (test == EscapeTest::Undecided) return kUndecidedCount;
        if (i == limit) return limit;
        if (i % kPollInterval == 0 && stop()) return kCancelledCount;
        R d2 = dzr * dzr + dzi * dzi;
        if (m == last || w2 < d2) {
            // Continue from the pixel's own value against Z_0 = 0.
            dzr = wr;
            dzi = wi;
            e = wErr;
            d2 = w2;
            m = 0;
            zr = zi = zErr = R{};
        }
        const R dAbs = sqrt(d2);
        const R zAbs = sqrt(zr * zr + zi * zi);
        const R twoZr = zr + zr, twoZi = zi + zi;
        const R nr = ((twoZr * dzr - twoZi * dzi) + (dzr * dzr - dzi * dzi)) + dc.re;
        const R ni = ((twoZr * dzi + twoZi * dzr) + (dzr + dzr) * dzi) + dc.im;
        const R terms = two * zAbs * dAbs + d2 + dc.abs;
        e = roundUp(two * zAbs * e + two * (dAbs + e) * zErr + e * (two * dAbs + e) + dc.err + gamma * terms +
                    Traits::stepAbsoluteError());
        dzr = nr;
        dzi = ni;
        ++m;
        ++iterations;
    }
}

}  // namespace mandel
