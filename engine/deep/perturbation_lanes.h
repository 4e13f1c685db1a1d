#pragma once

// Plain perturbation steps of several pixels at once in double-precision SIMD
// lanes, compiled for each instruction set and chosen at run time (the same
// choice as the single-precision kernel's, see kernel/fast_targets.h).
//
// Each lane makes exactly the operations of perturbStep<double> in the same
// order (Mul, Add, Sub, Sqrt; never a fused multiply-add): the step's
// arithmetic is the one template both instantiate (perturbation_step-inl.h),
// so a pixel's state after every step is bit for bit the scalar loop's, on
// every instruction set. The lanes rebase in place as perturbStep does, and with a table a lane
// whose pixel takes an approximation step there takes it in place with
// perturbStep's own choice and arithmetic (blaStep), while the others make
// their plain steps. Whatever else a pixel needs at an iteration (an escape
// test that is not "stays", the limit, a derivative to bring back in range)
// is left to perturbStep itself: the lanes stop before that iteration and say
// which pixels need it.

#include <cstddef>
#include <cstdint>

#include "deep/bla_table.h"
#include "deep/orbit.h"

namespace mandel {

inline constexpr std::size_t kMaxDeepLanes = 16;

// What every lane shares: the reference as the lanes read it, and the limit.
struct LaneJob {
    const LanePoint* points = nullptr;
    std::int64_t last = 0;  // index of the reference's last point
    std::int64_t limit = 0;
    bool derivative = false;  // carry dz/dc (ScaledDerivative's plain step)
    // The approximation table (null: none, or one without steps).
    const BlaLevels<double>* table = nullptr;
};

// Each lane's pixel: PerturbState<double> (dz, e, m, i) and its offset.
struct LaneBatch {
    alignas(64) double dzr[kMaxDeepLanes] = {};
    alignas(64) double dzi[kMaxDeepLanes] = {};
    alignas(64) double e[kMaxDeepLanes] = {};
    alignas(64) double dcr[kMaxDeepLanes] = {};
    alignas(64) double dci[kMaxDeepLanes] = {};
    alignas(64) double dcErr[kMaxDeepLanes] = {};
    alignas(64) double dcAbs[kMaxDeepLanes] = {};
    // roundUp(|δc| + its error), and nonzero where the pixel may use the
    // table (PerturbRun's cBound and table).
    alignas(64) double cBound[kMaxDeepLanes] = {};
    alignas(64) double fromOffset[kMaxDeepLanes] = {};  // PerturbRun's fromOffset
    alignas(64) std::int64_t tableOn[kMaxDeepLanes] = {};
    alignas(64) std::int64_t m[kMaxDeepLanes] = {};
    alignas(64) std::int64_t i[kMaxDeepLanes] = {};
    // With the derivative: its parts at the lane's scale, and the unit
    // ScaledDerivative::unit() of that scale (below 0: the lane must wait
    // for perturbStep).
    alignas(64) double derR[kMaxDeepLanes] = {};
    alignas(64) double derI[kMaxDeepLanes] = {};
    alignas(64) double derUnit[kMaxDeepLanes] = {};
    alignas(64) std::int64_t derScale[kMaxDeepLanes] = {};  // the parts' scale
    // Out: nonzero for the lanes whose next iteration needs perturbStep.
    alignas(64) std::int64_t attention[kMaxDeepLanes] = {};
    // Out, added to: approximation steps taken (lane-steps that were not
    // plain steps) and the iterations they skipped.
    std::int64_t approximationSteps = 0;
    std::int64_t skipped = 0;
};

// Lanes of the instruction set in use (at most kMaxDeepLanes).
std::size_t deepLaneCount();

// Steps of every lane until some lane's next iteration needs perturbStep
// (marked in batch.attention) or maxSteps steps are made. Returns the steps
// made (each by every lane, plain or approximation). With job.derivative a lane also
// waits for perturbStep while its derivative is at ScaledDerivative::kLaneHigh or above.
std::int64_t advanceLanes(const LaneJob& job, LaneBatch& batch, std::int64_t maxSteps);

}  // namespace mandel
