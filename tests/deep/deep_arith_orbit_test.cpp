// The reference's MPFR orbit made with a second thread's help, against one
// loop of squareAdd: the same points bit for bit and the same exactness of
// each step, where the helper makes the points ahead and where the two
// threads share each step.
#include <gtest/gtest.h>
#include <mpfr.h>

#include <cstdint>

#include "deep/mpfr_value.h"
#include "deep/orbit_ahead.h"

namespace {

using mandel::MpfrValue;
using mandel::OrbitAhead;

struct OrbitCase {
    const char* re;
    const char* im;
    mpfr_prec_t bits;
    std::int64_t last;
};

// Mismatched points and steps over the whole orbit; `exactSteps` counts the
// steps that rounded nothing.
int mismatches(const OrbitCase& k, int& exactSteps) {
    MpfrValue cr(k.bits), ci(k.bits), zr(k.bits), zi(k.bits), sr(k.bits), si(k.bits), t(k.bits);
    mpfr_set_str(cr.get(), k.re, 10, MPFR_RNDN);
    mpfr_set_str(ci.get(), k.im, 10, MPFR_RNDN);
    mpfr_set(zr.get(), cr.get(), MPFR_RNDN);
    mpfr_set(zi.get(), ci.get(), MPFR_RNDN);
    OrbitAhead orbit(cr.get(), ci.get(), k.last);
    int wrong = 0;
    exactSteps = 0;
    for (std::int64_t m = 1; m <= k.last; ++m) {
        const OrbitAhead::Point p = orbit.wait(m);
        if (!mpfr_equal_p(p.re, zr.get()) || !mpfr_equal_p(p.im, zi.get())) ++wrong;
        if (m < k.last) {
            const bool exact = mandel::squareAdd(zr, zi, cr.get(), ci.get(), sr, si, t);
            if (orbit.exactStep(m) != exact) ++wrong;
            exactSteps += exact;
        }
        orbit.release(m);
    }
    return wrong;
}

}  // namespace

TEST(OrbitAhead, PointsAndExactStepsAreThoseOfOneLoop) {
    const mpfr_prec_t split = OrbitAhead::kSplitBits;
    for (const mpfr_prec_t bits : {mpfr_prec_t{300}, split + 52}) {
        int exactSteps = 0;
        EXPECT_EQ(mismatches({"-0.1015625000000000000001", "0.63320312500000000000017", bits, 3000}, exactSteps), 0)
            << bits;
        EXPECT_EQ(exactSteps, 0) << bits;
        // C = −2: −2, 2, 2, … every step exact.
        EXPECT_EQ(mismatches({"-2", "0", bits, 40}, exactSteps), 0) << bits;
        EXPECT_EQ(exactSteps, 39) << bits;
    }
}

TEST(OrbitAhead, StopsWhereTheWalkStops) {
    for (const mpfr_prec_t bits : {mpfr_prec_t{300}, OrbitAhead::kSplitBits}) {
        MpfrValue cr(bits), ci(bits);
        mpfr_set_str(cr.get(), "0.3", 10, MPFR_RNDN);
        mpfr_set_zero(ci.get(), 1);
        OrbitAhead orbit(cr.get(), ci.get(), 1000000);
        for (std::int64_t m = 1; m <= 10; ++m) {
            orbit.wait(m);
            orbit.release(m);
        }
        // Leaving the scope stops and joins the helper long before the last point.
    }
}
