#pragma once

// Double-double numbers: hi + lo with |lo| ≤ half an ulp of hi, about 106
// bits. Error-free transformations of Knuth and Dekker, no fused
// multiply-add. The sum and the product err by at most a few 2^-106 of their
// operands' magnitudes (plus a few 2^-1074 where low parts underflow).

#include <cmath>

#include <mpfr.h>

#include "deep/mpfr_value.h"
#include "deep/number_ladder.h"

namespace mandel {

struct DoubleDouble {
    double hi = 0;
    double lo = 0;
};

namespace dd_detail {

inline DoubleDouble twoSum(double a, double b) {
    const double s = a + b;
    const double bb = s - a;
    return {s, (a - (s - bb)) + (b - bb)};
}

inline DoubleDouble quickTwoSum(double a, double b) {
    const double s = a + b;
    return {s, b - (s - a)};
}

inline void split(double a, double& hi, double& lo) {
    const double t = 134217729.0 * a;  // 2^27 + 1
    hi = t - (t - a);
    lo = a - hi;
}

inline DoubleDouble twoProduct(double a, double b) {
    const double p = a * b;
    double ah, al, bh, bl;
    split(a, ah, al);
    split(b, bh, bl);
    return {p, ((ah * bh - p) + ah * bl + al * bh) + al * bl};
}

}  // namespace dd_detail

inline DoubleDouble operator+(const DoubleDouble& x, const DoubleDouble& y) {
    const DoubleDouble s = dd_detail::twoSum(x.hi, y.hi);
    return dd_detail::quickTwoSum(s.hi, s.lo + (x.lo + y.lo));
}

inline DoubleDouble operator-(const DoubleDouble& x) { return {-x.hi, -x.lo}; }

// 2x, exactly (both parts doubled; the pair stays normalised).
inline DoubleDouble twice(const DoubleDouble& x) { return {x.hi + x.hi, x.lo + x.lo}; }
inline DoubleDouble operator-(const DoubleDouble& x, const DoubleDouble& y) { return x + -y; }

inline DoubleDouble operator*(const DoubleDouble& x, const DoubleDouble& y) {
    const DoubleDouble p = dd_detail::twoProduct(x.hi, y.hi);
    return dd_detail::quickTwoSum(p.hi, p.lo + (x.hi * y.lo + x.lo * y.hi));
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
inline double magnitudeUp(const DoubleDouble& re, const DoubleDouble& im) {
    const double squares = re.hi * re.hi + im.hi * im.hi;
    const double m = squares >= kSquaresFloor ? std::sqrt(squares) : std::fabs(re.hi) + std::fabs(im.hi);
    return m * (1 + 0x1p-49) + 0x1p-1070;
}

}  // namespace mandel
