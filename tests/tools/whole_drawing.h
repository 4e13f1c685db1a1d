#pragma once

// The renderer's drawing made whole and in memory at once, to check the
// files it writes row block by row block against.

#include <cstdint>
#include <vector>

#include "kernel/scan_plan.h"
#include "region/render_settings.h"
#include "render_options.h"

namespace test {

// The settings loaded from the options' read-outs as the window loads them,
// with logical width options.size.
mandel::RenderSettings loadedSettings(const mandel::tool::RenderOptions& options);

struct WholeDrawing {
    mandel::ScanPlan plan;             // the whole pass
    std::vector<std::int16_t> counts;  // row-major, plan.pointCount() values
    long long iterations = 0;          // sum of the counts
};

// Every point of the pass, on the path the options choose.
WholeDrawing drawWhole(const mandel::tool::RenderOptions& options);

// The size × size picture of a drawing, packed colours from the top-left:
// pixel (x, y) is the point (x, y); the points at x or y = size are left out.
// A pixel with no point (a row shorter than size) is black.
std::vector<std::uint32_t> pictureOf(const mandel::tool::RenderOptions& options, const WholeDrawing& drawing);

}  // namespace test
