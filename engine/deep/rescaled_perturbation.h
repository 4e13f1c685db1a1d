#pragma once

// One pixel of a view below double's range at double speed: δz = w·2^k with
// w a double near 1 and k an integer, so that each step is a handful of
// double operations on w (in units of 2^k) instead of extended-range numbers.
// The bound e is kept in the same unit. An iteration is handed to the
// extended-range step (perturbStep<ExtReal>, which decides it the same way)
// where w's unit cannot serve: where Z lies below double's range, where the
// pixel may rebase while Z + δz is not formed in double (Z no longer far
// larger than δz while 2^k is below double's normal range), at the orbit's
// end, and for the rare approximation step whose coefficients do not fit a
// double. Where Z + δz is formed in double the rebase is made in double too:
// near a minibrot the pixels rebase once a period.

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "deep/perturbation.h"

namespace mandel {

// w is brought back near 1 when its larger part leaves [2^-32, 2^33) (rescaleDue).
inline constexpr int kRescaleSpan = 32;
// The same interval as magnitudes of the larger part: [2^-span, 2^(span+1)).
inline constexpr double kRescaleLowest = 1.0 / static_cast<double>(std::uint64_t{1} << kRescaleSpan);
inline constexpr double kRescaleAbove = 2.0 * static_cast<double>(std::uint64_t{1} << kRescaleSpan);

// Whether w must be brought back near 1: its larger part outside
// [2^-span, 2^(span+1)), or 0, subnormal or infinite.
inline bool rescaleDue(double wr, double wi) {
    const double largest = largerMagnitude(wr, wi);
    return !(largest >= kRescaleLowest && largest < kRescaleAbove);
}

struct RescaledState {
    double wr = 0, wi = 0;
    double e = 0;  // bound on |δz̃ − δz| in units of 2^k
    std::int64_t k = 0;
    std::int64_t m = 1;
    std::int64_t i = 1;
};

// δc in units of 2^k, with its error bound (also covering the rounding into
// double), |δc| upward, and PerturbRun's cBound (|δc| plus its error) upward.
struct RescaledOffset {
    double dr = 0, di = 0, err = 0, abs = 0, bound = 0;
};

// The biased exponent field of x ≥ 0 (0 for 0 and the subnormals).
MANDEL_ALWAYS_INLINE std::int64_t exponentField(double x) {
    return static_cast<std::int64_t>(std::bit_cast<std::uint64_t>(x) >> 52);
}

// δc's parts in the unit where they are subnormal are taken as 0 instead,
// and what they held (less than 2^-1022 each) joins δc's error bound, which
// is far larger: subnormal parts would slow the products of every
// approximation step, and beside the step's other terms they cannot count.
inline void flushSubnormalParts(RescaledOffset& d) {
    const bool re = d.dr != 0 && exponentField(std::fabs(d.dr)) == 0;
    const bool im = d.di != 0 && exponentField(std::fabs(d.di)) == 0;
    if (!re && !im) return;
    if (re) d.dr = 0;
    if (im) d.di = 0;
    d.err = roundUp(d.err + 0x1p-1021);
}

inline RescaledOffset rescaledOffset(const PixelOffset<ExtReal>& dc, std::int64_t k) {
    const ExtReal unit(1.0, -k);
    // Rounding each part into double's subnormal range loses up to 2^-1075.
    // The bounds multiply a step's coefficients: they are kept at
    // kRescaledFactorFloor at least, out of the subnormal range.
    RescaledOffset d{(dc.re * unit).toDouble(), (dc.im * unit).toDouble(),
                     std::max(upperDouble(roundUp(dc.err * unit)) + 0x1p-1073, kRescaledFactorFloor),
                     upperDouble(roundUp(dc.abs * unit)),
                     std::max(upperDouble(roundUp(roundUp(dc.abs + dc.err) * unit)) + 0x1p-1073, kRescaledFactorFloor)};
    flushSubnormalParts(d);
    return d;
}

// unitUp·x for x ≥ 0 and unitUp ≥ 2^k: at least 2^k·x, and
// kRescaledTinyBound where that is below 2^-1022 (no subnormal product).
MANDEL_ALWAYS_INLINE double unitProductUp(std::int64_t k, double unitUp, double x) {
    return exponentField(x) + k <= 0 ? kRescaledTinyBound : unitUp * x;
}

// upperDouble(ExtReal(x, k)) for x ≥ 0 where x·2^k is a normal double, else
// kRescaledTinyBound (above it).
MANDEL_ALWAYS_INLINE double scaledBoundUp(double x, std::int64_t k) {
    return exponentField(x) + k <= 0 ? kRescaledTinyBound : upperDouble(ExtReal(x, k));
}

// 2^k exactly, for k from -1074 to 1023 (by its bits, without a library call).
inline double powerOfTwo(std::int64_t k) {
    if (k >= -1022) return std::bit_cast<double>(static_cast<std::uint64_t>(k + 1023) << 52);
    return std::bit_cast<double>(std::uint64_t{1} << (k + 1074));
}

// A bound on the exact |δz| of state s whose |w̃| is wAbs, in the extended
// range (what the table's radii are compared with).
MANDEL_ALWAYS_INLINE ExtReal rescaledReach(double wAbs, const RescaledState& s) {
    return roundUp(ExtReal(roundUp(wAbs + s.e), s.k));
}

// remainderShare in doubles for state s whose |w̃| is wAbs: u/ρ for u =
// roundUp(wAbs + e)·2^k (rescaledReach's) from the radius's mantissa and
// exponent (ratios below 2^-1074 counted as that, above 2^64 as 2^64),
// against the pixel's fromOffset.
MANDEL_ALWAYS_INLINE double rescaledShare(double wAbs, const RescaledState& s, const ExtReal& radius,
                                          double fromOffset) {
    const std::int64_t gap = std::min<std::int64_t>(s.k - radius.exponent, 64);
    // Taken at kRescaledFactorFloor at least, and without a subnormal factor.
    double fromStart = kRescaledFactorFloor;
    if (gap >= -1074) {
        const double ratio = roundUp(roundUp(wAbs + s.e) / radius.mantissa);
        // ratio·2^gap < 2^(field − 1022 + gap): computed where that may reach the floor.
        if (exponentField(ratio) - 1022 + gap > kRescaledFactorFloorExponent)
            fromStart = ratio * powerOfTwo(gap + 64) * 0x1p-64 + 0x1p-1074;
    }
    return std::min(1.0, std::max(std::max(fromStart, fromOffset), kRescaledFactorFloor));
}

// At least x·2^k as a double: exactly where that is a normal double (the
// mantissa's exponent bits moved) and at least kRescaledFactorFloor, else
// that floor; infinite above double's range.
MANDEL_ALWAYS_INLINE double scaledUp(const ExtReal& x, std::int64_t k) {
    if (x.isZero()) return kRescaledFactorFloor;
    const std::int64_t exponent = x.exponent + k;  // x < 2^exponent (mantissa in [0.5, 1))
    if (exponent > 1024) return std::numeric_limits<double>::infinity();
    if (exponent <= kRescaledFactorFloorExponent) return kRescaledFactorFloor;
    return std::bit_cast<double>(std::bit_cast<std::uint64_t>(x.mantissa) +
                                 (static_cast<std::uint64_t>(exponent) << 52));
}

// The share of a step's remainder (relative to its terms) below which a
// rescaled step does not work out the closer bound.
inline constexpr double kCloserBoundFrom = 0x1p-40;

// droppedSquares for an extended-range step in units of 2^k, for u and c in
// the unit: 2^k·(P·u² + 2Q·u·c + S·c²).
MANDEL_ALWAYS_INLINE double droppedSquaresInUnit(const DroppedSquares<ExtReal>& s, double levelRemainder, double u,
                                                 double c, std::int64_t k) {
    const DroppedSquares<double> unit{scaledUp(s.sqU, k), scaledUp(s.sqUC, k), scaledUp(s.sqC, k)};
    return droppedSquares<double>(unit, levelRemainder, u, std::max(c, kRescaledOffsetFloor));
}

// blaStep in units of 2^k: the same products and sums in double on w and δc
// in the unit, and the same bound divided by 2^k (the table's conversions:
// coefficients exact, bounds upward; plus the rounding of double's subnormal
// range). False (nothing changed) where a coefficient does not fit a double.
// fromOffset is the pixel's offsetShare (PerturbRun's) upward.
MANDEL_ALWAYS_INLINE bool rescaledBlaStep(const BlaLevels<ExtReal>& table, std::int64_t m, int level, RescaledState& s,
                                          const RescaledOffset& d, double wAbs, double fromOffset) {
    const RescaledBlaStep& step = table.rescaledStep(m, level);
    if (!step.fits) return false;
    const double levelRemainder = table.rescaledRemainder[table.slot(level)];
    const double share = rescaledShare(wAbs, s, table.radius(m, level), fromOffset);
    const double shareOfRemainder = roundUp(levelRemainder * share);
    double dropped = shareOfRemainder * (step.aBound * (s.e + wAbs) + step.bBound * d.bound);
    // The closer bound only where the share leaves a remainder well above the
    // step's rounding (near a minibrot most steps are taken far inside their
    // radius, and there its arithmetic cost a fifth of the drawing).
    if (shareOfRemainder > kCloserBoundFrom) {
        const double closer = droppedSquaresInUnit(step.squares, levelRemainder, roundUp(wAbs + s.e), d.bound, s.k);
        if (closer < dropped) dropped = closer;
    }
    const double nr = (step.ar * s.wr - step.ai * s.wi) + (step.br * d.dr - step.bi * d.di);
    const double ni = (step.ar * s.wi + step.ai * s.wr) + (step.br * d.di + step.bi * d.dr);
    s.e = roundUp(step.aBound * s.e + (step.aErr + kBlaRounding * step.aBound) * wAbs +
                  (step.bErr + kBlaRounding * step.bBound) * d.bound + step.bBound * d.err + dropped +
                  2 * NumberTraits<double>::stepAbsoluteError());
    s.wr = nr;
    s.wi = ni;
    return true;
}

inline PerturbState<ExtReal> extendedState(const RescaledState& s) {
    const ExtReal unit(1.0, s.k);
    return {ExtReal(s.wr) * unit, ExtReal(s.wi) * unit, roundUp(ExtReal(s.e) * unit), s.m, s.i};
}

// Back into units of 2^k with k from |δz|, but not below δc's size (so that
// δc in the unit stays a double below 2).
inline RescaledState rescaledState(const PerturbState<ExtReal>& x, std::int64_t offsetExponent) {
    const ExtReal largest = std::max(abs(x.dzr), abs(x.dzi));
    const std::int64_t k = std::max(largest.isZero() ? offsetExponent : largest.exponent, offsetExponent);
    const ExtReal unit(1.0, -k);
    return {(x.dzr * unit).toDouble(),
            (x.dzi * unit).toDouble(),
            upperDouble(roundUp(x.e * unit)) + 0x1p-1073,
            k,
            x.m,
            x.i};
}

// roundUp(x·scale) + 2^-1073 for x ≥ 0 and a normal power of two `scale`,
// at least `floor` (≥ kRescaledTinyBound); `floor` itself, without the
// product, where x·scale is below 2^-1022.
inline double scaledBoundAtLeast(double x, double scale, double floor) {
    if (exponentField(x) + exponentField(scale) <= 1023) return floor;
    return std::max(roundUp(x * scale) + 0x1p-1073, floor);
}

// δc moved to a unit `scale` times the old one's inverse: each part may round
// into the subnormal range (2^-1075), its bounds then round up by at most as
// much.
inline void scaleOffset(RescaledOffset& d, double scale) {
    d.dr = d.dr * scale;
    d.di = d.di * scale;
    d.err = scaledBoundAtLeast(d.err, scale, kRescaledFactorFloor);
    d.abs = scaledBoundAtLeast(d.abs, scale, kRescaledTinyBound);
    d.bound = scaledBoundAtLeast(d.bound, scale, kRescaledFactorFloor);
    flushSubnormalParts(d);
}

// The unit 2^k for a pair (re, im) given in units of 2^base: k from the
// larger part's exponent as ExtReal takes it (its mantissa in [0.5, 1)), as
// rescaledState takes it, and not below δc's. False where that part is 0,
// subnormal or not finite, or the move from the unit 2^current leaves
// double's range (a shift beyond 2^±1000).
inline bool unitFor(double re, double im, std::int64_t base, std::int64_t offsetExponent, std::int64_t current,
                    std::int64_t& k) {
    const double largest = largerMagnitude(re, im);
    const auto field = static_cast<std::int64_t>(std::bit_cast<std::uint64_t>(largest) >> 52);
    if (field == 0 || field >= 0x7ff) return false;
    k = std::max(base + field - 1022, offsetExponent);
    const std::int64_t shift = k - current;
    return shift <= 1000 && shift >= -1000;
}

// rescaledState(extendedState(s)) and rescaledOffset in double: w and δc in
// the unit scaled by a power of two (a smaller part may round into the
// subnormal range, which the bounds' 2^-1073 covers, as there). False
// (nothing changed) where w is 0, subnormal or not finite, or the shift
// leaves double's range.
inline bool rescaleInPlace(RescaledState& s, RescaledOffset& d, std::int64_t offsetExponent) {
    std::int64_t k = 0;
    if (!unitFor(s.wr, s.wi, s.k, offsetExponent, s.k, k)) return false;
    const double scale = powerOfTwo(s.k - k);
    s.wr = s.wr * scale;
    s.wi = s.wi * scale;
    s.e = roundUp(s.e * scale) + 0x1p-1073;
    s.k = k;
    scaleOffset(d, scale);
    return true;
}

// The rebase in double: δz becomes the pixel's own z = x (formed in double,
// with the bound xErr on its error), in a unit from x's size (not below
// δc's), against Z_0 = 0; δc moves to that unit. False (nothing changed)
// where x is 0, subnormal or not finite, or the shift leaves double's range.
inline bool rebaseInUnit(RescaledState& s, RescaledOffset& d, double xr, double xi, double xErr,
                         std::int64_t offsetExponent) {
    std::int64_t k = 0;
    if (!unitFor(xr, xi, 0, offsetExponent, s.k, k)) return false;
    // x's larger part is normal and k at least its exponent: 2^-k is a normal double.
    const double toUnit = powerOfTwo(-k);
    s.wr = xr * toUnit;
    s.wi = xi * toUnit;
    s.e = roundUp(xErr * toUnit) + 0x1p-1073;
    scaleOffset(d, powerOfTwo(s.k - k));
    s.k = k;
    s.m = 0;
    return true;
}

// |Z + δz| as computed and a bound on its error; where it was formed in
// double, the sum itself and whether the pixel rebases. False where the
// extended-range step must take the iteration.
struct PixelSum {
    double abs = 0, err = 0;
    double xr = 0, xi = 0;
    bool rebase = false;
};

MANDEL_ALWAYS_INLINE bool pixelMagnitude(const RescaledState& s, double zr, double zi, double zErr, double zAbs,
                                         double wAbs, double unit, PixelSum& sum) {
    if (s.k >= kRescaledSumUnit) {
        sum.xr = zr + unit * s.wr;
        sum.xi = zi + unit * s.wi;
        sum.abs = NumberTraits<double>::magnitude(sum.xr, sum.xi, sum.xr * sum.xr + sum.xi * sum.xi);
        // unit·w may round into the subnormal range: 2^-1075 per part.
        sum.err = roundUp(zErr + unitProductUp(s.k, unit, s.e) + kPerturbSumRounding * sum.abs + 0x1p-1073);
        sum.rebase = closerToZero(sum.abs, unit * wAbs);
        return true;
    }
    // δz is below 2^-1000·2^32 here: beside a Z above 2^-900 no rebase can be due.
    if (!(zAbs > kRescaledZFloor)) return false;
    sum.abs = zAbs;
    sum.err = roundUp(zErr + scaledBoundUp(roundUp(wAbs + s.e), s.k) + kPerturbSumRounding * zAbs);
    return true;
}

// w's unit 2^k (0 below double's range, where its share is bounded apart),
// that unit upward, and w's squares and magnitude.
struct UnitValues {
    double unit = 0, unitUp = 0, w2 = 0, wAbs = 0;
};

MANDEL_ALWAYS_INLINE UnitValues unitValues(const RescaledState& s) {
    UnitValues u;
    u.unit = s.k >= -1074 ? powerOfTwo(s.k) : 0.0;
    u.unitUp = u.unit > 0 ? u.unit : std::numeric_limits<double>::denorm_min();
    u.w2 = s.wr * s.wr + s.wi * s.wi;
    u.wAbs = NumberTraits<double>::magnitude(s.wr, s.wi, u.w2);
    return u;
}

// Iteration s.i of the pixel in units of 2^k: its escape test, then one
// perturbation step. `points` is the reference as a plain double iteration
// loads it, with |Z̃| (DeepReference::lanePoints): read where Z̃ is a plain
// double, it spares a square root a step. Returns the count (escaped at
// s.i, or the limit), kUndecidedCount, kSwitchCount where the
// extended-range step must take this iteration, or 0 when the pixel goes on.
MANDEL_ALWAYS_INLINE std::int64_t rescaledStep(const PerturbRun<ExtReal>& run, const LanePoint* points,
                                               RescaledState& s, RescaledOffset& d, std::int64_t offsetExponent,
                                               std::int64_t& iterations) {
    const auto at = static_cast<std::size_t>(s.m);
    if (run.orbit[at].exponent != 0 || s.m == run.last) return kSwitchCount;
    const LanePoint& point = points[at];
    double zr = point.zr, zi = point.zi, zErr = point.zErr, zAbs = point.zAbs;
    UnitValues u = unitValues(s);
    PixelSum sum;
    if (!pixelMagnitude(s, zr, zi, zErr, zAbs, u.wAbs, u.unit, sum)) return kSwitchCount;
    const EscapeTest test = escapeTest(sum.abs, sum.err);
    if (test == EscapeTest::Escaped) return s.i;
    if (test == EscapeTest::Undecided) return kUndecidedCount;
    if (s.i == run.limit) return run.limit;
    if (sum.rebase) {
        if (!rebaseInUnit(s, d, sum.xr, sum.xi, sum.err, offsetExponent)) return kSwitchCount;
        zr = zi = zErr = zAbs = 0;
        u = unitValues(s);
    }
    if (run.table && run.table->startsAt(s.m)) {
        const int level = run.table->longest(s.m, rescaledReach(u.wAbs, s), run.limit - s.i);
        if (level > 0) {
            if (!rescaledBlaStep(*run.table, s.m, level, s, d, u.wAbs, upperDouble(run.fromOffset)))
                return kSwitchCount;
            const std::int64_t length = std::int64_t{1} << level;
            s.m += length;
            s.i += length;
            *run.bla.skipped += length;
            return 0;
        }
    }
    const double wBound = roundUp(sum.abs + kPerturbSumRounding * sum.abs + sum.err);  // ≥ |Z̃ + δz̃|
    const StepOffset<double> next = nextOffset<double, true>(zr, zi, s.wr, s.wi, d.dr, d.di, u.unit);
    const double terms = stepTerms(2.0, zAbs, u.wAbs, unitProductUp(s.k, u.unitUp, u.w2), d.abs);
    // The square's share 2^k·w² where 2^k is below double's range.
    const double squareLoss = u.unit > 0 ? 0.0 : scaledBoundUp(roundUp(u.w2), s.k);
    // The double step's bound divided by 2^k.
    s.e = roundUp(stepBound<double, true>(2.0, s.e, wBound, u.wAbs, zErr, d.err, kPerturbStepRounding, terms,
                                          NumberTraits<double>::stepAbsoluteError(), unitProductUp(s.k, u.unitUp, s.e),
                                          squareLoss));
    s.wr = next.re;
    s.wi = next.im;
    ++s.m;
    ++s.i;
    ++iterations;
    return 0;
}

// What the rescaled loop carries from one iteration to the next.
struct RescaledPixel {
    RescaledState s;
    RescaledOffset d;
    std::int64_t offsetExponent = 0;  // δc's (k never goes below it)
};

inline RescaledPixel rescaledPixel(const PixelOffset<ExtReal>& dc, const PerturbState<ExtReal>& start) {
    RescaledPixel p;
    p.offsetExponent = dc.abs.exponent;
    p.s = rescaledState(start, p.offsetExponent);
    p.d = rescaledOffset(dc, p.s.k);
    return p;
}

// After a step in the unit: w brought back near 1 where it has left
// [2^-32, 2^33) (through the extended range where the shift cannot be made
// in double).
inline void rescaleIfDue(RescaledPixel& p, const PixelOffset<ExtReal>& dc) {
    if (!rescaleDue(p.s.wr, p.s.wi)) return;
    if (rescaleInPlace(p.s, p.d, p.offsetExponent)) return;
    p.s = rescaledState(extendedState(p.s), p.offsetExponent);
    p.d = rescaledOffset(dc, p.s.k);
}

// One pass of the loop: iteration s.i (in the extended range where the unit
// cannot serve it), then the rescale. Returns the count (noting the escape in
// `trace`), kUndecidedCount, or 0 when the pixel goes on.
MANDEL_ALWAYS_INLINE std::int64_t rescaledIteration(const PerturbRun<ExtReal>& run, const LanePoint* points,
                                                    RescaledPixel& p, std::int64_t& iterations, PixelTrace* trace) {
    const std::int64_t result = rescaledStep(run, points, p.s, p.d, p.offsetExponent, iterations);
    if (result == kSwitchCount) {
        // One iteration in the extended range, then back.
        PerturbState<ExtReal> x = extendedState(p.s);
        const std::int64_t r = perturbStep(run, x, iterations);
        if (r != 0) {
            noteEscape(run.orbit, x, r, run.limit, trace);
            return r;
        }
        p.s = rescaledState(x, p.offsetExponent);
        p.d = rescaledOffset(run.dc, p.s.k);
        return 0;
    }
    if (result != 0) {
        noteEscape(run.orbit, extendedState(p.s), result, run.limit, trace);
        return result;
    }
    rescaleIfDue(p, run.dc);
    return 0;
}

// The loop from `p` until the pixel is decided, undecided or cancelled.
template <class Stop>
std::int64_t rescaledLoop(const PerturbRun<ExtReal>& run, const LanePoint* points, RescaledPixel& p, Stop& stop,
                          std::int64_t& iterations, PixelTrace* trace) {
    for (std::int64_t loops = 1;; ++loops) {
        if (loops % kPollInterval == 0 && stop()) return kCancelledCount;
        const std::int64_t result = rescaledIteration(run, points, p, iterations, trace);
        if (result != 0) return result;
    }
}

// The pixel's iteration in units of 2^k from the state `start` (without
// the derivative). Returns what perturbedCount does, and notes the escape in
// `trace` like it.
template <class Stop>
std::int64_t rescaledRun(const std::vector<OrbitPoint>& orbit, const std::vector<LanePoint>& points,
                         const PixelOffset<ExtReal>& dc, std::int64_t limit, Stop& stop, std::int64_t& iterations,
                         const BlaUse<ExtReal>& bla, const PerturbState<ExtReal>& start, PixelTrace* trace = nullptr) {
    const PerturbRun<ExtReal> run(orbit, dc, limit, bla);
    RescaledPixel p = rescaledPixel(dc, start);
    return rescaledLoop(run, points.data(), p, stop, iterations, trace);
}

// The pixel's iteration in units of 2^k; see the header. A trace that
// carries the derivative takes the extended-range loop.
template <class Stop>
std::int64_t rescaledCount(const std::vector<OrbitPoint>& orbit, const std::vector<LanePoint>& points,
                           const PixelOffset<ExtReal>& dc, std::int64_t limit, Stop& stop, std::int64_t& iterations,
                           const BlaUse<ExtReal>& bla, PixelTrace* trace = nullptr) {
    if (trace && trace->carryDerivative) return perturbedCount(orbit, dc, limit, stop, iterations, false, bla, trace);
    return rescaledRun(orbit, points, dc, limit, stop, iterations, bla, PerturbState<ExtReal>{dc.re, dc.im, dc.err, 1, 1},
                       trace);
}

}  // namespace mandel
