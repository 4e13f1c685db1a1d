#include "whole_drawing.h"

#include <algorithm>
#include <numeric>

#include "colour/banding.h"
#include "drawing/picture_scan.h"
#include "kernel/escape_counts.h"

namespace test {

mandel::RenderSettings loadedSettings(const mandel::tool::RenderOptions& options) {
    return mandel::planPictureScan(options.region, options.size, mandel::ScanExtent::Picture).settings;
}

WholeDrawing drawWhole(const mandel::tool::RenderOptions& options) {
    const mandel::PictureScan scan =
        mandel::planPictureScan(options.region, options.size, mandel::ScanExtent::WholePass);
    WholeDrawing drawing{scan.plan, std::vector<std::int16_t>(scan.plan.pointCount(), 0), 0};
    if (options.scalar)
        mandel::escapeCountsReference(drawing.plan, scan.settings.cmax, drawing.counts);
    else
        mandel::escapeCountsFast(drawing.plan, scan.settings.cmax, drawing.counts, options.threads);
    drawing.iterations = std::accumulate(drawing.counts.begin(), drawing.counts.end(), 0LL);
    return drawing;
}

std::vector<std::uint32_t> pictureOf(const mandel::tool::RenderOptions& options, const WholeDrawing& drawing) {
    const mandel::RenderSettings s = loadedSettings(options);
    const std::vector<std::uint32_t> colours = mandel::colourTableByCount(s.cmax, s.cstep, s.limit());
    const auto side = static_cast<std::size_t>(options.size);
    const std::size_t width = drawing.plan.pointsPerRow();
    const std::size_t rows = drawing.plan.rows();
    std::vector<std::uint32_t> pixels(side * side, 0);
    for (std::size_t y = 0; y < std::min(side, rows); ++y)
        for (std::size_t x = 0; x < std::min(side, width); ++x)
            pixels[y * side + x] = colours[static_cast<std::size_t>(drawing.counts[y * width + x])];
    return pixels;
}

}  // namespace test
