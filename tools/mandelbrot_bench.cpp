// Benchmark of the escape-count paths: the reference (one point at a time,
// one thread) against the SIMD kernel, plain and with the cycle check, on one
// thread and on every core. Every fast result is checked against the
// reference counts before its time is reported.
//
//   mandelbrot-bench [--repeat K] [--reference-repeat R]
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <numeric>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "bench_support.h"
#include "kernel/escape_counts.h"
#include "kernel/fast_targets.h"
#include "render_options.h"

namespace {

using bench::medianMs;

struct BenchOptions {
    unsigned repeat = 7;
    unsigned referenceRepeat = 1;
};

unsigned parseCount(std::string_view option, const char* text) {
    try {
        return mandel::tool::parseCount(option, text, 10000);
    } catch (const mandel::tool::UsageError& e) {
        std::fprintf(stderr, "mandelbrot-bench: %s\n", e.what());
        std::exit(2);
    }
}

BenchOptions parseOptions(int argc, char** argv) {
    BenchOptions options;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--repeat" && i + 1 < argc)
            options.repeat = parseCount(arg, argv[++i]);
        else if (arg == "--reference-repeat" && i + 1 < argc)
            options.referenceRepeat = parseCount(arg, argv[++i]);
        else {
            std::fprintf(stderr, "usage: mandelbrot-bench [--repeat K] [--reference-repeat R]\n");
            std::exit(2);
        }
    }
    return options;
}

void printHeader(const BenchOptions& options) {
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    std::printf("SIMD target %s, %u cores. Times in ms: medians of %u runs (reference: %u).\n",
                mandel::activeSimdTarget().c_str(), cores, options.repeat, options.referenceRepeat);
    std::printf(
        "1T = one thread, all = every core; x = reference time / fast time;\n"
        "G/s = lane-iterations (sum of the escape counts) per second, in 10^9 (with the cycle\n"
        "check an effective rate: skipped iterations count as made); cyc/plain = cycle-check time\n"
        "on all cores relative to the plain kernel's.\n\n");
    std::printf("%-9s %10s | %9s %5s | %8s %8s %6s %6s | %8s %8s %6s %6s | %9s\n", "region", "iterations", "reference",
                "G/s", "plain 1T", "all", "x", "G/s", "cycle 1T", "all", "x", "G/s", "cyc/plain");
}

// Times one region on every path and prints its line; whether every fast
// result equals the reference.
bool measureRegion(const bench::Region& r, const BenchOptions& options) {
    const mandel::PictureScan drawing = bench::windowDrawing(r);
    const mandel::ScanPlan& plan = drawing.plan;
    const float cmax = drawing.settings.cmax;
    std::vector<std::int16_t> reference(plan.pointCount());
    std::vector<std::int16_t> fast(plan.pointCount());

    const double refMs =
        medianMs(options.referenceRepeat, [&] { mandel::escapeCountsReference(plan, cmax, reference); });
    const double iterations = static_cast<double>(std::accumulate(reference.begin(), reference.end(), 0LL));

    bool equal = true;
    auto timeFast = [&](mandel::FastKernel kernel, unsigned threads) {
        const mandel::FastOptions fastOptions{threads, kernel};
        const double ms = medianMs(options.repeat, [&] { mandel::escapeCountsFast(plan, cmax, fast, fastOptions); });
        if (fast != reference) {
            equal = false;
            std::printf("!! %s: fast counts differ from the reference\n", r.name.c_str());
        }
        std::fill(fast.begin(), fast.end(), std::int16_t{0});
        return ms;
    };
    const double plain1 = timeFast(mandel::FastKernel::Plain, 1);
    const double plainAll = timeFast(mandel::FastKernel::Plain, 0);
    const double cycle1 = timeFast(mandel::FastKernel::CycleCheck, 1);
    const double cycleAll = timeFast(mandel::FastKernel::CycleCheck, 0);
    auto rate = [&](double ms) { return iterations / (ms * 1e-3) / 1e9; };
    std::printf("%-9s %10.0f | %9.3f %5.2f | %8.3f %8.3f %6.1f %6.2f | %8.3f %8.3f %6.1f %6.2f | %+8.1f%%\n",
                r.name.c_str(), iterations, refMs, rate(refMs), plain1, plainAll, refMs / plainAll, rate(plainAll),
                cycle1, cycleAll, refMs / cycleAll, rate(cycleAll), (cycleAll / plainAll - 1) * 100);
    return equal;
}

}  // namespace

int main(int argc, char** argv) {
    const BenchOptions options = parseOptions(argc, argv);
    printHeader(options);
    bool allEqual = true;
    for (const bench::Region& r : bench::regions()) allEqual = measureRegion(r, options) && allEqual;
    std::printf("counts identical to the reference: %s\n", allEqual ? "yes" : "NO");
    return allEqual ? 0 : 1;
}
