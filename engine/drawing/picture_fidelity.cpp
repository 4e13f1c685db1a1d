#include "drawing/picture_fidelity.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <vector>

namespace mandel {

namespace {

// A read-out text's value in double precision (the texts are already checked).
double valueOf(const std::string& text) {
    double value = 0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return value;
}

// The first of the positions that stops moving or drifts by more than half a
// pixel, named as `what` ("column", "row").
std::string positionsProblem(const std::vector<float>& positions, std::size_t count, double start, double pixel,
                             const char* what) {
    for (std::size_t i = 0; i < count && i < positions.size(); ++i) {
        if (i > 0 && !(positions[i] > positions[i - 1]))
            return std::string(what) + " " + std::to_string(i) + " stops moving";
        const double drift = std::fabs(static_cast<double>(positions[i]) - (start + static_cast<double>(i) * pixel));
        if (drift > 0.5 * pixel) {
            char pixels[32];
            std::snprintf(pixels, sizeof pixels, "%.4f", drift / pixel);
            return std::string(what) + " " + std::to_string(i) + " lies " + pixels + " pixels from where it belongs";
        }
    }
    return "";
}

}  // namespace

std::string singlePrecisionPictureProblem(const PictureScan& scan, const RegionTexts& region) {
    const double pixel = valueOf(region.side) / static_cast<double>(scan.size);
    const std::string columns = positionsProblem(scan.plan.reals, scan.size, valueOf(region.real), pixel, "column");
    if (!columns.empty()) return columns;
    return positionsProblem(scan.plan.imags, scan.size, valueOf(region.imag), pixel, "row");
}

}  // namespace mandel
