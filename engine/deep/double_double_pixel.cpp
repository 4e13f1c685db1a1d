#include "deep/double_double_pixel.h"

#include <cmath>

#include "deep/error_bound.h"
#include "deep/mpfr_value.h"
#include "deep/perturbation.h"

namespace mandel {

namespace {

// hi + lo with |lo| ≤ half an ulp of hi. Error-free transformations of
// Knuth and Dekker, no fused multiply-add.
struct DoubleDouble {
    double hi = 0;
    double lo = 0;
};

DoubleDouble twoSum(double a, double b)
{
    const double s = a + b;
    const double bb = s - a;
    return {s, (a - (s - bb)) + (b - bb)};
}

DoubleDouble quickTwoSum(double a, double b)
{
    const double s = a + b;
    return {s, b - (s - a)};
}

void split(double a, double& hi, double& lo)
{
    const double t = 134217729.0 * a;  // 2^27 + 1
    hi = t - (t - a);
    lo = a - hi;
}

DoubleDouble twoProduct(double a, double b)
{
    const double p = a * b;
    double ah, al, bh, bl;
    split(a, ah, al);
    split(b, bh, bl);
    return {p, ((ah * bh - p) + ah * bl + al * bh) + al * bl};
}

DoubleDouble operator+(const DoubleDouble& x, const DoubleDouble& y)
{
    const DoubleDouble s = twoSum(x.hi, y.hi);
    return quickTwoSum(s.hi, s.lo + (x.lo + y.lo));
}

DoubleDouble operator-(const DoubleDouble& x) { return {-x.hi, -x.lo}; }

DoubleDouble operator*(const DoubleDouble& x, const DoubleDouble& y)
{
    const DoubleDouble p = twoProduct(x.hi, y.hi);
    return quickTwoSum(p.hi, p.lo + (x.hi * y.lo + x.lo * y.hi));
}

DoubleDouble toDoubleDouble(mpfr_srcptr v)
{
    MpfrValue rest(mpfr_get_prec(v));
    const double hi = mpfr_get_d(v, MPFR_RNDN);
    mpfr_sub_d(rest.get(), v, hi, MPFR_RNDN);
    return {hi, mpfr_get_d(rest.get(), MPFR_RNDN)};
}

double magnitudeUp(const DoubleDouble& re, const DoubleDouble& im)
{
    // The low parts change the magnitude by at most 2^-52 of it; where the
    // squares underflow, |x| + |y| bounds it instead.
    const double squares = re.hi * re.hi + im.hi * im.hi;
    const double m = squares >= 0x1p-960 ? std::sqrt(squares) : std::fabs(re.hi) + std::fabs(im.hi);
    return m * (1 + 0x1p-49) + 0x1p-1070;
}

constexpr int kCoordinateBits = 200;
// Rounding of one step (five double-double operations, each within a few
// 2^-106 of its operands' sizes), relative to |z|² + |c|.
constexpr double kStepRounding = 0x1p-96;

}  // namespace

std::int64_t doubleDoubleCount(const DeepLocation& location, int span, int x, int y, const std::function<bool()>& stop,
                               std::int64_t& iterations)
{
    MpfrValue a(kCoordinateBits), b(kCoordinateBits), h(kCoordinateBits), cr(kCoordinateBits), ci(kCoordinateBits);
    setDecimal(a.get(), location.realMin);
    setDecimal(b.get(), location.imagMin);
    setDecimal(h.get(), location.side);
    mpfr_div_si(h.get(), h.get(), span, MPFR_RNDN);
    mpfr_mul_si(cr.get(), h.get(), x, MPFR_RNDN);
    mpfr_add(cr.get(), cr.get(), a.get(), MPFR_RNDN);
    mpfr_mul_si(ci.get(), h.get(), y, MPFR_RNDN);
    mpfr_add(ci.get(), ci.get(), b.get(), MPFR_RNDN);
    const DoubleDouble c_re = toDoubleDouble(cr.get()), c_im = toDoubleDouble(ci.get());
    const double cAbs = magnitudeUp(c_re, c_im);
    // MPFR's rounding of the coordinates (far below) and the rounding to
    // double-double (2^-106 of each part).
    const double inputs = std::fabs(mpfr_get_d(a.get(), MPFR_RNDN)) + std::fabs(mpfr_get_d(b.get(), MPFR_RNDN)) +
                          (x + y + 2) * std::fabs(mpfr_get_d(h.get(), MPFR_RNDN));
    const double cErr = roundUp(0x1p-103 * (cAbs + inputs) + 0x1p-1000);
    DoubleDouble zr = c_re, zi = c_im;
    double e = cErr;
    for (std::int64_t i = 1;; ++i) {
        const double zAbs = magnitudeUp(zr, zi);
        const EscapeTest test = escapeTest(zAbs, e);
        if (test == EscapeTest::Escaped) return i;
        if (test == EscapeTest::Undecided) return kUndecidedCount;
        if (i == location.limit) return location.limit;
        if (i % kPollInterval == 0 && stop()) return kCancelledCount;
        const DoubleDouble sr = zr * zr, si = zi * zi, t = zr * zi;
        zr = (sr + -si) + c_re;
        zi = (t + t) + c_im;
        e = roundUp(e * (2 * zAbs + e) + cErr + kStepRounding * (zAbs * zAbs + cAbs));
        ++iterations;
    }
}

}  // namespace mandel
