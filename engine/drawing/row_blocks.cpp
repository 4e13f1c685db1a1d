#include "drawing/row_blocks.h"

#include <algorithm>
#include <chrono>
#include <ctime>
#include <future>
#include <system_error>
#include <vector>

namespace mandel {

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Processor time of the calling thread, in milliseconds.
double threadCpuMs() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

// Runs the consumer of one block on a thread of its own (when overlapping),
// or on the calling thread, also when no thread can be started; the result
// is the same either way.
std::future<bool> consumeAside(const RowBlockConsumer& consume, const RowBlock& block, RowBlockTiming& spent,
                               bool overlap) {
    auto task = [&consume, block, &spent] {
        const Clock::time_point start = Clock::now();
        const double startCpu = threadCpuMs();
        const bool goOn = consume(block);
        spent.consumeCpuMs += threadCpuMs() - startCpu;
        spent.consumeMs += msSince(start);
        return goOn;
    };
    if (overlap) {
        try {
            return std::async(std::launch::async, task);
        } catch (const std::system_error&) {  // no thread to be had: consume here
        }
    }
    std::promise<bool> done;
    done.set_value(task());
    return done.get_future();
}

}  // namespace

std::size_t rowBlockRows(std::size_t columns, std::size_t blockPoints) {
    return std::max<std::size_t>(1, blockPoints / std::max<std::size_t>(1, columns));
}

bool computeRowBlocks(const ScanPlan& plan, float cmax, const RowBlockOptions& options, const RowBlockConsumer& consume,
                      RowBlockTiming* timing) {
    const Clock::time_point begin = Clock::now();
    RowBlockTiming spent;
    const std::size_t columns = plan.pointsPerRow();
    const std::size_t rowsPerBlock =
        std::min(rowBlockRows(columns, options.blockPoints), std::max<std::size_t>(1, plan.rows()));
    // Two buffers: one is computed while the consumer reads the other (one
    // is enough for a single block).
    const bool severalBlocks = plan.rows() > rowsPerBlock;
    std::vector<std::int16_t> buffers[2] = {std::vector<std::int16_t>(rowsPerBlock * columns),
                                            std::vector<std::int16_t>(severalBlocks ? rowsPerBlock * columns : 0)};
    ScanPlan blockPlan;
    blockPlan.reals = plan.reals;

    bool goOn = true;
    std::future<bool> pending;  // the consumer of the previous block
    for (std::size_t first = 0, block = 0; goOn && first < plan.rows(); first += rowsPerBlock, ++block) {
        const std::size_t rows = std::min(rowsPerBlock, plan.rows() - first);
        blockPlan.imags.assign(plan.imags.begin() + static_cast<std::ptrdiff_t>(first),
                               plan.imags.begin() + static_cast<std::ptrdiff_t>(first + rows));
        std::vector<std::int16_t>& counts = buffers[block % 2];
        const Clock::time_point start = Clock::now();
        if (options.reference)
            escapeCountsReference(blockPlan, cmax, counts);
        else
            escapeCountsFast(blockPlan, cmax, counts, options.fast);
        spent.computeMs += msSince(start);

        if (pending.valid()) goOn = pending.get();
        // The last block has no computation left to overlap with.
        const bool last = first + rows >= plan.rows();
        if (goOn)
            pending = consumeAside(consume, {first, rows, columns, std::span(counts).first(rows * columns)}, spent,
                                   options.overlap && !last);
    }
    if (pending.valid()) goOn = pending.get();
    spent.totalMs = msSince(begin);
    if (timing) *timing = spent;
    return goOn;
}

}  // namespace mandel
