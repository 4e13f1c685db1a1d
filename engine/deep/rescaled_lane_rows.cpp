#include "deep/rescaled_lane_rows.h"

#include <algorithm>
#include <chrono>
#include <memory>
#include <optional>
#include <vector>

#include "deep/rescaled_lanes.h"
#include "deep/rescaled_perturbation.h"
#include "deep/settle_lanes.h"
#include "deep/row_progress.h"

namespace mandel {

namespace {

// Iterations the lanes make between two looks at cancel and progress.
constexpr std::int64_t kStepsPerPoll = 256;

struct LanePixel {
    int row = -1;  // relative to the job's first row; −1: the lane is empty
    int x = 0;
    PixelOffset<ExtReal> dc;
    // A pixel the settling handed over at a rebase (settling non-null): it
    // goes back to the settling lanes when it ends.
    SettleLanes::Parked handed;
};

class RescaledLaneRows {
public:
    RescaledLaneRows(const RowJob& job, std::atomic<int>& nextRow, RowControl& control);
    ~RescaledLaneRows();
    void run();

private:
    bool nextPixel(int& row, int& x);
    void load(std::size_t lane);
    bool loadHanded(std::size_t lane);
    void startLane(std::size_t lane, const PerturbState<ExtReal>& start);
    bool finishHanded(std::size_t lane, std::int64_t count, const PixelTrace& trace);
    RescaledPixel pixelOf(std::size_t lane) const;
    void keep(std::size_t lane, const RescaledPixel& p);
    const PerturbRun<ExtReal>& runOf(std::size_t lane) const { return *runs_[lane]; }
    // The escape is noted where the job keeps continuous counts, and for a
    // handed pixel (whose settling takes it, as from the scalar hand-off).
    PixelTrace* traced(std::size_t lane, PixelTrace& trace) const {
        return job_.excess.empty() && !pixels_[lane].handed.settling ? nullptr : &trace;
    }
    bool service(std::size_t lane);
    bool finishScalar(std::size_t lane);
    bool finish(std::size_t lane, std::int64_t count, const PixelTrace& trace);
    std::int32_t& countOf(const LanePixel& p) { return job_.counts[pixelIndex(job_, p.x, job_.firstRow + p.row)]; }
    void pixelDone(int rowIndex);

    const RowJob& job_;
    std::atomic<int>& nextRow_;
    RowControl& control_;
    const BlaLevels<ExtReal>* table_ = nullptr;
    RescaledLaneJob lanes_;
    RescaledLaneBatch batch_;
    std::size_t laneCount_;
    LanePixel pixels_[kMaxDeepLanes];
    std::optional<PerturbRun<ExtReal>> runs_[kMaxDeepLanes];
    int row_ = -1;  // the row being handed out and its next column
    int column_ = 0;
    bool rowsLeft_ = true;
    RowProgress progress_;
    std::int64_t made_ = 0, laneSteps_ = 0, skipped_ = 0;
    std::chrono::steady_clock::duration laneTime_{};
    // The pixels this loop leaves undecided.
    RowsSettling settling_;
};

RescaledLaneRows::RescaledLaneRows(const RowJob& job, std::atomic<int>& nextRow, RowControl& control)
    : job_(job),
      nextRow_(nextRow),
      control_(control),
      laneCount_(deepLaneCount()),
      settling_(job, control, laneCount_, [this](int row) { pixelDone(row); }) {
    const std::vector<LanePoint>& points = job.reference->lanePoints();
    table_ = job.bla ? job.bla->extendedRange() : nullptr;
    lanes_.points = points.data();
    lanes_.last = static_cast<std::int64_t>(points.size()) - 1;
    lanes_.limit = job.view->location.limit;
    if (table_ && table_->hasSteps()) lanes_.table = table_;
}

RescaledLaneRows::~RescaledLaneRows() {
    control_.made += made_;
    control_.skipped += skipped_ + batch_.skipped;
    control_.laneSteps += laneSteps_;
    control_.laneNs += std::chrono::duration_cast<std::chrono::nanoseconds>(laneTime_).count();
}

bool RescaledLaneRows::nextPixel(int& row, int& x) {
    if (!rowsLeft_) return false;
    if (row_ < 0 || column_ == job_.view->width) {
        row_ = nextRow_.fetch_add(1);
        if (row_ >= job_.rows) {
            rowsLeft_ = false;
            return false;
        }
        column_ = 0;
        progress_.started(row_, job_.view->width);
    }
    row = row_;
    x = column_++;
    return true;
}

void RescaledLaneRows::load(std::size_t lane) {
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
    p.dc = pixelOffset(job_, p.x, job_.firstRow + p.row);
    startLane(lane, PerturbState<ExtReal>{p.dc.re, p.dc.im, p.dc.err, 1, 1});
}

// A pixel the settling lanes handed over, where one waits: it goes on from
// the state it rebased to in double-double, as the scalar hand-off would.
bool RescaledLaneRows::loadHanded(std::size_t lane) {
    LanePixel& p = pixels_[lane];
    if (!settling_.takeParked(p.handed)) return false;
    p.row = p.handed.pixel.first;
    p.x = p.handed.pixel.second;
    p.dc = pixelOffset(job_, p.x, job_.firstRow + p.row);
    startLane(lane, handedToRescaled(p.handed.state));
    return true;
}

// A pixel enters the lane: its state, its run and its table, no rescale due.
void RescaledLaneRows::startLane(std::size_t lane, const PerturbState<ExtReal>& start) {
    const LanePixel& p = pixels_[lane];
    keep(lane, rescaledPixel(p.dc, start));
    runs_[lane].emplace(job_.reference->orbit(), p.dc, job_.view->location.limit, BlaUse<ExtReal>{table_, &skipped_});
    batch_.runs[lane] = &*runs_[lane];
    batch_.tableOn[lane] = runs_[lane]->table != nullptr ? 1 : 0;
    batch_.rescaleDue[lane] = 0;
}

RescaledPixel RescaledLaneRows::pixelOf(std::size_t lane) const {
    return batch_.state.pixel(lane, batch_.offsetExponent[lane]);
}

void RescaledLaneRows::keep(std::size_t lane, const RescaledPixel& p) {
    batch_.state.set(lane, p);
    batch_.offsetExponent[lane] = p.offsetExponent;
}

// The rescale the lanes left, then the scalar loop until the pixel has made
// one plain step (then back to the lanes) or is finished; false if cancelled.
bool RescaledLaneRows::service(std::size_t lane) {
    const PerturbRun<ExtReal>& run = runOf(lane);
    RescaledPixel p = pixelOf(lane);
    if (batch_.rescaleDue[lane] != 0) rescaleIfDue(p, pixels_[lane].dc);
    PixelTrace trace = traceFor(job_);
    const std::int64_t before = made_;
    for (std::int64_t loops = 1; made_ == before; ++loops) {
        const std::int64_t result = rescaledIteration(run, lanes_.points, p, made_, traced(lane, trace));
        if (result != 0) return finish(lane, result, trace);
        if (loops % kPollInterval == 0 && control_.stop()) return false;
    }
    keep(lane, p);
    return true;
}

// The rest of a pixel in the scalar loop, once no pixel is left to fill the lanes.
bool RescaledLaneRows::finishScalar(std::size_t lane) {
    auto stop = [this] { return control_.stop(); };
    const PerturbRun<ExtReal>& run = runOf(lane);
    RescaledPixel p = pixelOf(lane);
    if (batch_.rescaleDue[lane] != 0) rescaleIfDue(p, pixels_[lane].dc);
    batch_.rescaleDue[lane] = 0;
    PixelTrace trace = traceFor(job_);
    const std::int64_t result = rescaledLoop(run, lanes_.points, p, stop, made_, traced(lane, trace));
    return result != kCancelledCount && finish(lane, result, trace);
}

// Stores the pixel's count and its outputs (or settles it), and loads the
// lane's next pixel; false if cancelled.
bool RescaledLaneRows::finish(std::size_t lane, std::int64_t count, const PixelTrace& trace) {
    const LanePixel& p = pixels_[lane];
    if (p.handed.settling) return finishHanded(lane, count, trace);
    const int y = job_.firstRow + p.row;
    if (count == kUndecidedCount) {
        if (!settling_.settle(p.row, p.x, countOf(p))) return false;
    } else {
        countOf(p) = static_cast<std::int32_t>(count);
        storeColourOutputs(job_, p.x, y, count, trace);
        pixelDone(p.row);
    }
    load(lane);
    return true;
}

// A handed pixel's end goes back to the settling lanes; false if cancelled.
bool RescaledLaneRows::finishHanded(std::size_t lane, std::int64_t count, const PixelTrace& trace) {
    LanePixel& p = pixels_[lane];
    if (!settling_.handedBack(std::move(p.handed), count, trace.escape)) return false;
    p.handed.settling.reset();
    load(lane);
    return true;
}

void RescaledLaneRows::pixelDone(int rowIndex) {
    if (progress_.pixelDone(rowIndex)) control_.rowDone();
}

void RescaledLaneRows::run() {
    for (std::size_t lane = 0; lane < laneCount_; ++lane) load(lane);
    for (;;) {
        const bool full = std::all_of(pixels_, pixels_ + laneCount_, [](const LanePixel& p) { return p.row >= 0; });
        if (!full) break;
        const auto start = std::chrono::steady_clock::now();
        const std::int64_t iterations = advanceRescaledLanes(lanes_, batch_, kStepsPerPoll);
        laneTime_ += std::chrono::steady_clock::now() - start;
        const std::int64_t plain = iterations - batch_.approximationSteps;
        batch_.approximationSteps = 0;
        laneSteps_ += plain;
        made_ += plain + batch_.scalarMade;
        batch_.scalarMade = 0;
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

bool takesRescaledLanes(const RowJob& job) { return job.geometry->extended() && job.distance.empty(); }

void workRowsInRescaledLanes(const RowJob& job, std::atomic<int>& nextRow, RowControl& control) {
    RescaledLaneRows rows(job, nextRow, control);
    rows.run();
}

}  // namespace mandel
