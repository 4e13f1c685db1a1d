// The minibrot finder against nuclei whose periods and sizes were found
// independently (tests/deep/deep_test_locations.h lists them), and its nuclei
// checked as roots in MPFR at twice their precision.

#include <gtest/gtest.h>
#include <mpfr.h>

#include <cmath>
#include <string>

#include "deep/minibrot_finder.h"
#include "deep/newton_orbit.h"

namespace mandel {
namespace {

// |z_p(c) / z_p'(c)|, the Newton step left at c, in MPFR at `bits`.
double newtonStepLeft(const std::string& re, const std::string& im, std::int64_t period, mpfr_prec_t bits,
                      long& exponent) {
    mpfr_t cr, ci, zr, zi, dr, di, t, u;
    for (mpfr_ptr v : {cr, ci, zr, zi, dr, di, t, u}) mpfr_init2(v, bits);
    mpfr_set_str(cr, re.c_str(), 10, MPFR_RNDN);
    mpfr_set_str(ci, im.c_str(), 10, MPFR_RNDN);
    for (mpfr_ptr v : {zr, zi, dr, di}) mpfr_set_zero(v, 1);
    for (std::int64_t n = 0; n < period; ++n) {
        // (d, z) ← (2zd + 1, z² + c)
        mpfr_mul(t, zr, dr, MPFR_RNDN);
        mpfr_mul(u, zi, di, MPFR_RNDN);
        mpfr_sub(t, t, u, MPFR_RNDN);
        mpfr_mul(u, zr, di, MPFR_RNDN);
        mpfr_mul(di, zi, dr, MPFR_RNDN);
        mpfr_add(di, di, u, MPFR_RNDN);
        mpfr_mul_2ui(di, di, 1, MPFR_RNDN);
        mpfr_mul_2ui(dr, t, 1, MPFR_RNDN);
        mpfr_add_ui(dr, dr, 1, MPFR_RNDN);
        mpfr_mul(t, zr, zi, MPFR_RNDN);
        mpfr_sqr(zr, zr, MPFR_RNDN);
        mpfr_sqr(u, zi, MPFR_RNDN);
        mpfr_sub(zr, zr, u, MPFR_RNDN);
        mpfr_add(zr, zr, cr, MPFR_RNDN);
        mpfr_mul_2ui(zi, t, 1, MPFR_RNDN);
        mpfr_add(zi, zi, ci, MPFR_RNDN);
    }
    mpfr_hypot(t, zr, zi, MPFR_RNDN);
    mpfr_hypot(u, dr, di, MPFR_RNDN);
    mpfr_div(t, t, u, MPFR_RNDN);
    const double mantissa = mpfr_get_d_2exp(&exponent, t, MPFR_RNDN);
    for (mpfr_ptr v : {cr, ci, zr, zi, dr, di, t, u}) mpfr_clear(v);
    return mantissa;
}

struct Case {
    const char* re;
    const char* im;
    const char* radius;
    std::int64_t period;
    double sizeLog10;  // found independently
};

TEST(MinibrotFinder, FindsTheNucleusPeriodAndSizeAtEveryDepth) {
    const Case cases[] = {
        {"-1.75", "0", "0.01", 3, std::log10(0.0190)},
        // Off the axis, with a coarse search precision: the same minibrot.
        {"-1.75", "0.001", "0.01", 3, std::log10(0.0190)},
        {"0", "1", "1e-15", 41, std::log10(2.4e-30)},
        {"0", "1", "1e-150", 401, std::log10(2.8e-301)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.radius);
        MinibrotSearch search{c.re, c.im, c.radius, 2000, 32};
        const std::optional<Minibrot> found = findMinibrot(search);
        ASSERT_TRUE(found.has_value());
        EXPECT_EQ(found->period, c.period);
        const double sizeLog10 = std::log10(found->size.mantissa) + found->size.exponent * std::log10(2.0);
        EXPECT_NEAR(sizeLog10, c.sizeLog10, 0.1);
        long exponent = 0;
        const double left = newtonStepLeft(found->re, found->im, found->period, 2 * found->bits, exponent);
        const double leftLog2 = std::log2(std::fabs(left)) + static_cast<double>(exponent);
        const double sizeLog2 = std::log2(found->size.mantissa) + static_cast<double>(found->size.exponent);
        EXPECT_LT(leftLog2, sizeLog2 - 32) << found->re;
    }
}

// A walk told a disc's radius stops where the disc may first hold 0: at the
// minibrot's period, with the points of the whole walk up to there, so that
// the search from either orbit finds the same nucleus.
TEST(MinibrotFinder, AWalkStopsAtTheDiscsFirstPeriodWithTheSameNucleus) {
    MpfrValue cr(160), ci(160);
    mpfr_set_zero(cr.get(), 1);
    mpfr_set_ui(ci.get(), 1, MPFR_RNDN);  // i: its orbit never escapes
    const ExtReal radius(1e-15), ceiling(1.0, -120);
    const DeepReference whole(cr, ci, 2000, false, ceiling, nullptr);
    const DeepReference probe(cr, ci, 2000, false, ceiling, nullptr, {}, 0, radius);
    ASSERT_EQ(whole.orbit().size(), 2001u);
    ASSERT_TRUE(probe.stoppedAtBallPeriod());
    ASSERT_EQ(probe.orbit().size(), 42u);  // the period 41
    for (std::size_t n = 0; n < probe.orbit().size(); ++n) {
        const OrbitPoint &a = probe.orbit()[n], &b = whole.orbit()[n];
        EXPECT_TRUE(a.re == b.re && a.im == b.im && a.err == b.err && a.exponent == b.exponent) << n;
    }
    const auto fromProbe = findMinibrotNear(probe, radius, 2000, 32);
    const auto fromWhole = findMinibrotNear(whole, radius, 2000, 32);
    ASSERT_TRUE(fromProbe && fromWhole);
    EXPECT_EQ(fromProbe->period, 41);
    EXPECT_TRUE(mpfr_equal_p(fromProbe->re->get(), fromWhole->re->get()) &&
                mpfr_equal_p(fromProbe->im->get(), fromWhole->im->get()));
}

// z_p and z_p' as the Newton steps take them (on two threads where the
// process has two processors) are the values of one loop, bit for bit, over a
// chaotic orbit many times longer than the values the threads hold in flight.
TEST(MinibrotFinder, NewtonOrbitIsTheOneThreadOrbit) {
    const mpfr_prec_t bits = 256;
    MpfrValue cr(bits), ci(bits);
    mpfr_set_str(cr.get(), "-1.8", 10, MPFR_RNDN);
    mpfr_set_zero(ci.get(), 1);  // a real orbit that wanders over [-1.8, 1.44] without end
    MpfrValue zr(bits), zi(bits), dr(bits), di(bits), oneZr(bits), oneZi(bits), oneDr(bits), oneDi(bits);
    ASSERT_TRUE(newtonOrbit(cr.get(), ci.get(), 1001, zr, zi, dr, di, nullptr));
    ASSERT_TRUE(newtonOrbitOnOneThread(cr.get(), ci.get(), 1001, oneZr, oneZi, oneDr, oneDi, nullptr));
    EXPECT_TRUE(mpfr_equal_p(zr.get(), oneZr.get()) && mpfr_equal_p(zi.get(), oneZi.get()));
    EXPECT_TRUE(mpfr_equal_p(dr.get(), oneDr.get()) && mpfr_equal_p(di.get(), oneDi.get()));
    const std::atomic<bool> cancel{true};
    EXPECT_FALSE(newtonOrbit(cr.get(), ci.get(), 1001, zr, zi, dr, di, &cancel));
}

TEST(MinibrotFinder, RefusesBadSearches) {
    EXPECT_FALSE(findMinibrot({"x", "0", "0.1", 10, 32}));
    EXPECT_FALSE(findMinibrot({"0", "0", "-1", 10, 32}));
    // Far outside the set the disc never comes back to 0.
    EXPECT_FALSE(findMinibrot({"3", "3", "0.01", 1000, 32}));
}

}  // namespace
}  // namespace mandel
