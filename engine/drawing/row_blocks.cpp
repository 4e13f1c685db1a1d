#include "drawing/count_bands.h"

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

// Runs the consumer of one band on a thread of its own (when overlapping),
// or on the calling thread, also when no thread can be started; the result
// is the same either way.
std::future<bool> consumeAside(const BandConsumer& consume, const CountBand& band, BandTiming& spent, bool overlap) {
    auto task = [&consume, band, &spent] {
        const Clock::time_point start = Clock::now();
        const double startCpu = threadCpuMs();
        const bool goOn = consume(band);
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

std::size_t bandRows(std::size_t columns, std::size_t bandPoints) {
    return std::max<std::size_t>(1, bandPoints / std::max<std::size_t>(1, columns));
}

bool computeCountBands(const ScanPlan& plan, float cmax, const BandOptions& options, const BandConsumer& consume,
                       BandTiming* timing) {
    const Clock::time_point begin = Clock::now();
    BandTiming spent;
    const std::size_t columns = plan.pointsPerRow();
    const std::size_t rowsPerBand = std::min(bandRows(columns, options.bandPoints), std::max<std::size_t>(1, plan.rows()));
    // Two buffers: one is computed while the consumer reads the other (one
    // is enough for a single band).
    const bool severalBands = plan.rows() > rowsPerBand;
    std::vector<std::int16_t> buffers[2] = {std::vector<std::int16_t>(rowsPerBand * columns),
                                            std::vector<std::int16_t>(severalBands ? rowsPerBand * columns : 0)};
    ScanPlan bandPlan;
    bandPlan.reals = plan.reals;

    bool goOn = true;
    std::future<bool> pending;  // the consumer of the previous band
    for (std::size_t first = 0, band = 0; goOn && first < plan.rows(); first += rowsPerBand, ++band) {
        const std::size_t rows = std::min(rowsPerBand, plan.rows() - first);
        bandPlan.imags.assign(plan.imags.begin() + static_cast<std::ptrdiff_t>(first),
                              plan.imags.begin() + static_cast<std::ptrdiff_t>(first + rows));
        std::vector<std::int16_t>& counts = buffers[band % 2];
        const Clock::time_point start = Clock::now();
        if (options.reference)
            escapeCountsReference(bandPlan, cmax, counts);
        else
            escapeCountsFast(bandPlan, cmax, counts, options.fast);
        spent.computeMs += msSince(start);

        if (pending.valid()) goOn = pending.get();
        // The last band has no computation left to overlap with.
        const bool last = first + rows >= plan.rows();
        if (goOn)
            pending = consumeAside(consume, {first, rows, columns, std::span(counts).first(rows * columns)},
                                   spent, options.overlap && !last);
    }
    if (pending.valid()) goOn = pending.get();
    spent.totalMs = msSince(begin);
    if (timing) *timing = spent;
    return goOn;
}

}  // namespace mandel
