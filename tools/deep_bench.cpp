// Times 501² deep drawings of a few locations from 1e-10 to below 1e-1000 and
// compares them with the MPFR brute force of the same pixels (a sample grid,
// scaled to 501²), with the bilinear approximation and, with --both, also
// without it; then a 64² preview of the same location that takes the
// reference (and its table) as it is. Usage: mandelbrot-deep-bench [--no-bla |
// --both] [--no-lanes] [--rescaled] [--size S] [--threads N] [NAME ...] (names
// select locations). With --rescaled a view in double's range is also drawn
// in rescaled doubles, as views below 1e-290 are, and the times compared. The
// SIMD lanes' rate (plain steps per second and lane, over the time spent in
// their loop) is set against the peak of the step's arithmetic alone on one
// thread, and the full-precision stage's step is timed alone.

#include <mpfr.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "deep/deep_drawing.h"
#include "deep/deep_geometry.h"
#include "deep/number_ladder.h"
#include "deep/perturbation_lanes.h"
#include "deep_bench_locations.h"
#include "fixed_point_step_time.h"
#include "lane_peak.h"
#include "kernel/fast_targets.h"
#include "timing.h"

namespace {

constexpr int kSampleSide = 3;  // brute-force sample grid per side
constexpr int kPreviewSide = 64;
double lanePeak = 0;  // lane-steps per second, one thread

struct BenchSettings {
    int size = 501;
    unsigned threads = 0;
    bool bla = true;
    bool both = false;  // also without the approximation
    bool lanes = true;  // plain steps in SIMD lanes where the engine uses them
    bool rescaled = false;  // also in rescaled doubles
    std::vector<std::string> names;
};

// Plain MPFR iteration of one pixel at `bits` (the brute force's cost).
std::int64_t bruteForceCount(const mandel::DeepView& view, int x, int y, int bits) {
    mpfr_t a, h, cr, ci, zr, zi, sr, si, t;
    mpfr_inits2(bits, a, h, cr, ci, zr, zi, sr, si, t, static_cast<mpfr_ptr>(nullptr));
    mpfr_set_str(h, view.location.side.c_str(), 10, MPFR_RNDN);
    mpfr_div_si(h, h, std::min(view.width, view.height), MPFR_RNDN);
    mpfr_set_str(a, view.location.realMin.c_str(), 10, MPFR_RNDN);
    mpfr_mul_si(cr, h, x, MPFR_RNDN);
    mpfr_add(cr, cr, a, MPFR_RNDN);
    mpfr_set_str(a, view.location.imagMin.c_str(), 10, MPFR_RNDN);
    mpfr_mul_si(ci, h, y, MPFR_RNDN);
    mpfr_add(ci, ci, a, MPFR_RNDN);
    mpfr_set(zr, cr, MPFR_RNDN);
    mpfr_set(zi, ci, MPFR_RNDN);
    std::int64_t count = view.location.limit;
    for (std::int64_t i = 1; i <= view.location.limit; ++i) {
        mpfr_sqr(sr, zr, MPFR_RNDN);
        mpfr_sqr(si, zi, MPFR_RNDN);
        mpfr_add(t, sr, si, MPFR_RNDN);
        if (mpfr_cmp_ui(t, 4) > 0) {
            count = i;
            break;
        }
        mpfr_mul(t, zr, zi, MPFR_RNDN);
        mpfr_sub(zr, sr, si, MPFR_RNDN);
        mpfr_add(zr, zr, cr, MPFR_RNDN);
        mpfr_mul_2ui(zi, t, 1, MPFR_RNDN);
        mpfr_add(zi, zi, ci, MPFR_RNDN);
    }
    mpfr_clears(a, h, cr, ci, zr, zi, sr, si, t, static_cast<mpfr_ptr>(nullptr));
    return count;
}

// Brute-force milliseconds for the sample grid, scaled to every pixel.
double bruteForceMsScaled(const mandel::DeepView& view) {
    const int bits = mandel::deepGeometry(view).pixelBits;
    const double ms = mandel::tool::timeMs([&] {
        for (int j = 0; j < kSampleSide; ++j)
            for (int i = 0; i < kSampleSide; ++i)
                bruteForceCount(view, (2 * i + 1) * view.width / (2 * kSampleSide),
                                (2 * j + 1) * view.height / (2 * kSampleSide), bits);
    });
    return ms * view.width * view.height / (kSampleSide * kSampleSide);
}

struct DrawingRun {
    double ms = 0;
    mandel::DeepReferenceInfo reference;
    mandel::DeepStats stats;
    std::vector<std::int32_t> counts;
    std::shared_ptr<const mandel::DeepReference> kept;
};

DrawingRun draw(const mandel::DeepView& view, const BenchSettings& settings, bool bla,
                std::shared_ptr<const mandel::DeepReference> reuse = nullptr, bool rescaled = false) {
    mandel::DeepDrawing drawing(view, std::move(reuse));
    mandel::DeepOptions options;
    options.threads = settings.threads;
    options.bla = bla;
    options.lanes = settings.lanes;
    options.rescaled = rescaled;
    DrawingRun run;
    run.counts.resize(static_cast<std::size_t>(view.width) * static_cast<std::size_t>(view.height));
    run.ms = mandel::tool::timeMs([&] { drawing.computeRows(0, view.height, run.counts, options); });
    run.reference = drawing.referenceInfo();
    run.stats = drawing.stats();
    run.kept = drawing.reference();
    return run;
}

void printRun(const char* name, std::int64_t limit, const char* what, const DrawingRun& run, double bruteMs) {
    const mandel::DeepReferenceInfo& ref = run.reference;
    const mandel::DeepStats& stats = run.stats;
    std::int64_t atLimit = 0;
    std::int32_t lowest = INT32_MAX, highest = 0;
    for (std::int32_t c : run.counts) {
        atLimit += c == limit;
        lowest = std::min(lowest, c);
        highest = c == limit ? highest : std::max(highest, c);
    }
    const double iterations = static_cast<double>(stats.iterationsMade);
    std::printf(
        "%-18s %-7s limit %-7lld %s bits %-5d time %9.1f ms  %.3g it/s  made %.3g skipped %.3g  "
        "reference %lld it %.1f ms %zu B (%.1f B/it)  table %.1f ms %zu B  "
        "settled %lld px (%lld in double, %lld at full precision) %.1f ms  "
        "uncertified %lld  known %lld  at limit %lld  counts %d..%d  brute force %.4g s  ratio %.0fx\n",
        name, what, static_cast<long long>(limit), ref.numberType.c_str(), ref.precisionBits, run.ms,
        iterations / (run.ms / 1000), iterations, static_cast<double>(stats.iterationsSkipped),
        static_cast<long long>(ref.length), ref.buildMs, ref.bytes,
        static_cast<double>(ref.bytes) / static_cast<double>(std::max<std::int64_t>(ref.length, 1)), ref.blaBuildMs,
        ref.blaBytes, static_cast<long long>(stats.pixelsSettled), static_cast<long long>(stats.pixelsSettledInDouble),
        static_cast<long long>(stats.pixelsSettledAtFullPrecision), stats.settleMs,
        static_cast<long long>(stats.uncertifiedPixels), static_cast<long long>(stats.pixelsKnown),
        static_cast<long long>(atLimit), lowest, highest, bruteMs / 1000, bruteMs / run.ms);
    if (stats.laneSteps > 0) {
        const double rate = static_cast<double>(stats.laneSteps) / (stats.laneMs / 1000);
        std::printf(
            "%-18s %-7s lanes: %.3g of the steps made, %.3g lane-steps/s per thread in their loop, "
            "%.0f%% of the peak\n",
            name, what, static_cast<double>(stats.laneSteps) / iterations, rate, 100 * rate / lanePeak);
    }
    std::fflush(stdout);
}

void benchLocation(const bench::DeepBenchLocation& where, const BenchSettings& settings) {
    const mandel::DeepLocation location{where.realMin, where.imagMin, where.side, where.limit};
    const mandel::DeepView view{location, settings.size, settings.size};
    const double bruteMs = bruteForceMsScaled(view);
    const DrawingRun main = draw(view, settings, settings.bla);
    printRun(where.name, where.limit, settings.bla ? "bla" : "no-bla", main, bruteMs);
    const DrawingRun preview = draw({location, kPreviewSide, kPreviewSide}, settings, settings.bla, main.kept);
    std::printf("%-18s preview %d² with the reference kept: %.1f ms (%s)\n", where.name, kPreviewSide, preview.ms,
                preview.kept == main.kept ? "same reference" : "new reference");
    if (settings.rescaled && main.reference.numberType == mandel::numberTypeName(mandel::NumberType::Double)) {
        const DrawingRun rescaled = draw(view, settings, settings.bla, nullptr, true);
        printRun(where.name, where.limit, "rescaled", rescaled, bruteMs);
        std::printf("%-18s rescaled doubles / double: %.2f× the time, %.3g / %.3g steps made%s\n", where.name,
                    rescaled.ms / main.ms, static_cast<double>(rescaled.stats.iterationsMade),
                    static_cast<double>(main.stats.iterationsMade),
                    rescaled.counts == main.counts ? "" : "; COUNTS DIFFER");
    }
    if (!settings.both) return;
    const DrawingRun plain = draw(view, settings, false);
    printRun(where.name, where.limit, "no-bla", plain, bruteMs);
    if (plain.counts != main.counts)
        std::printf("%-18s COUNTS DIFFER with and without the approximation\n", where.name);
}

BenchSettings parse(int argc, char** argv) {
    BenchSettings s;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--no-bla"))
            s.bla = false;
        else if (!std::strcmp(argv[i], "--no-lanes"))
            s.lanes = false;
        else if (!std::strcmp(argv[i], "--rescaled"))
            s.rescaled = true;
        else if (!std::strcmp(argv[i], "--both"))
            s.both = true;
        else if (!std::strcmp(argv[i], "--size") && i + 1 < argc)
            s.size = std::atoi(argv[++i]);
        else if (!std::strcmp(argv[i], "--threads") && i + 1 < argc)
            s.threads = static_cast<unsigned>(std::atoi(argv[++i]));
        else
            s.names.emplace_back(argv[i]);
    }
    return s;
}

}  // namespace

int main(int argc, char** argv) {
    const BenchSettings settings = parse(argc, argv);
    lanePeak = laneStepPeak();
    std::printf("SIMD lanes: %s, %zu lanes of double; peak of the step's arithmetic on one thread %.3g lane-steps/s\n",
                mandel::activeSimdTarget().c_str(), mandel::deepLaneCount(), lanePeak);
    const std::vector<FixedPointStepTime> fixedPoint = fixedPointStepTimes();
    if (!fixedPoint.empty()) {
        std::printf("fixed-point lanes, one step of eight orbits:");
        for (const FixedPointStepTime& t : fixedPoint) std::printf(" %ld limbs %.0f ns", t.limbs, t.ns);
        std::printf("\n");
    }
    for (const auto& where : bench::kDeepBenchLocations) {
        bool chosen = settings.names.empty();
        for (const auto& name : settings.names) chosen = chosen || name == where.name;
        if (chosen) benchLocation(where, settings);
    }
    return 0;
}
