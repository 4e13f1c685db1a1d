#pragma once

#include <cstddef>
#include <vector>

namespace mandel {

// Which points one drawing computes and where they lie in the plane. Every row
// restarts from the same parsed texts, so all rows share one sequence of real
// parts; the imaginary part grows row by row. Both sequences come from repeated
// single-precision addition of cside, exactly as the point-by-point scan forms
// them, and the row length from the remaining-width countdown.
struct ScanPlan {
    std::vector<float> reals;      // real part of the points x = 0, 1, ... of any row
    std::vector<float> imags;      // imaginary part of the rows y = 0, 1, ...
    float realAfterLastPoint = 0;  // amin after the last point of a row
    float imagAfterLastRow = 0;    // bmin after the last row

    std::size_t pointsPerRow() const { return reals.size(); }
    std::size_t rows() const { return imags.size(); }
    std::size_t pointCount() const { return reals.size() * imags.size(); }
};

// Largest x or y the 16-bit column and row counters can address.
inline constexpr int kMaxScanExtent = 32767;

// Number of points in a row: how many k >= 0 give w(k) > 0, where w(0) = side
// and w(k+1) = w(k) − cside in single precision. Throws SettingsError when
// the countdown would not end within kMaxScanExtent points.
std::size_t pointsPerRow(float side, float cside);

// Rows y = 0 .. while y <= logicalHeight. Throws SettingsError past the counter.
std::size_t rowCount(float logicalHeight);

ScanPlan planScan(float amin, float bmin, float side, float cside, float logicalHeight);

}  // namespace mandel
