#include "colour/defined_math.h"

#include <bit>
#include <cstdint>
#include <cmath>
#include <cstddef>
#include <limits>

namespace mandel {

namespace {

// std::frexp(x, &exponent) for a positive finite x, by its bits where x is
// normal (the same m and exponent, without the call into the maths library).
double fractionAndExponent(double x, int& exponent) {
    const auto bits = std::bit_cast<std::uint64_t>(x);
    const auto biased = static_cast<int>((bits >> 52) & 0x7ff);
    if (biased == 0) return std::frexp(x, &exponent);
    exponent = biased - 1022;
    return std::bit_cast<double>((bits & ~(std::uint64_t{0x7ff} << 52)) | (std::uint64_t{1022} << 52));
}

}  // namespace

// x = m·2^e with m in [√½, √2); ln m = 2·atanh(s), s = (m − 1)/(m + 1),
// |s| ≤ 0.172, summed as 2s·(1 + s²/3 + s⁴/5 + …) to s¹⁶ (error below 1e-14).
double definedLn(double x) {
    if (std::isnan(x) || x < 0) return std::numeric_limits<double>::quiet_NaN();
    if (x == 0) return -std::numeric_limits<double>::infinity();
    if (std::isinf(x)) return x;
    int exponent = 0;
    double m = fractionAndExponent(x, exponent);
    if (m < kSqrtHalf) {
        m = m * 2;
        exponent -= 1;
    }
    const double s = (m - 1) / (m + 1);
    const double t = s * s;
    double series = kOddReciprocals[0];
    for (std::size_t j = 1; j < kOddReciprocals.size(); ++j) series = kOddReciprocals[j] + t * series;
    return static_cast<double>(exponent) * kLn2 + 2 * s * series;
}

double definedLog2(double x) { return definedLn(x) / kLn2; }

// y = k + f with f in [0, 1): 2^f = e^(f·ln 2) by its Taylor series to the
// 18th term (f·ln 2 < 0.7; error below 1e-16), then scaled by 2^k.
double definedExp2(double y) {
    if (std::isnan(y)) return y;
    if (y > 1100) return std::numeric_limits<double>::infinity();
    if (y < -1100) return 0;
    const double k = std::floor(y);
    const double u = (y - k) * kLn2;
    double sum = 1, term = 1;
    for (int n = 1; n <= 18; ++n) {
        term = term * u / n;
        sum = sum + term;
    }
    return std::ldexp(sum, static_cast<int>(k));
}

}  // namespace mandel
