#pragma once

// Plain steps in rescaled doubles (views below double's range) of several
// pixels at once in SIMD lanes, compiled for each instruction set and chosen
// at run time like the double lanes (perturbation_lanes.h).
//
// Each lane makes exactly rescaledStep's operations in its order and then
// rescaledIteration's rescale, so a pixel's state after every iteration is
// bit for bit the scalar loop's. A lane at a table's start takes the scalar
// loop's approximation step in place (chosen and made with its own code).
// Whatever else an iteration needs (the escape test other than "stays", the
// limit, the extended-range step, a rescale that double cannot make) is left
// to the scalar loop: the lanes stop and say which pixels need it.

#include <cstddef>
#include <cstdint>

#include "deep/bla_table.h"
#include "deep/ext_real.h"
#include "deep/orbit.h"
#include "deep/perturbation.h"
#include "deep/perturbation_lanes.h"
#include "deep/rescaled_perturbation.h"

namespace mandel {

// What every lane shares.
struct RescaledLaneJob {
    const LanePoint* points = nullptr;  // the reference as the lanes read it
    std::int64_t last = 0;              // index of the reference's last point
    std::int64_t limit = 0;
    const BlaLevels<ExtReal>* table = nullptr;  // null: none, or one without steps
};

// The pixels' state and offset in units of 2^k (RescaledPixel's fields
// without δc's exponent), lane by lane.
struct RescaledLaneState {
    alignas(64) double wr[kMaxDeepLanes] = {};
    alignas(64) double wi[kMaxDeepLanes] = {};
    alignas(64) double e[kMaxDeepLanes] = {};
    alignas(64) double dr[kMaxDeepLanes] = {};
    alignas(64) double di[kMaxDeepLanes] = {};
    alignas(64) double dErr[kMaxDeepLanes] = {};
    alignas(64) double dAbs[kMaxDeepLanes] = {};
    alignas(64) double dBound[kMaxDeepLanes] = {};
    alignas(64) std::int64_t k[kMaxDeepLanes] = {};
    alignas(64) std::int64_t m[kMaxDeepLanes] = {};
    alignas(64) std::int64_t i[kMaxDeepLanes] = {};

    RescaledPixel pixel(std::size_t lane, std::int64_t offsetExponent) const {
        return {{wr[lane], wi[lane], e[lane], k[lane], m[lane], i[lane]},
                {dr[lane], di[lane], dErr[lane], dAbs[lane], dBound[lane]},
                offsetExponent};
    }
    void set(std::size_t lane, const RescaledPixel& p) {
        wr[lane] = p.s.wr, wi[lane] = p.s.wi, e[lane] = p.s.e, k[lane] = p.s.k, m[lane] = p.s.m, i[lane] = p.s.i;
        dr[lane] = p.d.dr, di[lane] = p.d.di, dErr[lane] = p.d.err, dAbs[lane] = p.d.abs, dBound[lane] = p.d.bound;
    }
};

// Each lane's pixel.
struct RescaledLaneBatch {
    RescaledLaneState state;
    alignas(64) std::int64_t offsetExponent[kMaxDeepLanes] = {};
    alignas(64) std::int64_t tableOn[kMaxDeepLanes] = {};  // PerturbRun's table is set
    // Each lane's pixel as the scalar loop runs it (for the iterations the
    // lanes leave to it in place).
    const PerturbRun<ExtReal>* runs[kMaxDeepLanes] = {};
    // Out: nonzero for the lanes whose next iteration needs the scalar loop,
    // and for those whose last step's rescale is still to be made (by
    // rescaleIfDue) before it.
    alignas(64) std::int64_t attention[kMaxDeepLanes] = {};
    alignas(64) std::int64_t rescaleDue[kMaxDeepLanes] = {};
    // Out, added to: the lanes' iterations that were not plain steps (an
    // approximation step, or one left to the scalar loop), and the
    // iterations the approximation steps skipped.
    std::int64_t approximationSteps = 0;
    std::int64_t skipped = 0;
    // Out, added to: the plain steps those scalar iterations made.
    std::int64_t scalarMade = 0;
};

// Iterations of the lanes until half of them need the scalar loop (marked in
// batch.attention; such a lane waits while the others go on) or maxSteps
// rounds are made. Returns the iterations the lanes made (plain steps and
// approximation steps).
std::int64_t advanceRescaledLanes(const RescaledLaneJob& job, RescaledLaneBatch& batch, std::int64_t maxSteps);

}  // namespace mandel
