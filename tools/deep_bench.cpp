// Times 501² deep drawings of a few locations from 1e-10 to below 1e-1000 and
// compares them with the MPFR brute force of the same pixels (a sample grid,
// scaled to 501²). Usage: mandelbrot-deep-bench [--no-bla] [--size S]
// [--threads N] [NAME ...] (names select locations).

#include <mpfr.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "deep/deep_drawing.h"
#include "deep/deep_geometry.h"
#include "deep_bench_locations.h"
#include "timing.h"

namespace {

constexpr int kSampleSide = 3;  // brute-force sample grid per side

struct BenchSettings {
    int size = 501;
    unsigned threads = 0;
    bool bla = true;
    std::vector<std::string> names;
};

// Plain MPFR iteration of one pixel at `bits` (the brute force's cost).
std::int64_t bruteForceCount(const mandel::DeepView& view, int x, int y, int bits)
{
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
double bruteForceMsScaled(const mandel::DeepView& view)
{
    const int bits = mandel::deepGeometry(view).pixelBits;
    const double ms = mandel::tool::timeMs([&] {
        for (int j = 0; j < kSampleSide; ++j)
            for (int i = 0; i < kSampleSide; ++i)
                bruteForceCount(view, (2 * i + 1) * view.width / (2 * kSampleSide),
                                (2 * j + 1) * view.height / (2 * kSampleSide), bits);
    });
    return ms * view.width * view.height / (kSampleSide * kSampleSide);
}

void benchLocation(const bench::DeepBenchLocation& where, const BenchSettings& settings)
{
    const mandel::DeepView view{{where.realMin, where.imagMin, where.side, where.limit}, settings.size, settings.size};
    mandel::DeepDrawing drawing(view);
    mandel::DeepOptions options;
    options.threads = settings.threads;
    options.bla = settings.bla;
    std::vector<std::int32_t> counts(static_cast<std::size_t>(view.width) * static_cast<std::size_t>(view.height));
    const double totalMs = mandel::tool::timeMs([&] { drawing.computeRows(0, view.height, counts, options); });
    const mandel::DeepReferenceInfo ref = drawing.referenceInfo();
    const mandel::DeepStats stats = drawing.stats();
    std::int64_t atLimit = 0;
    std::int32_t lowest = INT32_MAX, highest = 0;
    for (std::int32_t c : counts) {
        atLimit += c == where.limit;
        lowest = std::min(lowest, c);
        highest = c == where.limit ? highest : std::max(highest, c);
    }
    const double bruteMs = bruteForceMsScaled(view);
    const double iterations = static_cast<double>(stats.iterationsMade);
    std::printf("%-18s limit %-7lld %s bits %-5d time %9.1f ms  %.3g it/s  made %.3g skipped %.3g  "
                "reference %lld it %.1f ms %zu B (%.1f B/it)  recomputed %lld px %.1f ms  at limit %lld  "
                "counts %d..%d  brute force %.4g s  ratio %.0fx\n",
                where.name, static_cast<long long>(where.limit), ref.numberType.c_str(), ref.precisionBits, totalMs,
                iterations / (totalMs / 1000), iterations, static_cast<double>(stats.iterationsSkipped),
                static_cast<long long>(ref.length), ref.buildMs, ref.bytes,
                static_cast<double>(ref.bytes) / static_cast<double>(std::max<std::int64_t>(ref.length, 1)),
                static_cast<long long>(stats.pixelsRecomputed), stats.recomputeMs, static_cast<long long>(atLimit),
                lowest, highest, bruteMs / 1000, bruteMs / totalMs);
    std::fflush(stdout);
}

BenchSettings parse(int argc, char** argv)
{
    BenchSettings s;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--no-bla")) s.bla = false;
        else if (!std::strcmp(argv[i], "--size") && i + 1 < argc) s.size = std::atoi(argv[++i]);
        else if (!std::strcmp(argv[i], "--threads") && i + 1 < argc) s.threads = static_cast<unsigned>(std::atoi(argv[++i]));
        else s.names.emplace_back(argv[i]);
    }
    return s;
}

}  // namespace

int main(int argc, char** argv)
{
    const BenchSettings settings = parse(argc, argv);
    for (const auto& where : bench::kDeepBenchLocations) {
        bool chosen = settings.names.empty();
        for (const auto& name : settings.names) chosen = chosen || name == where.name;
        if (chosen) benchLocation(where, settings);
    }
    return 0;
}
