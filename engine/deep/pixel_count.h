#pragma once

// One pixel of a drawing's rows through every stage: a count known without
// iterating, perturbation in double (or extended range) against the
// reference, and where that cannot decide, settling in double-double and then
// MPFR up to the precision cap.

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "colour/smooth_count.h"
#include "colour/smooth_lanes.h"
#include "deep/bla_table.h"
#include "deep/deep_geometry.h"
#include "deep/deep_options.h"
#include "deep/deep_reference.h"
#include "deep/dd_bla_table.h"
#include "deep/direct_double_double.h"
#include "deep/double_double_perturbation.h"
#include "deep/direct_iteration.h"
#include "deep/known_counts.h"
#include "deep/perturbation.h"
#include "deep/row_control.h"

namespace mandel {

struct RowJob {
    const DeepView* view = nullptr;
    const DeepGeometry* geometry = nullptr;
    const DeepReference* reference = nullptr;
    const PixelOffsets* offsets = nullptr;
    int firstRow = 0;
    int rows = 0;
    std::span<std::int32_t> counts;
    const BlaTable* bla = nullptr;          // none: every iteration a perturbation step
    const KnownCounts* known = nullptr;     // pixels counted without iterating
    std::span<std::uint8_t> certified{};    // empty, or 0 where a count is not certified
    int maxBits = kMinAutomaticSettleBits;  // the MPFR settling's precision cap
    bool direct = true;                     // shallow views may take the direct double stage
    // Empty, or each pixel's colour outputs (colour_outputs.h); NaN inside.
    std::span<float> excess{};
    std::span<float> distance{};
    std::span<float> slope{};
};

// Pixel (x, y)'s count by perturbation, undecided tests taken as computed (a
// cheap guide to where a longer reference lies).
std::int64_t perturbedReach(const RowJob& job, int x, int y);

// Pixel (x, y)'s δc in the extended range, and in double.
PixelOffset<ExtReal> pixelOffset(const RowJob& job, int x, int y);
PixelOffset<double> doubleOffset(const PixelOffset<ExtReal>& x);

// Pixel (x, y)'s place in job.counts.
std::size_t pixelIndex(const RowJob& job, int x, int y);

// Whether the view's pixels take the direct double stage first
// (direct_iteration.h): views in double's range with a spacing of at least
// 2^kDirectSpacingExponent, without distances (which need dz/dc).
bool takesDirectStage(const RowJob& job);

// Pixel (x, y)'s point in double, with its bound, for the direct stage; a
// row's pixels share the reference point and the row's offset (DirectRowStart).
struct DirectRowStart {
    double re = 0, im = 0, err = 0;
};
DirectRowStart directRowStart(const RowJob& job, int y);
DirectPoint directPoint(const RowJob& job, int x, int y);

// Rounding into double's subnormal range loses at most 2^-1075 per part.
inline constexpr double kSubnormalLoss = 0x1p-1073;

// The point of the column whose offset is (value, err) in the row: δc's parts
// and a bound on its error from the axes' doubles (the extended-range offset
// and its |δc|, which the direct stage does not use, were a tenth of a
// shallow view's time).
inline DirectPoint directPoint(const DirectRowStart& row, double value, double err) {
    DirectPoint c;
    c.cr = row.re + value;
    c.ci = row.im;
    // |c̃| ≤ |Re c̃| + |Im c̃|: within √2 of it, without a square root per pixel.
    c.cAbs = roundUp(std::fabs(c.cr) + std::fabs(c.ci));
    // The reference point's and the offsets' errors, what the subnormal
    // range may lose, and the sums' rounding (2^-53 of each part).
    c.cErr = roundUp(row.err + err + kSubnormalLoss + 0x1p-52 * c.cAbs);
    c.fixed = directFixedBound(c.cErr, c.cAbs);
    return c;
}

// Whether the pixels the direct stage leaves undecided go on directly in
// double-double (direct_double_double.h), and a pixel's point for it.
bool takesDirectDdStage(const RowJob& job);
DirectDdPoint directDdPoint(const RowJob& job, int x, int y);

// Sets out and returns true when the pixel's count needs no iteration.
bool knownCount(const RowJob& job, int x, int y, RowControl& control, std::int32_t& out);

// A trace that carries dz/dc where the job wants distances.
PixelTrace traceFor(const RowJob& job);

// Stores pixel (x, y)'s colour outputs (those the job wants): NaN for a count
// at the limit, otherwise from its trace where it escaped, or from a
// perturbation that takes undecided tests as computed when the trace does
// not know where (a pixel settled with more precision).
void storeColourOutputs(const RowJob& job, int x, int y, std::int64_t count, const PixelTrace& trace);

// Continuous counts still to be finished: a thread that finishes many pixels
// keeps their escape points here and continues their orbits and takes the
// logarithms in SIMD lanes all at once (finishExcesses), before it reports
// their rows done.
struct PendingExcesses {
    std::vector<std::size_t> indices;  // into the job's outputs
    EscapePoints points;
    std::vector<double> excess;  // room for the results
};

// storeColourOutputs, leaving the continuous count (where it is wanted and
// the trace knows the escape) in `pending`.
void storeColourOutputs(const RowJob& job, int x, int y, std::int64_t count, const PixelTrace& trace,
                        PendingExcesses& pending);

// Stores every pending continuous count and empties `pending`.
void finishExcesses(const RowJob& job, PendingExcesses& pending);

// Stores the count the direct stage decided for pixel (x, y) and its colour
// outputs (ν from z̃ where it escaped; pending as in storeColourOutputs when given).
void storeDirectCount(const RowJob& job, int x, int y, std::int64_t count, const DirectState& s, std::int32_t& out,
                      PendingExcesses* pending);

// storeDirectCount for the direct double-double stage (ν from z̃'s high parts).
void storeDirectDdCount(const RowJob& job, int x, int y, std::int64_t count, const DirectDdState& s,
                        std::int32_t& out, PendingExcesses* pending);

// A pixel the double (or extended) loop left undecided, settled with more
// precision (double-double, then MPFR); false if cancelled.
bool settleUndecided(const RowJob& job, int x, int y, RowControl& control, std::int32_t& out);

// settleUndecided in two parts, for settling pixels side by side in SIMD
// lanes (settle_lanes.h): the first stage is double-double perturbation with
// the loose table of settlingTable (none where the job has no table) and
// the hand-off to the double loop; finishSettling takes its result on.

// One pixel's settling as it goes from stage to stage: its offset in
// double-double, the hand-off to the double loop (views in double's range;
// it refers to `escape` and `handOffs`, so a Settling stays where it is
// made), the hand-offs tried, and where the pixel was seen to escape.
struct Settling {
    Settling(const RowJob& job, int x, int y, RowControl& control);
    Settling(const Settling&) = delete;
    Settling& operator=(const Settling&) = delete;
    int x, y;
    DoubleDoubleOffset dc;
    DoubleDoubleOffset plain;  // dc in plain units (dc itself where not scaled)
    bool scaledStart = false;  // a scaled pixel yet to make its scaled start (lanes)
    EscapePoint escape;
    std::optional<DdHandOff> handOff;
    int handOffs = 0;
    bool strictTableTried = false;  // the strict table's stage was made (in lanes)
    std::int64_t ddIterations = 0;
    std::chrono::steady_clock::time_point start;
};

// Whether the pixel may go on in the double loop from this rebase (a try
// more), for a hand-off made elsewhere than through `handOff` (the double
// lanes).
bool takeHandOffTry(Settling& s);

// A hand-off made elsewhere that the double loop decided: its statistic and
// the escape point it saw.
void handOffDecided(RowControl& control, Settling& s, const EscapePoint& escape);

// The double-double stage's table of that tolerance; null where the job has
// no table, or where a cancel stopped its making (then the job has one).
std::shared_ptr<const DdBlaLevels> settlingTable(const RowJob& job, RowControl& control, DdTableTolerance tolerance);

// The stages after the first, from its result `settled` (a count,
// kUndecidedCount or kCancelledCount), then the statistics and the pixel's
// outputs; false if cancelled. `low` is the reference's low parts (empty:
// none at hand).
bool finishSettling(const RowJob& job, const std::vector<OrbitLow>& low, RowControl& control, Settling& s,
                    std::int64_t settled, std::int32_t& out);

// Pixels waiting for the full-precision stage (RowControl::gatherFullPrecision),
// all with the same start: their counts and outputs, the first attempts side
// by side where they can be; false if cancelled.
bool settleWaiting(const RowJob& job, RowControl& control, std::span<const WaitingPixel> pixels);

// One pixel's count through every stage; false if cancelled.
bool pixelCount(const RowJob& job, int x, int y, RowControl& control, std::int32_t& out);

}  // namespace mandel
