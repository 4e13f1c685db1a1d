#include "colour/gradients.h"

#include <cmath>

namespace mandel {

namespace {

// The window's bands 1..15 in their order, as a cycle.
std::vector<Rgb> windowBandStops() {
    std::vector<Rgb> stops;
    for (int i = 1; i <= 15; ++i) stops.push_back(Palette[static_cast<std::size_t>(i)]);
    return stops;
}

const std::vector<Gradient>& gradientTable() {
    static const std::vector<Gradient> table = {
        // Deep blue through white to gold and near black, the usual deep-zoom look.
        {"classic", {{0, 7, 100}, {32, 107, 203}, {237, 255, 255}, {255, 170, 0}, {0, 2, 0}}, {0, 0, 0}},
        {"fire", {{20, 0, 0}, {180, 30, 0}, {255, 140, 0}, {255, 240, 160}, {120, 20, 0}}, {0, 0, 0}},
        {"ocean", {{0, 20, 45}, {0, 90, 140}, {70, 200, 220}, {230, 250, 255}, {20, 60, 110}}, {0, 0, 12}},
        {"bands", windowBandStops(), Palette[0]},
        // For print: dark to light grey and back.
        {"grey", {{30, 30, 30}, {235, 235, 235}}, {0, 0, 0}},
    };
    return table;
}

// v lies between a and b (0 ≤ f < 1), so v + 0.5 ≥ 0 and truncating it is
// its floor (without a call into the maths library for each channel).
std::uint8_t blend(std::uint8_t a, std::uint8_t b, double f) {
    const double v = static_cast<double>(a) + (static_cast<double>(b) - static_cast<double>(a)) * f;
    return static_cast<std::uint8_t>(v + 0.5);
}

// std::floor(t), exactly, without the call where |t| < 2^52.
double floorOf(double t) {
    if (!(std::fabs(t) < 0x1p52)) return std::floor(t);
    const double truncated = static_cast<double>(static_cast<std::int64_t>(t));
    return truncated > t ? truncated - 1 : truncated;
}

}  // namespace

std::span<const Gradient> builtInGradients() { return gradientTable(); }

const Gradient* findGradient(std::string_view name) {
    for (const Gradient& gradient : gradientTable())
        if (gradient.name == name) return &gradient;
    return nullptr;
}

std::string gradientNames() {
    std::string names;
    for (const Gradient& gradient : gradientTable()) {
        if (!names.empty()) names += ", ";
        names += gradient.name;
    }
    return names;
}

Rgb gradientColour(const Gradient& gradient, double t) {
    const auto n = static_cast<int>(gradient.stops.size());
    double place = (t - floorOf(t)) * n;
    if (!(place >= 0) || place >= n) place = 0;  // t not finite, or rounded up to n
    // A signed index: converting it back to double is one instruction.
    const auto index = static_cast<int>(place);
    const double f = place - index;
    const Rgb& a = gradient.stops[static_cast<std::size_t>(index)];
    const Rgb& b = gradient.stops[static_cast<std::size_t>(index + 1 == n ? 0 : index + 1)];
    return {blend(a.red, b.red, f), blend(a.green, b.green, f), blend(a.blue, b.blue, f)};
}

}  // namespace mandel
