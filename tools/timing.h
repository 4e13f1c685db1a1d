#pragma once

// Wall-time medians, for the renderer's --repeat and the benchmarks.

#include <algorithm>
#include <chrono>
#include <vector>

namespace mandel::tool {

// The median of the values (the mean of the middle two for an even count).
inline double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    if (n == 0) return 0;
    return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// Wall time of one run of f, in milliseconds.
template <typename F>
double timeMs(F&& run) {
    const auto start = std::chrono::steady_clock::now();
    run();
    const auto stop = std::chrono::steady_clock::now();
    return std::chrono::duration<double, std::milli>(stop - start).count();
}

// Median wall time of `repeat` runs, in milliseconds.
template <typename F>
double medianMs(unsigned repeat, F&& run) {
    std::vector<double> times;
    for (unsigned i = 0; i < repeat; ++i) times.push_back(timeMs(run));
    return median(std::move(times));
}

}  // namespace mandel::tool
