#include "explore/mpfr_complex.h"

#include <cmath>
#include <limits>
#include <vector>

namespace mandel {

void multiply(MpfrComplex& out, const MpfrComplex& x, const MpfrComplex& y, MpfrScratch& s) {
    mpfr_mul(s.a.get(), x.re.get(), y.re.get(), MPFR_RNDN);
    mpfr_mul(s.b.get(), x.im.get(), y.im.get(), MPFR_RNDN);
    mpfr_mul(s.c.get(), x.re.get(), y.im.get(), MPFR_RNDN);
    mpfr_mul(s.d.get(), x.im.get(), y.re.get(), MPFR_RNDN);
    mpfr_sub(out.re.get(), s.a.get(), s.b.get(), MPFR_RNDN);
    mpfr_add(out.im.get(), s.c.get(), s.d.get(), MPFR_RNDN);
}

void divide(MpfrComplex& out, const MpfrComplex& x, const MpfrComplex& y, MpfrScratch& s) {
    MpfrValue norm(out.bits());
    normSquared(norm.get(), y, s);
    // x · conj(y) / |y|²
    mpfr_mul(s.a.get(), x.re.get(), y.re.get(), MPFR_RNDN);
    mpfr_mul(s.b.get(), x.im.get(), y.im.get(), MPFR_RNDN);
    mpfr_mul(s.c.get(), x.im.get(), y.re.get(), MPFR_RNDN);
    mpfr_mul(s.d.get(), x.re.get(), y.im.get(), MPFR_RNDN);
    mpfr_add(out.re.get(), s.a.get(), s.b.get(), MPFR_RNDN);
    mpfr_sub(out.im.get(), s.c.get(), s.d.get(), MPFR_RNDN);
    mpfr_div(out.re.get(), out.re.get(), norm.get(), MPFR_RNDN);
    mpfr_div(out.im.get(), out.im.get(), norm.get(), MPFR_RNDN);
}

void add(MpfrComplex& out, const MpfrComplex& x, const MpfrComplex& y) {
    mpfr_add(out.re.get(), x.re.get(), y.re.get(), MPFR_RNDN);
    mpfr_add(out.im.get(), x.im.get(), y.im.get(), MPFR_RNDN);
}

void subtract(MpfrComplex& out, const MpfrComplex& x, const MpfrComplex& y) {
    mpfr_sub(out.re.get(), x.re.get(), y.re.get(), MPFR_RNDN);
    mpfr_sub(out.im.get(), x.im.get(), y.im.get(), MPFR_RNDN);
}

void squareAdd(MpfrComplex& z, const MpfrComplex& c, MpfrScratch& s) {
    mandel::squareAdd(z.re, z.im, c.re.get(), c.im.get(), s.a, s.b, s.c);
}

void normSquared(mpfr_ptr out, const MpfrComplex& x, MpfrScratch& s) {
    mpfr_sqr(s.a.get(), x.re.get(), MPFR_RNDN);
    mpfr_sqr(s.b.get(), x.im.get(), MPFR_RNDN);
    mpfr_add(out, s.a.get(), s.b.get(), MPFR_RNDN);
}

double log2Magnitude(const MpfrComplex& x, MpfrScratch& s) {
    normSquared(s.d.get(), x, s);
    if (mpfr_zero_p(s.d.get())) return -std::numeric_limits<double>::infinity();
    long exponent = 0;
    const double mantissa = mpfr_get_d_2exp(&exponent, s.d.get(), MPFR_RNDN);
    return (std::log2(mantissa) + static_cast<double>(exponent)) / 2;
}

void setDecimals(MpfrComplex& c, const std::string& re, const std::string& im) {
    setDecimal(c.re.get(), re);
    setDecimal(c.im.get(), im);
}

std::string significantText(mpfr_srcptr x, int digits) {
    if (mpfr_zero_p(x)) return "0";
    std::vector<char> text(static_cast<std::size_t>(digits) + 64);
    mpfr_snprintf(text.data(), text.size(), "%.*Re", digits - 1, x);
    return text.data();
}

}  // namespace mandel
