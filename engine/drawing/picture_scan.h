#pragma once

// The drawing of a square picture of any size: the render pass on a surface
// of size × size logical units, so that the point step is side / size and the
// rows are y = 0 .. size. Point (x, y) with x, y < size is pixel (x, y).

#include <cstddef>
#include <string>

#include "region/picture_size.h"
#include "region/region.h"
#include "region/render_settings.h"
#include "kernel/scan_plan.h"

namespace mandel {

// Which points a picture scan computes.
enum class ScanExtent {
    Picture,    // the pixels only: x, y < size
    WholePass,  // also the pass's last row (y = size) and any column past size that the countdown reaches
};

// The pass's row length comes from the remaining-width countdown. Up to a
// size of about 8000 it is size or size + 1, so every pixel is a point of the
// pass; for larger sizes the rounding of the countdown can end a row a few
// points short of size (or a few past size + 1). Positions never come from the
// countdown but from repeated addition of cside, so a pixel past the end of a
// short row is the point that the same repeated addition reaches there: the
// picture has no hole, and every pixel that is a point of the pass is exactly
// that point.
struct PictureScan {
    RenderSettings settings;  // loaded with logical width `size`
    std::size_t size = 0;
    std::size_t passPointsPerRow = 0;  // the countdown's row length
    std::size_t passRows = 0;          // size + 1
    // The points computed: plan.reals holds the columns (size, or more for
    // WholePass), plan.imags the rows.
    ScanPlan plan;

    // Points of the plan that the pass itself draws (x < passPointsPerRow, y < passRows).
    bool isPassPoint(std::size_t x, std::size_t y) const { return x < passPointsPerRow && y < passRows; }
};

// Loads the texts as the window loads its read-outs, but with logical width
// `size`, and plans the scan. Throws ParseError or SettingsError for a bad
// text or limit, std::invalid_argument for a size outside
// kMinPictureSize..kMaxPictureSize or a side length that is not > 0.
PictureScan planPictureScan(const RegionTexts& region, int size, ScanExtent extent);

}  // namespace mandel
