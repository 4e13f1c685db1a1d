#include "deep/row_worker.h"

#include <algorithm>
#include <atomic>
#include <span>
#include <thread>
#include <tuple>
#include <vector>

#include "deep/fixed_point_lanes.h"
#include "deep/lane_rows.h"
#include "deep/rescaled_lane_rows.h"
#include "deep/row_control.h"
#include "kernel/helper_threads.h"

namespace mandel {

namespace {

constexpr int kPixelsPerPoll = 16;

void workRows(const RowJob& job, std::atomic<int>& nextRow, RowControl& control) {
    const int width = job.view->width;
    for (;;) {
        const int row = nextRow.fetch_add(1);
        if (row >= job.rows) return;
        std::int32_t* out = job.counts.data() + static_cast<std::ptrdiff_t>(row) * width;
        for (int x = 0; x < width; ++x) {
            if (!pixelCount(job, x, job.firstRow + row, control, out[x])) return;
            if (x % kPixelsPerPoll == 0 && control.stop()) return;
        }
        control.rowDone();
    }
}

// The pixels that waited for the full-precision stage, in groups of lanes
// with the same start, shared among the threads.
void settleWaitingOnThreads(const RowJob& job, RowControl& control, unsigned threads) {
    std::vector<WaitingPixel> waiting = control.takeWaiting();
    std::sort(waiting.begin(), waiting.end(), [](const WaitingPixel& a, const WaitingPixel& b) {
        return std::tie(a.startBits, a.y, a.x) < std::tie(b.startBits, b.y, b.x);
    });
    std::vector<std::span<const WaitingPixel>> groups;
    for (std::size_t first = 0; first < waiting.size();) {
        std::size_t end = first + 1;
        while (end < waiting.size() && end - first < FixedPointLanes::kLanes &&
               waiting[end].startBits == waiting[first].startBits)
            ++end;
        groups.push_back(std::span<const WaitingPixel>(waiting).subspan(first, end - first));
        first = end;
    }
    if (groups.empty()) return;
    std::atomic<std::size_t> next{0};
    runOnThreads(std::min<unsigned>(threads, static_cast<unsigned>(groups.size())), [&] {
        for (std::size_t g = next.fetch_add(1); g < groups.size(); g = next.fetch_add(1))
            if (!settleWaiting(job, control, groups[g])) return;
    });
}

}  // namespace

bool computeRowsOnThreads(const RowJob& job, const DeepOptions& options, DeepStats& stats) {
    RowControl control(options, job.rows);
    std::atomic<int> nextRow{0};
    unsigned threads = options.threads ? options.threads : std::max(1u, std::thread::hardware_concurrency());
    threads = std::min<unsigned>(threads, static_cast<unsigned>(std::max(job.rows, 1)));
    // Views in double's range take the double lanes; below it the rescaled
    // lanes, unless the derivative is carried.
    const bool doubleLanes = options.lanes && !job.geometry->extended();
    const bool rescaledLanes = options.lanes && takesRescaledLanes(job);
    // Where the processor can take them side by side, the full-precision
    // stage's pixels wait for the end of the rows.
    control.gatherFullPrecision = FixedPointLanes::available();
    runOnThreads(threads, [&] {
        if (doubleLanes)
            workRowsInLanes(job, nextRow, control);
        else if (rescaledLanes)
            workRowsInRescaledLanes(job, nextRow, control);
        else
            workRows(job, nextRow, control);
    });
    if (!control.stopped()) settleWaitingOnThreads(job, control, threads);
    stats.iterationsMade += control.made.load();
    stats.iterationsSkipped += control.skipped.load();
    stats.pixelsSettled += control.settled.load();
    stats.pixelsSettledInDouble += control.settledInDouble.load();
    stats.pixelsSettledAtFullPrecision += control.settledAtFullPrecision.load();
    stats.uncertifiedPixels += control.uncertified.load();
    stats.pixelsKnown += control.known.load();
    stats.pixelsDirectDd += control.decidedInDirectDd.load();
    stats.settleMs += static_cast<double>(control.settleNs.load()) / 1e6;
    stats.laneSteps += control.laneSteps.load();
    stats.laneMs += static_cast<double>(control.laneNs.load()) / 1e6;
    return !control.stopped();
}

}  // namespace mandel
