// The direct double iteration's lanes, compiled once per instruction set by
// Highway's foreach_target and chosen at run time (HWY_DYNAMIC_DISPATCH).

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "deep/direct_lanes.cpp"
#define HWY_DISABLED_TARGETS (HWY_SVE | HWY_SVE2 | HWY_SVE_256 | HWY_SVE2_128)
#include <hwy/foreach_target.h>  // IWYU pragma: keep

#include <hwy/highway.h>

#include <algorithm>
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
static_assert(2 * HWY_LANES(double) <= kMaxDirectLanes);

// One vector of the batch's lanes (those from `first` on): their states,
// points, and the values the test hands to the step.
struct DirectVector {
    V zr, zi, e, cr, ci, fixed;
    VI i;
    V squares, zAbs;
};

HWY_INLINE DirectVector LoadDirect(D d, const DirectBatch& b, std::size_t first) {
    const DI di;
    return {hn::LoadU(d, b.zr + first),
            hn::LoadU(d, b.zi + first),
            hn::LoadU(d, b.e + first),
            hn::LoadU(d, b.cr + first),
            hn::LoadU(d, b.ci + first),
            hn::LoadU(d, b.fixed + first),
            hn::LoadU(di, b.i + first),
            hn::Zero(d),
            hn::Zero(d)};
}

HWY_INLINE void StoreDirect(D d, const DirectVector& v, DirectBatch& b, std::size_t first) {
    const DI di;
    hn::StoreU(v.zr, d, b.zr + first);
    hn::StoreU(v.zi, d, b.zi + first);
    hn::StoreU(v.e, d, b.e + first);
    hn::StoreU(v.i, di, b.i + first);
    hn::StoreU(v.squares, d, b.squares + first);
    hn::StoreU(v.zAbs, d, b.zAbs + first);
}

// directMagnitude and the lanes' part of directDecision: the lanes whose
// "stays" fails or whose iteration is the limit.
HWY_INLINE M TestDirect(D d, DirectVector& v, VI limit, bool limitDue) {
    const hn::Rebind<float, D> df;
    v.squares = hn::Add(hn::Mul(v.zr, v.zr), hn::Mul(v.zi, v.zi));
    // directRootUp.
    const auto raised = hn::Mul(hn::Max(v.squares, hn::Set(d, kDirectRootFloor)), hn::Set(d, kDirectRootRaise));
    v.zAbs = hn::Mul(hn::PromoteTo(d, hn::Sqrt(hn::DemoteTo(df, raised))), hn::Set(d, kDirectRootInflation));
    const M attention = hn::Not(hn::Lt(hn::Add(v.zAbs, v.e), hn::Set(d, kDirectStaysBelow)));
    return limitDue ? hn::Or(attention, hn::RebindMask(d, hn::Eq(v.i, limit))) : attention;
}

// directStep.
HWY_INLINE void StepDirect(D d, DirectVector& v) {
    const DI di;
    const V nr = hn::Add(hn::Sub(hn::Mul(v.zr, v.zr), hn::Mul(v.zi, v.zi)), v.cr);
    const V ni = hn::Add(hn::Mul(hn::Add(v.zr, v.zr), v.zi), v.ci);
    const V growth = hn::Mul(hn::Add(hn::Add(v.zAbs, v.zAbs), v.e), hn::Set(d, kBoundInflation));
    v.e = hn::Add(hn::Mul(v.e, growth), hn::Add(hn::Mul(hn::Set(d, kDirectRoundingInflated), v.squares), v.fixed));
    v.zr = nr;
    v.zi = ni;
    v.i = hn::Add(v.i, hn::Set(di, 1));
}

// A mask as bits, lane k's at bit k.
HWY_INLINE std::uint64_t MaskBits(D d, M mask) {
    std::uint8_t bytes[8] = {};
    hn::StoreMaskBits(d, mask, bytes);
    std::uint64_t bits = 0;
    std::memcpy(&bits, bytes, sizeof bytes);
    return bits;
}

// Two vectors of lanes stepped side by side: their chains interleave.
std::int64_t AdvanceDirectLanes(DirectBatch* batch, std::int64_t limit, std::int64_t maxSteps) {
    DirectBatch& b = *batch;
    const D d;
    const DI di;
    const std::size_t n = hn::Lanes(d);
    DirectVector low = LoadDirect(d, b, 0), high = LoadDirect(d, b, n);
    const VI limitV = hn::Set(di, limit);
    M lowAttention = hn::FirstN(d, 0), highAttention = hn::FirstN(d, 0);
    // No lane reaches the limit before the one furthest along: the limit is
    // looked at only from the step where that lane would reach it.
    // (An empty lane's iteration is the lowest number: where every lane is
    // empty, the limit is looked at from the first step.)
    const std::int64_t furthest =
        std::max(hn::GetLane(hn::MaxOfLanes(di, low.i)), hn::GetLane(hn::MaxOfLanes(di, high.i)));
    const std::int64_t limitStep = furthest < 0 ? 0 : limit - furthest;
    std::int64_t steps = 0;
    for (; steps < maxSteps; ++steps) {
        const bool limitDue = steps >= limitStep;
        lowAttention = TestDirect(d, low, limitV, limitDue);
        highAttention = TestDirect(d, high, limitV, limitDue);
        if (!hn::AllFalse(d, hn::Or(lowAttention, highAttention))) break;
        StepDirect(d, low);
        StepDirect(d, high);
    }
    StoreDirect(d, low, b, 0);
    StoreDirect(d, high, b, n);
    b.attention = MaskBits(d, lowAttention) | (MaskBits(d, highAttention) << n);
    return steps;
}

// The double-double arithmetic, compiled for this instruction set.
#include "deep/double_double_ops-inl.h"

// One vector of the double-double batch's lanes (those from `first` on).
struct DirectDdVector {
    DdParts<V> zr, zi;
    V e;
    DdParts<V> cr, ci;
    V cErr, cAbs;
    VI i;
    V zAbs;
};

HWY_INLINE DirectDdVector LoadDirectDd(D d, const DirectDdBatch& b, std::size_t first) {
    const DI di;
    return {{hn::LoadU(d, b.zrHi + first), hn::LoadU(d, b.zrLo + first)},
            {hn::LoadU(d, b.ziHi + first), hn::LoadU(d, b.ziLo + first)},
            hn::LoadU(d, b.e + first),
            {hn::LoadU(d, b.crHi + first), hn::LoadU(d, b.crLo + first)},
            {hn::LoadU(d, b.ciHi + first), hn::LoadU(d, b.ciLo + first)},
            hn::LoadU(d, b.cErr + first),
            hn::LoadU(d, b.cAbs + first),
            hn::LoadU(di, b.i + first),
            hn::Zero(d)};
}

HWY_INLINE void StoreDirectDd(D d, const DirectDdVector& v, M attention, DirectDdBatch& b, std::size_t first) {
    const DI di;
    hn::StoreU(v.zr.hi, d, b.zrHi + first);
    hn::StoreU(v.zr.lo, d, b.zrLo + first);
    hn::StoreU(v.zi.hi, d, b.ziHi + first);
    hn::StoreU(v.zi.lo, d, b.ziLo + first);
    hn::StoreU(v.e, d, b.e + first);
    hn::StoreU(v.i, di, b.i + first);
    hn::StoreU(hn::VecFromMask(di, hn::RebindMask(di, attention)), di, b.attention + first);
}

// magnitudeUp of the high parts, then the escape test's "stays" and the
// limit: the lanes that need attention.
HWY_INLINE M TestDirectDd(D d, DirectDdVector& v, VI limit) {
    const V squares = hn::Add(hn::Mul(v.zr.hi, v.zr.hi), hn::Mul(v.zi.hi, v.zi.hi));
    v.zAbs = hn::Add(hn::Mul(Magnitude(d, v.zr.hi, v.zi.hi, squares), hn::Set(d, kDdMagnitudeSlack)),
                     hn::Set(d, kDdMagnitudeFloor));
    const M attention = hn::Not(Stays(d, v.zAbs, v.e));
    return hn::Or(attention, hn::RebindMask(d, hn::Eq(v.i, limit)));
}

// Two vectors of lanes stepped side by side, as the double lanes.
std::int64_t AdvanceDirectDdLanes(DirectDdBatch* batch, std::int64_t limit, std::int64_t maxSteps) {
    DirectDdBatch& b = *batch;
    const D d;
    const DI di;
    const std::size_t n = hn::Lanes(d);
    DirectDdVector low = LoadDirectDd(d, b, 0), high = LoadDirectDd(d, b, n);
    const VI limitV = hn::Set(di, limit), one = hn::Set(di, 1);
    const DirectDdConstants<V> k{hn::Set(d, 2.0), hn::Set(d, kDirectDdStepRounding),
                                 hn::Set(d, kBoundInflation)};
    M lowAttention = hn::FirstN(d, 0), highAttention = hn::FirstN(d, 0);
    std::int64_t steps = 0;
    for (; steps < maxSteps; ++steps) {
        lowAttention = TestDirectDd(d, low, limitV);
        highAttention = TestDirectDd(d, high, limitV);
        if (!hn::AllFalse(d, hn::Or(lowAttention, highAttention))) break;
        directDdAdvance(low.zr, low.zi, low.e, low.cr, low.ci, low.cErr, low.cAbs, low.zAbs, k);
        directDdAdvance(high.zr, high.zi, high.e, high.cr, high.ci, high.cErr, high.cAbs, high.zAbs, k);
        low.i = hn::Add(low.i, one);
        high.i = hn::Add(high.i, one);
    }
    StoreDirectDd(d, low, lowAttention, b, 0);
    StoreDirectDd(d, high, highAttention, b, n);
    return steps;
}

// Both loops step two vectors of lanes.
std::size_t DirectLaneCountOfThisVariant() { return 2 * hn::Lanes(D()); }

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
