#include "render_run.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <numeric>
#include <ostream>

#include "banding.h"
#include "bmp.h"
#include "escape_counts.h"

namespace mandel::tool {

namespace {

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// Writes the whole file or nothing (a partly written file is removed).
bool writeFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    {
        std::ofstream file(path, std::ios::binary | std::ios::trunc);
        if (!file) return false;
        file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        file.close();
        if (file) return true;
    }
    std::remove(path.c_str());
    return false;
}

}  // namespace

RenderResult render(const RenderOptions& options) {
    const RenderSettings& s = options.settings;
    RenderResult result;
    result.plan = planScan(s.amin, s.bmin, s.side, s.cside, static_cast<float>(kPictureSide));
    result.counts.assign(result.plan.pointCount(), 0);

    std::vector<double> times;
    for (unsigned run = 0; run < options.repeat; ++run) {
        const auto start = std::chrono::steady_clock::now();
        if (options.scalar)
            escapeCountsReference(result.plan, s.cmax, result.counts);
        else
            escapeCountsFast(result.plan, s.cmax, result.counts, options.threads);
        const auto stop = std::chrono::steady_clock::now();
        times.push_back(std::chrono::duration<double, std::milli>(stop - start).count());
    }
    result.medianMs = median(times);
    result.iterations = std::accumulate(result.counts.begin(), result.counts.end(), 0LL);
    return result;
}

std::string summaryLine(const RenderResult& result) {
    char ms[64];
    std::snprintf(ms, sizeof ms, "%.3f", result.medianMs);
    return "points_per_row=" + std::to_string(result.plan.pointsPerRow()) +
           " rows=" + std::to_string(result.plan.rows()) + " iterations=" + std::to_string(result.iterations) +
           " ms=" + ms;
}

std::vector<std::uint32_t> picture(const RenderOptions& options, const RenderResult& result) {
    const RenderSettings& s = options.settings;
    const std::vector<std::uint32_t> colours = colourTableByCount(s.cmax, s.cstep, s.limit());
    const std::size_t side = kPictureSide;
    const std::size_t width = result.plan.pointsPerRow();
    const std::size_t rows = result.plan.rows();
    std::vector<std::uint32_t> pixels(side * side, 0);
    for (std::size_t y = 0; y < std::min(side, rows); ++y)
        for (std::size_t x = 0; x < std::min(side, width); ++x)
            pixels[y * side + x] = colours[static_cast<std::size_t>(result.counts[y * width + x])];
    return pixels;
}

int runRenderTool(std::span<const std::string_view> args, std::ostream& out, std::ostream& err) {
    RenderOptions options;
    RenderResult result;
    try {
        options = parseRenderOptions(args);
        result = render(options);
    } catch (const std::exception& e) {  // UsageError, or SettingsError from the scan plan
        err << "mandelbrot-render: " << e.what() << '\n';
        return 2;
    }
    if (options.bmpPath) {
        const auto bytes = encodeBmp24(kPictureSide, kPictureSide, picture(options, result));
        if (!writeFile(*options.bmpPath, bytes)) {
            err << "mandelbrot-render: cannot write " << *options.bmpPath << '\n';
            return 1;
        }
    }
    out << summaryLine(result) << '\n';
    return 0;
}

}  // namespace mandel::tool
