#include "deep/row_worker.h"

#include <algorithm>
#include <atomic>
#include <thread>

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
    runOnThreads(threads, [&] {
        if (doubleLanes)
            workRowsInLanes(job, nextRow, control);
        else if (rescaledLanes)
            workRowsInRescaledLanes(job, nextRow, control);
        else
            workRows(job, nextRow, control);
    });
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
