// The double-double lanes' loop, compiled once per instruction set by
// Highway's foreach_target and chosen at run time (HWY_DYNAMIC_DISPATCH).

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "deep/dd_lanes.cpp"
#define HWY_DISABLED_TARGETS (HWY_SVE | HWY_SVE2 | HWY_SVE_256 | HWY_SVE2_128)
#include <hwy/foreach_target.h>  // IWYU pragma: keep

#include <hwy/highway.h>

#include <cstdint>

#include "deep/dd_lanes.h"
#include "deep/double_double.h"
#include "deep/double_double_perturbation.h"
#include "deep/error_bound.h"
#include "deep/lane_step-inl.h"
#include "deep/number_ladder.h"

HWY_BEFORE_NAMESPACE();
namespace mandel::deeplanes {
namespace HWY_NAMESPACE {

static_assert(!HWY_HAVE_SCALABLE, "a batch holds a fixed number of lanes");
static_assert(sizeof(OrbitPoint) == 4 * sizeof(double) && sizeof(OrbitLow) == 3 * sizeof(double));
static_assert(sizeof(DdBlaStep) % sizeof(double) == 0);

// The double-double arithmetic, compiled for this instruction set.
#include "deep/double_double_ops-inl.h"

// A double-double in each lane, with DoubleDouble's operators (the same
// templates, so the same operations). Its constructors are written out:
// the implicit ones would lack the instruction set's attributes (which NEON
// builds refuse).
struct DdV {
    HWY_INLINE DdV() : hi(hn::Zero(D())), lo(hn::Zero(D())) {}
    HWY_INLINE DdV(V high, V low) : hi(high), lo(low) {}
    V hi, lo;
};

HWY_INLINE DdParts<V> partsOf(const DdV& x) { return {x.hi, x.lo}; }
HWY_INLINE DdV operator+(const DdV& x, const DdV& y) {
    const DdParts<V> s = ddSum(partsOf(x), partsOf(y));
    return {s.hi, s.lo};
}
HWY_INLINE DdV operator-(const DdV& x) { return {hn::Neg(x.hi), hn::Neg(x.lo)}; }
HWY_INLINE DdV operator-(const DdV& x, const DdV& y) { return x + -y; }
HWY_INLINE DdV operator*(const DdV& x, const DdV& y) {
    const DdParts<V> p = ddProduct(partsOf(x), partsOf(y));
    return {p.hi, p.lo};
}
HWY_INLINE DdV twice(const DdV& x) { return {hn::Add(x.hi, x.hi), hn::Add(x.lo, x.lo)}; }

// magnitudeUp of a complex double-double, from its high parts.
HWY_INLINE V MagnitudeUp(D d, const DdV& re, const DdV& im) {
    const V squares = hn::Add(hn::Mul(re.hi, re.hi), hn::Mul(im.hi, im.hi));
    return hn::Add(hn::Mul(Magnitude(d, re.hi, im.hi, squares), hn::Set(d, kDdMagnitudeSlack)),
                   hn::Set(d, kDdMagnitudeFloor));
}

// Z_m of each lane: its high parts, low parts and error bound, and whether
// the point is a plain double (exponent 0).
struct DdReference {
    DdV zr, zi;
    V zErr;
    M plain;
};

HWY_INLINE DdReference LoadReference(D d, DI di, const DdLaneJob& job, VI m) {
#if HWY_ARCH_X86 && HWY_TARGET <= HWY_AVX2
    // The points and low parts loaded whole and transposed (see TransposedRows).
    alignas(64) std::int64_t at[8];
    hn::Store(m, di, at);
    V point[4], low[4];
    TransposedRows<4>(&job.orbit[0].re, 4, at, point);
    TransposedRows<3>(&job.low[0].re, 3, at, low);
    // The point's exponent and error exponent share its fourth double.
    const VI exponent = hn::And(hn::BitCast(di, point[3]), hn::Set(di, 0xffffffff));
    return {{point[0], low[0]}, {point[1], low[1]}, low[2], hn::RebindMask(d, hn::Eq(exponent, hn::Zero(di)))};
#else
    const double* point = &job.orbit[0].re;
    const double* low = &job.low[0].re;
    const VI at = hn::ShiftLeft<2>(m), lowAt = hn::Add(hn::ShiftLeft<1>(m), m);
    // The point's exponent and error exponent share its fourth double.
    const VI exponents = hn::GatherIndex(di, reinterpret_cast<const std::int64_t*>(point + 3), at);
    const VI exponent = hn::And(exponents, hn::Set(di, 0xffffffff));
    return {{hn::GatherIndex(d, point, at), hn::GatherIndex(d, low, lowAt)},
            {hn::GatherIndex(d, point + 1, at), hn::GatherIndex(d, low + 1, lowAt)},
            hn::GatherIndex(d, low + 2, lowAt),
            hn::RebindMask(d, hn::Eq(exponent, hn::Zero(di)))};
#endif
}

// The lanes of a scaled offset whose δz may be too small for a plain step:
// a superset of ddNeedsScaling's test (number_ladder.h).
HWY_INLINE M MayNeedScaling(D d, M scaled, const DdReference& z, const DdV& dzr, const DdV& dzi) {
    const V part = hn::Max(hn::Abs(dzr.hi), hn::Abs(dzi.hi));
    const V larger = hn::Max(part, hn::Max(hn::Abs(z.zr.hi), hn::Abs(z.zi.hi)));
    const M small = hn::Or(hn::Lt(part, hn::Set(d, kDdLaneScaledPart)),
                           hn::Lt(hn::Mul(part, larger), hn::Set(d, kDdLaneScaledTerm)));
    return hn::And(scaled, small);
}

// The lanes whose pixel takes an approximation step at this iteration
// (DdBlaLevels::longest finds the first level's step valid), with its
// comparisons.
HWY_INLINE M ApproximationWanted(D d, DI di, const DdLaneJob& job, const DdLaneBatch& b, VI m, VI i, V u) {
    const DdBlaLevels& table = *job.table;
    if (table.levels.empty()) return hn::FirstN(d, 0);
    const VI zero = hn::Zero(di);
    const VI offset = hn::Sub(m, hn::Set(di, 1));
    const VI index = hn::ShiftRightSame(offset, kDdBlaFirstLevel);
    const std::int64_t length = std::int64_t{1} << kDdBlaFirstLevel;
    // No step anywhere for a lane whose δz is beyond every first-level radius.
    auto want = hn::And(hn::Eq(hn::And(offset, hn::Set(di, length - 1)), zero),
                        hn::RebindMask(di, hn::Le(u, hn::Set(d, table.largestFirstRadius))));
    want = hn::And(want, hn::Gt(m, zero));
    want = hn::And(want, hn::Lt(index, hn::Set(di, static_cast<std::int64_t>(table.levels[0].size()))));
    want = hn::AndNot(hn::Gt(hn::Set(di, length), hn::Sub(hn::Set(di, job.limit), i)), want);
    want = hn::And(want, hn::Ne(hn::Load(di, b.tableOn), zero));
    if (hn::AllFalse(di, want)) return hn::FirstN(d, 0);
    // Lanes not wanted read the first radius.
    constexpr std::int64_t kStride = sizeof(DdBlaStep) / sizeof(double);
    const VI at = hn::Mul(hn::IfThenElseZero(want, index), hn::Set(di, kStride));
    const V radius = hn::GatherIndex(d, &table.levels[0][0].radius, at);
    return hn::And(hn::RebindMask(d, want), hn::Le(u, radius));
}

// Lanes' states as arrays, for the approximation steps taken lane by lane.
struct DdLaneValues {
    alignas(64) double dzrHi[kMaxDeepLanes];
    alignas(64) double dzrLo[kMaxDeepLanes];
    alignas(64) double dziHi[kMaxDeepLanes];
    alignas(64) double dziLo[kMaxDeepLanes];
    alignas(64) double e[kMaxDeepLanes];
    alignas(64) std::int64_t m[kMaxDeepLanes];
    alignas(64) std::int64_t i[kMaxDeepLanes];
    alignas(64) std::int64_t taken[kMaxDeepLanes];
};

// The lanes' state into arrays of these names (the batch, or the values the
// approximation steps read and write).
template <class Arrays>
HWY_INLINE void StoreDdState(const DdV& dzr, const DdV& dzi, V e, VI m, VI i, Arrays& out) {
    const D d;
    const DI di;
    hn::Store(dzr.hi, d, out.dzrHi);
    hn::Store(dzr.lo, d, out.dzrLo);
    hn::Store(dzi.hi, d, out.dziHi);
    hn::Store(dzi.lo, d, out.dziLo);
    hn::Store(e, d, out.e);
    hn::Store(m, di, out.m);
    hn::Store(i, di, out.i);
}

// The approximation steps of the lanes in `wanted`, from their state at this
// iteration, by doubleDoubleStep's own code: the lanes that took one have
// their new state in `out` and a nonzero `out.taken`.
HWY_NOINLINE void TakeDdApproximations(const DdLaneJob& job, const DdLaneBatch& b, M wanted, DdV dzr,
                                       DdV dzi, V e, VI m, VI i, DdLaneValues& out) {
    const D d;
    const DI di;
    StoreDdState(dzr, dzi, e, m, i, out);
    hn::Store(hn::VecFromMask(di, hn::RebindMask(di, wanted)), di, out.taken);
    for (std::size_t lane = 0; lane < hn::Lanes(d); ++lane) {
        if (out.taken[lane] == 0) continue;
        DoubleDoubleState st{{out.dzrHi[lane], out.dzrLo[lane]}, {out.dziHi[lane], out.dziLo[lane]}, out.e[lane],
                             out.m[lane], out.i[lane]};
        out.taken[lane] = ddApproximationStep(*job.table, *b.offsets[lane], job.limit, st) ? 1 : 0;
        if (out.taken[lane] == 0) continue;
        out.dzrHi[lane] = st.dzr.hi, out.dzrLo[lane] = st.dzr.lo;
        out.dziHi[lane] = st.dzi.hi, out.dziLo[lane] = st.dzi.lo;
        out.e[lane] = st.e, out.m[lane] = st.m, out.i[lane] = st.i;
    }
}

std::int64_t AdvanceDdLanes(const DdLaneJob* jobPointer, DdLaneBatch* batch, std::int64_t maxSteps) {
    const DdLaneJob& job = *jobPointer;
    DdLaneBatch& b = *batch;
    const D d;
    const DI di;
    DdV dzr{hn::Load(d, b.dzrHi), hn::Load(d, b.dzrLo)}, dzi{hn::Load(d, b.dziHi), hn::Load(d, b.dziLo)};
    V e = hn::Load(d, b.e);
    const DdV dcr{hn::Load(d, b.dcrHi), hn::Load(d, b.dcrLo)}, dci{hn::Load(d, b.dciHi), hn::Load(d, b.dciLo)};
    const V dcErr = hn::Load(d, b.dcErr), dcAbs = hn::Load(d, b.dcAbs);
    VI m = hn::Load(di, b.m), i = hn::Load(di, b.i);
    const VI one = hn::Set(di, 1), limit = hn::Set(di, job.limit), last = hn::Set(di, job.last);
    const V two = hn::Set(d, 2.0), inflation = hn::Set(d, kBoundInflation);
    const M scaled = hn::RebindMask(d, hn::Ne(hn::Load(di, b.mayScale), hn::Zero(di)));
    const bool anyScaled = !hn::AllFalse(d, scaled);
    M attention = hn::FirstN(d, 0);
    std::int64_t steps = 0;
    for (; steps < maxSteps; ++steps) {
        const DdReference z = LoadReference(d, di, job, m);
        const DdV wr = z.zr + dzr, wi = z.zi + dzi;
        const V wAbs = MagnitudeUp(d, wr, wi);
        const V size = hn::Add(hn::Add(hn::Add(hn::Abs(z.zr.hi), hn::Abs(z.zi.hi)), hn::Abs(dzr.hi)), hn::Abs(dzi.hi));
        const V sumRounding = hn::Mul(hn::Set(d, kDdSumRounding), hn::Mul(size, hn::Set(d, kDdSizeSlack)));
        const V wErr = hn::Mul(hn::Add(hn::Add(z.zErr, e), sumRounding), inflation);
        const V wBound = hn::Add(wAbs, sumRounding);
        const V dAbs = MagnitudeUp(d, dzr, dzi);
        // doubleDoubleStep's escape test ("stays"), limit and rebase, and a
        // point the lanes do not load.
        attention = hn::Not(Stays(d, wAbs, wErr));
        attention = hn::Or(attention, hn::RebindMask(d, hn::Or(hn::Eq(i, limit), hn::Eq(m, last))));
        attention = hn::Or(attention, hn::Or(closerToZero(wAbs, dAbs), hn::Not(z.plain)));
        if (anyScaled) attention = hn::Or(attention, MayNeedScaling(d, scaled, z, dzr, dzi));
        if (!hn::AllFalse(d, attention)) break;
        const V reach = hn::Mul(hn::Add(dAbs, e), inflation);
        const M approximation = job.table ? ApproximationWanted(d, di, job, b, m, i, reach) : hn::FirstN(d, 0);
        const V zAbs = MagnitudeUp(d, z.zr, z.zi);
        const StepOffset<DdV> next = nextOffset(z.zr, z.zi, dzr, dzi, dcr, dci);
        const V terms = stepTerms(two, zAbs, dAbs, hn::Mul(dAbs, dAbs), dcAbs);
        const V bound = hn::Mul(stepBound(two, e, wBound, dAbs, z.zErr, dcErr, hn::Set(d, kDdStepRounding), terms,
                                          hn::Set(d, kDdStepAbsoluteError)),
                                inflation);
        if (hn::AllFalse(d, approximation)) {
            e = bound;
            dzr = next.re;
            dzi = next.im;
            m = hn::Add(m, one);
            i = hn::Add(i, one);
            continue;
        }
        DdLaneValues taken;
        TakeDdApproximations(job, b, approximation, dzr, dzi, e, m, i, taken);
        const auto tookI = hn::Ne(hn::Load(di, taken.taken), hn::Zero(di));
        const M took = hn::RebindMask(d, tookI);
        e = hn::IfThenElse(took, hn::Load(d, taken.e), bound);
        dzr = {hn::IfThenElse(took, hn::Load(d, taken.dzrHi), next.re.hi),
               hn::IfThenElse(took, hn::Load(d, taken.dzrLo), next.re.lo)};
        dzi = {hn::IfThenElse(took, hn::Load(d, taken.dziHi), next.im.hi),
               hn::IfThenElse(took, hn::Load(d, taken.dziLo), next.im.lo)};
        m = hn::IfThenElse(tookI, hn::Load(di, taken.m), hn::Add(m, one));
        i = hn::IfThenElse(tookI, hn::Load(di, taken.i), hn::Add(i, one));
    }
    StoreDdState(dzr, dzi, e, m, i, b);
    hn::Store(hn::VecFromMask(di, hn::RebindMask(di, attention)), di, b.attention);
    return steps;
}

}  // namespace HWY_NAMESPACE
}  // namespace mandel::deeplanes
HWY_AFTER_NAMESPACE();

#if HWY_ONCE

namespace mandel {
namespace deeplanes {

HWY_EXPORT(AdvanceDdLanes);

static std::int64_t advanceDd(const DdLaneJob& job, DdLaneBatch& batch, std::int64_t maxSteps) {
    return HWY_DYNAMIC_DISPATCH(AdvanceDdLanes)(&job, &batch, maxSteps);
}

}  // namespace deeplanes

std::int64_t advanceDdLanes(const DdLaneJob& job, DdLaneBatch& batch, std::int64_t maxSteps) {
    return deeplanes::advanceDd(job, batch, maxSteps);
}

}  // namespace mandel

#endif  // HWY_ONCE
