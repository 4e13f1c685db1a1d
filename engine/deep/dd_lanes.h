#pragma once

// Plain double-double perturbation steps of several pixels at once in SIMD
// lanes: the settling of pixels the double loop left undecided, compiled for
// each instruction set and chosen at run time like the double lanes.
//
// Each lane makes exactly the operations of doubleDoubleStep's plain step in
// the same order (the step's arithmetic is the template both instantiate), so
// a pixel's state after every step is bit for bit the scalar loop's. A lane
// whose pixel takes an approximation step takes it by doubleDoubleStep's own
// code (ddApproximationStep) while the others make their plain step.
// Whatever else a pixel needs at an iteration (an escape test that is not
// "stays", the limit, a rebase, a reference point below double's range, a
// δz that may need scaled units) is
// left to doubleDoubleStep itself: the lanes stop before that iteration and
// say which pixels need it.

#include <cstddef>
#include <cstdint>

#include "deep/dd_bla_table.h"
#include "deep/double_double_perturbation.h"
#include "deep/orbit.h"
#include "deep/perturbation_lanes.h"

namespace mandel {

// What every lane shares: the reference with its low parts, and the limit.
struct DdLaneJob {
    const OrbitPoint* orbit = nullptr;
    const OrbitLow* low = nullptr;
    std::int64_t last = 0;  // index of the reference's last point
    std::int64_t limit = 0;
    const DdBlaLevels* table = nullptr;  // null: none
};

// Each lane's pixel: DoubleDoubleState and its offset in plain units.
struct DdLaneBatch {
    alignas(64) double dzrHi[kMaxDeepLanes] = {};
    alignas(64) double dzrLo[kMaxDeepLanes] = {};
    alignas(64) double dziHi[kMaxDeepLanes] = {};
    alignas(64) double dziLo[kMaxDeepLanes] = {};
    alignas(64) double e[kMaxDeepLanes] = {};
    alignas(64) double dcrHi[kMaxDeepLanes] = {};
    alignas(64) double dcrLo[kMaxDeepLanes] = {};
    alignas(64) double dciHi[kMaxDeepLanes] = {};
    alignas(64) double dciLo[kMaxDeepLanes] = {};
    alignas(64) double dcErr[kMaxDeepLanes] = {};
    alignas(64) double dcAbs[kMaxDeepLanes] = {};
    alignas(64) std::int64_t m[kMaxDeepLanes] = {};
    alignas(64) std::int64_t i[kMaxDeepLanes] = {};
    // Nonzero where the pixel may use the table (its |δc| within the table's).
    alignas(64) std::int64_t tableOn[kMaxDeepLanes] = {};
    // Nonzero where the pixel's offset is scaled: the lanes stop it where its
    // δz may be too small for a plain step (ddNeedsScaling).
    alignas(64) std::int64_t mayScale[kMaxDeepLanes] = {};
    // Each lane's offset, for its approximation steps (null: no pixel).
    const DoubleDoubleOffset* offsets[kMaxDeepLanes] = {};
    // Out: nonzero for the lanes whose next iteration needs doubleDoubleStep.
    alignas(64) std::int64_t attention[kMaxDeepLanes] = {};
};

// Steps of every lane until some lane's next iteration needs
// doubleDoubleStep (marked in batch.attention) or maxSteps steps are made.
// Returns the steps made (each by every lane). Lanes of deepLaneCount().
std::int64_t advanceDdLanes(const DdLaneJob& job, DdLaneBatch& batch, std::int64_t maxSteps);

}  // namespace mandel
