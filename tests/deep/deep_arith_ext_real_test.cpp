// The extended-range number: every operation within one rounding (2^-53
// relative) of the exact result at any exponent, renormalised, ordered.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "deep/ext_real.h"
#include "deep/mpfr_value.h"

namespace {

using mandel::ExtReal;
using mandel::MpfrValue;

// |got − exact| ≤ 2^-52 |exact|, with exact in MPFR.
void expectWithinRounding(const ExtReal& got, mpfr_srcptr exact) {
    MpfrValue g(200), d(200);
    mpfr_set_d(g.get(), got.mantissa, MPFR_RNDN);
    mpfr_mul_2si(g.get(), g.get(), got.exponent, MPFR_RNDN);
    mpfr_sub(d.get(), g.get(), exact, MPFR_RNDN);
    mpfr_abs(d.get(), d.get(), MPFR_RNDN);
    MpfrValue limit(200);
    mpfr_abs(limit.get(), exact, MPFR_RNDN);
    mpfr_mul_2si(limit.get(), limit.get(), -52, MPFR_RNDN);
    EXPECT_LE(mpfr_cmp(d.get(), limit.get()), 0) << "mantissa " << got.mantissa << " exponent " << got.exponent;
    if (!got.isZero()) {
        EXPECT_GE(std::fabs(got.mantissa), 0.5);
        EXPECT_LT(std::fabs(got.mantissa), 1.0);
    }
}

void setExact(mpfr_ptr x, const ExtReal& v) {
    mpfr_set_d(x, v.mantissa, MPFR_RNDN);
    mpfr_mul_2si(x, x, v.isZero() ? 0 : v.exponent, MPFR_RNDN);
}

TEST(DeepArithExtReal, OperationsRoundOnceAtAnyExponent) {
    const double mantissas[] = {0.7, -0.9999999999999999, 0.5, -0.61803398874989};
    const std::int64_t exponents[] = {-5000, -1100, -60, 0, 3, 1200};
    for (double ma : mantissas)
        for (std::int64_t ea : exponents)
            for (double mb : mantissas)
                for (std::int64_t eb : exponents) {
                    const ExtReal a(ma, ea), b(mb, eb);
                    MpfrValue xa(200), xb(200), r(400);
                    setExact(xa.get(), a);
                    setExact(xb.get(), b);
                    mpfr_mul(r.get(), xa.get(), xb.get(), MPFR_RNDN);
                    expectWithinRounding(a * b, r.get());
                    mpfr_add(r.get(), xa.get(), xb.get(), MPFR_RNDN);
                    if (!mpfr_zero_p(r.get())) expectWithinRounding(a + b, r.get());
                    mpfr_sub(r.get(), xa.get(), xb.get(), MPFR_RNDN);
                    if (!mpfr_zero_p(r.get())) expectWithinRounding(a - b, r.get());
                    EXPECT_EQ(a < b, mpfr_less_p(xa.get(), xb.get()) != 0);
                }
}

TEST(DeepArithExtReal, CancellationSquareRootAndDoubleRange) {
    const ExtReal a(0.75, -3000);
    EXPECT_TRUE((a - a).isZero());
    EXPECT_FALSE(ExtReal{} < ExtReal{});
    EXPECT_TRUE(ExtReal{} < a);
    EXPECT_TRUE(-a < ExtReal{});
    // sqrt halves odd and even exponents exactly.
    for (std::int64_t e : {-2001, -2000, 7}) {
        const ExtReal r = sqrt(ExtReal(0.5, e));
        MpfrValue x(200);
        mpfr_set_d(x.get(), 0.5, MPFR_RNDN);
        mpfr_mul_2si(x.get(), x.get(), e, MPFR_RNDN);
        mpfr_sqrt(x.get(), x.get(), MPFR_RNDN);
        expectWithinRounding(r, x.get());
    }
    EXPECT_EQ(ExtReal(1e-300).toDouble(), 1e-300);
    EXPECT_EQ(ExtReal(0.5, -1073).toDouble(), std::numeric_limits<double>::denorm_min());
    EXPECT_EQ(ExtReal(0.5, -3000).toDouble(), 0.0);
    EXPECT_TRUE(std::isinf(ExtReal(0.5, 3000).toDouble()));
    // From MPFR beyond double's range.
    MpfrValue tiny(100);
    mpfr_set_str(tiny.get(), "3e-700", 10, MPFR_RNDN);
    expectWithinRounding(mandel::toExtReal(tiny.get()), tiny.get());
}

// An escaping orbit's error bound squares itself again and again: it must stay
// huge (never wrap round to a tiny bound that would decide a test), and a
// bound far below everything becomes zero rather than wrapping to huge.
TEST(DeepArithExtReal, RepeatedSquaringSaturatesInsteadOfWrapping) {
    mandel::ExtReal huge(0.75, 1000);
    mandel::ExtReal tiny(0.75, -1000);
    for (int i = 0; i < 80; ++i) {
        huge = huge * huge;
        tiny = tiny * tiny;
    }
    EXPECT_GT(huge.exponent, std::int64_t{1} << 59);
    EXPECT_TRUE(mandel::ExtReal(1.0) < huge);
    EXPECT_TRUE(tiny.isZero());
}

}  // namespace
