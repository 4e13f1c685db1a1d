#include <algorithm>
#include <atomic>
#include <stdexcept>
#include <thread>
#include <vector>

#include "escape_counts.h"
#include "mandel.h"

namespace mandel {

// Interim multi-threaded scalar version: rows are handed out one at a time.
void escapeCountsFast(const ScanPlan& plan, float cmax, std::span<std::int16_t> out,
                      unsigned threads) {
    if (out.size() < plan.pointCount()) throw std::length_error("count buffer too small");
    if (threads == 0) threads = std::max(1u, std::thread::hardware_concurrency());
    const std::size_t width = plan.pointsPerRow();
    std::atomic<std::size_t> nextRow{0};
    auto work = [&] {
        for (std::size_t y; (y = nextRow.fetch_add(1)) < plan.rows();)
            for (std::size_t x = 0; x < width; ++x)
                out[y * width + x] = mandel(plan.reals[x], plan.imags[y], cmax);
    };
    std::vector<std::jthread> pool;
    for (unsigned t = 1; t < threads; ++t) pool.emplace_back(work);
    work();
}

}  // namespace mandel
