#include <algorithm>
#include <atomic>
#include <stdexcept>
#include <thread>
#include <vector>

#include "kernel/escape_counts.h"
#include "kernel/fast_kernel.h"
#include "kernel/helper_threads.h"
#include "region/render_settings.h"

namespace mandel {

void escapeCountsFast(const ScanPlan& plan, float cmax, std::span<std::int16_t> out, unsigned threads) {
    escapeCountsFast(plan, cmax, out, FastOptions{threads, FastKernel::CycleCheck});
}

void escapeCountsFast(const ScanPlan& plan, float cmax, std::span<std::int16_t> out, const FastOptions& options) {
    const std::size_t points = plan.pointCount();
    if (out.size() < points) throw std::length_error("count buffer too small");
    if (points == 0) return;
    // The same conversion as mandel's, with the same error for a bad limit.
    const short limit = toInt16(cmax);
    if (limit < 1) {  // mandel makes no step and returns the limit itself
        std::fill_n(out.begin(), points, limit);
        return;
    }

    std::vector<float> paddedReals(plan.reals);
    paddedReals.resize(plan.reals.size() + fastkernel::kRowPadding, fastkernel::kPaddingReal);

    std::atomic<std::size_t> nextRow{0};
    fastkernel::Job job;
    job.reals = paddedReals.data();
    job.pointsPerRow = plan.pointsPerRow();
    job.imags = plan.imags.data();
    job.rows = plan.rows();
    job.limit = limit;
    job.out = out.data();
    job.nextRow = &nextRow;
    const fastkernel::WorkerFunction worker = fastkernel::selectWorker(options.kernel == FastKernel::CycleCheck);

    unsigned threads = options.threads;
    if (threads == 0) threads = std::max(1u, std::thread::hardware_concurrency());
    // Rows are the unit of sharing: more threads than rows would have nothing to do.
    threads = static_cast<unsigned>(std::min<std::size_t>(threads, job.rows));

    // Rows are taken one at a time, so fewer threads than asked still write every count.
    runOnThreads(threads, [&] { worker(&job); });
}

}  // namespace mandel
