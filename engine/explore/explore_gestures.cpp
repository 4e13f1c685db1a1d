#include "explore/explore_gestures.h"

#include <mpfr.h>

#include <algorithm>

namespace mandel {
namespace {

// Digits of a fractional wheel step's scale, and the MPFR bits behind them.
constexpr int kWheelScaleDigits = 30;
constexpr mpfr_prec_t kWheelScaleBits = 160;

// The centre moved by offset2/2 pixels' worth of `span`/m. Only the move,
// the digits the gesture creates, is rounded onto the grid 10^q: the
// centre's own digits (typed, pasted or opened, however many) are kept.
Decimal movedCentre(const Decimal& centre, std::int64_t shorter, std::int64_t offset2, const Decimal& span,
                    std::int64_t q) {
    if (offset2 == 0) return centre;
    return centre + (Decimal(offset2) * span).dividedRounded(2 * shorter, q);
}

std::int64_t shorterEdge(PictureSize size) { return std::min(size.width, size.height); }

}  // namespace

Decimal wheelScale(std::int64_t units) {
    if (units % kWheelUnitsPerNotch == 0) {
        const std::int64_t notches = units / kWheelUnitsPerNotch;
        Decimal scale(1);
        // 1/2 = 5/10 exactly, so halving stays a finite decimal.
        const Decimal step = notches > 0 ? Decimal(5).timesPowerOfTen(-1) : Decimal(2);
        for (std::int64_t i = 0; i < (notches > 0 ? notches : -notches); ++i) scale = scale * step;
        return scale;
    }
    mpfr_t value;
    mpfr_init2(value, kWheelScaleBits);
    mpfr_set_si(value, static_cast<long>(-units), MPFR_RNDN);
    mpfr_div_si(value, value, kWheelUnitsPerNotch, MPFR_RNDN);
    mpfr_exp2(value, value, MPFR_RNDN);
    mpfr_exp_t exponent = 0;
    char* digits = mpfr_get_str(nullptr, &exponent, 10, kWheelScaleDigits, value, MPFR_RNDN);
    // digits is "d1d2…dn" meaning 0.d1d2…dn · 10^exponent.
    Decimal scale = Decimal::parse(digits).value().timesPowerOfTen(exponent - kWheelScaleDigits);
    mpfr_free_str(digits);
    mpfr_clear(value);
    return scale;
}

ExploreLocation zoomAboutPixel(const ExploreLocation& from, PictureSize size, int x, int y, std::int64_t units) {
    const Decimal exactSide = from.side * wheelScale(units);
    ExploreLocation to = from;
    to.side = exactSide.rounded(locationQuantumExponent(exactSide));
    const std::int64_t q = locationQuantumExponent(to.side);
    const std::int64_t shorter = shorterEdge(size);
    const Decimal shrink = from.side - to.side;
    to.centreReal = movedCentre(from.centreReal, shorter, 2 * std::int64_t{x} - size.width, shrink, q);
    to.centreImag = movedCentre(from.centreImag, shorter, 2 * std::int64_t{y} - size.height, shrink, q);
    return to;
}

ExploreLocation zoomAboutCentre(const ExploreLocation& from, std::int64_t units) {
    return zoomAboutPixel(from, {2, 2}, 1, 1, units);
}

ExploreLocation panByPixels(const ExploreLocation& from, PictureSize size, std::int64_t dx, std::int64_t dy) {
    ExploreLocation to = from;
    const std::int64_t q = locationQuantumExponent(from.side);
    const std::int64_t shorter = shorterEdge(size);
    to.centreReal = movedCentre(from.centreReal, shorter, 2 * dx, from.side, q);
    to.centreImag = movedCentre(from.centreImag, shorter, 2 * dy, from.side, q);
    return to;
}

ExploreLocation zoomToSquare(const ExploreLocation& from, PictureSize size, int x, int y, int pixels) {
    const std::int64_t shorter = shorterEdge(size);
    const Decimal scaled = from.side * Decimal(pixels);
    // The grid follows the new side's leading digit, found on a finer grid;
    // the side itself is then rounded once from the exact fraction.
    const Decimal estimate = scaled.dividedRounded(shorter, locationQuantumExponent(from.side) - kDigitsBelowSide);
    ExploreLocation to = from;
    to.side = scaled.dividedRounded(shorter, locationQuantumExponent(estimate));
    const std::int64_t q = locationQuantumExponent(to.side);
    to.centreReal = movedCentre(from.centreReal, shorter, 2 * std::int64_t{x} + pixels - size.width, from.side, q);
    to.centreImag = movedCentre(from.centreImag, shorter, 2 * std::int64_t{y} + pixels - size.height, from.side, q);
    return to;
}

ExploreHistory::ExploreHistory(ExploreLocation opening) { entries_.push_back(std::move(opening)); }

void ExploreHistory::visit(ExploreLocation location) {
    entries_.resize(index_ + 1);
    entries_.push_back(std::move(location));
    index_ = entries_.size() - 1;
}

bool ExploreHistory::back() {
    if (!canGoBack()) return false;
    --index_;
    return true;
}

bool ExploreHistory::forward() {
    if (!canGoForward()) return false;
    ++index_;
    return true;
}

void ExploreHistory::home() { visit(entries_.front()); }

}  // namespace mandel
