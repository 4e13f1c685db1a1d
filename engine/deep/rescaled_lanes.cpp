// The rescaled lanes' loop, compiled once per instruction set by Highway's
// foreach_target and chosen at run time, as the double lanes' loop is.

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "deep/rescaled_lanes.cpp"
#define HWY_DISABLED_TARGETS (HWY_SVE | HWY_SVE2 | HWY_SVE_256 | HWY_SVE2_128)
#include <hwy/foreach_target.h>  // IWYU pragma: keep

#include <hwy/highway.h>

#include <algorithm>
#include <cstdint>

#include "deep/error_bound.h"
#include "deep/lane_step-inl.h"
#include "deep/rescaled_lanes.h"
#include "deep/rescaled_perturbation.h"

HWY_BEFORE_NAMESPACE();
namespace mandel::deeplanes {
namespace HWY_NAMESPACE {

static_assert(sizeof(ExtReal) == 2 * sizeof(std::int64_t));

// 2^k (0 below 2^-1074), as rescaledStep's unit, by its bits: a biased
// exponent from 2^-1022 up, a single mantissa bit below (no subnormal
// arithmetic).
HWY_INLINE V UnitOf(D d, VI k) {
    const DI di;
    const VI normal = hn::ShiftLeft<52>(hn::Add(k, hn::Set(di, 1023)));
    const VI shift = hn::Min(hn::Max(hn::Add(k, hn::Set(di, 1074)), hn::Zero(di)), hn::Set(di, 63));
    const VI subnormal = hn::Shl(hn::Set(di, 1), shift);
    const VI bits = hn::IfThenElse(hn::Gt(k, hn::Set(di, -1023)), normal, subnormal);
    return hn::IfThenZeroElse(hn::RebindMask(d, hn::Lt(k, hn::Set(di, -1074))), hn::BitCast(d, bits));
}

// upperDouble(ExtReal(x, k)) for 0 ≤ x < 2^100: x·2^k rounded once (exact
// where normal, as ldexp rounds where subnormal, 0 below 2^-1100), up by the
// bound's inflation and 2^-1074. With k clamped to [-1200, 300] the first
// product stays normal wherever the result is not 0.
HWY_INLINE V UpperScaled(D d, V x, VI k) {
    const DI di;
    const VI kc = hn::Min(hn::Max(k, hn::Set(di, -1200)), hn::Set(di, 300));
    const V first = hn::BitCast(d, hn::ShiftLeft<52>(hn::Add(kc, hn::Set(di, 1023 + 600))));
    const V value = hn::Mul(hn::Mul(x, first), hn::Set(d, 0x1p-600));
    return hn::Add(hn::Mul(value, hn::Set(d, kBoundInflation)), hn::Set(d, std::numeric_limits<double>::denorm_min()));
}

// The biased exponent field of x ≥ 0.
HWY_INLINE VI FieldOf(V x) { return hn::ShiftRight<52>(hn::BitCast(DI(), x)); }

// The lanes where x·2^k (x ≥ 0) is below 2^-1022 (exponentField(x) + k ≤ 0).
HWY_INLINE M TinyScaled(D d, V x, VI k) {
    return hn::RebindMask(d, hn::Not(hn::Gt(hn::Add(FieldOf(x), k), hn::Zero(DI()))));
}

// scaledBoundUp: UpperScaled where that is a normal double, else
// kRescaledTinyBound, with no subnormal operation in the tiny lanes.
HWY_INLINE V ScaledBoundUp(D d, V x, VI k) {
    const M tiny = TinyScaled(d, x, k);
    if (hn::AllTrue(d, tiny)) return hn::Set(d, kRescaledTinyBound);
    const V value = UpperScaled(d, x, hn::IfThenZeroElse(hn::RebindMask(DI(), tiny), k));
    return hn::IfThenElse(tiny, hn::Set(d, kRescaledTinyBound), value);
}

// unitProductUp: unitUp·x, or kRescaledTinyBound where 2^k·x is below
// 2^-1022 (a tiny lane multiplies 1 by 1 instead: its unit may be subnormal).
HWY_INLINE V UnitProductUp(D d, VI k, V unitUp, V x) {
    const M tiny = TinyScaled(d, x, k);
    if (hn::AllTrue(d, tiny)) return hn::Set(d, kRescaledTinyBound);
    if (hn::AllFalse(d, tiny)) return hn::Mul(unitUp, x);
    const V one = hn::Set(d, 1.0);
    const V product = hn::Mul(hn::IfThenElse(tiny, one, unitUp), hn::IfThenElse(tiny, one, x));
    return hn::IfThenElse(tiny, hn::Set(d, kRescaledTinyBound), product);
}

// The lanes that may take an approximation step at this iteration: a table's
// start, in range, and not surely beyond the first level's radius (|δz|'s
// exponent above the radius's). rescaledStep's own choice decides.
HWY_INLINE M ApproximationCandidates(D d, const RescaledLaneJob& job, const RescaledLaneBatch& b, VI m, VI i, VI k,
                                     V x) {
    const DI di;
    const BlaLevels<ExtReal>& table = *job.table;
    const int first = table.firstLevel, aligned = std::min(first, table.spreadLevel);  // as startsAt, indexIn
    const VI zero = hn::Zero(di), offset = hn::Sub(m, hn::Set(di, 1));
    // Most iterations no lane is at a start: that test alone then decides.
    auto want = hn::Eq(hn::And(offset, hn::Set(di, (std::int64_t{1} << aligned) - 1)), zero);
    if (hn::AllFalse(di, want)) return hn::FirstN(d, 0);
    const VI index = hn::ShiftRightSame(offset, aligned);
    want = hn::And(want, hn::Gt(m, zero));
    want = hn::And(want, hn::Lt(index, hn::Set(di, static_cast<std::int64_t>(table.radii[0].size()))));
    want = hn::AndNot(hn::Gt(hn::Set(di, std::int64_t{1} << first), hn::Sub(hn::Set(di, job.limit), i)), want);
    want = hn::And(want, hn::Ne(hn::Load(di, b.tableOn), zero));
    if (hn::AllFalse(di, want)) return hn::FirstN(d, 0);
    const auto* radii = reinterpret_cast<const std::int64_t*>(table.radii[0].data());
    const VI radiusExponent =
        hn::GatherIndex(di, radii, hn::Add(hn::ShiftLeft<1>(hn::IfThenElseZero(want, index)), hn::Set(di, 1)));
    const VI field = FieldOf(x);
    const VI lowest = hn::Sub(hn::Add(k, field), hn::Set(di, 1022));
    const auto near = hn::Or(hn::Eq(field, zero), hn::Not(hn::Gt(lowest, radiusExponent)));
    return hn::RebindMask(d, hn::And(want, near));
}

// The lanes' pixel state as vectors, with the unit 2^k and that unit upward
// (made again only where k changes).
struct RescaledVectors {
    V wr, wi, e, dr, di, dErr, dAbs, dBound;
    VI k, m, i;
    V unit, unitUp;
};

HWY_INLINE V UnitUp(D d, V unit) {
    return hn::IfThenElse(hn::Gt(unit, hn::Zero(d)), unit, hn::Set(d, std::numeric_limits<double>::denorm_min()));
}

HWY_INLINE RescaledVectors LoadState(const RescaledLaneState& s) {
    const D d;
    const DI di;
    const VI k = hn::Load(di, s.k);
    const V unit = UnitOf(d, k);
    return {hn::Load(d, s.wr),     hn::Load(d, s.wi),   hn::Load(d, s.e),     hn::Load(d, s.dr),
            hn::Load(d, s.di),     hn::Load(d, s.dErr), hn::Load(d, s.dAbs),  hn::Load(d, s.dBound),
            k,                     hn::Load(di, s.m),   hn::Load(di, s.i),    unit,
            UnitUp(d, unit)};
}

HWY_INLINE void StoreState(const RescaledVectors& v, RescaledLaneState& s) {
    const D d;
    const DI di;
    hn::Store(v.wr, d, s.wr);
    hn::Store(v.wi, d, s.wi);
    hn::Store(v.e, d, s.e);
    hn::Store(v.dr, d, s.dr);
    hn::Store(v.di, d, s.di);
    hn::Store(v.dErr, d, s.dErr);
    hn::Store(v.dAbs, d, s.dAbs);
    hn::Store(v.dBound, d, s.dBound);
    hn::Store(v.k, di, s.k);
    hn::Store(v.m, di, s.m);
    hn::Store(v.i, di, s.i);
}

// The lanes' state before an iteration in which some may take a table step.
struct RescaledValues {
    RescaledLaneState state;
    alignas(64) double wAbs[kMaxDeepLanes];
    alignas(64) std::int64_t wanted[kMaxDeepLanes];
};

// rescaledStep's approximation step for the lanes in `values.wanted`: its
// choice (longest) and step (rescaledBlaStep), lane by lane, in place (each
// lane reads only its own state before writing it). A lane whose step does
// not fit a double keeps its state and is marked in `unfitLanes` (its
// iteration is the extended-range step's). Returns the lanes that took a
// step or are unfit. Arrays in and out, so that the loop's vectors stay in
// registers.
HWY_NOINLINE M TakeRescaledApproximations(const RescaledLaneJob& job, RescaledLaneBatch& b, RescaledValues& values,
                                          std::int64_t* unfitLanes) {
    const D d;
    const DI di;
    alignas(64) std::int64_t took[kMaxDeepLanes] = {};
    const BlaLevels<ExtReal>& table = *job.table;
    for (std::size_t lane = 0; lane < hn::Lanes(d); ++lane) {
        if (values.wanted[lane] == 0) continue;
        RescaledPixel p = values.state.pixel(lane, b.offsetExponent[lane]);
        const double wAbs = values.wAbs[lane];
        const int level = table.longest(p.s.m, rescaledReach(wAbs, p.s), job.limit - p.s.i);
        if (level <= 0) continue;
        took[lane] = 1;
        b.approximationSteps += 1;  // not a plain step
        if (!rescaledBlaStep(table, p.s.m, level, p.s, p.d, wAbs, upperDouble(b.runs[lane]->fromOffset))) {
            unfitLanes[lane] = 1;
            continue;
        }
        const std::int64_t length = std::int64_t{1} << level;
        p.s.m += length;
        p.s.i += length;
        b.skipped += length;
        values.state.set(lane, p);
    }
    return hn::RebindMask(d, hn::Ne(hn::Load(di, took), hn::Zero(di)));
}

// rescaledIteration (the extended-range step where the unit cannot serve,
// and the rescale) for the lanes in `lanes`, one by one, where it leaves the
// pixel going on; a lane it would finish keeps its state and waits for the
// scalar loop (returned).
HWY_NOINLINE M TakeScalarIterations(const RescaledLaneJob& job, RescaledLaneBatch& b, M lanes,
                                    RescaledLaneState& state) {
    const D d;
    const DI di;
    alignas(64) std::int64_t take[kMaxDeepLanes], waits[kMaxDeepLanes] = {};
    hn::Store(hn::VecFromMask(di, hn::RebindMask(di, lanes)), di, take);
    for (std::size_t lane = 0; lane < hn::Lanes(d); ++lane) {
        if (take[lane] == 0) continue;
        RescaledPixel p = state.pixel(lane, b.offsetExponent[lane]);
        std::int64_t made = 0;
        if (rescaledIteration(*b.runs[lane], job.points, p, made, nullptr) != 0) {
            waits[lane] = 1;
            continue;
        }
        b.scalarMade += made;
        state.set(lane, p);
    }
    return hn::RebindMask(d, hn::Ne(hn::Load(di, waits), hn::Zero(di)));
}

// TakeScalarIterations on the lanes' vectors: stored, stepped, loaded back.
HWY_INLINE M ScalarIterations(const RescaledLaneJob& job, RescaledLaneBatch& b, M lanes, RescaledVectors& v) {
    RescaledLaneState state;
    StoreState(v, state);
    const M waits = TakeScalarIterations(job, b, lanes, state);
    v = LoadState(state);
    return waits;
}

// 2^-k for k from -1022 to 1022, by its bits.
HWY_INLINE V InversePower(D d, VI k) { return hn::BitCast(d, hn::ShiftLeft<52>(hn::Sub(hn::Set(DI(), 1023), k))); }

// A bound times `scale` (a power of two), upward, its rounding into the
// subnormal range included.
HWY_INLINE V ScaledBound(D d, V x, V scale) {
    return hn::Add(hn::Mul(hn::Mul(x, scale), hn::Set(d, kBoundInflation)), hn::Set(d, 0x1p-1073));
}

// scaledBoundAtLeast: ScaledBound, at least `floor`, and `floor` itself
// where x·scale is below 2^-1022 (a tiny lane scales 1 instead).
HWY_INLINE V ScaledBoundAtLeast(D d, V x, V scale, double floor) {
    const DI di;
    const M tiny = hn::RebindMask(d, hn::Not(hn::Gt(hn::Add(FieldOf(x), FieldOf(scale)), hn::Set(di, 1023))));
    if (hn::AllTrue(d, tiny)) return hn::Set(d, floor);
    const V value = hn::Max(ScaledBound(d, hn::IfThenElse(tiny, hn::Set(d, 1.0), x), scale), hn::Set(d, floor));
    return hn::IfThenElse(tiny, hn::Set(d, floor), value);
}

// scaleOffset in the lanes in `lanes`.
HWY_INLINE void ScaleOffset(D d, M lanes, V scale, RescaledVectors& v) {
    v.dr = hn::IfThenElse(lanes, hn::Mul(v.dr, scale), v.dr);
    v.di = hn::IfThenElse(lanes, hn::Mul(v.di, scale), v.di);
    v.dErr = hn::IfThenElse(lanes, ScaledBoundAtLeast(d, v.dErr, scale, kRescaledFactorFloor), v.dErr);
    v.dAbs = hn::IfThenElse(lanes, ScaledBoundAtLeast(d, v.dAbs, scale, kRescaledTinyBound), v.dAbs);
    v.dBound = hn::IfThenElse(lanes, ScaledBoundAtLeast(d, v.dBound, scale, kRescaledFactorFloor), v.dBound);
    // flushSubnormalParts.
    const DI di;
    const auto subnormal = [&](V x) {
        return hn::And(lanes, hn::And(hn::Ne(x, hn::Zero(d)),
                                      hn::RebindMask(d, hn::Eq(FieldOf(hn::Abs(x)), hn::Zero(di)))));
    };
    const M re = subnormal(v.dr), im = subnormal(v.di), either = hn::Or(re, im);
    if (hn::AllFalse(d, either)) return;
    v.dr = hn::IfThenZeroElse(re, v.dr);
    v.di = hn::IfThenZeroElse(im, v.di);
    v.dErr = hn::IfThenElse(either, hn::Mul(hn::Add(v.dErr, hn::Set(d, 0x1p-1021)), hn::Set(d, kBoundInflation)), v.dErr);
}

// unitFor in every lane, from the larger part's exponent field: the new k,
// the shift from `current`, and the lanes where double can make the move.
struct UnitMove {
    VI k, shift;
    M fits;
};

HWY_INLINE UnitMove UnitFor(D d, VI field, VI base, VI offsetExponent, VI current) {
    const DI di;
    const VI k = hn::Max(hn::Add(base, hn::Sub(field, hn::Set(di, 1022))), offsetExponent);
    const VI shift = hn::Sub(k, current);
    auto fits = hn::And(hn::Gt(field, hn::Zero(di)), hn::Lt(field, hn::Set(di, 0x7ff)));
    fits = hn::AndNot(hn::Or(hn::Gt(shift, hn::Set(di, 1000)), hn::Lt(shift, hn::Set(di, -1000))), fits);
    return {k, shift, hn::RebindMask(d, fits)};
}

// rescaleIfDue where double can make the shift; the lanes where it cannot
// (w subnormal, 0 or not finite, or a shift beyond 2^±1000) are returned.
HWY_INLINE M Rescale(D d, RescaledVectors& v, VI offsetExponent, M skip) {
    const DI di;
    // rescaleDue: the larger part outside [2^-span, 2^(span+1)), or 0,
    // subnormal or infinite.
    const V largest = hn::Max(hn::Abs(v.wr), hn::Abs(v.wi));
    const M inside = hn::And(hn::Ge(largest, hn::Set(d, kRescaleLowest)), hn::Lt(largest, hn::Set(d, kRescaleAbove)));
    const M dueLanes = hn::AndNot(skip, hn::Not(inside));
    if (hn::AllFalse(d, dueLanes)) return hn::FirstN(d, 0);
    const VI field = hn::Max(FieldOf(hn::Abs(v.wr)), FieldOf(hn::Abs(v.wi)));  // the larger part's
    const UnitMove move = UnitFor(d, field, v.k, offsetExponent, v.k);
    const M shifted = hn::And(dueLanes, move.fits);
    const V scale = InversePower(d, hn::IfThenElseZero(hn::RebindMask(di, shifted), move.shift));
    v.wr = hn::IfThenElse(shifted, hn::Mul(v.wr, scale), v.wr);
    v.wi = hn::IfThenElse(shifted, hn::Mul(v.wi, scale), v.wi);
    v.e = hn::IfThenElse(shifted, ScaledBound(d, v.e, scale), v.e);
    v.k = hn::IfThenElse(hn::RebindMask(di, shifted), move.k, v.k);
    v.unit = UnitOf(d, v.k);
    v.unitUp = UnitUp(d, v.unit);
    ScaleOffset(d, shifted, scale, v);
    return hn::AndNot(move.fits, dueLanes);
}

// An iteration's start in every lane: the reference point, |w| and the unit,
// |Z + δz| and its bound (rescaledStep's pixelMagnitude), and which lanes
// the lanes cannot take on from here.
struct IterationStart {
    ReferenceValues z;
    V unit, unitUp, w2, wAbs;
    V x;  // roundUp(|w| + e)
    V sumAbs, sumErr;
    V xr, xi;    // Z + δz where formed in double
    M hard;      // the orbit's end, the limit, an escape test other than "stays": the scalar loop
    M extended;  // the extended-range step, taken in place
    M rebase;    // the rebase in double (rebaseInUnit), to the unit in rebaseMove
    UnitMove rebaseMove;
};

// An iteration's reference point, |w|² and |w|, and x = roundUp(|w| + e).
struct LaneValuesAt {
    ReferenceValues z;
    V w2, wAbs, x;
};

HWY_INLINE LaneValuesAt ValuesAt(D d, const RescaledLaneJob& job, const RescaledVectors& v) {
    const V w2 = hn::Add(hn::Mul(v.wr, v.wr), hn::Mul(v.wi, v.wi));
    const V wAbs = Magnitude(d, v.wr, v.wi, w2);
    return {LoadReference(d, job.points, v.m), w2, wAbs, hn::Mul(hn::Add(wAbs, v.e), hn::Set(d, kBoundInflation))};
}

// Z + δz formed in double (the lanes whose unit is from 2^-1000 up): the
// sum, |Z + δz|, its bound, and the lanes where it is below |δz| (the rebase).
struct FormedSum {
    V xr, xi, abs, err;
    M closer;
};

HWY_INLINE FormedSum FormSum(D d, const ReferenceValues& z, V unit, const RescaledVectors& v, V wAbs) {
    const V sumRounding = hn::Set(d, kPerturbSumRounding), inflation = hn::Set(d, kBoundInflation);
    const V xr = hn::Add(z.zr, hn::Mul(unit, v.wr));
    const V xi = hn::Add(z.zi, hn::Mul(unit, v.wi));
    const V abs = Magnitude(d, xr, xi, hn::Add(hn::Mul(xr, xr), hn::Mul(xi, xi)));
    const V err = hn::Mul(hn::Add(hn::Add(hn::Add(z.zErr, UnitProductUp(d, v.k, unit, v.e)), hn::Mul(sumRounding, abs)),
                                  hn::Set(d, 0x1p-1073)),
                          inflation);
    return {xr, xi, abs, err, closerToZero(abs, hn::Mul(unit, wAbs))};
}

// The bound on |Z + δz| where the sum is not formed (|Z| alone stands for it).
HWY_INLINE V ErrorOfZAlone(D d, const ReferenceValues& z, V x, VI k) {
    const V sumRounding = hn::Set(d, kPerturbSumRounding), inflation = hn::Set(d, kBoundInflation);
    return hn::Mul(hn::Add(hn::Add(z.zErr, ScaledBoundUp(d, x, k)), hn::Mul(sumRounding, z.zAbs)), inflation);
}

// The lanes whose unit is from 2^kRescaledSumUnit up, where Z + δz is formed.
HWY_INLINE M SumFormed(D d, VI k) { return hn::RebindMask(d, hn::Gt(k, hn::Set(DI(), kRescaledSumUnit - 1))); }

// The lanes whose reference point is near 0 (the extended-range step's).
HWY_INLINE M NearZero(D d, const ReferenceValues& z) { return hn::Not(hn::Gt(z.zAbs, hn::Set(d, kRescaledZFloor))); }

// The lanes at the orbit's end or at the limit.
HWY_INLINE M AtEnd(D d, const RescaledLaneJob& job, const RescaledVectors& v) {
    const DI di;
    return hn::RebindMask(d, hn::Or(hn::Eq(v.m, hn::Set(di, job.last)), hn::Eq(v.i, hn::Set(di, job.limit))));
}

// rebaseInUnit's unit for the pixel's own z = xr + i·xi (in units of 1):
// from its larger part.
HWY_INLINE UnitMove RebaseUnit(D d, V xr, V xi, VI offsetExponent, VI k) {
    return UnitFor(d, hn::Max(FieldOf(hn::Abs(xr)), FieldOf(hn::Abs(xi))), hn::Zero(DI()), offsetExponent, k);
}

HWY_INLINE IterationStart StartIteration(D d, const RescaledLaneJob& job, const RescaledVectors& v,
                                         VI offsetExponent) {
    const DI di;
    // Built in one initialiser: a default-constructed vector does not inline
    // on every target (NEON).
    const LaneValuesAt at = ValuesAt(d, job, v);
    const ReferenceValues& z = at.z;
    const V unit = v.unit, w2 = at.w2, wAbs = at.wAbs, x = at.x;
    // Z + δz formed in double from a unit of 2^-1000 up, below it |Z| alone
    // (Z above 2^-900; a point below double's range loads as one below 2^-999).
    // Usually every lane is on the same side: only that side is computed.
    const M formed = SumFormed(d, v.k);
    V sumAbs = z.zAbs, sumErr = hn::Zero(d), xr = hn::Zero(d), xi = hn::Zero(d);
    M switchFormed = hn::FirstN(d, 0);
    if (!hn::AllFalse(d, formed)) {
        const FormedSum sum = FormSum(d, z, unit, v, wAbs);
        xr = sum.xr;
        xi = sum.xi;
        sumErr = sum.err;
        switchFormed = sum.closer;
        sumAbs = hn::IfThenElse(formed, sum.abs, z.zAbs);
    }
    if (!hn::AllTrue(d, formed)) sumErr = hn::IfThenElse(formed, sumErr, ErrorOfZAlone(d, z, x, v.k));
    const M tinyZ = NearZero(d, z);
    const M hard = hn::Or(AtEnd(d, job, v), hn::Not(Stays(d, sumAbs, sumErr)));
    const M rebaseDue = hn::AndNot(hard, hn::And(formed, switchFormed));
    UnitMove target{hn::Zero(di), hn::Zero(di), hn::FirstN(d, 0)};
    if (!hn::AllFalse(d, rebaseDue)) target = RebaseUnit(d, xr, xi, offsetExponent, v.k);
    return IterationStart{
        .z = z,
        .unit = unit,
        .unitUp = v.unitUp,
        .w2 = w2,
        .wAbs = wAbs,
        .x = x,
        .sumAbs = sumAbs,
        .sumErr = sumErr,
        .xr = xr,
        .xi = xi,
        .hard = hard,
        .extended = hn::AndNot(hard, hn::Or(tinyZ, hn::AndNot(target.fits, rebaseDue))),
        .rebase = hn::AndNot(tinyZ, hn::And(rebaseDue, target.fits)),
        .rebaseMove = target,
    };
}

// rebaseInUnit for the lanes in `lanes`: δz becomes the pixel's own z, in
// the new unit, and the iteration goes on from Z_0 = 0 there.
HWY_INLINE void RebaseInUnit(D d, M lanes, IterationStart& s, RescaledVectors& v) {
    const DI di;
    const auto lanesI = hn::RebindMask(di, lanes);
    const V toUnit = InversePower(d, hn::IfThenElseZero(lanesI, s.rebaseMove.k));
    const V scale = InversePower(d, hn::IfThenElseZero(lanesI, s.rebaseMove.shift));
    v.wr = hn::IfThenElse(lanes, hn::Mul(s.xr, toUnit), v.wr);
    v.wi = hn::IfThenElse(lanes, hn::Mul(s.xi, toUnit), v.wi);
    v.e = hn::IfThenElse(lanes, ScaledBound(d, s.sumErr, toUnit), v.e);
    v.k = hn::IfThenElse(lanesI, s.rebaseMove.k, v.k);
    v.m = hn::IfThenZeroElse(lanesI, v.m);
    ScaleOffset(d, lanes, scale, v);
    s.z.zr = hn::IfThenZeroElse(lanes, s.z.zr);
    s.z.zi = hn::IfThenZeroElse(lanes, s.z.zi);
    s.z.zErr = hn::IfThenZeroElse(lanes, s.z.zErr);
    s.z.zAbs = hn::IfThenZeroElse(lanes, s.z.zAbs);
    v.unit = UnitOf(d, v.k);
    v.unitUp = UnitUp(d, v.unit);
    s.unit = v.unit;
    s.unitUp = v.unitUp;
    const V w2 = hn::Add(hn::Mul(v.wr, v.wr), hn::Mul(v.wi, v.wi));
    s.w2 = hn::IfThenElse(lanes, w2, s.w2);
    s.wAbs = hn::IfThenElse(lanes, Magnitude(d, v.wr, v.wi, w2), s.wAbs);
}

// rescaledStep's plain step in the unit, for the lanes in `lanes`.
HWY_INLINE void PlainStepInUnit(D d, const IterationStart& s, M lanes, RescaledVectors& v) {
    const DI di;
    const V two = hn::Set(d, 2.0), inflation = hn::Set(d, kBoundInflation);
    const V wBound =
        hn::Mul(hn::Add(hn::Add(s.sumAbs, hn::Mul(hn::Set(d, kPerturbSumRounding), s.sumAbs)), s.sumErr), inflation);
    const StepOffset<V> next = nextOffset<V, true>(s.z.zr, s.z.zi, v.wr, v.wi, v.dr, v.di, s.unit);
    const V terms = stepTerms(two, s.z.zAbs, s.wAbs, UnitProductUp(d, v.k, s.unitUp, s.w2), v.dAbs);
    // Where the unit is below double's range the square's share is lost.
    const M unitNormal = hn::Gt(s.unit, hn::Zero(d));
    const V squareLoss = hn::AllTrue(d, unitNormal)
                             ? hn::Zero(d)
                             : hn::IfThenZeroElse(unitNormal, ScaledBoundUp(d, hn::Mul(s.w2, inflation), v.k));
    const V bound = stepBound<V, true>(two, v.e, wBound, s.wAbs, s.z.zErr, v.dErr, hn::Set(d, kPerturbStepRounding), terms,
                                       hn::Set(d, NumberTraits<double>::stepAbsoluteError()),
                                       UnitProductUp(d, v.k, s.unitUp, v.e), squareLoss);
    if (hn::AllTrue(d, lanes)) {  // the common case, without the blends
        v.e = hn::Mul(bound, inflation);
        v.wr = next.re;
        v.wi = next.im;
        v.m = hn::Add(v.m, hn::Set(di, 1));
        v.i = hn::Add(v.i, hn::Set(di, 1));
        return;
    }
    v.e = hn::IfThenElse(lanes, hn::Mul(bound, inflation), v.e);
    v.wr = hn::IfThenElse(lanes, next.re, v.wr);
    v.wi = hn::IfThenElse(lanes, next.im, v.wi);
    const VI step = hn::IfThenElseZero(hn::RebindMask(di, lanes), hn::Set(di, 1));
    v.m = hn::Add(v.m, step);
    v.i = hn::Add(v.i, step);
}

// The table's steps of the active lanes that take one (an unfit one through
// the scalar loop's iteration, added to `scalarDone`; a lane that iteration
// would finish is added to `waiting`). Returns the active lanes that take none.
HWY_INLINE M TableSteps(D d, const RescaledLaneJob& job, RescaledLaneBatch& b, const IterationStart& s, M active,
                        RescaledVectors& v, M& waiting, M& scalarDone) {
    const DI di;
    if (!job.table) return active;
    const M candidates = hn::And(active, ApproximationCandidates(d, job, b, v.m, v.i, v.k, s.x));
    if (hn::AllFalse(d, candidates)) return active;
    RescaledValues values;
    StoreState(v, values.state);
    hn::Store(s.wAbs, d, values.wAbs);
    hn::Store(hn::VecFromMask(di, hn::RebindMask(di, candidates)), di, values.wanted);
    alignas(64) std::int64_t unfitLanes[kMaxDeepLanes] = {};
    const M plain = hn::AndNot(TakeRescaledApproximations(job, b, values, unfitLanes), active);
    v = LoadState(values.state);
    const M unfit = hn::RebindMask(d, hn::Ne(hn::Load(di, unfitLanes), hn::Zero(di)));
    if (!hn::AllFalse(d, unfit)) {
        waiting = hn::Or(waiting, ScalarIterations(job, b, unfit, v));
        scalarDone = hn::Or(scalarDone, unfit);
    }
    return plain;
}

// The tail of an iteration: the table's steps of the lanes in `active`, the
// plain step of those that take none, and the rescale (as TableSteps and
// Rescale leave `waiting`, `scalarDone` and `rescaleDue`).
HWY_INLINE void StepAndRescale(D d, const RescaledLaneJob& job, RescaledLaneBatch& b, const IterationStart& s, M active,
                               VI offsetExponent, RescaledVectors& v, M& waiting, M& scalarDone, M& rescaleDue) {
    const M plainLanes = TableSteps(d, job, b, s, active, v, waiting, scalarDone);
    if (!hn::AllFalse(d, plainLanes)) PlainStepInUnit(d, s, plainLanes, v);
    const M due = Rescale(d, v, offsetExponent, hn::Or(waiting, scalarDone));
    rescaleDue = hn::Or(rescaleDue, due);
    waiting = hn::Or(waiting, due);
}

// The lanes whose pixels rebase in this iteration (Z + δz below |δz|), and
// their new unit; `fits` is false where some lane's new unit does not fit
// (the general iteration's extended-range step takes those).
struct RunRebase {
    M lanes;
    UnitMove move;
    bool fits;
};

HWY_INLINE RunRebase RebaseInRun(D d, const FormedSum& sum, M active, VI offsetExponent, VI k) {
    const DI di;
    const M lanes = hn::And(active, sum.closer);
    if (hn::AllFalse(d, lanes)) return {lanes, {hn::Zero(di), hn::Zero(di), lanes}, true};
    const UnitMove move = RebaseUnit(d, sum.xr, sum.xi, offsetExponent, k);
    return {lanes, move, hn::AllTrue(d, hn::Or(hn::Not(lanes), move.fits))};
}

// The iterations in which no lane needs more than the general iteration's
// plain or table step or its rebase in double, the lanes that do not wait all
// on the same side of kRescaledSumUnit (kFormed: Z + δz formed in double):
// the general iteration's values by the same operations, without its other
// choices. Stops before an iteration in which a lane needs more (the orbit's
// end, an escape test other than "stays", a rebase whose unit does not fit, a
// reference point near 0), or after one in which a lane left that side of
// kRescaledSumUnit or went to the scalar loop's code (as TableSteps and
// Rescale leave `waiting` and `rescaleDue`). Returns the iterations made;
// every lane that did not wait took a step in each.
template <bool kFormed>
HWY_INLINE std::int64_t PlainRun(D d, const RescaledLaneJob& job, RescaledLaneBatch& b, VI offsetExponent,
                                 std::int64_t maxSteps, RescaledVectors& v, M& waiting, M& rescaleDue) {
    const DI di;
    const M none = hn::FirstN(d, 0), active = hn::Not(waiting);
    std::int64_t steps = 0;
    while (steps < maxSteps) {
        const LaneValuesAt at = ValuesAt(d, job, v);
        V sumAbs = at.z.zAbs, sumErr, xr = hn::Zero(d), xi = hn::Zero(d);
        M more = hn::Or(NearZero(d, at.z), AtEnd(d, job, v));
        RunRebase rebase{none, {hn::Zero(di), hn::Zero(di), none}, true};
        if constexpr (kFormed) {
            const FormedSum sum = FormSum(d, at.z, v.unit, v, at.wAbs);
            sumAbs = sum.abs;
            sumErr = sum.err;
            xr = sum.xr;
            xi = sum.xi;
            rebase = RebaseInRun(d, sum, active, offsetExponent, v.k);
        } else {
            sumErr = ErrorOfZAlone(d, at.z, at.x, v.k);
        }
        more = hn::And(active, hn::Or(more, hn::Not(Stays(d, sumAbs, sumErr))));
        if (!hn::AllFalse(d, more) || !rebase.fits) break;
        IterationStart s{.z = at.z,
                         .unit = v.unit,
                         .unitUp = v.unitUp,
                         .w2 = at.w2,
                         .wAbs = at.wAbs,
                         .x = at.x,
                         .sumAbs = sumAbs,
                         .sumErr = sumErr,
                         .xr = xr,
                         .xi = xi,
                         .hard = none,
                         .extended = none,
                         .rebase = rebase.lanes,
                         .rebaseMove = rebase.move};
        if (!hn::AllFalse(d, rebase.lanes)) RebaseInUnit(d, rebase.lanes, s, v);
        M scalarDone = none;
        StepAndRescale(d, job, b, s, active, offsetExponent, v, waiting, scalarDone, rescaleDue);
        ++steps;
        if (!hn::AllFalse(d, hn::Or(hn::And(active, waiting), scalarDone))) break;
        const M formed = SumFormed(d, v.k);
        if (!hn::AllTrue(d, hn::Or(waiting, kFormed ? formed : hn::Not(formed)))) break;
    }
    return steps;
}

std::int64_t AdvanceRescaledLanes(const RescaledLaneJob* jobPointer, RescaledLaneBatch* batch, std::int64_t maxSteps) {
    const RescaledLaneJob& job = *jobPointer;
    RescaledLaneBatch& b = *batch;
    const D d;
    const DI di;
    RescaledVectors v = LoadState(b.state);
    const VI offsetExponent = hn::Load(di, b.offsetExponent);
    // A lane that needs the scalar loop waits while the others go on, until
    // half of them wait: each return to the scalar loop then serves several.
    M waiting = hn::FirstN(d, 0), rescaleDue = hn::FirstN(d, 0);
    const std::size_t enough = (hn::Lanes(d) + 1) / 2;
    hn::Store(hn::Zero(di), di, b.attention);
    std::int64_t laneSteps = 0;
    for (std::int64_t steps = 0; steps < maxSteps; ++steps) {
        // Most iterations every lane that does not wait takes the plain or a
        // table step: those run apart.
        {
            const M formed = hn::AndNot(waiting, SumFormed(d, v.k));
            const auto lanes = static_cast<std::int64_t>(hn::CountTrue(d, hn::Not(waiting)));
            std::int64_t run = 0;
            if (hn::AllTrue(d, hn::Or(formed, waiting)))
                run = PlainRun<true>(d, job, b, offsetExponent, maxSteps - steps, v, waiting, rescaleDue);
            else if (hn::AllFalse(d, formed))
                run = PlainRun<false>(d, job, b, offsetExponent, maxSteps - steps, v, waiting, rescaleDue);
            steps += run;
            laneSteps += run * lanes;
            if (steps >= maxSteps || hn::CountTrue(d, waiting) >= enough) break;
        }
        IterationStart s = StartIteration(d, job, v, offsetExponent);
        waiting = hn::Or(waiting, s.hard);
        if (hn::CountTrue(d, waiting) >= enough) break;
        M active = hn::Not(waiting);
        // The extended-range step, in place by the scalar loop's own code.
        const M scalarLanes = hn::And(active, s.extended);
        if (!hn::AllFalse(d, scalarLanes)) {
            waiting = hn::Or(waiting, ScalarIterations(job, b, scalarLanes, v));
            b.approximationSteps += static_cast<std::int64_t>(hn::CountTrue(d, scalarLanes));
            laneSteps += static_cast<std::int64_t>(hn::CountTrue(d, scalarLanes));
            active = hn::AndNot(scalarLanes, active);
        }
        const M rebaseLanes = hn::And(active, s.rebase);
        if (!hn::AllFalse(d, rebaseLanes)) RebaseInUnit(d, rebaseLanes, s, v);
        // The table's steps first, then the plain step of the lanes that take none.
        M scalarDone = scalarLanes;
        laneSteps += static_cast<std::int64_t>(hn::CountTrue(d, active));
        StepAndRescale(d, job, b, s, active, offsetExponent, v, waiting, scalarDone, rescaleDue);
        if (hn::CountTrue(d, waiting) >= enough) break;
    }
    StoreState(v, b.state);
    hn::Store(hn::VecFromMask(di, hn::RebindMask(di, waiting)), di, b.attention);
    hn::Store(hn::VecFromMask(di, hn::RebindMask(di, rescaleDue)), di, b.rescaleDue);
    return laneSteps;
}

}  // namespace HWY_NAMESPACE
}  // namespace mandel::deeplanes
HWY_AFTER_NAMESPACE();

#if HWY_ONCE

namespace mandel {
namespace deeplanes {

HWY_EXPORT(AdvanceRescaledLanes);

// Unqualified: with a single compiled target, HWY_DYNAMIC_DISPATCH names the
// function in that target's namespace directly.
static std::int64_t advanceRescaled(const RescaledLaneJob& job, RescaledLaneBatch& batch, std::int64_t maxSteps) {
    return HWY_DYNAMIC_DISPATCH(AdvanceRescaledLanes)(&job, &batch, maxSteps);
}

}  // namespace deeplanes

std::int64_t advanceRescaledLanes(const RescaledLaneJob& job, RescaledLaneBatch& batch, std::int64_t maxSteps) {
    return deeplanes::advanceRescaled(job, batch, maxSteps);
}

}  // namespace mandel

#endif  // HWY_ONCE
