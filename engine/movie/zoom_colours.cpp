#include "movie/zoom_colours.h"

#include <algorithm>
#include <cmath>
#include <sstream>
#include <vector>

#include "colour/defined_math.h"

namespace mandel {

namespace {

// Anchors whose counts differ by less than this factor are one anchor: the
// power between them would rest on noise.
constexpr double kSameCountLevel = 1.01;
// A view in which nothing escaped has no density of its own: that of a view
// 16 counts wide (as automaticScale gives the flattest views).
constexpr double kFlatViewDensity = kAutomaticCycles / 16;

// The logarithms and powers the map is worked out with: defined_math.h's,
// the same bytes everywhere (the keyframes' scales), or the platform's,
// several times faster (the movie's frames, which an encoder changes anyway).
struct DefinedMath {
    static double log2(double x) { return definedLog2(x); }
    static double exp2(double y) { return definedExp2(y); }
    static double ln(double x) { return definedLn(x); }
};
struct PlatformMath {
    static double log2(double x) { return std::log2(x); }
    static double exp2(double y) { return std::exp2(y); }
    static double ln(double x) { return std::log(x); }
};

// The power β of the density between the anchors: density(ν) = d_s·(ν/ν_s)^β.
template <typename Math>
double powerBetween(const ColourAnchor& shallow, const ColourAnchor& deep) {
    return Math::log2(deep.density / shallow.density) / Math::log2(deep.nu / shallow.nu);
}

// ∫ from ν_s to ν of d_s·(x/ν_s)^β dx, for ν_s <= ν <= ν_d.
template <typename Math>
double integralBetween(const ColourAnchor& shallow, double beta, double nu) {
    const double ratio = nu / shallow.nu;
    const double rise = beta + 1;
    if (std::fabs(rise) < 1e-9) return shallow.density * shallow.nu * Math::ln(ratio);
    return shallow.density * shallow.nu / rise * (Math::exp2(rise * Math::log2(ratio)) - 1);
}

// The position of ν on an automatic map, given its power β and its position
// at the deep anchor (without the offset).
template <typename Math>
double automaticPosition(const ZoomColourMap& map, double beta, double atDeep, double nu) {
    if (nu <= map.shallow.nu || map.shallow.nu == map.deep.nu)
        return map.offset + map.shallow.density * (nu - map.shallow.nu);
    if (nu < map.deep.nu) return map.offset + integralBetween<Math>(map.shallow, beta, nu);
    return map.offset + atDeep + map.deep.density * (nu - map.deep.nu);
}

std::string numberText(double value) { return exactNumberText(value); }

}  // namespace

ColourAnchor colourAnchor(std::span<const std::int32_t> counts, std::span<const float> excess, std::int64_t limit) {
    std::vector<double> nus;
    for (std::size_t i = 0; i < counts.size(); ++i)
        if (counts[i] < limit) nus.push_back(static_cast<double>(counts[i]) + static_cast<double>(excess[i]));
    if (nus.empty()) return {};
    const auto middle = nus.begin() + static_cast<std::ptrdiff_t>((nus.size() - 1) / 2);
    std::nth_element(nus.begin(), middle, nus.end());
    const SmoothScale scale = automaticScale(counts, excess, limit, DensityScale::Linear, 0);
    return {*middle, scale.density};
}

double ZoomColourMap::density(double nu) const {
    if (!automatic) return fixed.scale == DensityScale::Log ? fixed.density / (nu * std::log(2.0)) : fixed.density;
    if (nu <= shallow.nu) return shallow.density;
    if (nu >= deep.nu) return deep.density;
    return shallow.density * definedExp2(powerBetween<DefinedMath>(shallow, deep) * definedLog2(nu / shallow.nu));
}

double ZoomColourMap::position(double nu) const {
    if (!automatic) return colourPosition(nu, fixed);
    if (nu <= shallow.nu || shallow.nu == deep.nu) return offset + shallow.density * (nu - shallow.nu);
    const double beta = powerBetween<DefinedMath>(shallow, deep);
    return automaticPosition<DefinedMath>(*this, beta, integralBetween<DefinedMath>(shallow, beta, deep.nu), nu);
}

FramePositions::FramePositions(const ZoomColourMap& map) : map_(map) {
    if (!map.automatic || map.shallow.nu == map.deep.nu) return;
    power_ = powerBetween<PlatformMath>(map.shallow, map.deep);
    atDeep_ = integralBetween<PlatformMath>(map.shallow, power_, map.deep.nu);
}

double FramePositions::operator()(double nu) const {
    if (!map_.automatic) return colourPosition(nu, map_.fixed);
    return automaticPosition<PlatformMath>(map_, power_, atDeep_, nu);
}

SmoothScale ZoomColourMap::tangent(double nu) const {
    const double slope = density(nu);
    return {slope, DensityScale::Linear, wrapOffset(position(nu) - slope * nu)};
}

bool ZoomColourMap::operator==(const ZoomColourMap& other) const {
    return automatic == other.automatic && fixed.density == other.fixed.density && fixed.scale == other.fixed.scale &&
           fixed.offset == other.fixed.offset && shallow == other.shallow && deep == other.deep &&
           offset == other.offset;
}

ZoomColourMap zoomColourMap(const Colouring& colouring, const ColourAnchor& a, const ColourAnchor& b) {
    ZoomColourMap map;
    if (!colouring.automaticDensity) {
        map.automatic = false;
        map.fixed = colouring.scale;
        return map;
    }
    map.offset = wrapOffset(colouring.scale.offset);
    ColourAnchor shallow = a.nu <= b.nu ? a : b, deep = a.nu <= b.nu ? b : a;
    if (shallow.nu == 0) shallow = deep;
    if (deep.nu == 0) shallow = deep = {1, kFlatViewDensity};
    if (deep.nu < shallow.nu * kSameCountLevel) deep = shallow;
    map.shallow = shallow;
    map.deep = deep;
    return map;
}

std::string colourMapText(const ZoomColourMap& map) {
    if (!map.automatic)
        return "fixed " + std::string(densityScaleName(map.fixed.scale)) + " " + numberText(map.fixed.density) + " " +
               numberText(map.fixed.offset);
    return "automatic " + numberText(map.shallow.nu) + " " + numberText(map.shallow.density) + " " +
           numberText(map.deep.nu) + " " + numberText(map.deep.density) + " " + numberText(map.offset);
}

std::optional<ZoomColourMap> parseColourMapText(std::string_view text) {
    std::istringstream words{std::string(text)};
    std::string kind, word;
    std::vector<double> numbers;
    std::optional<DensityScale> scale = DensityScale::Linear;
    if (!(words >> kind)) return std::nullopt;
    if (kind == "fixed") {
        if (!(words >> word)) return std::nullopt;
        scale = parseDensityScale(word);
    } else if (kind != "automatic") {
        return std::nullopt;
    }
    while (words >> word) {
        const std::optional<double> number = parseFiniteNumber(word);
        if (!number) return std::nullopt;
        numbers.push_back(*number);
    }
    ZoomColourMap map;
    if (kind == "fixed") {
        if (!scale || numbers.size() != 2 || !(numbers[0] > 0)) return std::nullopt;
        map.automatic = false;
        map.fixed = {numbers[0], *scale, numbers[1]};
        return map;
    }
    if (numbers.size() != 5 || !(numbers[0] > 0) || !(numbers[1] > 0) || numbers[2] < numbers[0] || !(numbers[3] > 0))
        return std::nullopt;
    map.shallow = {numbers[0], numbers[1]};
    map.deep = {numbers[2], numbers[3]};
    map.offset = numbers[4];
    return map;
}

}  // namespace mandel
