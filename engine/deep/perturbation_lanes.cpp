// The lanes' loop, compiled once per instruction set by Highway's
// foreach_target and chosen at run time (HWY_DYNAMIC_DISPATCH). Scalable
// vectors (Arm SVE) are left out as in the single-precision kernel: every Arm
// processor with SVE also has NEON.

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "deep/perturbation_lanes.cpp"
#define HWY_DISABLED_TARGETS (HWY_SVE | HWY_SVE2 | HWY_SVE_256 | HWY_SVE2_128)
#include <hwy/foreach_target.h>  // IWYU pragma: keep

#include <hwy/highway.h>

#include <cstdint>

#include "deep/error_bound.h"
#include "deep/lane_step-inl.h"
#include "deep/perturbation.h"
#include "deep/perturbation_lanes.h"

HWY_BEFORE_NAMESPACE();
namespace mandel::deeplanes {
namespace HWY_NAMESPACE {

static_assert(!HWY_HAVE_SCALABLE, "a batch holds a fixed number of lanes");
static_assert(HWY_LANES(double) <= kMaxDeepLanes);

// The derivative's plain step, ScaledDerivative::step's operations in its order.
HWY_INLINE void DerivativeStep(D d, V wr, V wi, V unit, V& derR, V& derI) {
    const V two = hn::Set(d, 2.0);
    const V nr = hn::Mul(two, hn::Sub(hn::Mul(wr, derR), hn::Mul(wi, derI)));
    const V ni = hn::Mul(two, hn::Add(hn::Mul(wr, derI), hn::Mul(wi, derR)));
    derR = hn::Add(nr, unit);
    derI = hn::Add(ni, hn::Zero(d));
}

// The lanes whose pixel takes an approximation step at this iteration:
// those for which BlaLevels::longest finds the first level's step valid (and
// so some step), tested in the lanes with its own comparisons.
HWY_INLINE M ApproximationWanted(D d, DI di, const LaneJob& job, const LaneBatch& b, VI m, VI i, V dAbs, V e) {
    const BlaLevels<double>& table = *job.table;
    const int first = table.firstLevel;
    const VI zero = hn::Zero(di);
    const VI offset = hn::Sub(m, hn::Set(di, 1));
    const V u = hn::Mul(hn::Add(dAbs, e), hn::Set(d, kBoundInflation));
    // Most iterations no lane is at a multiple of the first level, or every
    // lane's δz is beyond any step's radius: those tests alone then decide
    // (at m = 0 the offset's low bits are all ones).
    auto want = hn::And(hn::Eq(hn::And(offset, hn::Set(di, (std::int64_t{1} << first) - 1)), zero),
                        hn::RebindMask(di, hn::Le(u, hn::Set(d, table.largestFirstRadius))));
    if (hn::AllFalse(di, want)) return hn::FirstN(d, 0);
    const VI index = hn::ShiftRightSame(offset, first);
    want = hn::And(want, hn::Gt(m, zero));
    want = hn::And(want, hn::Lt(index, hn::Set(di, static_cast<std::int64_t>(table.radii[0].size()))));
    want = hn::AndNot(hn::Gt(hn::Set(di, std::int64_t{1} << first), hn::Sub(hn::Set(di, job.limit), i)), want);
    want = hn::And(want, hn::Ne(hn::Load(di, b.tableOn), zero));
    if (hn::AllFalse(di, want)) return hn::FirstN(d, 0);
    // Lanes not wanted read the first radius.
    const V radius = hn::GatherIndex(d, table.radii[0].data(), hn::IfThenElseZero(want, index));
    return hn::And(hn::RebindMask(d, want), hn::Le(u, radius));
}

// The approximation steps of the lanes in `wanted`, over the plain steps the
// lanes made from the same state: perturbStep's choice (longest) and step
// (blaStep, and the derivative's step when carried), lane by lane.
struct LaneValues {
    alignas(64) double dzr[kMaxDeepLanes], dzi[kMaxDeepLanes], e[kMaxDeepLanes], dAbs[kMaxDeepLanes];
    alignas(64) double derR[kMaxDeepLanes], derI[kMaxDeepLanes];
    alignas(64) std::int64_t m[kMaxDeepLanes], i[kMaxDeepLanes], wanted[kMaxDeepLanes];
};

// ScaledDerivative's approximation step of one lane, from its state before.
void DerivativeApproximation(const BlaStep<double>& s, const LaneValues& before, std::size_t lane, LaneBatch& b,
                             LaneValues& after) {
    PixelTrace trace;
    trace.derivative.assign(before.derR[lane], before.derI[lane], b.derScale[lane]);
    derivativeStep(s, trace);
    const ScaledDerivative& der = trace.derivative;
    after.derR[lane] = der.re;
    after.derI[lane] = der.im;
    b.derScale[lane] = der.scale;
    b.derUnit[lane] = der.scale >= 0 ? der.unit() : -1.0;
}

// `after` holds the lanes' state after their plain step; the wanted lanes'
// entries are replaced by their approximation step's. Arrays in and out, so
// that the loop's vectors stay in registers on its plain path.
HWY_NOINLINE void TakeApproximationSteps(const LaneJob& job, LaneBatch& b, const LaneValues& before,
                                         LaneValues& after, bool derivative) {
    const BlaLevels<double>& table = *job.table;
    for (std::size_t lane = 0; lane < hn::Lanes(D()); ++lane) {
        if (before.wanted[lane] == 0) continue;
        const std::int64_t at = before.m[lane];
        const int k = table.longest(at, roundUp(before.dAbs[lane] + before.e[lane]), job.limit - before.i[lane]);
        if (k <= 0) continue;
        const PixelOffset<double> dc{b.dcr[lane], b.dci[lane], b.dcErr[lane], b.dcAbs[lane]};
        double r = before.dzr[lane], im = before.dzi[lane], err = before.e[lane];
        const BlaStep<double>& step = table.step(at, k);
        if (derivative) DerivativeApproximation(step, before, lane, b, after);
        blaStep(table, step, k, dc, b.cBound[lane], b.fromOffset[lane], before.dAbs[lane], r, im, err);
        const std::int64_t length = std::int64_t{1} << k;
        // The lane reads its next reference point at once, far from its last.
        __builtin_prefetch(job.points + at + length);
        after.dzr[lane] = r;
        after.dzi[lane] = im;
        after.e[lane] = err;
        after.m[lane] = at + length;
        after.i[lane] = before.i[lane] + length;
        b.approximationSteps += 1;
        b.skipped += length;
    }
}

// The lanes' state into `out` (LaneValues or the LaneBatch: the same fields).
template <bool kDerivative, class Out>
HWY_INLINE void StoreLaneState(V dzr, V dzi, V e, VI m, VI i, V derR, V derI, Out& out) {
    const D d;
    const DI di;
    hn::Store(dzr, d, out.dzr);
    hn::Store(dzi, d, out.dzi);
    hn::Store(e, d, out.e);
    hn::Store(m, di, out.m);
    hn::Store(i, di, out.i);
    if constexpr (kDerivative) {
        hn::Store(derR, d, out.derR);
        hn::Store(derI, d, out.derI);
    }
}

// TakeApproximationSteps on the lanes' vectors: stored, stepped, loaded back.
template <bool kDerivative>
HWY_INLINE void ApproximateWanted(const LaneJob& job, LaneBatch& b, const LaneValues& before, V& dzr, V& dzi, V& e,
                                  VI& m, VI& i, V& derR, V& derI, V& unit) {
    const D d;
    const DI di;
    LaneValues after;
    StoreLaneState<kDerivative>(dzr, dzi, e, m, i, derR, derI, after);
    TakeApproximationSteps(job, b, before, after, kDerivative);
    dzr = hn::Load(d, after.dzr);
    dzi = hn::Load(d, after.dzi);
    e = hn::Load(d, after.e);
    m = hn::Load(di, after.m);
    i = hn::Load(di, after.i);
    if constexpr (kDerivative) {
        derR = hn::Load(d, after.derR);
        derI = hn::Load(d, after.derI);
        unit = hn::Load(d, b.derUnit);
    }
}

// perturbStep's rebase where `rebase` holds: δz becomes the pixel's own z
// (and its error bound), against Z_0 = 0.
HWY_INLINE void Rebase(M rebase, const Step& own, V w2, V wAbs, V& dzr, V& dzi, V& e, V& d2, V& dAbs, VI& m, V& zr,
                       V& zi, V& zErr, V& zAbs) {
    dzr = hn::IfThenElse(rebase, own.dzr, dzr);
    dzi = hn::IfThenElse(rebase, own.dzi, dzi);
    e = hn::IfThenElse(rebase, own.e, e);
    d2 = hn::IfThenElse(rebase, w2, d2);
    dAbs = hn::IfThenElse(rebase, wAbs, dAbs);
    m = hn::IfThenZeroElse(hn::RebindMask(DI(), rebase), m);
    zr = hn::IfThenZeroElse(rebase, zr);
    zi = hn::IfThenZeroElse(rebase, zi);
    zErr = hn::IfThenZeroElse(rebase, zErr);
    zAbs = hn::IfThenZeroElse(rebase, zAbs);
}

// The lanes' state before an iteration in which some take an approximation step.
template <bool kDerivative>
HWY_INLINE void KeepValues(D d, V dzr, V dzi, V e, V dAbs, VI m, VI i, V derR, V derI, M approximate,
                           LaneValues& before) {
    const DI di;
    if constexpr (kDerivative) {
        hn::Store(derR, d, before.derR);
        hn::Store(derI, d, before.derI);
    }
    hn::Store(dzr, d, before.dzr);
    hn::Store(dzi, d, before.dzi);
    hn::Store(e, d, before.e);
    hn::Store(dAbs, d, before.dAbs);
    hn::Store(m, di, before.m);
    hn::Store(i, di, before.i);
    hn::Store(hn::VecFromMask(di, hn::RebindMask(di, approximate)), di, before.wanted);
}

template <bool kDerivative>
std::int64_t AdvanceLanesOf(const LaneJob& job, LaneBatch& b, std::int64_t maxSteps) {
    const D d;
    const DI di;
    V dzr = hn::Load(d, b.dzr), dzi = hn::Load(d, b.dzi), e = hn::Load(d, b.e);
    V derR = hn::Load(d, b.derR), derI = hn::Load(d, b.derI);
    V unit = hn::Load(d, b.derUnit);
    const V laneHigh = hn::Set(d, ScaledDerivative::kLaneHigh);
    const V dcr = hn::Load(d, b.dcr), dci = hn::Load(d, b.dci), dcErr = hn::Load(d, b.dcErr),
            dcAbs = hn::Load(d, b.dcAbs);
    VI m = hn::Load(di, b.m), i = hn::Load(di, b.i);
    const VI last = hn::Set(di, job.last), limit = hn::Set(di, job.limit), one = hn::Set(di, 1);
    const V inflation = hn::Set(d, kBoundInflation);
    M attention = hn::FirstN(d, 0);
    std::int64_t steps = 0;
    for (; steps < maxSteps; ++steps) {
        const ReferenceValues z = LoadReference(d, job.points, m);
        V zr = z.zr, zi = z.zi, zErr = z.zErr, zAbs = z.zAbs;
        const V wr = hn::Add(zr, dzr), wi = hn::Add(zi, dzi);
        const V w2 = hn::Add(hn::Mul(wr, wr), hn::Mul(wi, wi));
        const V wAbs = Magnitude(d, wr, wi, w2);
        const V wSum = hn::Mul(hn::Set(d, kPerturbSumRounding), wAbs);
        const V wErr = hn::Mul(hn::Add(hn::Add(zErr, e), wSum), inflation);
        // escapeTest's "stays", and the limit.
        attention = hn::Not(Stays(d, wAbs, wErr));
        attention = hn::Or(attention, hn::RebindMask(d, hn::Eq(i, limit)));
        V d2 = hn::Add(hn::Mul(dzr, dzr), hn::Mul(dzi, dzi));
        V dAbs = Magnitude(d, dzr, dzi, d2);
        if constexpr (kDerivative) {
            const V top = hn::Max(hn::Abs(derR), hn::Abs(derI));
            attention = hn::Or(attention, hn::Or(hn::Not(hn::Lt(top, laneHigh)), hn::Lt(unit, hn::Zero(d))));
        }
        if (!hn::AllFalse(d, attention)) break;
        // perturbStep's rebase: on from the pixel's own value against Z_0 = 0.
        const M rebase = hn::Or(hn::RebindMask(d, hn::Eq(m, last)), closerToZero(wAbs, dAbs));
        if (!hn::AllFalse(d, rebase)) {
            const Step own{wr, wi, wErr};
            Rebase(rebase, own, w2, wAbs, dzr, dzi, e, d2, dAbs, m, zr, zi, zErr, zAbs);
        }
        const M approximate = job.table ? ApproximationWanted(d, di, job, b, m, i, dAbs, e) : hn::FirstN(d, 0);
        const bool anyApproximation = !hn::AllFalse(d, approximate);
        LaneValues before;
        if (anyApproximation) KeepValues<kDerivative>(d, dzr, dzi, e, dAbs, m, i, derR, derI, approximate, before);
        if constexpr (kDerivative) DerivativeStep(d, wr, wi, unit, derR, derI);
        const Step next =
            PlainStep(d, zr, zi, zErr, zAbs, dzr, dzi, e, d2, dAbs, hn::Add(wAbs, wSum), dcr, dci, dcErr, dcAbs);
        dzr = next.dzr;
        dzi = next.dzi;
        e = next.e;
        m = hn::Add(m, one);
        i = hn::Add(i, one);
        if (anyApproximation) ApproximateWanted<kDerivative>(job, b, before, dzr, dzi, e, m, i, derR, derI, unit);
    }
    StoreLaneState<kDerivative>(dzr, dzi, e, m, i, derR, derI, b);
    hn::Store(hn::VecFromMask(di, hn::RebindMask(di, attention)), di, b.attention);
    return steps;
}

std::int64_t AdvanceLanes(const LaneJob* job, LaneBatch* batch, std::int64_t maxSteps) {
    return job->derivative ? AdvanceLanesOf<true>(*job, *batch, maxSteps)
                           : AdvanceLanesOf<false>(*job, *batch, maxSteps);
}

std::size_t LaneCountOfThisVariant() { return hn::Lanes(D()); }

}  // namespace HWY_NAMESPACE
}  // namespace mandel::deeplanes
HWY_AFTER_NAMESPACE();

#if HWY_ONCE

namespace mandel {
namespace deeplanes {

HWY_EXPORT(AdvanceLanes);
HWY_EXPORT(LaneCountOfThisVariant);

// Unqualified: with a single compiled target, HWY_DYNAMIC_DISPATCH names the
// function in that target's namespace directly.
static std::size_t laneCount() { return HWY_DYNAMIC_DISPATCH(LaneCountOfThisVariant)(); }
static std::int64_t advance(const LaneJob& job, LaneBatch& batch, std::int64_t maxSteps) {
    return HWY_DYNAMIC_DISPATCH(AdvanceLanes)(&job, &batch, maxSteps);
}

}  // namespace deeplanes

std::size_t deepLaneCount() { return deeplanes::laneCount(); }

std::int64_t advanceLanes(const LaneJob& job, LaneBatch& batch, std::int64_t maxSteps) {
    return deeplanes::advance(job, batch, maxSteps);
}

}  // namespace mandel

#endif  // HWY_ONCE
