// The direct double iteration's lanes, compiled once per instruction set by
// Highway's foreach_target and chosen at run time (HWY_DYNAMIC_DISPATCH).

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "deep/direct_lanes.cpp"
#define HWY_DISABLED_TARGETS (HWY_SVE | HWY_SVE2 | HWY_SVE_256 | HWY_SVE2_128)
#include <hwy/foreach_target.h>  // IWYU pragma: keep

#include <hwy/highway.h>

#include <cstdint>
#include <cstring>

#include "deep/direct_double_double.h"
#include "deep/direct_iteration.h"
#include "deep/direct_lanes.h"
#include "deep/lane_step-inl.h"

HWY_BEFORE_NAMESPACE();
namespace mandel::deeplanes {
namespace HWY_NAMESPACE {

static_assert(!HWY_HAVE_SCALABLE, "a batch holds a fixed number of lanes");
static_assert(HWY_LANES(double) <= kMaxDirectLanes);

std::int64_t AdvanceDirectLanes(DirectBatch* batch, std::int64_t limit, std::int64_t maxSteps) {
    DirectBatch& b = *batch;
    const D d;
    const DI di;
    V zr = hn::Load(d, b.zr), zi = hn::Load(d, b.zi), e = hn::Load(d, b.e);
    const V cr = hn::Load(d, b.cr), ci = hn::Load(d, b.ci), fixed = hn::Load(d, b.fixed);
    auto i = hn::Load(di, b.i);
    const auto limitV = hn::Set(di, limit), one = hn::Set(di, 1);
    const V rootFloor = hn::Set(d, kDirectRootFloor), rootRaise = hn::Set(d, kDirectRootRaise);
    const V rootInflation = hn::Set(d, kDirectRootInflation), staysBelow = hn::Set(d, kDirectStaysBelow);
    const hn::Rebind<float, D> df;
    const V inflation = hn::Set(d, kBoundInflation), rounding = hn::Set(d, kDirectRoundingInflated);
    M attention = hn::FirstN(d, 0);
    V squares = hn::Zero(d), zAbs = hn::Zero(d);
    std::int64_t steps = 0;
    for (; steps < maxSteps; ++steps) {
        squares = hn::Add(hn::Mul(zr, zr), hn::Mul(zi, zi));
        // directRootUp.
        const auto root = hn::Sqrt(hn::DemoteTo(df, hn::Mul(hn::Max(squares, rootFloor), rootRaise)));
        zAbs = hn::Mul(hn::PromoteTo(d, root), rootInflation);
        // directStays, and the limit.
        attention = hn::Not(hn::Lt(hn::Add(zAbs, e), staysBelow));
        attention = hn::Or(attention, hn::RebindMask(d, hn::Eq(i, limitV)));
        if (!hn::AllFalse(d, attention)) break;
        const V nr = hn::Add(hn::Sub(hn::Mul(zr, zr), hn::Mul(zi, zi)), cr);
        const V ni = hn::Add(hn::Mul(hn::Add(zr, zr), zi), ci);
        const V growth = hn::Mul(hn::Add(hn::Add(zAbs, zAbs), e), inflation);
        e = hn::Add(hn::Mul(e, growth), hn::Add(hn::Mul(rounding, squares), fixed));
        zr = nr;
        zi = ni;
        i = hn::Add(i, one);
    }
    hn::Store(zr, d, b.zr);
    hn::Store(zi, d, b.zi);
    hn::Store(e, d, b.e);
    hn::Store(i, di, b.i);
    hn::Store(squares, d, b.squares);
    hn::Store(zAbs, d, b.zAbs);
    std::uint8_t bits[8] = {};
    hn::StoreMaskBits(d, attention, bits);
    std::memcpy(&b.attention, bits, sizeof b.attention);
    return steps;
}

HWY_INLINE V negated(V x) { return hn::Neg(x); }

// The double-double arithmetic, compiled for this instruction set.
#include "deep/double_double_ops-inl.h"

std::int64_t AdvanceDirectDdLanes(DirectDdBatch* batch, std::int64_t limit, std::int64_t maxSteps) {
    DirectDdBatch& b = *batch;
    const D d;
    const DI di;
    DdParts<V> zr{hn::Load(d, b.zrHi), hn::Load(d, b.zrLo)}, zi{hn::Load(d, b.ziHi), hn::Load(d, b.ziLo)};
    V e = hn::Load(d, b.e);
    const DdParts<V> cr{hn::Load(d, b.crHi), hn::Load(d, b.crLo)}, ci{hn::Load(d, b.ciHi), hn::Load(d, b.ciLo)};
    const V cErr = hn::Load(d, b.cErr), cAbs = hn::Load(d, b.cAbs);
    auto i = hn::Load(di, b.i);
    const auto limitV = hn::Set(di, limit), one = hn::Set(di, 1);
    const DirectDdConstants<V> k{hn::Set(d, kDdSplitter), hn::Set(d, 2.0), hn::Set(d, kDirectDdStepRounding),
                                 hn::Set(d, kBoundInflation)};
    const V slack = hn::Set(d, kDdMagnitudeSlack), floor = hn::Set(d, kDdMagnitudeFloor);
    M attention = hn::FirstN(d, 0);
    std::int64_t steps = 0;
    for (; steps < maxSteps; ++steps) {
        // magnitudeUp of the high parts, then the escape test's "stays" and the limit.
        const V squares = hn::Add(hn::Mul(zr.hi, zr.hi), hn::Mul(zi.hi, zi.hi));
        const V zAbs = hn::Add(hn::Mul(Magnitude(d, zr.hi, zi.hi, squares), slack), floor);
        attention = hn::Not(Stays(d, zAbs, e));
        attention = hn::Or(attention, hn::RebindMask(d, hn::Eq(i, limitV)));
        if (!hn::AllFalse(d, attention)) break;
        directDdAdvance(zr, zi, e, cr, ci, cErr, cAbs, zAbs, k);
        i = hn::Add(i, one);
    }
    hn::Store(zr.hi, d, b.zrHi);
    hn::Store(zr.lo, d, b.zrLo);
    hn::Store(zi.hi, d, b.ziHi);
    hn::Store(zi.lo, d, b.ziLo);
    hn::Store(e, d, b.e);
    hn::Store(i, di, b.i);
    hn::Store(hn::VecFromMask(di, hn::RebindMask(di, attention)), di, b.attention);
    return steps;
}

std::size_t DirectLaneCountOfThisVariant() { return hn::Lanes(D()); }

}  // namespace HWY_NAMESPACE
}  // namespace mandel::deeplanes
HWY_AFTER_NAMESPACE();

#if HWY_ONCE

namespace mandel {
namespace deeplanes {

HWY_EXPORT(AdvanceDirectLanes);
HWY_EXPORT(AdvanceDirectDdLanes);
HWY_EXPORT(DirectLaneCountOfThisVariant);

static std::size_t directLanes() { return HWY_DYNAMIC_DISPATCH(DirectLaneCountOfThisVariant)(); }
static std::int64_t advanceDirect(DirectBatch& batch, std::int64_t limit, std::int64_t maxSteps) {
    return HWY_DYNAMIC_DISPATCH(AdvanceDirectLanes)(&batch, limit, maxSteps);
}

static std::int64_t advanceDirectDd(DirectDdBatch& batch, std::int64_t limit, std::int64_t maxSteps) {
    return HWY_DYNAMIC_DISPATCH(AdvanceDirectDdLanes)(&batch, limit, maxSteps);
}

}  // namespace deeplanes

std::size_t directLaneCount() { return deeplanes::directLanes(); }

std::int64_t advanceDirectLanes(DirectBatch& batch, std::int64_t limit, std::int64_t maxSteps) {
    return deeplanes::advanceDirect(batch, limit, maxSteps);
}

std::int64_t advanceDirectDdLanes(DirectDdBatch& batch, std::int64_t limit, std::int64_t maxSteps) {
    return deeplanes::advanceDirectDd(batch, limit, maxSteps);
}

}  // namespace mandel

#endif  // HWY_ONCE
