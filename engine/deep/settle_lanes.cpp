#include "deep/settle_lanes.h"

#include <chrono>
#include <functional>

#include "deep/double_double_perturbation.h"
#include "deep/row_control.h"

namespace mandel {

namespace {

// Steps the lanes make between two looks at cancel and progress.
constexpr std::int64_t kStepsPerPoll = 256;
// A pixel taken out of the lanes goes back once it has made this many plain
// steps in a row: what stopped it (a rebase, a test close to 2) tends to come
// again within a few iterations (going back after one step was 5 % slower).
constexpr int kPlainStepsBackToLanes = 8;

}  // namespace

std::unique_ptr<SettleLanes> SettleLanes::make(const RowJob& job, RowControl& control) {
    const std::vector<OrbitLow>& low = job.reference->orbitLow(control.cancelFlag());
    if (low.empty()) return nullptr;
    std::shared_ptr<const DdBlaLevels> table = settlingTable(job, control, DdTableTolerance::Loose);
    if (job.bla && !table) return nullptr;  // cancelled: the scalar settling says so
    return std::make_unique<SettleLanes>(job, control, low, std::move(table), DdTableTolerance::Loose);
}

SettleLanes::SettleLanes(const RowJob& job, RowControl& control, const std::vector<OrbitLow>& low,
                         std::shared_ptr<const DdBlaLevels> table, DdTableTolerance tolerance)
    : job_(job),
      control_(control),
      low_(low),
      table_(std::move(table)),
      lanes_(deepLaneCount()),
      tolerance_(tolerance) {
    const std::vector<OrbitPoint>& orbit = job.reference->orbit();
    lanesJob_.orbit = orbit.data();
    lanesJob_.low = low.data();
    lanesJob_.last = static_cast<std::int64_t>(orbit.size()) - 1;
    lanesJob_.limit = job.view->location.limit;
    lanesJob_.table = table_.get();
    for (std::size_t lane = 0; lane < lanes_; ++lane) empty(lane);
}

DoubleDoubleState SettleLanes::stateOf(std::size_t lane) const {
    return {{batch_.dzrHi[lane], batch_.dzrLo[lane]},
            {batch_.dziHi[lane], batch_.dziLo[lane]},
            batch_.e[lane],
            batch_.m[lane],
            batch_.i[lane]};
}

void SettleLanes::keep(std::size_t lane, const DoubleDoubleState& st) {
    storeParts(batch_.dzrHi, batch_.dzrLo, lane, st.dzr);
    storeParts(batch_.dziHi, batch_.dziLo, lane, st.dzi);
    batch_.e[lane] = st.e;
    batch_.m[lane] = st.m;
    batch_.i[lane] = st.i;
}

// Loads the next waiting pixel into the lane (one back from the double loop
// first, in the state it was handed over from); false where none waits.
bool SettleLanes::load(std::size_t lane) {
    Lane& l = pixels_[lane];
    if (!resumed_.empty()) {
        Parked& back = resumed_.front();
        l.pixel = back.pixel;
        l.settling = std::move(back.settling);
        keep(lane, back.state);
        resumed_.pop_front();
    } else if (!queue_.empty()) {
        l.pixel = queue_.front();
        queue_.pop_front();
        l.settling = std::make_unique<Settling>(job_, l.pixel.second, job_.firstRow + l.pixel.first, control_);
        keep(lane, startState(l.settling->plain));
    } else {
        return false;
    }
    const Settling& s = *l.settling;
    storeParts(batch_.dcrHi, batch_.dcrLo, lane, s.plain.re);
    storeParts(batch_.dciHi, batch_.dciLo, lane, s.plain.im);
    batch_.dcErr[lane] = s.plain.err;
    batch_.dcAbs[lane] = s.plain.abs;
    batch_.offsets[lane] = &s.plain;
    batch_.tableOn[lane] = table_ && ddTableServes(*table_, s.plain) ? 1 : 0;
    batch_.mayScale[lane] = s.dc.scale != 0 ? 1 : 0;
    return true;
}

// A lane with no pixel: δz = δc = 0 follows the reference, which asks for
// attention only at its end (service then starts the lane over).
void SettleLanes::empty(std::size_t lane) {
    keep(lane, DoubleDoubleState{{}, {}, 0, 1, 1});
    for (double* part : {batch_.dcrHi, batch_.dcrLo, batch_.dciHi, batch_.dciLo, batch_.dcErr, batch_.dcAbs})
        part[lane] = 0;
    batch_.tableOn[lane] = 0;
    batch_.mayScale[lane] = 0;
    batch_.offsets[lane] = nullptr;
    pixels_[lane].pixel = {-1, 0};
    pixels_[lane].settling.reset();
}

bool SettleLanes::finishPixel(Settling& s, int row, std::int64_t count, std::vector<int>& finishedRows) {
    // The lanes' time is counted once for all of their pixels (run); each
    // pixel's own from here.
    const auto start = std::chrono::steady_clock::now();
    s.start = start;
    std::int32_t& out = job_.counts[pixelIndex(job_, s.x, s.y)];
    const bool settled = finishSettling(job_, low_, control_, s, count, out);
    finishing_ += std::chrono::steady_clock::now() - start;
    if (!settled) return false;
    finishedRows.push_back(row);
    return true;
}

// The strict table's stage where the job has a table and this is the loose
// one; null otherwise, or where a cancel stopped the table's making.
SettleLanes* SettleLanes::strictStage() {
    if (!strictTried_ && tolerance_ == DdTableTolerance::Loose && job_.bla) {
        strictTried_ = true;
        std::shared_ptr<const DdBlaLevels> table = settlingTable(job_, control_, DdTableTolerance::Strict);
        if (table)
            strict_ = std::make_unique<SettleLanes>(job_, control_, low_, std::move(table), DdTableTolerance::Strict);
    }
    return strict_.get();
}

// A pixel the loose stage leaves undecided goes to the strict stage, from
// the start; the others end here.
bool SettleLanes::finish(std::size_t lane, std::int64_t count, std::vector<int>& finishedRows) {
    Lane& l = pixels_[lane];
    SettleLanes* strict = count == kUndecidedCount ? strictStage() : nullptr;
    if (strict) {
        l.settling->strictTableTried = true;
        l.settling->scaledStart = l.settling->dc.scale != 0;
        const DoubleDoubleState start = startState(l.settling->plain);
        strict->resumed_.push_back({l.pixel, std::move(l.settling), start, strict});
    } else if (!finishPixel(*l.settling, l.pixel.first, count, finishedRows)) {
        return false;
    }
    if (!load(lane)) empty(lane);
    return true;
}

bool SettleLanes::runStrict(bool flush, std::vector<int>& finishedRows) {
    if (!strict_ || (!flush && strict_->waiting() < lanes_)) return true;
    return strict_->run(flush, finishedRows);
}

bool SettleLanes::takeParked(Parked& out) {
    if (parked_.empty()) return strict_ && strict_->takeParked(out);
    out = std::move(parked_.front());
    parked_.pop_front();
    return true;
}

bool SettleLanes::handedBack(Parked parked, std::int64_t count, const EscapePoint& escape,
                             std::vector<int>& finishedRows) {
    if (count == kUndecidedCount) {
        resumed_.push_back(std::move(parked));
        return true;
    }
    handOffDecided(control_, *parked.settling, escape);
    return finishPixel(*parked.settling, parked.pixel.first, count, finishedRows);
}

// doubleDoublePerturbedCount's loop for the lane's pixel until it has made
// kPlainStepsBackToLanes plain steps in a row (then back to the lanes) or its
// first stage ends; false if cancelled.
bool SettleLanes::service(std::size_t lane, std::vector<int>& finishedRows) {
    Lane& l = pixels_[lane];
    if (l.pixel.first < 0) {
        empty(lane);
        return true;
    }
    Settling& s = *l.settling;
    const std::vector<OrbitPoint>& orbit = job_.reference->orbit();
    const std::int64_t limit = job_.view->location.limit;
    DoubleDoubleState st = stateOf(lane);
    int plainSteps = 0;
    for (std::int64_t loops = 1; plainSteps < kPlainStepsBackToLanes; ++loops) {
        if (loops % kPollInterval == 0 && control_.stop()) return false;
        if (s.scaledStart || ddNeedsScaling(orbit, s.dc, st)) {
            const std::int64_t result = scaledPhase(s, st);
            if (result == kCancelledCount) return false;
            if (result != kSwitchCount) return finish(lane, result, finishedRows);
            plainSteps = 0;
            continue;
        }
        const std::int64_t before = st.i;
        const std::int64_t result = doubleDoubleStep(orbit, low_, s.plain, limit, st, true, table_.get());
        if (result == kSwitchCount && parking_) {
            if (!takeHandOffTry(s)) continue;
            parked_.push_back({l.pixel, std::move(l.settling), st, this});
            if (!load(lane)) empty(lane);
            return true;
        }
        if (result == kSwitchCount) {
            const std::int64_t finished = (*s.handOff)(st);
            if (finished != kUndecidedCount) return finish(lane, finished, finishedRows);
            continue;
        }
        if (result > 0 && result < limit) s.escape = ddEscapePoint(orbit, low_, st);
        if (result != 0) return finish(lane, result, finishedRows);
        plainSteps = st.i == before + 1 ? plainSteps + 1 : 0;
    }
    keep(lane, st);
    return true;
}

// The steps of a pixel of a scaled offset in scaled units, from its start
// or from st (doubleDoublePerturbedCount's), until it may go on in plain
// units (kSwitchCount, st then holding that state) or ends.
std::int64_t SettleLanes::scaledPhase(Settling& s, DoubleDoubleState& st) {
    const std::function<bool()> stop = [this] { return control_.stop(); };
    std::int64_t iterations = 0;
    const std::int64_t result = ddScaledPhase(job_.reference->orbit(), low_, s.dc, job_.view->location.limit,
                                              s.scaledStart, st, table_.get(), stop, iterations);
    s.scaledStart = false;
    return result;
}

// Services the lanes whose pixel has yet to make its scaled start (until
// none has): the lanes would take its plain start otherwise.
bool SettleLanes::startScaled(std::vector<int>& finishedRows) {
    for (std::size_t lane = 0; lane < lanes_; ++lane)
        while (pixels_[lane].settling && pixels_[lane].settling->scaledStart)
            if (!service(lane, finishedRows)) return false;
    return true;
}

bool SettleLanes::run(bool flush, std::vector<int>& finishedRows) {
    const auto start = std::chrono::steady_clock::now();
    finishing_ = {};
    parking_ = !flush;
    bool done = true;
    for (;;) {
        std::size_t active = 0;
        for (std::size_t lane = 0; lane < lanes_; ++lane) {
            if (pixels_[lane].pixel.first < 0) load(lane);
            if (pixels_[lane].pixel.first >= 0) ++active;
        }
        if (active == 0 || (!flush && active < lanes_)) break;
        if (!startScaled(finishedRows)) {
            done = false;
            break;
        }
        advanceDdLanes(lanesJob_, batch_, kStepsPerPoll);
        if (control_.stop()) {
            done = false;
            break;
        }
        for (std::size_t lane = 0; lane < lanes_ && done; ++lane)
            if (batch_.attention[lane] != 0) done = service(lane, finishedRows);
        if (!done) break;
    }
    const auto lanesTime = std::chrono::steady_clock::now() - start - finishing_;
    control_.settleNs += std::chrono::duration_cast<std::chrono::nanoseconds>(lanesTime).count();
    return done && runStrict(flush, finishedRows);
}

RowsSettling::RowsSettling(const RowJob& job, RowControl& control, std::size_t laneCount,
                           std::function<void(int)> pixelDone)
    : job_(job), control_(control), laneCount_(laneCount), pixelDone_(std::move(pixelDone)) {}

bool RowsSettling::settle(int row, int x, std::int32_t& count) {
    if (!tried_) {
        tried_ = true;
        lanes_ = SettleLanes::make(job_, control_);
    }
    if (!lanes_) {
        if (!settleUndecided(job_, x, job_.firstRow + row, control_, count)) return false;
        pixelDone_(row);
        return true;
    }
    lanes_->add(row, x);
    return lanes_->waiting() < laneCount_ || run(false);
}

bool RowsSettling::flush() { return !lanes_ || run(true); }

bool RowsSettling::handedBack(SettleLanes::Parked parked, std::int64_t count, const EscapePoint& escape) {
    finishedRows_.clear();
    SettleLanes* from = parked.from;
    if (!from->handedBack(std::move(parked), count, escape, finishedRows_)) return false;
    for (const int row : finishedRows_) pixelDone_(row);
    return true;
}

bool RowsSettling::run(bool flush) {
    finishedRows_.clear();
    const bool done = lanes_->run(flush, finishedRows_);
    for (const int row : finishedRows_) pixelDone_(row);
    return done;
}

}  // namespace mandel
