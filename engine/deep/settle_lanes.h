#pragma once

// The pixels the double loop leaves undecided, settled side by side: their
// first double-double stage (settleUndecided's) steps in SIMD lanes
// (dd_lanes.h), each lane's pixel taking every other step (approximation
// steps, rebases with the hand-off to the double loop, the escape) from
// doubleDoubleStep itself, so that its count, escape point and hand-offs are
// the scalar settling's. One thread gathers its undecided pixels from every
// row it takes and keeps its lanes full; at its end it finishes the last
// ones in lanes partly empty. Below double's range (scaled offsets) the
// steps in scaled units are taken by the scalar loop's own code, and the
// lanes make the plain ones, stopping a pixel wherever its δz may need
// scaled units again.
//
// A pixel that rebases in double-double may go on in the double loop (or
// below double's range the rescaled loop) from there (the hand-off). While
// the lanes are kept full the hand-off is parked for the caller's lanes
// (takeParked), and the pixel comes back (handedBack) with that loop's
// count, or to go on in double-double where that loop could not decide;
// when flushing, it is made at once.
//
// The pixels the loose table leaves undecided go on in lanes of their own
// with the strict table (a second SettleLanes), from the start.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "deep/dd_lanes.h"
#include "deep/pixel_count.h"

namespace mandel {

class RowControl;

class SettleLanes {
public:
    // Pixels are (row, x), the row relative to the job's first row.
    using Pixel = std::pair<int, int>;

    // Null where the job's pixels cannot settle in lanes: no low parts at
    // hand (then each pixel settles alone).
    static std::unique_ptr<SettleLanes> make(const RowJob& job, RowControl& control);

    SettleLanes(const RowJob& job, RowControl& control, const std::vector<OrbitLow>& low,
                std::shared_ptr<const DdBlaLevels> table, DdTableTolerance tolerance);

    // A pixel handed to the double loop at a rebase, with the double-double
    // state it rebased to.
    struct Parked {
        Pixel pixel{-1, 0};
        std::unique_ptr<Settling> settling;
        DoubleDoubleState state;
        SettleLanes* from = nullptr;  // the stage it goes back to
    };

    void add(int row, int x) { queue_.emplace_back(row, x); }
    std::size_t waiting() const { return queue_.size() + resumed_.size(); }

    // Settles while the lanes can be kept full (with `flush`, until every
    // pixel is done): each pixel's count and outputs are stored and its row
    // appended to `finishedRows`. False if cancelled.
    bool run(bool flush, std::vector<int>& finishedRows);

    // The next parked hand-off of either stage, if any.
    bool takeParked(Parked& out);
    // A parked pixel back from the double loop with its `count`: stored
    // (with `escape`, its row appended to `finishedRows`), or, where the
    // loop could not decide, queued to go on in double-double from its
    // state. False if cancelled.
    bool handedBack(Parked parked, std::int64_t count, const EscapePoint& escape, std::vector<int>& finishedRows);

private:
    struct Lane {
        Pixel pixel{-1, 0};
        std::unique_ptr<Settling> settling;
    };
    bool load(std::size_t lane);
    bool finishPixel(Settling& s, int row, std::int64_t count, std::vector<int>& finishedRows);
    SettleLanes* strictStage();
    bool runStrict(bool flush, std::vector<int>& finishedRows);
    void empty(std::size_t lane);
    DoubleDoubleState stateOf(std::size_t lane) const;
    void keep(std::size_t lane, const DoubleDoubleState& st);
    bool service(std::size_t lane, std::vector<int>& finishedRows);
    std::int64_t scaledPhase(Settling& s, DoubleDoubleState& st);
    bool startScaled(std::vector<int>& finishedRows);
    bool finish(std::size_t lane, std::int64_t count, std::vector<int>& finishedRows);

    const RowJob& job_;
    RowControl& control_;
    const std::vector<OrbitLow>& low_;
    const std::shared_ptr<const DdBlaLevels> table_;
    DdLaneJob lanesJob_;
    const std::size_t lanes_;
    std::deque<Pixel> queue_;
    std::deque<Parked> parked_, resumed_;
    bool parking_ = false;  // during run without flush
    const DdTableTolerance tolerance_;
    // The strict table's stage, after the loose one (made at its first pixel).
    bool strictTried_ = false;
    std::unique_ptr<SettleLanes> strict_;
    Lane pixels_[kMaxDeepLanes];
    DdLaneBatch batch_;
    std::chrono::steady_clock::duration finishing_{};  // in finishSettling, during run
};

// One thread's settling of the pixels its row loop leaves undecided: in
// SettleLanes where the job allows (made at the first such pixel), else each
// pixel alone. `pixelDone` is told the row (relative to the job's first) of
// every pixel finished here, as the loop's progress counts them.
class RowsSettling {
public:
    RowsSettling(const RowJob& job, RowControl& control, std::size_t laneCount, std::function<void(int)> pixelDone);

    // The pixel settled, or queued for the lanes (which run once they can be
    // kept full); false if cancelled.
    bool settle(int row, int x, std::int32_t& count);
    // The queued pixels, every one; false if cancelled.
    bool flush();
    // A hand-off parked for the caller's lanes, if any.
    bool takeParked(SettleLanes::Parked& out) { return lanes_ && lanes_->takeParked(out); }
    // A parked pixel's end in the caller's lanes (SettleLanes::handedBack);
    // false if cancelled.
    bool handedBack(SettleLanes::Parked parked, std::int64_t count, const EscapePoint& escape);

private:
    bool run(bool flush);

    const RowJob& job_;
    RowControl& control_;
    const std::size_t laneCount_;
    const std::function<void(int)> pixelDone_;
    bool tried_ = false;
    std::unique_ptr<SettleLanes> lanes_;
    std::vector<int> finishedRows_;
};

}  // namespace mandel
