#include "drawing/picture_scan.h"

#include <algorithm>
#include <stdexcept>
#include <vector>

namespace mandel {

namespace {

// start, start + step, ... by repeated single-precision addition, as the pass forms positions.
std::vector<float> repeatedSums(float start, float step, std::size_t count) {
    std::vector<float> values;
    values.reserve(count);
    float value = start;
    for (std::size_t i = 0; i < count; ++i) {
        values.push_back(value);
        value = value + step;
    }
    return values;
}

}  // namespace

PictureScan planPictureScan(const RegionTexts& region, int size, ScanExtent extent) {
    if (const std::string problem = pictureSizeProblem(size); !problem.empty())
        throw std::invalid_argument(problem);
    PictureScan scan;
    RenderSettings& s = scan.settings;
    s.load(region, static_cast<float>(size));
    if (!(s.side > 0.0f)) throw std::invalid_argument("side length " + region.side + " is not greater than 0");

    scan.size = static_cast<std::size_t>(size);
    scan.passPointsPerRow = pointsPerRow(s.side, s.cside);
    scan.passRows = rowCount(static_cast<float>(size));
    const bool whole = extent == ScanExtent::WholePass;
    const std::size_t columns = whole ? std::max(scan.size, scan.passPointsPerRow) : scan.size;
    const std::size_t rows = whole ? scan.passRows : scan.size;
    scan.plan.reals = repeatedSums(s.amin, s.cside, columns);
    scan.plan.imags = repeatedSums(s.bmin, s.cside, rows);
    return scan;
}

}  // namespace mandel
