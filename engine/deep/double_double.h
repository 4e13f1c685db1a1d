#pragma once

// Double-double numbers: hi + lo with |lo| ≤ half an ulp of hi, about 106
// bits. Knuth's error-free sum, and the product's exact error (productError).
// The sum and the product err by at most a few 2^-106 of their operands'
// magnitudes (plus a few 2^-1074 where low parts underflow).

#include <cmath>
#include <cstddef>

#include <mpfr.h>

#include "deep/always_inline.h"
#include "deep/mpfr_value.h"
#include "deep/number_ladder.h"
#include "deep/product_error.h"

namespace mandel {

struct DoubleDouble {
    double hi = 0;
    double lo = 0;
};

inline double negated(double x) { return -x; }

#include "deep/double_double_ops-inl.h"

inline DoubleDouble toPair(const DdParts<double>& p) { return {p.hi, p.lo}; }
inline DdParts<double> toParts(const DoubleDouble& x) { return {x.hi, x.lo}; }

inline DoubleDouble operator+(const DoubleDouble& x, const DoubleDouble& y) {
    return toPair(ddSum(toParts(x), toParts(y)));
}

inline DoubleDouble operator-(const DoubleDouble& x) { return {-x.hi, -x.lo}; }

// 2x, exactly (both parts doubled; the pair stays normalised).
inline DoubleDouble twice(const DoubleDouble& x) { return {x.hi + x.hi, x.lo + x.lo}; }
inline DoubleDouble operator-(const DoubleDouble& x, const DoubleDouble& y) { return x + -y; }

inline DoubleDouble operator*(const DoubleDouble& x, const DoubleDouble& y) {
    return toPair(ddProduct(toParts(x), toParts(y)));
}

// x into lane `lane` of two arrays of parts (a batch of SIMD lanes).
inline void storeParts(double* hi, double* lo, std::size_t lane, const DoubleDouble& x) {
    hi[lane] = x.hi;
    lo[lane] = x.lo;
}

// v rounded to double-double (hi the nearest double, lo the nearest double to
// the rest): within 2^-105 of |v|, plus 2^-1074 where lo underflows.
inline DoubleDouble toDoubleDouble(mpfr_srcptr v) {
    MpfrValue rest(mpfr_get_prec(v));
    const double hi = mpfr_get_d(v, MPFR_RNDN);
    mpfr_sub_d(rest.get(), v, hi, MPFR_RNDN);
    return {hi, mpfr_get_d(rest.get(), MPFR_RNDN)};
}

// An upper bound of |re + i·im| from the high parts: the low parts change it
// by at most 2^-52 of it; where the squares underflow, |x| + |y| bounds it.
// (The lanes take the same two constants.)
inline constexpr double kDdMagnitudeSlack = 1 + 0x1p-49;
inline constexpr double kDdMagnitudeFloor = 0x1p-1070;
inline double magnitudeUp(const DoubleDouble& re, const DoubleDouble& im) {
    const double squares = re.hi * re.hi + im.hi * im.hi;
    const double m = squares >= kSquaresFloor ? std::sqrt(squares) : std::fabs(re.hi) + std::fabs(im.hi);
    return m * kDdMagnitudeSlack + kDdMagnitudeFloor;
}

}  // namespace mandel
