#include "deep/lane_rows.h"

#include <algorithm>
#include <chrono>
#include <memory>
#include <optional>
#include <vector>

#include "deep/direct_dd_rows.h"
#include "deep/direct_rows.h"
#include "deep/double_double_perturbation.h"
#include "deep/settle_lanes.h"
#include "deep/perturbation.h"
#include "deep/perturbation_lanes.h"
#include "deep/row_progress.h"

namespace mandel {

namespace {

// Steps the lanes make between two looks at cancel and progress.
constexpr std::int64_t kStepsPerPoll = 256;
// The lanes' time (a statistic) is taken on one call in this many and scaled:
// where pixels end every few steps, reading the clock at every call cost 6 %.
constexpr std::int64_t kTimedCallEvery = 16;

struct LanePixel {
    int row = -1;  // relative to the job's first row; −1: the lane is empty
    int x = 0;
    PixelOffset<double> dc;
    // A pixel the settling handed over at a rebase (settling non-null): it
    // goes back to the settling lanes when it ends.
    SettleLanes::Parked handed;
};

class LaneRows {
public:
    LaneRows(const RowJob& job, std::atomic<int>& nextRow, RowControl& control);
    ~LaneRows();
    void run();

private:
    bool nextPixel(int& row, int& x);
    bool takeRow();
    bool runDirectDd(bool flush);
    void load(std::size_t lane);
    bool loadHanded(std::size_t lane);
    bool finishHanded(std::size_t lane, std::int64_t count, const PerturbState<double>& st, PixelTrace& trace);
    void startLane(std::size_t lane, const PerturbState<double>& st);
    PerturbRun<double> runOf(std::size_t lane, PixelTrace& trace);
    BlaUse<double> blaUse() { return BlaUse<double>{lanes_.table, &skipped_}; }
    PixelTrace traceOf(std::size_t lane) const;
    void keepDerivative(std::size_t lane, const PixelTrace& trace);
    bool service(std::size_t lane);
    bool finishScalar(std::size_t lane);
    bool finish(std::size_t lane, std::int64_t count, const PerturbState<double>& st, PixelTrace& trace);
    std::int32_t& countOf(const LanePixel& p);
    void pixelDone(int rowIndex);

    const RowJob& job_;
    std::atomic<int>& nextRow_;
    RowControl& control_;
    LaneJob lanes_;
    LaneBatch batch_;
    std::size_t laneCount_;
    LanePixel pixels_[kMaxDeepLanes];
    int row_ = -1;  // the row being handed out, its columns left to the lanes, and the next
    std::vector<int> columns_;
    std::size_t next_ = 0;
    const bool directStage_;
    // The pixels the direct stage leaves undecided, in double-double lanes
    // first where the view allows; those it leaves go to the lanes here.
    std::optional<DirectDdRows> directDd_;
    std::vector<DirectDdRows::Pixel> leftByDirectDd_;
    std::vector<int> finishedRows_;
    // The pixels this loop leaves undecided.
    RowsSettling settling_;
    bool rowsLeft_ = true;
    bool cancelled_ = false;
    RowProgress progress_;
    PendingExcesses pending_;                      // finished before any row is reported done
    std::int64_t made_ = 0, laneSteps_ = 0, skipped_ = 0;
    std::chrono::steady_clock::duration laneTime_{};
    std::int64_t calls_ = 0;
};

LaneRows::LaneRows(const RowJob& job, std::atomic<int>& nextRow, RowControl& control)
    : job_(job),
      nextRow_(nextRow),
      control_(control),
      laneCount_(deepLaneCount()),
      directStage_(takesDirectStage(job)),
      settling_(job, control, laneCount_, [this](int row) { pixelDone(row); }) {
    const std::vector<LanePoint>& points = job.reference->lanePoints();
    lanes_.points = points.data();
    lanes_.last = static_cast<std::int64_t>(points.size()) - 1;
    lanes_.limit = job.view->location.limit;
    lanes_.derivative = !job.distance.empty();
    const BlaLevels<double>* table = job.bla ? job.bla->doubles() : nullptr;
    if (table && table->hasSteps()) lanes_.table = table;
    if (directStage_ && takesDirectDdStage(job)) directDd_.emplace(job, control, pending_);
}

LaneRows::~LaneRows() {
    finishExcesses(job_, pending_);  // those of rows a cancel left unfinished
    control_.made += made_;
    control_.skipped += skipped_ + batch_.skipped;
    control_.laneSteps += laneSteps_;
    control_.laneNs += std::chrono::duration_cast<std::chrono::nanoseconds>(laneTime_).count();
}

bool LaneRows::nextPixel(int& row, int& x) {
    for (;;) {
        if (cancelled_) return false;
        if (!leftByDirectDd_.empty()) {
            row = leftByDirectDd_.back().first;
            x = leftByDirectDd_.back().second;
            leftByDirectDd_.pop_back();
            return true;
        }
        if (row_ >= 0 && next_ < columns_.size()) {
            row = row_;
            x = columns_[next_++];
            return true;
        }
        if (rowsLeft_) {
            if (!takeRow()) rowsLeft_ = false;
        } else if (directDd_) {
            // No row is left: the double-double lanes finish what they hold.
            if (!runDirectDd(true)) cancelled_ = true;
            directDd_.reset();
        } else {
            return false;
        }
    }
}

// Takes the next row and gives it to the stages before the lanes; false
// where no row is left or a cancel stopped it.
bool LaneRows::takeRow() {
    row_ = nextRow_.fetch_add(1);
    if (row_ >= job_.rows) return false;
    columns_.clear();
    next_ = 0;
    if (!directStage_) {
        for (int column = 0; column < job_.view->width; ++column) columns_.push_back(column);
        progress_.started(row_, static_cast<int>(columns_.size()));
        return true;
    }
    // The direct stage decides what it can of the row; the lanes (after the
    // double-double lanes, where those serve) take the rest.
    if (!directRow(job_, row_, control_, pending_, columns_)) {
        cancelled_ = true;
        return false;
    }
    if (columns_.empty()) {
        finishExcesses(job_, pending_);
        control_.rowDone();
        return true;
    }
    progress_.started(row_, static_cast<int>(columns_.size()));
    if (!directDd_) return true;
    for (const int column : columns_) directDd_->add(row_, column);
    columns_.clear();
    if (runDirectDd(false)) return true;
    cancelled_ = true;
    return false;
}

bool LaneRows::runDirectDd(bool flush) {
    finishedRows_.clear();
    const bool done = directDd_->run(flush, finishedRows_, leftByDirectDd_);
    for (const int row : finishedRows_) pixelDone(row);
    return done;
}

void LaneRows::load(std::size_t lane) {
    if (loadHanded(lane)) return;
    LanePixel& p = pixels_[lane];
    for (;;) {
        if (!nextPixel(p.row, p.x)) {
            p.row = -1;
            return;
        }
        if (!knownCount(job_, p.x, job_.firstRow + p.row, control_, countOf(p))) break;
        pixelDone(p.row);
    }
    p.dc = doubleOffset(pixelOffset(job_, p.x, job_.firstRow + p.row));
    startLane(lane, PerturbState<double>{p.dc.re, p.dc.im, p.dc.err, 1, 1});
}

// A pixel the settling lanes handed over, where one waits: it goes on from
// the state it rebased to in double-double.
bool LaneRows::loadHanded(std::size_t lane) {
    LanePixel& p = pixels_[lane];
    if (!settling_.takeParked(p.handed)) return false;
    p.row = p.handed.pixel.first;
    p.x = p.handed.pixel.second;
    p.dc = doubleOffset(pixelOffset(job_, p.x, job_.firstRow + p.row));
    startLane(lane, handedToDouble(p.handed.state));
    return true;
}

void LaneRows::startLane(std::size_t lane, const PerturbState<double>& st) {
    const LanePixel& p = pixels_[lane];
    batch_.dzr[lane] = st.dzr;
    batch_.dzi[lane] = st.dzi;
    batch_.e[lane] = st.e;
    batch_.dcr[lane] = p.dc.re;
    batch_.dci[lane] = p.dc.im;
    batch_.dcErr[lane] = p.dc.err;
    batch_.dcAbs[lane] = p.dc.abs;
    batch_.cBound[lane] = roundUp(p.dc.abs + p.dc.err);
    batch_.tableOn[lane] = lanes_.table && batch_.cBound[lane] <= lanes_.table->cMax ? 1 : 0;
    if (batch_.tableOn[lane]) batch_.fromOffset[lane] = offsetShare(batch_.cBound[lane], lanes_.table->cMax);
    batch_.m[lane] = st.m;
    batch_.i[lane] = st.i;
    keepDerivative(lane, traceFor(job_));
}

PerturbRun<double> LaneRows::runOf(std::size_t lane, PixelTrace& trace) {
    return PerturbRun<double>(job_.reference->orbit(), pixels_[lane].dc, job_.view->location.limit, blaUse(), &trace);
}

// The lane's trace: its derivative as the batch holds it.
PixelTrace LaneRows::traceOf(std::size_t lane) const {
    PixelTrace trace = traceFor(job_);
    trace.derivative.assign(batch_.derR[lane], batch_.derI[lane], batch_.derScale[lane]);
    return trace;
}

void LaneRows::keepDerivative(std::size_t lane, const PixelTrace& trace) {
    const ScaledDerivative& d = trace.derivative;
    batch_.derR[lane] = d.re;
    batch_.derI[lane] = d.im;
    batch_.derUnit[lane] = d.scale >= 0 ? d.unit() : -1.0;
    batch_.derScale[lane] = d.scale;
}

// perturbStep until the pixel has made one plain step (then back to the
// lanes) or is finished; false if cancelled.
bool LaneRows::service(std::size_t lane) {
    PixelTrace trace = traceOf(lane);
    const PerturbRun<double> run = runOf(lane, trace);
    PerturbState<double> st{batch_.dzr[lane], batch_.dzi[lane], batch_.e[lane], batch_.m[lane], batch_.i[lane]};
    const std::int64_t before = made_;
    for (std::int64_t loops = 1; made_ == before; ++loops) {
        const std::int64_t result = perturbStep(run, st, made_);
        if (result != 0) return finish(lane, result, st, trace);
        if (loops % kPollInterval == 0 && control_.stop()) return false;
    }
    keepDerivative(lane, trace);
    batch_.dzr[lane] = st.dzr;
    batch_.dzi[lane] = st.dzi;
    batch_.e[lane] = st.e;
    batch_.m[lane] = st.m;
    batch_.i[lane] = st.i;
    return true;
}

// The rest of a pixel in the scalar loop, once no pixel is left to fill the
// lanes.
bool LaneRows::finishScalar(std::size_t lane) {
    auto stop = [this] { return control_.stop(); };
    PerturbState<double> st{batch_.dzr[lane], batch_.dzi[lane], batch_.e[lane], batch_.m[lane], batch_.i[lane]};
    PixelTrace trace = traceOf(lane);
    const std::int64_t result = perturbRun(job_.reference->orbit(), pixels_[lane].dc, job_.view->location.limit, stop,
                                           made_, st, blaUse(), &trace);
    return result != kCancelledCount && finish(lane, result, st, trace);
}

// Stores the pixel's count and its ν from the state st it ended in (or
// settles it, see settle), and loads the lane's next pixel; false if
// cancelled.
bool LaneRows::finish(std::size_t lane, std::int64_t count, const PerturbState<double>& st, PixelTrace& trace) {
    const LanePixel& p = pixels_[lane];
    if (p.handed.settling) return finishHanded(lane, count, st, trace);
    if (count == kUndecidedCount) {
        if (!settling_.settle(p.row, p.x, countOf(p))) return false;
    } else {
        countOf(p) = static_cast<std::int32_t>(count);
        noteEscape(job_.reference->orbit(), st, count, job_.view->location.limit, &trace);
        storeColourOutputs(job_, p.x, job_.firstRow + p.row, count, trace, pending_);
        pixelDone(p.row);
    }
    load(lane);
    return true;
}

// A handed pixel's end goes back to the settling lanes; false if cancelled.
bool LaneRows::finishHanded(std::size_t lane, std::int64_t count, const PerturbState<double>& st, PixelTrace& trace) {
    LanePixel& p = pixels_[lane];
    if (count != kUndecidedCount) noteEscape(job_.reference->orbit(), st, count, job_.view->location.limit, &trace);
    if (!settling_.handedBack(std::move(p.handed), count, trace.escape)) return false;
    p.handed.settling.reset();
    load(lane);
    return true;
}

std::int32_t& LaneRows::countOf(const LanePixel& p) {
    return job_.counts[pixelIndex(job_, p.x, job_.firstRow + p.row)];
}

void LaneRows::pixelDone(int rowIndex) {
    if (progress_.pixelDone(rowIndex)) {
        finishExcesses(job_, pending_);
        control_.rowDone();
    }
}

void LaneRows::run() {
    for (std::size_t lane = 0; lane < laneCount_; ++lane) load(lane);
    for (;;) {
        const bool full = std::all_of(pixels_, pixels_ + laneCount_, [](const LanePixel& p) { return p.row >= 0; });
        if (!full) break;
        const bool timed = calls_++ % kTimedCallEvery == 0;
        const auto start = timed ? std::chrono::steady_clock::now() : std::chrono::steady_clock::time_point{};
        const std::int64_t steps = advanceLanes(lanes_, batch_, kStepsPerPoll);
        if (timed) laneTime_ += (std::chrono::steady_clock::now() - start) * kTimedCallEvery;
        const std::int64_t approximated = batch_.approximationSteps;
        batch_.approximationSteps = 0;
        laneSteps_ += steps * static_cast<std::int64_t>(laneCount_) - approximated;
        made_ += steps * static_cast<std::int64_t>(laneCount_) - approximated;
        if (control_.stop()) return;
        for (std::size_t lane = 0; lane < laneCount_; ++lane)
            if (batch_.attention[lane] != 0 && !service(lane)) return;
    }
    for (std::size_t lane = 0; lane < laneCount_; ++lane)
        while (pixels_[lane].row >= 0)
            if (!finishScalar(lane)) return;
    settling_.flush();
}

}  // namespace

void workRowsInLanes(const RowJob& job, std::atomic<int>& nextRow, RowControl& control) {
    LaneRows rows(job, nextRow, control);
    rows.run();
}

}  // namespace mandel
