#pragma once

// A real number with a double mantissa and a separate exponent, for pixel
// offsets and error bounds far below double's range (sides below 1e-290).
// Value = mantissa · 2^exponent, mantissa in [0.5, 1) in magnitude, or 0.
// Each operation rounds its mantissa once, like a double operation (relative
// error at most 2^-53), and never underflows or overflows.

#include <bit>
#include <cmath>
#include <cstdint>

namespace mandel {

struct ExtReal {
    static constexpr std::int64_t kZeroExponent = INT64_MIN / 4;
    // Products saturate at this exponent, so that a bound that grows without
    // end (an escaping orbit's) stays huge instead of wrapping around to a
    // tiny value; two exponents within it always add without overflow.
    static constexpr std::int64_t kExponentLimit = INT64_MAX / 8;
    double mantissa = 0;
    std::int64_t exponent = kZeroExponent;

    ExtReal() = default;
    // The exact value m · 2^e, renormalised.
    ExtReal(double m, std::int64_t e) { set(m, e); }
    explicit ExtReal(double v) { set(v, 0); }

    [[gnu::always_inline]] void set(double m, std::int64_t e) {
        // Normal doubles: move the exponent field to that of [0.5, 1) (exact).
        const std::uint64_t bits = std::bit_cast<std::uint64_t>(m);
        const int field = static_cast<int>((bits >> 52) & 0x7ff);
        if (field == 0 || field == 0x7ff) [[unlikely]] {
            setSpecial(m, e);
            return;
        }
        mantissa = std::bit_cast<double>((bits & ~(std::uint64_t{0x7ff} << 52)) | (std::uint64_t{1022} << 52));
        exponent = e + field - 1022;
    }
    // 0, subnormal, infinite or NaN m (kept apart so that set inlines).
    void setSpecial(double m, std::int64_t e) {
        if (m == 0) {
            mantissa = 0;
            exponent = kZeroExponent;
            return;
        }
        int k = 0;
        mantissa = std::frexp(m, &k);
        exponent = e + k;
    }
    bool isZero() const { return mantissa == 0; }
    // The value exactly, for a nonzero value whose exponent lies from -1021
    // to 1024 (a normal double): the mantissa's exponent field moved.
    double normalToDouble() const {
        return std::bit_cast<double>(std::bit_cast<std::uint64_t>(mantissa) +
                                     (static_cast<std::uint64_t>(exponent) << 52));
    }
    // Nearest double; 0 or infinity outside double's range.
    double toDouble() const {
        if (exponent < -1100) return 0.0 * mantissa;
        if (exponent > 1100) return mantissa * HUGE_VAL;
        // A normal result: its exponent field set directly (what ldexp gives,
        // without the call); subnormal results round in ldexp.
        const std::int64_t field = 1022 + exponent;
        const std::uint64_t bits = std::bit_cast<std::uint64_t>(mantissa);
        if (((bits >> 52) & 0x7ff) == 1022 && field >= 1 && field <= 2046)  // a finite mantissa in [0.5, 1)
            return normalToDouble();
        return std::ldexp(mantissa, static_cast<int>(exponent));
    }
};

inline ExtReal operator*(const ExtReal& a, const ExtReal& b) {
    if (a.isZero() || b.isZero()) return {};
    ExtReal r;
    r.mantissa = a.mantissa * b.mantissa;  // magnitude in [0.25, 1): exact renormalisation below
    r.exponent = a.exponent + b.exponent;
    if (r.exponent > ExtReal::kExponentLimit) r.exponent = ExtReal::kExponentLimit;
    if (r.exponent < -ExtReal::kExponentLimit) return {};  // far below anything a drawing compares
    if (std::fabs(r.mantissa) < 0.5) {
        r.mantissa *= 2;
        r.exponent -= 1;
    }
    return r;
}

inline ExtReal operator-(const ExtReal& a) {
    ExtReal r = a;
    r.mantissa = -r.mantissa;
    return r;
}

inline ExtReal operator+(const ExtReal& a, const ExtReal& b) {
    if (a.isZero()) return b;
    if (b.isZero()) return a;
    // Beyond this gap the smaller one is below half an ulp of the larger.
    constexpr std::int64_t kNegligibleGap = 60;
    const std::int64_t gap = a.exponent - b.exponent;
    if (gap > kNegligibleGap) return a;
    if (gap < -kNegligibleGap) return b;
    // 2^-gap as a double (exact: gap ≤ 60), so the alignment is one exact product.
    const auto scale = [](std::int64_t down) {
        return std::bit_cast<double>(static_cast<std::uint64_t>(1023 - down) << 52);
    };
    if (gap >= 0) return ExtReal(a.mantissa + b.mantissa * scale(gap), a.exponent);
    return ExtReal(a.mantissa * scale(-gap) + b.mantissa, b.exponent);
}

inline ExtReal operator-(const ExtReal& a, const ExtReal& b) { return a + (-b); }

inline ExtReal abs(const ExtReal& a) {
    ExtReal r = a;
    r.mantissa = std::fabs(r.mantissa);
    return r;
}

inline ExtReal sqrt(const ExtReal& a) {
    if (a.isZero()) return {};
    // Make the exponent even so that it halves exactly.
    const std::int64_t odd = a.exponent & 1;
    return ExtReal(std::sqrt(odd ? a.mantissa * 2 : a.mantissa), (a.exponent - odd) / 2);
}

// The same names for double, so that code written for both types finds them.
inline double sqrt(double a) { return std::sqrt(a); }
inline double abs(double a) { return std::fabs(a); }

// a < b for values of any sign.
inline bool operator<(const ExtReal& a, const ExtReal& b) {
    if (a.mantissa <= 0 && b.mantissa >= 0) return !(a.isZero() && b.isZero());
    if (a.mantissa >= 0 && b.mantissa <= 0) return false;
    const bool positive = a.mantissa > 0;
    if (a.exponent != b.exponent) return positive ? a.exponent < b.exponent : a.exponent > b.exponent;
    return a.mantissa < b.mantissa;
}
inline bool operator>(const ExtReal& a, const ExtReal& b) { return b < a; }
inline bool operator<=(const ExtReal& a, const ExtReal& b) { return !(b < a); }

}  // namespace mandel
