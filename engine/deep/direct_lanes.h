#pragma once

// The direct double iteration of direct_iteration.h, and the direct
// double-double iteration of direct_double_double.h, in SIMD lanes, compiled
// for each instruction set and chosen at run time like the perturbation
// lanes: each lane makes the scalar step's operations in its order, so its
// pixel's state is the scalar loop's bit for bit.

#include <cstddef>
#include <cstdint>

namespace mandel {

inline constexpr std::size_t kMaxDirectLanes = 16;

// Each lane's pixel: its point (c̃, the bound on its error, |c̃|) and state.
struct DirectBatch {
    alignas(64) double zr[kMaxDirectLanes] = {};
    alignas(64) double zi[kMaxDirectLanes] = {};
    alignas(64) double e[kMaxDirectLanes] = {};
    alignas(64) double cr[kMaxDirectLanes] = {};
    alignas(64) double ci[kMaxDirectLanes] = {};
    alignas(64) double fixed[kMaxDirectLanes] = {};
    alignas(64) std::int64_t i[kMaxDirectLanes] = {};
    // Out: where a lane needs attention, directMagnitude's values of its state.
    alignas(64) double squares[kMaxDirectLanes] = {};
    alignas(64) double zAbs[kMaxDirectLanes] = {};
    // Out: bit k set for lane k where its "stays" (directStays) failed or
    // its iteration is the limit (the scalar loop takes those on).
    std::uint64_t attention = 0;
};

// The same for the double-double iteration: z̃ = (zrHi + zrLo) + i(ziHi + ziLo).
struct DirectDdBatch {
    alignas(64) double zrHi[kMaxDirectLanes] = {};
    alignas(64) double zrLo[kMaxDirectLanes] = {};
    alignas(64) double ziHi[kMaxDirectLanes] = {};
    alignas(64) double ziLo[kMaxDirectLanes] = {};
    alignas(64) double e[kMaxDirectLanes] = {};
    alignas(64) double crHi[kMaxDirectLanes] = {};
    alignas(64) double crLo[kMaxDirectLanes] = {};
    alignas(64) double ciHi[kMaxDirectLanes] = {};
    alignas(64) double ciLo[kMaxDirectLanes] = {};
    alignas(64) double cErr[kMaxDirectLanes] = {};
    alignas(64) double cAbs[kMaxDirectLanes] = {};
    alignas(64) std::int64_t i[kMaxDirectLanes] = {};
    alignas(64) std::int64_t attention[kMaxDirectLanes] = {};
};

// The lanes of a batch: two vectors' worth, stepped side by side.
std::size_t directLaneCount();

// Steps of every lane until some lane needs attention or maxSteps steps are
// made; returns the steps made.
std::int64_t advanceDirectLanes(DirectBatch& batch, std::int64_t limit, std::int64_t maxSteps);
std::int64_t advanceDirectDdLanes(DirectDdBatch& batch, std::int64_t limit, std::int64_t maxSteps);

}  // namespace mandel
