#pragma once

// A pixel of a shallow view iterated directly in double, z ← z² + c from
// z_1 = c, with a rigorous bound on |z̃ − z| (z the orbit of the exact
// point): cheaper than perturbation (no reference to read, one square root in
// single precision a step) and, where the pixels are far apart beside double's rounding, it
// decides nearly every pixel. A pixel it leaves undecided goes on to the
// perturbation stages. The SIMD lanes make exactly these operations in this
// order (direct_lanes.h), so both give the same counts and escape points.

#include <cmath>
#include <cstdint>

#include "deep/error_bound.h"
#include "deep/escape_test.h"
#include "deep/orbit.h"

namespace mandel {

// Views whose pixel spacing is at least 2^kDirectSpacingExponent (about
// 6e-14) take the direct stage first. In the seahorse valley at limit 5000 it
// takes 1.5 times less than perturbation at a spacing of 2e-13 and a little
// less at 1e-13; at 2e-14 it costs 10 % more (the bound grows with the
// orbit's derivative from the rounding of |z|², not of |δz|, and leaves more
// pixels undecided).
inline constexpr std::int64_t kDirectSpacingExponent = -44;

// Rounding of one step, relative to |z|² + |c| (u = 2^-53): the real part
// (x² − y²) + Re c errs by at most 3u|z|² + u|Re c| (the two squares, their
// difference and the sum), the imaginary part 2xy + Im c by 2u|z|² + u|Im c|
// (|2xy| ≤ |z|²), so |z̃'s error| ≤ 5u(|z|² + |c|), the terms in u² within the
// bound's inflation. Underflow's absolute losses are in the point's error.
inline constexpr double kDirectStepRounding = 5 * 0x1p-53;

// Added to √(x² + y²) for the escape test: an upper bound on |z̃| also where
// the squares lost digits to underflow (below 2^-960 they are within 2^-1072
// of the true ones), at the cost of one sum instead of a test and a choice.
inline constexpr double kDirectMagnitudeFloor = 0x1p-479;

// The bound's growth and the "stays" test take |z̃| from a square root in
// single precision: a double one is several times dearer on some processors
// (where it bounds the lanes' loop), and the bound needs |z̃| only to a
// relative 2^-22. The squares, at least kDirectRootFloor (so that they stay
// normal floats; |z̃| is then at least 2^-60, the bound's least factor) are
// raised by kDirectRootRaise before they are rounded to a float, and the
// root by kDirectRootInflation after: each covers the rounding that follows
// it (2^-24) and the squares' own (2^-52), so the result is never below |z̃|.
inline constexpr double kDirectRootFloor = 0x1p-120;
inline constexpr double kDirectRootRaise = 1 + 0x1p-23;
inline constexpr double kDirectRootInflation = 1 + 0x1p-22;

// "Stays" below this sum of the bound on |z̃| and the bound: 2^-46 below 2
// covers the sum's rounding and the squares' (2^-50 together).
inline constexpr double kDirectStaysBelow = 2 * (1 - kEscapeTestMargin);

// The step's rounding with the inflation that covers the roundings of the
// bound's own sums and products (every term is positive and passes through
// at most five roundings of 2^-53).
inline constexpr double kDirectRoundingInflated = kDirectStepRounding * kBoundInflation;

// The point c̃ in double, a bound on |c̃ − c|, a bound on |c̃|, and the part
// of the step's bound that does not change along the orbit.
struct DirectPoint {
    double cr = 0, ci = 0, cErr = 0, cAbs = 0, fixed = 0;
};

// The bound's part that depends on the point only: δc's error and the
// rounding relative to |c|.
inline double directFixedBound(double cErr, double cAbs) {
    return (cErr + kDirectStepRounding * cAbs) * kBoundInflation;
}

// z̃ at iteration i and its bound.
struct DirectState {
    double zr = 0, zi = 0, e = 0;
    std::int64_t i = 1;
};

inline DirectState directStart(const DirectPoint& c) { return {c.cr, c.ci, c.cErr, 1}; }

// One step from a state whose escape test said "stays". (z̃ + ε)² − z̃² =
// ε(2z̃ + ε): the bound grows with 2|z̃| + e.
inline void directStep(const DirectPoint& c, double squares, double zAbs, DirectState& s) {
    const double nr = (s.zr * s.zr - s.zi * s.zi) + c.cr;
    const double ni = (s.zr + s.zr) * s.zi + c.ci;
    const double growth = ((zAbs + zAbs) + s.e) * kBoundInflation;
    s.e = s.e * growth + (kDirectRoundingInflated * squares + c.fixed);
    s.zr = nr;
    s.zi = ni;
    s.i += 1;
}

// The lanes' "stays" (sounder than needed, by the margins above).
inline bool directStays(double zAbs, double e) { return zAbs + e < kDirectStaysBelow; }

// The escape test of state s (directTest, and directDecision from its
// directMagnitude): its count (escaped at s.i, or the limit),
// kUndecidedCount, or 0 where the pixel goes on (squares and zAbs, a bound
// on |z̃|, then hold what the step needs). Where "stays" fails the test
// itself takes |z̃| from the double root, which can tell escaped orbits.
inline std::int64_t directDecision(const DirectState& s, std::int64_t limit, double squares, double zAbs) {
    if (!directStays(zAbs, s.e)) {
        const EscapeTest test = escapeTest(std::sqrt(squares) + kDirectMagnitudeFloor, s.e);
        if (test == EscapeTest::Escaped) return s.i;
        if (test == EscapeTest::Undecided) return kUndecidedCount;
    }
    return s.i == limit ? limit : 0;
}

// The bound on |z̃| from its squares (see kDirectRootFloor).
inline double directRootUp(double squares) {
    const double raised = (squares > kDirectRootFloor ? squares : kDirectRootFloor) * kDirectRootRaise;
    return static_cast<double>(std::sqrt(static_cast<float>(raised))) * kDirectRootInflation;
}

// |z̃|² and the bound on |z̃| the test and the step take.
inline void directMagnitude(const DirectState& s, double& squares, double& zAbs) {
    squares = s.zr * s.zr + s.zi * s.zi;
    zAbs = directRootUp(squares);
}

inline std::int64_t directTest(const DirectState& s, std::int64_t limit, double& squares, double& zAbs) {
    directMagnitude(s, squares, zAbs);
    return directDecision(s, limit, squares, zAbs);
}

// The pixel's count from state s on (see directTest), or kCancelledCount
// where stop() (asked every few thousand steps) says so; s holds the state
// of the last test. `made` is increased by the steps taken.
template <class Stop>
std::int64_t directCount(const DirectPoint& c, std::int64_t limit, DirectState& s, Stop& stop, std::int64_t& made) {
    for (std::int64_t loops = 1;; ++loops) {
        if (loops % kPollInterval == 0 && stop()) return kCancelledCount;
        double squares, zAbs;
        const std::int64_t result = directTest(s, limit, squares, zAbs);
        if (result != 0) return result;
        directStep(c, squares, zAbs, s);
        ++made;
    }
}

}  // namespace mandel
