#include "colour/smooth_colouring.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "colour/defined_math.h"

namespace mandel {

namespace {

// The automatic density looks at most this many escaped pixels, taken at an
// even stride (the percentiles of a large view hardly move).
constexpr std::size_t kAutomaticSample = std::size_t{1} << 18;

double scaled(double nu, DensityScale scale) { return scale == DensityScale::Log ? definedLog2(nu) : nu; }

}  // namespace

double wrapOffset(double offset) {
    const double wrapped = offset - std::floor(offset);
    return wrapped < 1 ? wrapped : 0;
}

double colourPosition(double nu, const SmoothScale& scale) {
    return scale.offset + scale.density * scaled(nu, scale.scale);
}

Rgb smoothColour(std::int32_t count, float excess, std::int64_t limit, const Gradient& gradient,
                 const SmoothScale& scale) {
    if (count >= limit) return gradient.inside;
    const double nu = static_cast<double>(count) + static_cast<double>(excess);
    return gradientColour(gradient, colourPosition(nu, scale));
}

Rgb shadedColour(const Rgb& colour, float distance, float slope, const Rgb& inside) {
    const double near = std::sqrt(std::clamp(static_cast<double>(distance) / kBoundaryPixels, 0.0, 1.0));
    const double lit = std::isnan(slope) ? 1.0 : std::clamp(static_cast<double>(slope), 0.0, 1.0);
    auto channel = [&](std::uint8_t c, std::uint8_t in) {
        const double shaded = static_cast<double>(in) + (static_cast<double>(c) * lit - static_cast<double>(in)) * near;
        return static_cast<std::uint8_t>(std::clamp(std::floor(shaded + 0.5), 0.0, 255.0));
    };
    return {channel(colour.red, inside.red), channel(colour.green, inside.green), channel(colour.blue, inside.blue)};
}

SmoothScale automaticScale(std::span<const std::int32_t> counts, std::span<const float> excess, std::int64_t limit,
                           DensityScale scale, double offset) {
    std::size_t escaped = 0;
    for (const std::int32_t count : counts) escaped += count < limit ? 1 : 0;
    const std::size_t stride = std::max<std::size_t>(1, escaped / kAutomaticSample);
    std::vector<double> values;
    values.reserve(std::min(escaped, kAutomaticSample) + 1);
    std::size_t seen = 0;
    for (std::size_t i = 0; i < counts.size(); ++i) {
        if (counts[i] >= limit) continue;
        if (seen++ % stride == 0) values.push_back(scaled(counts[i] + static_cast<double>(excess[i]), scale));
    }
    SmoothScale result{0, scale, wrapOffset(offset)};
    // Below a count's width (linear) or 1/64 of a doubling, a view this flat
    // gets the density of that width.
    const double narrowest = scale == DensityScale::Log ? 1.0 / 64 : 1.0;
    if (values.empty()) {
        result.density = kAutomaticCycles / (narrowest * 16);
        return result;
    }
    auto at = [&values](double fraction) {
        const auto k = static_cast<std::size_t>(fraction * static_cast<double>(values.size() - 1));
        std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(k), values.end());
        return values[k];
    };
    const double low = at(kAutomaticLow);
    const double high = at(kAutomaticHigh);
    result.density = kAutomaticCycles / std::max(high - low, narrowest);
    result.offset = wrapOffset(offset - result.density * low);
    return result;
}

}  // namespace mandel
