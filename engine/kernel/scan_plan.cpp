#include "kernel/scan_plan.h"

#include "region/render_settings.h"

namespace mandel {

std::size_t pointsPerRow(float side, float cside) {
    std::size_t points = 0;
    for (float remaining = side; remaining > 0.0f; remaining -= cside) {
        if (points > static_cast<std::size_t>(kMaxScanExtent))
            throw SettingsError("a row would have more points than the column counter holds");
        ++points;
    }
    return points;
}

std::size_t rowCount(float logicalHeight) {
    std::size_t rows = 0;
    for (int y = 0; static_cast<float>(y) <= logicalHeight; ++y) {
        if (y > kMaxScanExtent) throw SettingsError("the surface is taller than the row counter holds");
        ++rows;
    }
    return rows;
}

ScanPlan planScan(float amin, float bmin, float side, float cside, float logicalHeight) {
    ScanPlan plan;
    const std::size_t points = pointsPerRow(side, cside);
    plan.reals.reserve(points);
    float a = amin;
    for (std::size_t x = 0; x < points; ++x) {
        plan.reals.push_back(a);
        a = a + cside;
    }
    plan.realAfterLastPoint = a;

    const std::size_t rows = rowCount(logicalHeight);
    plan.imags.reserve(rows);
    float b = bmin;
    for (std::size_t y = 0; y < rows; ++y) {
        plan.imags.push_back(b);
        b = b + cside;
    }
    plan.imagAfterLastRow = b;
    return plan;
}

}  // namespace mandel
