// Finding near nuclei of smaller periods: Newton's method for a minibrot of
// period p, or for a Misiurewicz point of preperiod k and period p, may settle
// on a nucleus whose period divides p (by the seahorse valley, c = −1 of period
// 2). What is found is checked on its own orbit, in plain MPFR written here:
// a minibrot's nucleus returns to 0 first after its period, a Misiurewicz
// point's orbit never returns to 0.

#include <gtest/gtest.h>
#include <mpfr.h>

#include <cmath>
#include <optional>
#include <string>
#include <vector>

#include "explore/find_and_go.h"

namespace mandel {
namespace {

constexpr mpfr_prec_t kBits = 1024;

// log2 |z_n| for n = 0 .. last of the critical orbit of c (decimal texts).
std::vector<double> log2Orbit(const std::string& re, const std::string& im, std::int64_t last) {
    mpfr_t cr, ci, zr, zi, r2, i2, t;
    mpfr_inits2(kBits, cr, ci, zr, zi, r2, i2, t, static_cast<mpfr_ptr>(nullptr));
    mpfr_set_str(cr, re.c_str(), 10, MPFR_RNDN);
    mpfr_set_str(ci, im.c_str(), 10, MPFR_RNDN);
    mpfr_set_zero(zr, 1);
    mpfr_set_zero(zi, 1);
    std::vector<double> sizes{-INFINITY};
    for (std::int64_t n = 1; n <= last; ++n) {
        // z ← z² + c
        mpfr_sqr(r2, zr, MPFR_RNDN);
        mpfr_sqr(i2, zi, MPFR_RNDN);
        mpfr_mul(t, zr, zi, MPFR_RNDN);
        mpfr_sub(zr, r2, i2, MPFR_RNDN);
        mpfr_add(zr, zr, cr, MPFR_RNDN);
        mpfr_mul_2ui(zi, t, 1, MPFR_RNDN);
        mpfr_add(zi, zi, ci, MPFR_RNDN);
        mpfr_hypot(t, zr, zi, MPFR_RNDN);
        sizes.push_back(mpfr_zero_p(t)                 ? -INFINITY
                        : mpfr_get_d(t, MPFR_RNDN) > 0 ? std::log2(mpfr_get_d(t, MPFR_RNDN))
                                                       : -2.0 * kBits);
    }
    mpfr_clears(cr, ci, zr, zi, r2, i2, t, static_cast<mpfr_ptr>(nullptr));
    return sizes;
}

// The first n ≥ 1 at which the orbit comes within 2^-bits of 0 (0: never, up to last).
std::int64_t firstReturn(const std::vector<double>& log2Sizes, double bits) {
    for (std::size_t n = 1; n < log2Sizes.size(); ++n)
        if (log2Sizes[n] < -bits) return static_cast<std::int64_t>(n);
    return 0;
}

}  // namespace

// The disc by the seahorse valley first reports period 134, whose Newton
// iteration ends at c = −1: the nucleus of period 2 is reported as such, with
// its own size (the period-2 bulb's, not a meaningless one of 1e993).
TEST(FindAndGo, ANucleusOfADividingPeriodIsReportedWithItsOwnPeriod) {
    const auto found = findAround(FoundKind::Minibrot, "-0.7507", "-0.0127375", "0.0625", 0);
    ASSERT_TRUE(found.has_value());
    EXPECT_EQ(found->period, 2);
    EXPECT_EQ(firstReturn(log2Orbit(found->re, found->im, 200), 60), 2);
    const double size = std::ldexp(found->size.mantissa, static_cast<int>(found->size.exponent));
    EXPECT_GT(size, 0.1);
    EXPECT_LT(size, 1.0);
}

// A minibrot of period 267 = 3 · 89 near i at 1e-100: its orbit returns to 0
// first at 267, not at a divisor, and the answer stays that minibrot.
TEST(FindAndGo, AMinibrotOfItsOwnPeriodStays) {
    const auto found = findAround(FoundKind::Minibrot, "0", "1", "1e-100", 0);
    ASSERT_TRUE(found.has_value());
    EXPECT_EQ(found->period, 267);
    const std::vector<double> orbit = log2Orbit(found->re, found->im, 267);
    EXPECT_EQ(firstReturn(orbit, 300), 267);
    EXPECT_GT(orbit[3], -20);
    EXPECT_GT(orbit[89], -20);
}

// About the seahorse valley the only roots of z_{k+p} − z_k near the discs
// are c = −1's, where the orbit returns to 0 (Newton's method, slowed by the
// double root, stops within about 1e-11 of it): no Misiurewicz point there.
// Near i the point i itself (preperiod 2, period 2) is found, and its orbit
// never returns to 0.
TEST(FindAndGo, AMisiurewiczPointIsNeverANucleus) {
    for (const char* re : {"-0.760075", "-0.7507"}) {
        const auto found = findAround(FoundKind::Misiurewicz, re, "-0.0189875", "0.0625", 0);
        if (!found) continue;
        EXPECT_EQ(firstReturn(log2Orbit(found->re, found->im, 400), 20), 0) << found->re << " " << found->im;
    }
    const auto i = findAround(FoundKind::Misiurewicz, "0", "1", "1e-100", 0);
    ASSERT_TRUE(i.has_value());
    EXPECT_EQ(i->preperiod, 2);
    EXPECT_EQ(i->period, 2);
    EXPECT_EQ(firstReturn(log2Orbit(i->re, i->im, 400), 20), 0);
}

}  // namespace mandel
