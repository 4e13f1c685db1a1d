// Benchmark of the escape-count paths: the reference (one point at a time,
// one thread) against the SIMD kernel, plain and with the cycle check, on one
// thread and on every core. Every fast result is checked against the
// reference counts before its time is reported.
//
//   mandelbrot-bench [--repeat K] [--reference-repeat R]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <numeric>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "escape_counts.h"
#include "fast_targets.h"
#include "render_settings.h"
#include "scan_plan.h"

namespace {

struct Region {
    const char* name;
    const char* real;
    const char* imag;
    const char* side;
    const char* limit;
};

constexpr Region kRegions[] = {
    {"start-up", "-1.1507", "-0.4793", "0.5", "100"},
    {"preset 1", "-0.75", "-0.275", "0.05", "106"},
    {"preset 2", "-1.8558", "-1.173", "2.4232", "100"},
    {"preset 3", "-0.775", "0.107", "0.01", "180"},
    {"preset 4", "-0.7717", "0.1165", "0.0001", "180"},
    {"preset 5", "-0.772", "0.1163", "0.0005", "180"},
    {"preset 6", "-0.7612", "0.0664", "1.3015", "100"},
    {"interior", "-0.3", "-0.3", "0.2", "1500"},
};

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

unsigned parseCount(const char* text) {
    const long value = std::strtol(text, nullptr, 10);
    if (value < 1 || value > 10000) {
        std::fprintf(stderr, "mandelbrot-bench: bad count %s\n", text);
        std::exit(2);
    }
    return static_cast<unsigned>(value);
}

}  // namespace

int main(int argc, char** argv) {
    unsigned repeat = 7;
    unsigned referenceRepeat = 1;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--repeat" && i + 1 < argc)
            repeat = parseCount(argv[++i]);
        else if (arg == "--reference-repeat" && i + 1 < argc)
            referenceRepeat = parseCount(argv[++i]);
        else {
            std::fprintf(stderr, "usage: mandelbrot-bench [--repeat K] [--reference-repeat R]\n");
            return 2;
        }
    }
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    std::printf("SIMD target %s, %u cores; times in ms, medians of %u runs (reference: %u)\n",
                mandel::activeSimdTarget().c_str(), cores, repeat, referenceRepeat);
    std::printf("rates: lane-iterations (sum of escape counts) per second, in units of 10^9;\n"
                "with the cycle check this is the effective rate (skipped steps count as done)\n\n");
    std::printf("%-9s %10s %9s | %8s %8s %6s %6s | %8s %8s %6s %6s | %5s %5s %5s | %6s\n", "region",
                "iterations", "ref", "plain1T", "plainAll", "xref", "G/s", "cycle1T", "cycleAll", "xref", "G/s",
                "ref", "1T", "all", "cyc/pl");

    bool allEqual = true;
    for (const Region& r : kRegions) {
        mandel::RenderSettings s;
        s.load(r.real, r.imag, r.side, r.limit, 500.0f);
        const mandel::ScanPlan plan = mandel::planScan(s.amin, s.bmin, s.side, s.cside, 500.0f);
        std::vector<std::int16_t> reference(plan.pointCount());
        std::vector<std::int16_t> fast(plan.pointCount());

        const double refMs =
            medianMs(referenceRepeat, [&] { mandel::escapeCountsReference(plan, s.cmax, reference); });
        const double iterations =
            static_cast<double>(std::accumulate(reference.begin(), reference.end(), 0LL));

        auto timeFast = [&](mandel::FastKernel kernel, unsigned threads) {
            const mandel::FastOptions options{threads, kernel};
            const double ms = medianMs(repeat, [&] { mandel::escapeCountsFast(plan, s.cmax, fast, options); });
            if (fast != reference) {
                allEqual = false;
                std::printf("!! %s: fast counts differ from the reference\n", r.name);
            }
            std::fill(fast.begin(), fast.end(), std::int16_t{0});
            return ms;
        };
        const double plain1 = timeFast(mandel::FastKernel::Plain, 1);
        const double plainAll = timeFast(mandel::FastKernel::Plain, 0);
        const double cycle1 = timeFast(mandel::FastKernel::CycleCheck, 1);
        const double cycleAll = timeFast(mandel::FastKernel::CycleCheck, 0);
        auto rate = [&](double ms) { return iterations / (ms * 1e-3) / 1e9; };
        std::printf("%-9s %10.0f %9.3f | %8.3f %8.3f %6.1f %6.2f | %8.3f %8.3f %6.1f %6.2f | %5.2f %5.2f %5.2f | %+5.1f%%\n",
                    r.name, iterations, refMs, plain1, plainAll, refMs / plainAll, rate(plainAll), cycle1, cycleAll,
                    refMs / cycleAll, rate(cycleAll), rate(refMs), rate(plain1), rate(plainAll),
                    (cycleAll / plainAll - 1) * 100);
    }
    std::printf("\ncolumns: xref = reference ms / all-cores ms; G/s after 'cyc/pl' columns: plain kernel rates\n"
                "(reference, 1 thread, all cores); cyc/pl = cycle-check time on all cores relative to plain\n");
    std::printf("counts identical to the reference: %s\n", allEqual ? "yes" : "NO");
    return allEqual ? 0 : 1;
}
