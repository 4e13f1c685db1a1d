// The peak of the deep lanes' step, compiled once per instruction set like
// the lanes themselves and chosen at run time the same way.

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "lane_peak.cpp"
#define HWY_DISABLED_TARGETS (HWY_SVE | HWY_SVE2 | HWY_SVE_256 | HWY_SVE2_128)
#include <hwy/foreach_target.h>  // IWYU pragma: keep

#include <hwy/highway.h>

#include <chrono>
#include <cstdint>

#include "deep/lane_step-inl.h"
#include "lane_peak.h"

HWY_BEFORE_NAMESPACE();
namespace mandel::deeplanes {
namespace HWY_NAMESPACE {

double LaneStepPeakOfThisVariant() {
    const D d;
    constexpr int kVectors = 4;
    constexpr std::int64_t kSteps = 1 << 22;
    const V zr = hn::Set(d, 0.25), zi = hn::Set(d, 0.5), zErr = hn::Set(d, 0x1p-60), zAbs = hn::Set(d, 0.56);
    const V dc = hn::Set(d, 0x1p-40), wBound = hn::Set(d, 0.6);
    V dzr[kVectors], dzi[kVectors], e[kVectors];
    for (int v = 0; v < kVectors; ++v) {
        dzr[v] = hn::Set(d, 0x1p-30 * (v + 1));
        dzi[v] = hn::Set(d, 0x1p-31);
        e[v] = hn::Zero(d);
    }
    const auto start = std::chrono::steady_clock::now();
    const V inflation = hn::Set(d, kBoundInflation), marginUp = hn::Set(d, 1 + kEscapeTestMargin);
    for (std::int64_t s = 0; s < kSteps; ++s) {
        for (int v = 0; v < kVectors; ++v) {
            // The whole iteration's arithmetic as the lanes make it, the
            // tests folded into the state instead of branching on them.
            const V wr = hn::Add(zr, dzr[v]), wi = hn::Add(zi, dzi[v]);
            const V wAbs = Magnitude(d, wr, wi, hn::Add(hn::Mul(wr, wr), hn::Mul(wi, wi)));
            const V wSum = hn::Mul(hn::Set(d, kPerturbSumRounding), wAbs);
            const V wErr = hn::Mul(hn::Add(hn::Add(zErr, e[v]), wSum), inflation);
            const M stays = hn::Lt(hn::Add(hn::Mul(wAbs, marginUp), hn::Mul(wErr, marginUp)), wBound);
            const V d2 = hn::Add(hn::Mul(dzr[v], dzr[v]), hn::Mul(dzi[v], dzi[v]));
            const V dAbs = Magnitude(d, dzr[v], dzi[v], d2);
            const V u = hn::IfThenElse(hn::And(stays, hn::Lt(wAbs, dAbs)), dAbs, hn::Add(wAbs, wSum));
            const Step next = PlainStep(d, zr, zi, zErr, zAbs, dzr[v], dzi[v], e[v], d2, dAbs, u, dc, dc, zErr, dc);
            // Scaled back so that the values stay in range forever.
            dzr[v] = hn::Mul(next.dzr, hn::Set(d, 0.5));
            dzi[v] = hn::Mul(next.dzi, hn::Set(d, 0.5));
            e[v] = hn::Mul(next.e, hn::Set(d, 0.5));
        }
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    double sink = 0;
    for (int v = 0; v < kVectors; ++v) sink += hn::GetLane(dzr[v]) + hn::GetLane(e[v]);
    const double lanes = static_cast<double>(kSteps) * kVectors * static_cast<double>(hn::Lanes(d));
    return sink == sink ? lanes / seconds : 0;  // the sink keeps the loop
}

}  // namespace HWY_NAMESPACE
}  // namespace mandel::deeplanes
HWY_AFTER_NAMESPACE();

#if HWY_ONCE

namespace mandel::deeplanes {
HWY_EXPORT(LaneStepPeakOfThisVariant);
}  // namespace mandel::deeplanes

double laneStepPeak() {
    using namespace mandel::deeplanes;
    return HWY_DYNAMIC_DISPATCH(LaneStepPeakOfThisVariant)();
}

#endif  // HWY_ONCE
