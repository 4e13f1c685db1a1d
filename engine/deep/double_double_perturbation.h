#pragma once

// One pixel's count by perturbation in double-double arithmetic (about 106
// bits) against the reference orbit's double-double values, with the same
// rebasing and the same kind of rigorous error bound as the double loop, but
// a bound about 2^47 times tighter. It settles nearly every pixel the double
// loop leaves undecided, many times faster than MPFR, at any depth.

#include <cstdint>
#include <functional>
#include <vector>

#include "deep/dd_bla_table.h"
#include "deep/deep_geometry.h"
#include "deep/orbit.h"
#include "deep/perturbation.h"

namespace mandel {

// A double-double sum errs by at most a few 2^-106 of its operands'
// magnitudes; one step (about ten sums and products) by at most 2^-96 of its
// terms' magnitudes 2|Z||δz| + |δz|² + |δc|. Low parts that underflow lose up
// to a few 2^-1074 in each operation. (The lanes take the same constants.)
inline constexpr double kDdSumRounding = 0x1p-100;
inline constexpr double kDdStepRounding = 0x1p-96;
inline constexpr double kDdStepAbsoluteError = 0x1p-1060;

// ≥ |x| + |y| of two complex double-doubles: the sum of their high parts'
// magnitudes times this.
inline constexpr double kDdSizeSlack = 1 + 0x1p-50;

// δc = c − C of one pixel, a bound on its error, and |δc| (upward), all in
// units of 2^scale (below double's range, else scale 0).
struct DoubleDoubleOffset {
    DoubleDouble re;
    DoubleDouble im;
    double err = 0;
    double abs = 0;
    std::int64_t scale = 0;
    // Set in the unscaled copy of an offset below double's range, which holds
    // δc rounded into double (often 0): wholeBound ≥ |δc| + its error then
    // bounds what that copy lost, however large the factor it is taken with.
    bool lost = false;
    ExtReal wholeBound;
};

DoubleDoubleOffset doubleDoubleOffset(const AxisOffset& column, const AxisOffset& row, std::int64_t scale);

// Where a pixel's iteration stands: δz, a bound on its error, the reference
// index and the iteration.
struct DoubleDoubleState {
    DoubleDouble dzr, dzi;
    double e = 0;
    std::int64_t m = 1;
    std::int64_t i = 1;
};

DoubleDoubleState startState(const DoubleDoubleOffset& dc);

// Iteration st.i: its escape test and, where the pixel goes on, the step to
// iteration st.i + 1 (rebasing first where Z + δz is smaller than δz or the
// orbit ends). Returns the count (escaped at st.i, or the limit),
// kUndecidedCount, or 0 when the pixel goes on; with `pauseAfterRebase`,
// kSwitchCount after a rebase (st then holds the rebased iteration st.i).
// With a table, an approximation step is taken in place of the step where
// one is valid (st.i then moves on by its length).
std::int64_t doubleDoubleStep(const std::vector<OrbitPoint>& orbit, const std::vector<OrbitLow>& low,
                              const DoubleDoubleOffset& dc, std::int64_t limit, DoubleDoubleState& st,
                              bool pauseAfterRebase = false, const DdBlaLevels* table = nullptr);

// doubleDoubleStep's approximation step from an unscaled state whose escape
// test, limit and rebase are done (the lanes take it lane by lane): the
// longest valid one taken (true), or none valid.
bool ddApproximationStep(const DdBlaLevels& table, const DoubleDoubleOffset& dc, std::int64_t limit,
                         DoubleDoubleState& st);

// Whether the table's steps may serve a pixel of this (unscaled) offset.
bool ddTableServes(const DdBlaLevels& table, const DoubleDoubleOffset& dc);

// The offset in plain units that the unscaled steps of a scaled pixel take
// (the offset itself where it is not scaled).
DoubleDoubleOffset ddPlainOffset(const DoubleDoubleOffset& dc);

// Whether a pixel of a scaled offset must leave plain units before its next
// step (δz or Z below where the plain step is safe).
bool ddNeedsScaling(const std::vector<OrbitPoint>& orbit, const DoubleDoubleOffset& dc, const DoubleDoubleState& st);

// The scaled steps of a pixel of a scaled offset: from its start, or from
// the plain state st, until it may go on in plain units (kSwitchCount, st
// then holding that state) or it ends (its count, kUndecidedCount or
// kCancelledCount). `iterations` counts the steps for stop().
std::int64_t ddScaledPhase(const std::vector<OrbitPoint>& orbit, const std::vector<OrbitLow>& low,
                           const DoubleDoubleOffset& dc, std::int64_t limit, bool fromStart, DoubleDoubleState& st,
                           const DdBlaLevels* table, const std::function<bool()>& stop, std::int64_t& iterations);

// z = Z_m + δz of an unscaled state whose escape test said "escaped", in double.
EscapePoint ddEscapePoint(const std::vector<OrbitPoint>& orbit, const std::vector<OrbitLow>& low,
                          const DoubleDoubleState& st);

// An unscaled state in double for the double loop to go on from: the high
// parts, the bound grown by the low parts dropped.
PerturbState<double> handedToDouble(const DoubleDoubleState& st);
// The same for the rescaled loop, in the extended range.
PerturbState<ExtReal> handedToRescaled(const DoubleDoubleState& st);

// Where an unscaled pixel has just rebased (it has left the reference, and
// what is left of its orbit is usually short), a cheaper arithmetic may
// finish it from there: given the rebased state, this returns the count (or
// kCancelledCount), or kUndecidedCount for the double-double loop to go on.
using DdHandOff = std::function<std::int64_t(const DoubleDoubleState&)>;

// The count, kUndecidedCount or kCancelledCount. A pixel whose δc is
// scaled is first iterated with δz in units of a power of two (while δz is
// below double's range), then like the others. (stop() is asked every few
// thousand iterations). `iterations` is increased by the steps taken. The
// table (if any) serves the unscaled steps. Where the pixel escapes from an
// unscaled step and `escape` is given, it receives z there, in double.
// With `handOff`, an unscaled pixel's rebases are offered to it.
std::int64_t doubleDoublePerturbedCount(const std::vector<OrbitPoint>& orbit, const std::vector<OrbitLow>& low,
                                        const DoubleDoubleOffset& dc, std::int64_t limit,
                                        const std::function<bool()>& stop, std::int64_t& iterations,
                                        const DdBlaLevels* table = nullptr, EscapePoint* escape = nullptr,
                                        const DdHandOff* handOff = nullptr);

}  // namespace mandel
