#pragma once

// Complex numbers in MPFR at one precision, for the explorer's searches
// (interior check, Misiurewicz points): the few operations Newton's method on
// the iteration z ← z² + c needs, each rounded to nearest.

#include <mpfr.h>

#include <string>

#include "deep/mpfr_value.h"

namespace mandel {

struct MpfrComplex {
    MpfrValue re;
    MpfrValue im;

    explicit MpfrComplex(mpfr_prec_t bits) : re(bits), im(bits) {
        mpfr_set_zero(re.get(), 1);
        mpfr_set_zero(im.get(), 1);
    }
    MpfrComplex(const MpfrComplex& other) = default;
    MpfrComplex& operator=(const MpfrComplex& other) {
        mpfr_set(re.get(), other.re.get(), MPFR_RNDN);
        mpfr_set(im.get(), other.im.get(), MPFR_RNDN);
        return *this;
    }
    mpfr_prec_t bits() const { return mpfr_get_prec(re.get()); }
    void setZero() {
        mpfr_set_zero(re.get(), 1);
        mpfr_set_zero(im.get(), 1);
    }
};

// The scratch numbers the operations below share, so that loops allocate nothing.
struct MpfrScratch {
    MpfrValue a, b, c, d;
    explicit MpfrScratch(mpfr_prec_t bits) : a(bits), b(bits), c(bits), d(bits) {}
};

// out = x · y (out may be x or y).
void multiply(MpfrComplex& out, const MpfrComplex& x, const MpfrComplex& y, MpfrScratch& s);
// out = x / y, y != 0 (out may be x or y).
void divide(MpfrComplex& out, const MpfrComplex& x, const MpfrComplex& y, MpfrScratch& s);
void add(MpfrComplex& out, const MpfrComplex& x, const MpfrComplex& y);
void subtract(MpfrComplex& out, const MpfrComplex& x, const MpfrComplex& y);
// z ← z² + c.
void squareAdd(MpfrComplex& z, const MpfrComplex& c, MpfrScratch& s);
// |x|² into out (out has its own precision).
void normSquared(mpfr_ptr out, const MpfrComplex& x, MpfrScratch& s);
// log2 |x| (−inf for 0), accurate to a few units in the last place of a double.
double log2Magnitude(const MpfrComplex& x, MpfrScratch& s);
// Reads decimal texts (checked beforehand) into c, rounded to nearest.
void setDecimals(MpfrComplex& c, const std::string& re, const std::string& im);
// The value as decimal texts with `digits` significant digits ("-1.25e-3").
std::string significantText(mpfr_srcptr x, int digits);

}  // namespace mandel
