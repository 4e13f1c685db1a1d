#pragma once

// Exact decimal numbers of any length: an integer (GMP) times a power of ten.
// Sums, differences and products are exact; the one rounding operation is a
// division by an integer to a stated multiple of a power of ten, to nearest
// with ties to even. Values are kept normalised (no trailing zero digits in
// the integer), so equal values have equal representations.

#include <gmp.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace mandel {

class Decimal {
public:
    Decimal();  // zero
    explicit Decimal(std::int64_t value);
    Decimal(const Decimal& other);
    Decimal(Decimal&& other) noexcept;
    Decimal& operator=(Decimal other) noexcept;
    ~Decimal();

    // A text that decimalTextProblem (deep/deep_view.h) accepts: the one
    // grammar and exponent range of every decimal text the program reads. On a
    // bad text returns nothing and, when problem is given, says why, as
    // "\"TEXT\": has no digits in its exponent".
    static std::optional<Decimal> parse(std::string_view text, std::string* problem = nullptr);

    friend Decimal operator+(const Decimal& a, const Decimal& b);
    friend Decimal operator-(const Decimal& a, const Decimal& b);
    friend Decimal operator*(const Decimal& a, const Decimal& b);
    Decimal operator-() const;
    friend bool operator==(const Decimal& a, const Decimal& b) { return compare(a, b) == 0; }
    static int compare(const Decimal& a, const Decimal& b);  // <0, 0, >0

    int sign() const;
    // floor(log10 |x|), the power of ten of the leading digit; 0 for zero.
    std::int64_t leadingExponent() const;
    // this / divisor, rounded to the nearest multiple of 10^quantumExponent,
    // ties to the even multiple. divisor != 0.
    Decimal dividedRounded(std::int64_t divisor, std::int64_t quantumExponent) const;
    Decimal rounded(std::int64_t quantumExponent) const { return dividedRounded(1, quantumExponent); }
    Decimal timesPowerOfTen(std::int64_t exponent) const;

    // "-0.00125", "1250": every digit, no exponent.
    std::string plainText() const;
    // "-1.25e-3", "1.25e3", "0e0": every significant digit.
    std::string scientificText() const;

private:
    void normalise();
    mpz_t digits_;           // the integer
    std::int64_t exponent_;  // value = digits_ · 10^exponent_
};

}  // namespace mandel
