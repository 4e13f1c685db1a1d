#pragma once

// Shared by the benchmarks: the regions they time and the median of repeated runs.

#include <algorithm>
#include <chrono>
#include <vector>

namespace bench {

struct Region {
    const char* name;
    const char* real;
    const char* imag;
    const char* side;
    const char* limit;
};

// The start-up read-outs, the six presets, and a region inside the set where
// every point reaches the limit.
inline constexpr Region kRegions[] = {
    {"start-up", "-1.1507", "-0.4793", "0.5", "100"},
    {"preset 1", "-0.75", "-0.275", "0.05", "106"},
    {"preset 2", "-1.8558", "-1.173", "2.4232", "100"},
    {"preset 3", "-0.775", "0.107", "0.01", "180"},
    {"preset 4", "-0.7717", "0.1165", "0.0001", "180"},
    {"preset 5", "-0.772", "0.1163", "0.0005", "180"},
    {"preset 6", "-0.7612", "0.0664", "1.3015", "100"},
    {"interior", "-0.3", "-0.3", "0.2", "1500"},
};

// Median wall time of `repeat` runs, in milliseconds.
template <typename F>
double medianMs(unsigned repeat, F&& run) {
    std::vector<double> times;
    for (unsigned i = 0; i < repeat; ++i) {
        const auto start = std::chrono::steady_clock::now();
        run();
        const auto stop = std::chrono::steady_clock::now();
        times.push_back(std::chrono::duration<double, std::milli>(stop - start).count());
    }
    std::sort(times.begin(), times.end());
    const std::size_t n = times.size();
    return n % 2 == 1 ? times[n / 2] : (times[n / 2 - 1] + times[n / 2]) / 2;
}

}  // namespace bench
