#pragma once

// One pixel's escape count by perturbation against the reference orbit, with
// rebasing and a rigorous error bound. R is double, or ExtReal below double's
// range. The bound e covers |δz̃ − δz| where δz = z − Z_m in exact arithmetic
// (exact pixel, exact orbit of the reference point); every escape test must be
// decided with the margin of that bound, otherwise the pixel is undecided and
// must be settled with more precision.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "deep/always_inline.h"
#include "deep/bla_table.h"
#include "deep/error_bound.h"
#include "deep/escape_test.h"
#include "deep/ext_real.h"
#include "deep/orbit.h"
#include "deep/scaled_derivative.h"

namespace mandel {

// δc = c − C of one pixel, a bound on its rounding error, and |δc| (upward).
template <class R>
struct PixelOffset {
    R re{};
    R im{};
    R err{};
    R abs{};
};

inline constexpr std::int64_t kSwitchCount = -3;  // the other number type should continue

// Where a pixel's iteration stands: δz, its error bound, the reference index
// and the iteration.
template <class R>
struct PerturbState {
    R dzr{};
    R dzi{};
    R e{};
    std::int64_t m = 1;
    std::int64_t i = 1;
    // Only a guess is wanted: undecided tests are taken as computed.
    bool guess = false;
};

// The bilinear table a pixel may use, and where its skipped iterations are
// counted. Without levels every iteration is a perturbation step.
template <class R>
struct BlaUse {
    const BlaLevels<R>* levels = nullptr;
    std::int64_t* skipped = nullptr;
};

// The approximation step s (of level k): δz ← Ã·δz + B̃·δc, its error
// bound grown by the error of Ã and B̃, the pixel's share of the dropped
// squares and the rounding (see bla_table.h). dAbs ≥ |δz̃| (to rounding),
// cBound ≥ |δc|, fromOffset the pixel's offsetShare.
template <class R>
MANDEL_ALWAYS_INLINE void blaStep(const BlaLevels<R>& table, const BlaStep<R>& s, int k, const PixelOffset<R>& dc,
                                  const R& cBound, const R& fromOffset, const R& dAbs, R& dzr, R& dzi, R& e) {
    const R u = roundUp(dAbs + e);
    const R& levelRemainder = table.remainder[table.slot(k)];
    const R share = remainderShare(u, s.radius, fromOffset);
    R dropped = roundUp(levelRemainder * share) * (s.aBound * (e + dAbs) + s.bBound * cBound);
    const R closer = droppedSquares<R>(s, levelRemainder, u, cBound);
    if (closer < dropped) dropped = closer;
    const R rounding(kBlaRounding);
    const R nr = (s.ar * dzr - s.ai * dzi) + (s.br * dc.re - s.bi * dc.im);
    const R ni = (s.ar * dzi + s.ai * dzr) + (s.br * dc.im + s.bi * dc.re);
    e = roundUp(s.aBound * e + (s.aErr + rounding * s.aBound) * dAbs + (s.bErr + rounding * s.bBound) * cBound +
                s.bBound * dc.err + dropped + NumberTraits<R>::stepAbsoluteError());
    dzr = nr;
    dzi = ni;
}

// The pixel's z = Z_m + δz where it escaped, in double (a count that is not
// the limit; perturbStep leaves the state of the iteration it escaped at).
struct EscapePoint {
    double zr = 0;
    double zi = 0;
    bool known = false;
};

// What a pixel's iteration hands on besides its count, when asked: z where it
// escaped, and (with carryDerivative) the derivative dz/dc carried through
// every perturbation and approximation step (rebasing leaves z, and so its
// derivative, as it is), scaled by powers of two: it grows with the depth.
struct PixelTrace {
    EscapePoint escape;
    bool carryDerivative = false;
    ScaledDerivative derivative;
};

inline double plainDouble(double v) { return v; }
inline double plainDouble(const ExtReal& v) { return v.toDouble(); }

template <class R>
void noteEscape(const std::vector<OrbitPoint>& orbit, const PerturbState<R>& st, std::int64_t result,
                std::int64_t limit, PixelTrace* trace) {
    if (trace == nullptr || result <= 0 || result >= limit) return;
    R zr, zi, zErr;
    NumberTraits<R>::load(orbit[static_cast<std::size_t>(st.m)], zr, zi, zErr);
    trace->escape.zr = plainDouble(zr + st.dzr);
    trace->escape.zi = plainDouble(zi + st.dzi);
    trace->escape.known = true;
}

// dz/dc through a plain step from z = w (|w| ≤ 2, a plain double in either
// number type): 2w·dz/dc + 1.
template <class R>
void derivativeStep(const R& wr, const R& wi, PixelTrace& t) {
    t.derivative.step(plainDouble(wr), plainDouble(wi));
}

// dz/dc through an approximation step δz ← A·δz + B·δc: A·dz/dc + B.
template <class R>
void derivativeStep(const BlaStep<R>& s, PixelTrace& t) {
    double ar, ai, br, bi;
    std::int64_t aScale, bScale;
    scaledPair(s.ar, s.ai, ar, ai, aScale);
    scaledPair(s.br, s.bi, br, bi, bScale);
    t.derivative.step(ar, ai, aScale, br, bi, bScale);
}

// What stays the same through one pixel's iteration.
template <class R>
struct PerturbRun {
    PerturbRun(const std::vector<OrbitPoint>& orbit, const PixelOffset<R>& dc, std::int64_t limit, const BlaUse<R>& bla,
               PixelTrace* trace = nullptr)
        : orbit(orbit),
          dc(dc),
          limit(limit),
          bla(bla),
          cBound(roundUp(dc.abs + dc.err)),
          table(bla.levels && cBound <= bla.levels->cMax ? bla.levels : nullptr),
          fromOffset(table ? offsetShare(cBound, table->cMax) : R(1.0)),
          last(static_cast<std::int64_t>(orbit.size()) - 1),
          derivative(trace != nullptr && trace->carryDerivative ? trace : nullptr) {}
    const std::vector<OrbitPoint>& orbit;
    const PixelOffset<R>& dc;
    const std::int64_t limit;
    const BlaUse<R> bla;
    const R cBound;
    const BlaLevels<R>* const table;
    const R fromOffset;  // the pixel's offsetShare of the table
    const std::int64_t last;
    PixelTrace* const derivative;  // null unless dz/dc is carried
};

// Rounding of one step, relative to its terms' sizes, and of the sum Z + δz.
inline constexpr double kPerturbStepRounding = 0x1p-49;
inline constexpr double kPerturbSumRounding = 0x1p-51;

// Iteration st.i of the pixel: its escape test, then (rebasing first where
// Z + δz is smaller than δz or the orbit ends) an approximation step where
// one is valid, else one perturbation step. Returns the count (escaped at
// st.i, or the limit), kUndecidedCount, or 0 when the pixel goes on. `iterations` is increased by the
// perturbation steps taken, the approximation's by its skipped count.
template <class R>
MANDEL_ALWAYS_INLINE std::int64_t perturbStep(const PerturbRun<R>& run, PerturbState<R>& st, std::int64_t& iterations) {
    using Traits = NumberTraits<R>;
    const R two(2.0);
    R zr, zi, zErr;
    Traits::load(run.orbit[static_cast<std::size_t>(st.m)], zr, zi, zErr);
    R& dzr = st.dzr;
    R& dzi = st.dzi;
    R& e = st.e;
    const R wr = zr + dzr, wi = zi + dzi;
    const R w2 = wr * wr + wi * wi;
    const R wAbs = Traits::magnitude(wr, wi, w2);
    const R wSumRounding = R(kPerturbSumRounding) * wAbs;
    const R wErr = roundUp(zErr + e + wSumRounding);
    const R wBound = wAbs + wSumRounding;  // ≥ |Z̃ + δz̃|
    const EscapeTest test = escapeTest(wAbs, wErr);
    if (test == EscapeTest::Escaped) return st.i;
    if (test == EscapeTest::Undecided) {
        if (!st.guess) return kUndecidedCount;
        if (Traits::lowerDouble(wAbs) > 2) return st.i;
    }
    if (st.i == run.limit) return run.limit;
    R d2 = dzr * dzr + dzi * dzi;
    R dAbs = Traits::magnitude(dzr, dzi, d2);
    if (st.m == run.last || closerToZero(wAbs, dAbs)) {
        // Continue from the pixel's own value against Z_0 = 0.
        dzr = wr;
        dzi = wi;
        e = wErr;
        d2 = w2;
        dAbs = wAbs;
        st.m = 0;
        zr = zi = zErr = R{};
    }
    if (run.table) {
        const int k = run.table->longest(st.m, roundUp(dAbs + e), run.limit - st.i);
        if (k > 0) {
            const BlaStep<R>& s = run.table->step(st.m, k);
            if (run.derivative) derivativeStep(s, *run.derivative);
            blaStep(*run.table, s, k, run.dc, run.cBound, run.fromOffset, dAbs, dzr, dzi, e);
            const std::int64_t length = std::int64_t{1} << k;
            st.m += length;
            st.i += length;
            *run.bla.skipped += length;
            return 0;
        }
    }
    if (run.derivative) derivativeStep(wr, wi, *run.derivative);
    const R zAbs = Traits::magnitude(zr, zi, zr * zr + zi * zi);
    const StepOffset<R> next = nextOffset(zr, zi, dzr, dzi, run.dc.re, run.dc.im);
    const R terms = stepTerms(two, zAbs, dAbs, d2, run.dc.abs);
    e = roundUp(
        stepBound(two, e, wBound, dAbs, zErr, run.dc.err, R(kPerturbStepRounding), terms, Traits::stepAbsoluteError()));
    dzr = next.re;
    dzi = next.im;
    ++st.m;
    ++st.i;
    ++iterations;
    return 0;
}

// Continues the iteration of `st` (see perturbStep) until it ends, or until
// stop() says so (kCancelledCount), asked every few thousand iterations.
template <class R, class Stop>
std::int64_t perturbRun(const std::vector<OrbitPoint>& orbit, const PixelOffset<R>& dc, std::int64_t limit, Stop& stop,
                        std::int64_t& iterations, PerturbState<R>& st, const BlaUse<R>& bla = {},
                        PixelTrace* trace = nullptr) {
    const PerturbRun<R> run(orbit, dc, limit, bla, trace);
    for (std::int64_t loops = 1;; ++loops) {
        const std::int64_t result = perturbStep(run, st, iterations);
        if (result != 0) return result;
        if (loops % kPollInterval == 0 && stop()) return kCancelledCount;
    }
}

// The whole iteration of one pixel in one number type.
// With `guess`, a count that may be wrong where the bound cannot decide.
template <class R, class Stop>
std::int64_t perturbedCount(const std::vector<OrbitPoint>& orbit, const PixelOffset<R>& dc, std::int64_t limit,
                            Stop& stop, std::int64_t& iterations, bool guess = false, const BlaUse<R>& bla = {},
                            PixelTrace* trace = nullptr) {
    PerturbState<R> st{dc.re, dc.im, dc.err, 1, 1, guess};
    const std::int64_t result = perturbRun(orbit, dc, limit, stop, iterations, st, bla, trace);
    noteEscape(orbit, st, result, limit, trace);
    return result;
}

}  // namespace mandel
