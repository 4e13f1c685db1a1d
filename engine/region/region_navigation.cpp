#include "region/region_navigation.h"

#include <algorithm>
#include <cmath>

#include "region/render_settings.h"

namespace mandel {

namespace {

// A read-out's text as the drawing parses it. The nearest float of a value
// with at most four decimals, times 10000, rounds back to that value's steps.
std::optional<double> parseNumber(const std::string& text) {
    try {
        return parseReadout(text);
    } catch (const ParseError&) {
        return std::nullopt;
    }
}

int toSteps(double planeValue, BarRange range) {
    const double steps = std::round(planeValue * kPositionsPerUnit);
    return static_cast<int>(std::clamp(steps, double(range.minimum), double(range.maximum)));
}

double toPlane(int steps) { return steps / kPositionsPerUnit; }

}  // namespace

std::optional<Region> regionFromReadouts(const std::string& real, const std::string& imag, const std::string& side,
                                         const std::string& limit) {
    const auto r = parseNumber(real);
    const auto i = parseNumber(imag);
    const auto s = parseNumber(side);
    const auto n = parseNumber(limit);
    if (!r || !i || !s || !n) return std::nullopt;
    const auto positions = [](double value) { return static_cast<int>(std::round(value * kPositionsPerUnit)); };
    return Region{positions(*r), positions(*i), positions(*s), static_cast<int>(std::round(*n))};
}

std::optional<Region> zoomToSquare(const Region& current, double left, double top, double width) {
    const double side = toPlane(current.side);
    const double newSide = width / kLogicalSize * side;
    if (std::round(newSide * kPositionsPerUnit) < kSideRange.minimum) return std::nullopt;
    Region next = current;
    next.real = toSteps(toPlane(current.real) + left / kLogicalSize * side, kRealRange);
    next.imag = toSteps(toPlane(current.imag) + top / kLogicalSize * side, kImagRange);
    next.side = toSteps(newSide, kSideRange);
    return next;
}

std::optional<Region> zoomAtPoint(const Region& current, double x, double y, bool zoomIn) {
    const double side = toPlane(current.side);
    const double newSide = zoomIn ? side / 2 : side * 2;
    Region next = current;
    next.side = toSteps(newSide, kSideRange);
    const double fittedSide = toPlane(next.side);
    // The plane point under the pointer stays under the pointer.
    const double pointReal = toPlane(current.real) + x / kLogicalSize * side;
    const double pointImag = toPlane(current.imag) + y / kLogicalSize * side;
    next.real = toSteps(pointReal - x / kLogicalSize * fittedSide, kRealRange);
    next.imag = toSteps(pointImag - y / kLogicalSize * fittedSide, kImagRange);
    if (next == current) return std::nullopt;
    return next;
}

void RegionHistory::recordDrawing(const Region& region) {
    if (!regions_.empty() && regions_.back() == region) return;
    regions_.push_back(region);
    if (regions_.size() > capacity_) regions_.erase(regions_.begin());
}

std::optional<Region> RegionHistory::back() {
    if (regions_.size() < 2) return std::nullopt;
    regions_.pop_back();
    return regions_.back();
}

}  // namespace mandel
