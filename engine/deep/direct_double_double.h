#pragma once

// A pixel of a shallow view that the direct double stage left undecided,
// iterated directly in double-double (about 106 bits), z ← z² + c from
// z_1 = c, with a rigorous bound on |z̃ − z|. Fifty more bits decide nearly
// every such pixel, with no reference to read; those it leaves undecided go
// on to the perturbation stages. The SIMD lanes (direct_lanes.h) make
// exactly these operations in this order.

#include <cmath>
#include <cstdint>

#include "deep/double_double.h"
#include "deep/error_bound.h"
#include "deep/escape_test.h"

namespace mandel {

// Rounding of one step (five double-double operations, each within a few
// 2^-106 of its operands' sizes), relative to |z|² + |c|.
inline constexpr double kDirectDdStepRounding = 0x1p-96;

// The point c̃, a bound on |c̃ − c|, and |c̃| (upward).
struct DirectDdPoint {
    DoubleDouble cr, ci;
    double cErr = 0, cAbs = 0;
};

// z̃ at iteration i and its bound.
struct DirectDdState {
    DoubleDouble zr, zi;
    double e = 0;
    std::int64_t i = 1;
};

inline DirectDdState directDdStart(const DirectDdPoint& c) { return {c.cr, c.ci, c.cErr, 1}; }

inline DirectDdConstants<double> directDdConstants() {
    return {2.0, kDirectDdStepRounding, kBoundInflation};
}

// C̃ + δc̃ from the reference point C in double-double (within centreErr of
// it) and the parts of δc in double-double (each within its error).
inline DirectDdPoint directDdPoint(const DoubleDouble& centreRe, const DoubleDouble& centreIm, double centreErr,
                                   const DoubleDouble& dcRe, double dcReErr, const DoubleDouble& dcIm,
                                   double dcImErr) {
    DirectDdPoint c;
    c.cr = centreRe + dcRe;
    c.ci = centreIm + dcIm;
    c.cAbs = magnitudeUp(c.cr, c.ci);
    // The sums round by a few 2^-106 of their operands (and underflow of the
    // low parts by a few 2^-1074).
    const double operands = std::fabs(centreRe.hi) + std::fabs(centreIm.hi) + std::fabs(dcRe.hi) + std::fabs(dcIm.hi);
    c.cErr = roundUp(centreErr + dcReErr + dcImErr + 0x1p-101 * operands) + 0x1p-1068;
    return c;
}

// The escape test of state s: its count (escaped at s.i, or the limit),
// kUndecidedCount, or 0 where the pixel goes on (zAbs ≥ |z̃| then holds
// what the step needs).
inline std::int64_t directDdTest(const DirectDdState& s, std::int64_t limit, double& zAbs) {
    zAbs = magnitudeUp(s.zr, s.zi);
    const EscapeTest test = escapeTest(zAbs, s.e);
    if (test == EscapeTest::Escaped) return s.i;
    if (test == EscapeTest::Undecided) return kUndecidedCount;
    return s.i == limit ? limit : 0;
}

// One step from a state whose escape test said "stays".
inline void directDdStep(const DirectDdPoint& c, double zAbs, DirectDdState& s) {
    DdParts<double> zr = toParts(s.zr), zi = toParts(s.zi);
    directDdAdvance(zr, zi, s.e, toParts(c.cr), toParts(c.ci), c.cErr, c.cAbs, zAbs, directDdConstants());
    s.zr = toPair(zr);
    s.zi = toPair(zi);
    s.i += 1;
}

// The pixel's count from state s on (see directDdTest), or kCancelledCount
// where stop() (asked every few thousand steps) says so; s holds the state
// of the last test. `made` is increased by the steps taken.
template <class Stop>
std::int64_t directDdCount(const DirectDdPoint& c, std::int64_t limit, DirectDdState& s, Stop& stop,
                           std::int64_t& made) {
    for (std::int64_t loops = 1;; ++loops) {
        if (loops % kPollInterval == 0 && stop()) return kCancelledCount;
        double zAbs;
        const std::int64_t result = directDdTest(s, limit, zAbs);
        if (result != 0) return result;
        directDdStep(c, zAbs, s);
        ++made;
    }
}

}  // namespace mandel
