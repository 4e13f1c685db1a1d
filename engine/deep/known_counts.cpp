#include "deep/known_counts.h"

#include <gmp.h>

#include <algorithm>
#include <cmath>

#include "deep/decimal_value.h"
#include "deep/mpfr_value.h"

namespace mandel {

namespace {

// The lower bound of v² over the interval [low, high], rounded downward, in
// double: the square's rounding and the conversion's are within 2^-50 of it
// (or 2^-1074 where it underflows), and a square beyond double's range is
// infinite.
double lowerSquare(mpfr_srcptr low, mpfr_srcptr high) {
    if (mpfr_sgn(low) <= 0 && mpfr_sgn(high) >= 0) return 0;
    mpfr_srcptr nearer = mpfr_sgn(low) > 0 ? low : high;
    long exponent = 0;
    const double mantissa = std::fabs(mpfr_get_d_2exp(&exponent, nearer, MPFR_RNDZ));
    const ExtReal magnitude(mantissa, exponent);
    const double square = (magnitude * magnitude * ExtReal(1 - 0x1p-50)).toDouble();
    return std::max(square - 0x1p-1074, 0.0);
}

}  // namespace

bool exactlyZero(const std::string& b, const std::string& s, int m, int y) {
    DecimalValue bv, sv;
    readDecimal(b, bv);
    readDecimal(s, sv);
    if (mpz_sgn(bv.digits) == 0) return y == 0 || mpz_sgn(sv.digits) == 0;
    if (y == 0) return false;
    // b·m + y·s = 0 with b = B·10^p and s = S·10^q: B·m·10^(p−r) = −y·S·10^(q−r),
    // r = min(p, q). The two sides' sizes differ by at least 10^(|p − q| − digits
    // − 10) (m and y below 10^5), so a large gap means not equal.
    const std::int64_t gap = bv.exponent - sv.exponent;
    const auto most = static_cast<std::int64_t>(std::max(bv.length, sv.length)) + 12;
    if (gap > most || gap < -most) return false;
    mpz_t left, right;
    mpz_inits(left, right, nullptr);
    mpz_ui_pow_ui(left, 10, static_cast<unsigned long>(std::max<std::int64_t>(gap, 0)));
    mpz_mul(left, left, bv.digits);
    mpz_mul_si(left, left, m);
    mpz_ui_pow_ui(right, 10, static_cast<unsigned long>(std::max<std::int64_t>(-gap, 0)));
    mpz_mul(right, right, sv.digits);
    mpz_mul_si(right, right, -y);
    const bool zero = mpz_cmp(left, right) == 0;
    mpz_clears(left, right, nullptr);
    return zero;
}

namespace {

// Encloses a + k·h, h = s/m, for k = 0, 1, ...: the texts are read once in
// each direction of rounding.
class AxisEnclosure {
public:
    AxisEnclosure(const std::string& start, const std::string& side, int span, int bits)
        : low_(bits), high_(bits), stepLow_(bits), stepHigh_(bits), startLow_(bits), startHigh_(bits) {
        int inexact = setDecimal(stepLow_.get(), side, MPFR_RNDD);
        inexact |= mpfr_div_si(stepLow_.get(), stepLow_.get(), span, MPFR_RNDD);
        setDecimal(stepHigh_.get(), side, MPFR_RNDU);
        mpfr_div_si(stepHigh_.get(), stepHigh_.get(), span, MPFR_RNDU);
        inexact |= setDecimal(startLow_.get(), start, MPFR_RNDD);
        setDecimal(startHigh_.get(), start, MPFR_RNDU);
        exactInputs_ = inexact == 0;
    }
    // Sets low() and high() for k; true when both are the exact value.
    bool at(int k) {
        int inexact = mpfr_mul_si(low_.get(), stepLow_.get(), k, MPFR_RNDD);
        inexact |= mpfr_add(low_.get(), low_.get(), startLow_.get(), MPFR_RNDD);
        mpfr_mul_si(high_.get(), stepHigh_.get(), k, MPFR_RNDU);
        mpfr_add(high_.get(), high_.get(), startHigh_.get(), MPFR_RNDU);
        return exactInputs_ && inexact == 0;
    }
    mpfr_srcptr low() const { return low_.get(); }
    mpfr_srcptr high() const { return high_.get(); }

private:
    MpfrValue low_, high_, stepLow_, stepHigh_, startLow_, startHigh_;
    bool exactInputs_ = false;
};

// The middle of [low, high] in double and a half width covering the interval
// and the rounding of the middle.
void middle(mpfr_srcptr low, mpfr_srcptr high, double& mid, double& radius) {
    const double lo = mpfr_get_d(low, MPFR_RNDD), hi = mpfr_get_d(high, MPFR_RNDU);
    mid = lo / 2 + hi / 2;
    radius = std::fmax(hi - mid, mid - lo) * (1 + 0x1p-50) + 0x1p-1074;
}

}  // namespace

bool insideBulbs(double re, double reRadius, double im, double imRadius) {
    // In |Re c|, |Im c| < 3 the two tests' functions change by at most kSlope
    // per unit of distance (the cardioid's gradient stays below 400 there);
    // their terms, below 500, round by far less than kMargin.
    constexpr double kSlope = 512;
    constexpr double kMargin = 0x1p-36;
    if (!(std::fabs(re) < 3 && std::fabs(im) < 3)) return false;
    const double radius = reRadius + imRadius;  // at least the distance to any point of the box
    const double shift = kSlope * radius + kMargin;
    // |c + 1|² < 1/16
    const double bulb = (re + 1) * (re + 1) + im * im - 0.0625;
    if (bulb < -shift) return true;
    // q·(q + x − 1/4) < y²/4, q = (x − 1/4)² + y²
    const double x = re - 0.25;
    const double q = x * x + im * im;
    return q * (q + x) - im * im / 4 < -shift;
}

bool boxMayMeetBulbs(double reLow, double reHigh, double imLow, double imHigh) {
    // Both tests' functions, f(centre + d) ≥ f(centre) − |∇f|·|d| − (H/2)·|d|²
    // with the functions' second derivatives below H = 512 in |Re c|,
    // |Im c| < 4; the box is clear of a region where f is positive there.
    constexpr double kHalfSecondDerivative = 256;
    if (!(reLow > -4 && reHigh < 4 && imLow > -4 && imHigh < 4)) return true;
    const double re = (reLow + reHigh) / 2, im = (imLow + imHigh) / 2;
    const double reach = std::hypot(reHigh - reLow, imHigh - imLow) * (1 + 0x1p-20) / 2;
    const auto clear = [reach](double value, double gradientRe, double gradientIm) {
        const double fall = std::hypot(gradientRe, gradientIm) * reach + kHalfSecondDerivative * reach * reach;
        return value > fall * (1 + 0x1p-20) + 0x1p-40;
    };
    // |c + 1|² − 1/16
    const bool clearOfDisk = clear((re + 1) * (re + 1) + im * im - 0.0625, 2 * (re + 1), 2 * im);
    // q·(q + x) − y²/4, q = x² + y², x = Re c − 1/4
    const double x = re - 0.25, q = x * x + im * im;
    const double cardioid = q * (q + x) - im * im / 4;
    const bool clearOfCardioid = clear(cardioid, 4 * q * x + 2 * x * x + q, 4 * q * im + 2 * x * im - im / 2);
    return !(clearOfDisk && clearOfCardioid);
}

KnownCounts::KnownCounts(const DeepView& view, int bits)
    : limit_(view.location.limit),
      reLowSquare_(static_cast<std::size_t>(view.width)),
      imLowSquare_(static_cast<std::size_t>(view.height)),
      realInSet_(static_cast<std::size_t>(view.width)),
      realAxis_(static_cast<std::size_t>(view.height)),
      reMid_(realInSet_.size()),
      reRadius_(realInSet_.size()),
      imMid_(realAxis_.size()),
      imRadius_(realAxis_.size()) {
    const DeepLocation& where = view.location;
    const int span = std::min(view.width, view.height);
    AxisEnclosure re(where.realMin, where.side, span, bits), im(where.imagMin, where.side, span, bits);
    for (int x = 0; x < view.width; ++x) {
        re.at(x);
        const auto ix = static_cast<std::size_t>(x);
        reLowSquare_[ix] = lowerSquare(re.low(), re.high());
        realInSet_[ix] = mpfr_cmp_si(re.low(), -2) >= 0 && mpfr_cmp_d(re.high(), 0.25) <= 0;
        middle(re.low(), re.high(), reMid_[ix], reRadius_[ix]);
    }
    for (int y = 0; y < view.height; ++y) {
        const bool exact = im.at(y);
        const auto iy = static_cast<std::size_t>(y);
        imLowSquare_[iy] = lowerSquare(im.low(), im.high());
        middle(im.low(), im.high(), imMid_[iy], imRadius_[iy]);
        const bool enclosesZero = mpfr_sgn(im.low()) <= 0 && mpfr_sgn(im.high()) >= 0;
        realAxis_[iy] =
            enclosesZero && (exact ? mpfr_zero_p(im.low()) != 0 : exactlyZero(where.imagMin, where.side, span, y));
    }
    const auto [reFirst, reLast] = std::minmax(reMid_.front(), reMid_.back());
    const auto [imFirst, imLast] = std::minmax(imMid_.front(), imMid_.back());
    const double reRadius = std::max(reRadius_.front(), reRadius_.back());
    const double imRadius = std::max(imRadius_.front(), imRadius_.back());
    highestReSquare_ = *std::max_element(reLowSquare_.begin(), reLowSquare_.end());
    nearBulbs_ = boxMayMeetBulbs(reFirst - reRadius, reLast + reRadius, imFirst - imRadius, imLast + imRadius);
    all_ = true;
    for (int y = 0; y < view.height && all_; ++y)
        for (int x = 0; x < view.width && all_; ++x) all_ = count(x, y) != 0;
}

}  // namespace mandel
