#pragma once

// A pixel of a shallow view iterated directly in double, z ← z² + c from
// z_1 = c, with a rigorous bound on |z̃ − z| (z the orbit of the exact
// point): cheaper than perturbation (no reference to read, one square root a
// step) and, where the pixels are far apart beside double's rounding, it
// decides nearly every pixel. A pixel it leaves undecided goes on to the
// perturbation stages. The SIMD lanes make exactly these operations in this
// order (direct_lanes.h), so both give the same counts and escape points.

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

// Rounding of one step, relative to |z|² + |c|: each part's few roundings.
inline constexpr double kDirectStepRounding = 0x1p-50;

// The point c̃ in double, a bound on |c̃ − c|, and a bound on |c̃|.
struct DirectPoint {
    double cr = 0, ci = 0, cErr = 0, cAbs = 0;
};

// z̃ at iteration i and its bound.
struct DirectState {
    double zr = 0, zi = 0, e = 0;
    std::int64_t i = 1;
};

inline DirectState directStart(const DirectPoint& c) { return {c.cr, c.ci, c.cErr, 1}; }

// One step from a state whose escape test said "stays".
inline void directStep(const DirectPoint& c, double squares, double zAbs, DirectState& s) {
    const double nr = (s.zr * s.zr - s.zi * s.zi) + c.cr;
    const double ni = (s.zr + s.zr) * s.zi + c.ci;
    // (z̃ + ε)² − z̃² = ε(2z̃ + ε): the bound grows with |2z̃| + e.
    const double grown = s.e * (2 * zAbs + s.e) + c.cErr;
    s.e = (grown + kDirectStepRounding * (squares + c.cAbs)) * kBoundInflation;
    s.zr = nr;
    s.zi = ni;
    s.i += 1;
}

// The escape test of state s: its count (escaped at s.i, or the limit),
// kUndecidedCount, or 0 where the pixel goes on (squares and zAbs then hold
// what the step needs).
inline std::int64_t directTest(const DirectState& s, std::int64_t limit, double& squares, double& zAbs) {
    squares = s.zr * s.zr + s.zi * s.zi;
    zAbs = NumberTraits<double>::magnitude(s.zr, s.zi, squares);
    const EscapeTest test = escapeTest(zAbs, s.e);
    if (test == EscapeTest::Escaped) return s.i;
    if (test == EscapeTest::Undecided) return kUndecidedCount;
    return s.i == limit ? limit : 0;
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
