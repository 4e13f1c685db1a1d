#include "deep/pixel_count.h"

#include <algorithm>
#include <chrono>
#include <functional>
#include <limits>
#include <optional>

#include "colour/smooth_count.h"
#include "deep/direct_double_double.h"
#include "deep/double_double_perturbation.h"
#include "deep/pixel_finish.h"
#include "deep/double_double_pixel.h"
#include "deep/error_bound.h"
#include "deep/perturbation.h"
#include "deep/row_control.h"
#include "deep/mpfr_pixel.h"
#include "deep/rational_pixel.h"
#include "deep/rescaled_perturbation.h"

namespace mandel {

namespace {

using Clock = std::chrono::steady_clock;
// Down to this spacing (about 1e-21) a pixel that double-double perturbation
// leaves undecided is also iterated directly in double-double, ten times
// cheaper than MPFR; deeper its 106 bits are not enough to resolve the pixels.
constexpr std::int64_t kDoubleDoubleSpacingExponent = -70;
// A pixel the double-double stage (about 100 bits beside δz) left undecided
// has an orbit whose growth eats more than that: MPFR then starts this many
// bits above the pixel's own precision, where an attempt at that precision
// alone would nearly always fail after a whole orbit's work (at 5e-227, 1.9
// s for such a pixel with the failed attempt against 0.7 s without it).
constexpr int kBitsBeyondDoubleDouble = 64;
// Rebases of one pixel offered back to the double loop.
constexpr int kDoubleHandOffTries = 4;
// A pixel that the strict table leaves undecided is stepped through in
// double-double without a table only where the fixed-point stage would start
// above this many bits. Below it a fixed-point iteration costs less than
// about three double-double steps, and the stepping settled 3 pixels in 10
// at 5e-227 (890 bits: 0.1 s a pixel against 0.2 s in fixed point; leaving
// it out there took the settling at 101² from 3.99–4.18 s to 3.52–3.81 s).
constexpr int kPlainDoubleDoubleAboveBits = 1280;

}  // namespace

PixelOffset<ExtReal> pixelOffset(const RowJob& job, int x, int y) {
    const AxisOffset& re = job.offsets->columns[static_cast<std::size_t>(x)];
    const AxisOffset& im = job.offsets->rows[static_cast<std::size_t>(y)];
    PixelOffset<ExtReal> dc;
    dc.re = re.value;
    dc.im = im.value;
    dc.err = roundUp(re.err + im.err);
    dc.abs = roundUp(sqrt(re.value * re.value + im.value * im.value));
    return dc;
}

PixelOffset<double> doubleOffset(const PixelOffset<ExtReal>& x) {
    return PixelOffset<double>{x.re.toDouble(), x.im.toDouble(), upperDouble(x.err) + kSubnormalLoss,
                               upperDouble(x.abs)};
}

std::size_t pixelIndex(const RowJob& job, int x, int y) {
    return static_cast<std::size_t>(y - job.firstRow) * static_cast<std::size_t>(job.view->width) +
           static_cast<std::size_t>(x);
}

bool takesDirectStage(const RowJob& job) {
    return job.direct && !job.geometry->extended() && job.geometry->spacing.exponent >= kDirectSpacingExponent &&
           job.distance.empty();
}

DirectRowStart directRowStart(const RowJob& job, int y) {
    double refRe, refIm, refErr;
    NumberTraits<double>::load(job.reference->orbit()[1], refRe, refIm, refErr);
    const AxisOffset& im = job.offsets->rows[static_cast<std::size_t>(y)];
    return {refRe, refIm + im.valueDouble, roundUp(refErr + im.errUp)};
}

DirectPoint directPoint(const RowJob& job, int x, int y) {
    const AxisOffset& column = job.offsets->columns[static_cast<std::size_t>(x)];
    return directPoint(directRowStart(job, y), column.valueDouble, column.errUp);
}

bool takesDirectDdStage(const RowJob& job) { return takesDirectStage(job) && job.geometry->ddScaleExponent == 0; }

DirectDdPoint directDdPoint(const RowJob& job, int x, int y) {
    const PixelOffsets& offsets = *job.offsets;
    const AxisOffset& re = offsets.columns[static_cast<std::size_t>(x)];
    const AxisOffset& im = offsets.rows[static_cast<std::size_t>(y)];
    return directDdPoint(offsets.centreRe, offsets.centreIm, offsets.centreErr, re.dd, re.ddErr, im.dd, im.ddErr);
}

bool knownCount(const RowJob& job, int x, int y, RowControl& control, std::int32_t& out) {
    if (!job.known) return false;
    const std::int64_t count = job.known->count(x, y);
    if (count == 0) return false;
    out = static_cast<std::int32_t>(count);
    control.known += 1;
    storeColourOutputs(job, x, y, count, {});
    return true;
}

namespace {

// The pixel's trace in a perturbation that takes undecided tests as computed,
// with the job's approximation steps (without them a pixel of a million
// iterations took milliseconds, and a drawing with distances at depth, whose
// settled pixels all come here, minutes).
PixelTrace guessedTrace(const RowJob& job, int x, int y) {
    const PixelOffset<ExtReal> dc = pixelOffset(job, x, y);
    auto never = [] { return false; };
    std::int64_t made = 0, skipped = 0;
    PixelTrace trace = traceFor(job);
    const std::int64_t limit = job.view->location.limit;
    if (job.geometry->extended()) {
        const BlaUse<ExtReal> bla{job.bla ? job.bla->extendedRange() : nullptr, &skipped};
        perturbedCount(job.reference->orbit(), dc, limit, never, made, true, bla, &trace);
    } else {
        const BlaUse<double> bla{job.bla ? job.bla->doubles() : nullptr, &skipped};
        perturbedCount(job.reference->orbit(), doubleOffset(dc), limit, never, made, true, bla, &trace);
    }
    return trace;
}

}  // namespace

PixelTrace traceFor(const RowJob& job) {
    PixelTrace trace;
    trace.carryDerivative = !job.distance.empty();
    return trace;
}

namespace {

void storeOutputs(const RowJob& job, int x, int y, std::int64_t count, const PixelTrace& trace,
                  PendingExcesses* pending) {
    if (job.excess.empty() && job.distance.empty()) return;
    const std::size_t i = pixelIndex(job, x, y);
    float excess = std::numeric_limits<float>::quiet_NaN(), distance = excess, slope = excess;
    if (count < job.view->location.limit) {
        PixelTrace guessed;
        const PixelTrace& t = trace.escape.known ? trace : (guessed = guessedTrace(job, x, y));
        excess = 0;
        distance = std::numeric_limits<float>::max();
        slope = 1;
        if (t.escape.known) {
            // c = C + δc in double, C being the reference's first iterate.
            double cr, ci, cErr;
            NumberTraits<double>::load(job.reference->orbit()[1], cr, ci, cErr);
            // δc in double, as doubleOffset(pixelOffset(…)) has it.
            cr = cr + job.offsets->columns[static_cast<std::size_t>(x)].valueDouble;
            ci = ci + job.offsets->rows[static_cast<std::size_t>(y)].valueDouble;
            if (!job.excess.empty()) {
                if (pending) {
                    pending->indices.push_back(i);
                    pending->points.add(t.escape.zr, t.escape.zi, cr, ci);
                } else {
                    excess = static_cast<float>(smoothExcess(t.escape.zr, t.escape.zi, cr, ci));
                }
            }
            if (!job.distance.empty()) {
                const DistanceEstimate d =
                    estimateDistance(t.escape.zr, t.escape.zi, cr, ci, t.derivative, job.geometry->spacing);
                distance = d.distance;
                slope = d.slope;
            }
        }
    }
    if (!job.excess.empty()) job.excess[i] = excess;
    if (!job.distance.empty()) {
        job.distance[i] = distance;
        job.slope[i] = slope;
    }
}

}  // namespace

void storeColourOutputs(const RowJob& job, int x, int y, std::int64_t count, const PixelTrace& trace) {
    storeOutputs(job, x, y, count, trace, nullptr);
}

void storeColourOutputs(const RowJob& job, int x, int y, std::int64_t count, const PixelTrace& trace,
                        PendingExcesses& pending) {
    storeOutputs(job, x, y, count, trace, &pending);
}

void storeDirectCount(const RowJob& job, int x, int y, std::int64_t count, const DirectState& s, std::int32_t& out,
                      PendingExcesses* pending) {
    out = static_cast<std::int32_t>(count);
    PixelTrace trace;
    if (count < job.view->location.limit) trace.escape = EscapePoint{s.zr, s.zi, true};
    storeOutputs(job, x, y, count, trace, pending);
}

void storeDirectDdCount(const RowJob& job, int x, int y, std::int64_t count, const DirectDdState& s,
                        std::int32_t& out, PendingExcesses* pending) {
    storeDirectCount(job, x, y, count, DirectState{s.zr.hi, s.zi.hi, s.e, s.i}, out, pending);
}

void finishExcesses(const RowJob& job, PendingExcesses& pending) {
    pending.excess.resize(pending.indices.size());
    smoothExcesses(pending.points, pending.excess);
    for (std::size_t k = 0; k < pending.indices.size(); ++k)
        job.excess[pending.indices[k]] = static_cast<float>(pending.excess[k]);
    pending.indices.clear();
    pending.points.clear();
}

std::int64_t perturbedReach(const RowJob& job, int x, int y) {
    const PixelOffset<ExtReal> dc = pixelOffset(job, x, y);
    auto never = [] { return false; };
    std::int64_t made = 0;
    const std::int64_t limit = job.view->location.limit;
    if (job.geometry->extended()) return perturbedCount(job.reference->orbit(), dc, limit, never, made, true);
    return perturbedCount(job.reference->orbit(), doubleOffset(dc), limit, never, made, true);
}

// Where a pixel the double loop left undecided has followed the reference in
// double-double and then rebased, it is usually far from the reference and
// what is left of its orbit is short: the double loop, going on from the
// double-double state and its bound, decides most such pixels at a fraction
// of the cost. A few tries per pixel; each later rebase leaves less of the
// orbit for rounding to grow over. `goOn` runs the loop from the handed
// state and fills the trace.
namespace {

// One more hand-off of a pixel, where it has tries left.
bool anotherHandOff(int& tries) {
    if (tries == kDoubleHandOffTries) return false;
    ++tries;
    return true;
}

}  // namespace

template <typename GoOn>
DdHandOff handOffTries(RowControl& control, EscapePoint& escape, int& tries, GoOn goOn) {
    return [&control, &escape, &tries, goOn](const DoubleDoubleState& s) {
        if (!anotherHandOff(tries)) return kUndecidedCount;
        PixelTrace trace;
        const std::int64_t count = goOn(s, trace);
        if (count == kUndecidedCount) return count;
        if (count != kCancelledCount) control.settledInDouble += 1;
        escape = trace.escape;
        return count;
    };
}

DdHandOff doubleHandOff(const RowJob& job, int x, int y, RowControl& control, EscapePoint& escape, int& tries) {
    const PixelOffset<double> dc = doubleOffset(pixelOffset(job, x, y));
    return handOffTries(control, escape, tries, [&job, &control, dc](const DoubleDoubleState& s, PixelTrace& trace) {
        const std::vector<OrbitPoint>& orbit = job.reference->orbit();
        const std::int64_t limit = job.view->location.limit;
        PerturbState<double> st = handedToDouble(s);
        std::int64_t made = 0, skipped = 0;
        auto stop = [&control] { return control.stop(); };
        const BlaUse<double> bla{job.bla ? job.bla->doubles() : nullptr, &skipped};
        const std::int64_t count = perturbRun(orbit, dc, limit, stop, made, st, bla, &trace);
        if (count != kUndecidedCount) noteEscape(orbit, st, count, limit, &trace);
        control.made += made;
        control.skipped += skipped;
        return count;
    });
}

// The same below double's range: the rescaled loop goes on from the
// double-double state (in plain units once the pixel has rebased), with the
// pixel's offset in the extended range.
DdHandOff rescaledHandOff(const RowJob& job, int x, int y, RowControl& control, EscapePoint& escape, int& tries) {
    const PixelOffset<ExtReal> dc = pixelOffset(job, x, y);
    return handOffTries(control, escape, tries, [&job, &control, dc](const DoubleDoubleState& s, PixelTrace& trace) {
        const PerturbState<ExtReal> st = handedToRescaled(s);
        std::int64_t made = 0, skipped = 0;
        auto stop = [&control] { return control.stop(); };
        const BlaUse<ExtReal> bla{job.bla ? job.bla->extendedRange() : nullptr, &skipped};
        const std::int64_t count = rescaledRun(job.reference->orbit(), job.reference->lanePoints(), dc,
                                               job.view->location.limit, stop, made, bla, st, &trace);
        control.made += made;
        control.skipped += skipped;
        return count;
    });
}

// A pixel the double (or extended) loop left undecided, settled in
// double-double perturbation, directly in double-double (shallow views) or
// directly at ever more bits (fixed point), whichever decides first; false if cancelled.
Settling::Settling(const RowJob& job, int x, int y, RowControl& control)
    : x(x),
      y(y),
      dc(doubleDoubleOffset(job.offsets->columns[static_cast<std::size_t>(x)],
                            job.offsets->rows[static_cast<std::size_t>(y)], job.geometry->ddScaleExponent)),
      plain(ddPlainOffset(dc)),
      scaledStart(dc.scale != 0),
      start(Clock::now()) {
    handOff = job.geometry->extended() ? rescaledHandOff(job, x, y, control, escape, handOffs)
                                        : doubleHandOff(job, x, y, control, escape, handOffs);
}

bool takeHandOffTry(Settling& s) { return anotherHandOff(s.handOffs); }

void handOffDecided(RowControl& control, Settling& s, const EscapePoint& escape) {
    control.settledInDouble += 1;
    s.escape = escape;
}

std::shared_ptr<const DdBlaLevels> settlingTable(const RowJob& job, RowControl& control, DdTableTolerance tolerance) {
    return job.bla ? job.reference->ddBlaTable(job.bla->cMax(), tolerance, control.cancelFlag()) : nullptr;
}

namespace {

// The tables' room for δc is the double table's (which has some for pans).
std::int64_t settleWith(const RowJob& job, const std::vector<OrbitLow>& low, RowControl& control, Settling& s,
                        DdTableTolerance tolerance) {
    const std::function<bool()> stop = [&control] { return control.stop(); };
    const std::shared_ptr<const DdBlaLevels> table = settlingTable(job, control, tolerance);
    if (job.bla && !table) return kCancelledCount;
    return doubleDoublePerturbedCount(job.reference->orbit(), low, s.dc, job.view->location.limit, stop,
                                      s.ddIterations, table.get(), &s.escape, s.handOff ? &*s.handOff : nullptr);
}

// The bits the fixed-point stage starts at.
int fullPrecisionStart(const RowJob& job, const std::vector<OrbitLow>& low) {
    return job.geometry->pixelBits + (low.empty() ? 0 : kBitsBeyondDoubleDouble);
}

// The full-precision stage's statistics and flag for one pixel.
void takeFullPrecision(const RowJob& job, RowControl& control, int x, int y, const MpfrPixel& mpfr) {
    control.settledAtFullPrecision += 1;
    if (!mpfr.certified && mpfr.count != kCancelledCount) {
        control.uncertified += 1;
        if (!job.certified.empty()) job.certified[pixelIndex(job, x, y)] = 0;
    }
}

// A settled pixel's count and outputs; false if it was cancelled.
bool storeSettled(const RowJob& job, RowControl& control, int x, int y, std::int64_t settled,
                  const EscapePoint& escape, std::int32_t& out) {
    control.settled += 1;
    if (settled == kCancelledCount) return false;
    out = static_cast<std::int32_t>(settled);
    // Distances need the derivative, which only a perturbation in double carries.
    PixelTrace trace;
    if (job.distance.empty()) trace.escape = escape;
    storeColourOutputs(job, x, y, settled, trace);
    return true;
}

}  // namespace

bool finishSettling(const RowJob& job, const std::vector<OrbitLow>& low, RowControl& control, Settling& s,
                    std::int64_t settled, std::int32_t& out) {
    const std::function<bool()> stop = [&control] { return control.stop(); };
    const int span = std::min(job.view->width, job.view->height);
    const int x = s.x, y = s.y;
    // The few pixels the loose table leaves undecided go on with the strict
    // one, and the rare pixel that leaves is stepped through without a table
    // where that is cheaper than the fixed-point stage.
    if (!low.empty() && job.bla) {
        if (settled == kUndecidedCount && !s.strictTableTried)
            settled = settleWith(job, low, control, s, DdTableTolerance::Strict);
        if (settled == kUndecidedCount && fullPrecisionStart(job, low) > kPlainDoubleDoubleAboveBits)
            settled = doubleDoublePerturbedCount(job.reference->orbit(), low, s.dc, job.view->location.limit, stop,
                                                 s.ddIterations, nullptr, &s.escape);
    }
    if (settled == kUndecidedCount && job.geometry->spacing.exponent > kDoubleDoubleSpacingExponent)
        settled = doubleDoubleCount(job.view->location, span, x, y, stop, s.ddIterations);
    // Points that binary cannot hold but whose orbit escapes or repeats at
    // once (±i, 1, −2i given as decimals) are decided exactly in rationals,
    // whose size the precision cap bounds too.
    if (settled == kUndecidedCount) {
        const std::size_t rationalBits =
            std::min<std::size_t>(kRationalBits, 4 * static_cast<std::size_t>(job.maxBits));
        settled = rationalPixelCount(job.view->location, span, x, y, kRationalIterations, rationalBits);
    }
    if (settled == kUndecidedCount) {
        const int startBits = fullPrecisionStart(job, low);
        if (control.gatherFullPrecision) {
            control.wait(WaitingPixel{x, y, &out, startBits, s.escape});
            control.settleNs += std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - s.start).count();
            return true;
        }
        const MpfrPixel mpfr = mpfrPixelCount(job.view->location, span, x, y, startBits, job.maxBits, stop);
        if (mpfr.escape.known) s.escape = mpfr.escape;
        takeFullPrecision(job, control, x, y, mpfr);
        settled = mpfr.count;
    }
    control.settleNs += std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - s.start).count();
    return storeSettled(job, control, x, y, settled, s.escape, out);
}

bool settleUndecided(const RowJob& job, int x, int y, RowControl& control, std::int32_t& out) {
    Settling s(job, x, y, control);
    const std::vector<OrbitLow>& low = job.reference->orbitLow(control.cancelFlag());
    if (low.empty() && control.stop()) return false;
    // The loose table first (see finishSettling).
    const std::int64_t settled =
        low.empty() ? kUndecidedCount : settleWith(job, low, control, s, DdTableTolerance::Loose);
    return finishSettling(job, low, control, s, settled, out);
}

bool settleWaiting(const RowJob& job, RowControl& control, std::span<const WaitingPixel> pixels) {
    const auto start = Clock::now();
    const std::function<bool()> stop = [&control] { return control.stop(); };
    std::vector<PixelPlace> places;
    for (const WaitingPixel& p : pixels) places.push_back({p.x, p.y});
    const int span = std::min(job.view->width, job.view->height);
    const std::vector<MpfrPixel> counts =
        mpfrPixelCounts(job.view->location, span, places, pixels.front().startBits, job.maxBits, stop);
    control.settleNs += std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - start).count();
    for (std::size_t k = 0; k < pixels.size(); ++k) {
        const WaitingPixel& p = pixels[k];
        takeFullPrecision(job, control, p.x, p.y, counts[k]);
        if (!storeSettled(job, control, p.x, p.y, counts[k].count, counts[k].escape.known ? counts[k].escape : p.escape,
                          *p.out))
            return false;
        control.waitingDone(p.y);
    }
    return true;
}

namespace {

// The direct stages of one pixel (double, then double-double): true where
// they decided it (or a cancel ended them: `cancelled` then says so).
bool directStages(const RowJob& job, int x, int y, RowControl& control, std::int32_t& out, bool& cancelled) {
    auto stop = [&control] { return control.stop(); };
    const std::int64_t limit = job.view->location.limit;
    std::int64_t made = 0;
    const DirectPoint c = directPoint(job, x, y);
    DirectState s = directStart(c);
    std::int64_t count = directCount(c, limit, s, stop, made);
    if (count != kUndecidedCount) {
        control.made += made;
        cancelled = count == kCancelledCount;
        if (!cancelled) storeDirectCount(job, x, y, count, s, out, nullptr);
        return true;
    }
    if (takesDirectDdStage(job)) {
        const DirectDdPoint cDd = directDdPoint(job, x, y);
        DirectDdState sDd = directDdStart(cDd);
        count = directDdCount(cDd, limit, sDd, stop, made);
        if (count != kUndecidedCount) {
            control.made += made;
            cancelled = count == kCancelledCount;
            if (!cancelled) {
                storeDirectDdCount(job, x, y, count, sDd, out, nullptr);
                control.decidedInDirectDd += 1;
            }
            return true;
        }
    }
    control.made += made;
    return false;
}

}  // namespace

// One pixel's count; false if cancelled.
bool pixelCount(const RowJob& job, int x, int y, RowControl& control, std::int32_t& out) {
    if (knownCount(job, x, y, control, out)) return true;
    auto stop = [&control] { return control.stop(); };
    std::int64_t made = 0, skipped = 0;
    bool cancelled = false;
    if (takesDirectStage(job) && directStages(job, x, y, control, out, cancelled)) return !cancelled;
    const PixelOffset<ExtReal> dc = pixelOffset(job, x, y);
    const std::int64_t limit = job.view->location.limit;
    const BlaUse<ExtReal> extBla{job.bla ? job.bla->extendedRange() : nullptr, &skipped};
    const BlaUse<double> doubleBla{job.bla ? job.bla->doubles() : nullptr, &skipped};
    // A pixel this leaves undecided goes straight to double-double: trying
    // it again step by step without the approximation decided only about a
    // quarter of them, and cost more in all than it saved.
    PixelTrace trace = traceFor(job);
    PixelTrace* const traced = job.excess.empty() && job.distance.empty() ? nullptr : &trace;
    // Views below double's range iterate in rescaled doubles.
    const std::int64_t count =
        !job.geometry->extended()
            ? perturbedCount(job.reference->orbit(), doubleOffset(dc), limit, stop, made, false, doubleBla, traced)
            : rescaledCount(job.reference->orbit(), job.reference->lanePoints(), dc, limit, stop, made, extBla, traced);
    control.made += made;
    control.skipped += skipped;
    if (count == kCancelledCount) return false;
    if (count != kUndecidedCount) {
        out = static_cast<std::int32_t>(count);
        storeColourOutputs(job, x, y, count, trace);
        return true;
    }
    return settleUndecided(job, x, y, control, out);
}

}  // namespace mandel
