#include "drawing/picture_scan.h"

#include <algorithm>
#include <stdexcept>
#include <vector>

namespace mandel {

namespace {

// Cuts a sequence of repeated single-precision sums (start, start + step,
// ...) to `count` values, or continues it by the same addition up to there;
// `after` is, before and after, the value that would come next.
void fitSequence(std::vector<float>& values, float& after, std::size_t count, float step) {
    if (values.size() > count) {
        after = values[count];
        values.resize(count);
    }
    values.reserve(count);
    while (values.size() < count) {
        values.push_back(after);
        after = after + step;
    }
}

}  // namespace

PictureScan planPictureScan(const RegionTexts& region, int size, ScanExtent extent) {
    if (const std::string problem = pictureSizeProblem(size); !problem.empty()) throw std::invalid_argument(problem);
    PictureScan scan;
    RenderSettings& s = scan.settings;
    s.load(region, static_cast<float>(size));
    if (!(s.side > 0.0f)) throw std::invalid_argument("side length " + region.side + " is not greater than 0");

    // The pass's own plan, then cut or continued to the picture's extent.
    ScanPlan& plan = scan.plan;
    plan = planScan(s.amin, s.bmin, s.side, s.cside, static_cast<float>(size));
    scan.size = static_cast<std::size_t>(size);
    scan.passPointsPerRow = plan.pointsPerRow();
    scan.passRows = plan.rows();
    const bool whole = extent == ScanExtent::WholePass;
    const std::size_t columns = whole ? std::max(scan.size, scan.passPointsPerRow) : scan.size;
    const std::size_t rows = whole ? scan.passRows : scan.size;
    fitSequence(plan.reals, plan.realAfterLastPoint, columns, s.cside);
    fitSequence(plan.imags, plan.imagAfterLastRow, rows, s.cside);
    return scan;
}

}  // namespace mandel
