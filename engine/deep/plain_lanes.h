#pragma once

// The direct double iteration of plain_iteration.h in SIMD lanes, compiled
// for each instruction set and chosen at run time like the perturbation
// lanes: each lane makes plainStep's operations in its order, so its pixel's
// state is the scalar loop's bit for bit.

#include <cstddef>
#include <cstdint>

namespace mandel {

inline constexpr std::size_t kMaxPlainLanes = 16;

// Each lane's pixel: its point (c̃, the bound on its error, |c̃|) and state.
struct PlainBatch {
    alignas(64) double zr[kMaxPlainLanes] = {};
    alignas(64) double zi[kMaxPlainLanes] = {};
    alignas(64) double e[kMaxPlainLanes] = {};
    alignas(64) double cr[kMaxPlainLanes] = {};
    alignas(64) double ci[kMaxPlainLanes] = {};
    alignas(64) double cErr[kMaxPlainLanes] = {};
    alignas(64) double cAbs[kMaxPlainLanes] = {};
    alignas(64) std::int64_t i[kMaxPlainLanes] = {};
    // Out: nonzero for the lanes whose escape test is not "stays" or whose
    // iteration is the limit (the scalar loop decides those).
    alignas(64) std::int64_t attention[kMaxPlainLanes] = {};
};

std::size_t plainLaneCount();

// Steps of every lane until some lane needs attention or maxSteps steps are
// made; returns the steps made.
std::int64_t advancePlainLanes(PlainBatch& batch, std::int64_t limit, std::int64_t maxSteps);

}  // namespace mandel
