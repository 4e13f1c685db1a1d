#include "deep/pixel_point.h"

namespace mandel {

bool pixelPoint(const DeepLocation& location, int span, int x, int y, MpfrValue& re, MpfrValue& im,
                mpfr_rnd_t rounding) {
    const mpfr_prec_t bits = mpfr_get_prec(re.get());
    MpfrValue h(bits), t(bits);
    int inexact = setDecimal(h.get(), location.side, rounding);
    inexact |= mpfr_div_si(h.get(), h.get(), span, rounding);
    inexact |= mpfr_mul_si(re.get(), h.get(), x, rounding);
    inexact |= setDecimal(t.get(), location.realMin, rounding);
    inexact |= mpfr_add(re.get(), re.get(), t.get(), rounding);
    inexact |= mpfr_mul_si(im.get(), h.get(), y, rounding);
    inexact |= setDecimal(t.get(), location.imagMin, rounding);
    inexact |= mpfr_add(im.get(), im.get(), t.get(), rounding);
    return inexact == 0;
}

namespace {

// |z̃|² rounded in the direction given, from squares computed exactly.
void squaredMagnitude(mpfr_srcptr zr, mpfr_srcptr zi, mpfr_rnd_t rounding, MpfrValue& out) {
    const mpfr_prec_t exactBits = 2 * std::max(mpfr_get_prec(zr), mpfr_get_prec(zi)) + 2;
    MpfrValue r(exactBits), i(exactBits);
    mpfr_sqr(r.get(), zr, MPFR_RNDN);  // exact at twice the bits
    mpfr_sqr(i.get(), zi, MPFR_RNDN);
    mpfr_add(out.get(), r.get(), i.get(), rounding);
}

}  // namespace

EscapeTest exactEscapeTest(mpfr_srcptr zr, mpfr_srcptr zi, const ExtReal& e) {
    const ExtReal r = toExtReal(zr), i = toExtReal(zi);
    return exactEscapeTest(zr, zi, sqrt(r * r + i * i), e);
}

EscapeTest exactEscapeTest(mpfr_srcptr zr, mpfr_srcptr zi, const ExtReal& magnitude, const ExtReal& e) {
    const EscapeTest quick = escapeTest(magnitude, e);
    if (quick != EscapeTest::Undecided) return quick;
    // Here |z̃| is within a relative 2^-45 of 2 plus e: e is small, or
    // nothing can be decided.
    if (!(e < ExtReal(1.0))) return EscapeTest::Undecided;
    const mpfr_prec_t bits = 2 * std::max(mpfr_get_prec(zr), mpfr_get_prec(zi)) + 2;
    MpfrValue bound(bits), edge(bits), squares(bits);
    setExtReal(bound.get(), e);
    // Escaped when |z̃| − e > 2, that is |z̃|² > (2 + e)².
    mpfr_add_ui(edge.get(), bound.get(), 2, MPFR_RNDU);
    mpfr_sqr(edge.get(), edge.get(), MPFR_RNDU);
    squaredMagnitude(zr, zi, MPFR_RNDD, squares);
    if (mpfr_greater_p(squares.get(), edge.get())) return EscapeTest::Escaped;
    // Stays when |z̃| + e ≤ 2, that is |z̃|² ≤ (2 − e)².
    mpfr_ui_sub(edge.get(), 2, bound.get(), MPFR_RNDD);
    mpfr_sqr(edge.get(), edge.get(), MPFR_RNDD);
    squaredMagnitude(zr, zi, MPFR_RNDU, squares);
    if (mpfr_lessequal_p(squares.get(), edge.get())) return EscapeTest::Stays;
    return EscapeTest::Undecided;
}

}  // namespace mandel
