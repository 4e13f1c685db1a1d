// The settling stage's fixed-point orbit, step by step against the exact
// z̃² + c̃ of its own z̃ (MPFR, enough bits to hold it): each part may be
// truncated by less than one unit of the last place, and a step says it is
// exact only where it is.
#include <gtest/gtest.h>
#include <mpfr.h>

#include <algorithm>
#include <vector>

#include "deep/fixed_point_orbit.h"
#include "deep/mpfr_value.h"

namespace {

using mandel::FixedPointOrbit;
using mandel::MpfrValue;

struct Followed {
    int exactSteps = 0;
    int truncatedSteps = 0;
};

// Follows c's orbit for `steps` steps (while |z| ≤ 2) at `fractionBits`,
// dropping the lowest limb before each step in `drops`: z and c may then lose
// less than one unit of the new last place each.
Followed follow(const char* re, const char* im, long fractionBits, int steps, std::vector<int> drops = {}) {
    FixedPointOrbit orbit(fractionBits);
    const mpfr_prec_t wide = 4 * 64 * orbit.limbs() + 16;
    MpfrValue cr(wide), ci(wide), zr(wide), zi(wide), sr(wide), si(wide), t(wide), dr(wide), di(wide), unit(wide);
    mpfr_set_str(cr.get(), re, 10, MPFR_RNDN);
    mpfr_set_str(ci.get(), im, 10, MPFR_RNDN);
    orbit.start(cr.get(), ci.get());
    orbit.exact(cr.get(), ci.get());  // c̃ as the orbit holds it
    mandel::setExtReal(unit.get(), orbit.unit());
    Followed out;
    for (int i = 0; i < steps; ++i) {
        if (std::find(drops.begin(), drops.end(), i) != drops.end()) {
            orbit.exact(zr.get(), zi.get());
            const mandel::FixedPointOrbit::Dropped dropped = orbit.dropLowestLimb();
            mandel::setExtReal(unit.get(), orbit.unit());
            orbit.exact(dr.get(), di.get());
            mpfr_sub(dr.get(), dr.get(), zr.get(), MPFR_RNDN);
            mpfr_sub(di.get(), di.get(), zi.get(), MPFR_RNDN);
            EXPECT_LT(mpfr_cmpabs(dr.get(), unit.get()), 0) << "drop before step " << i;
            EXPECT_LT(mpfr_cmpabs(di.get(), unit.get()), 0) << "drop before step " << i;
            EXPECT_EQ(dropped.z, !mpfr_zero_p(dr.get()) || !mpfr_zero_p(di.get())) << "drop before step " << i;
            EXPECT_TRUE(dropped.c);                       // this c has bits down to the last limb
            for (mpfr_ptr part : {cr.get(), ci.get()}) {  // c̃ as the orbit goes on with it: cut toward 0
                mpfr_mul_2si(part, part, orbit.fraction(), MPFR_RNDN);
                mpfr_trunc(part, part);
                mpfr_div_2si(part, part, orbit.fraction(), MPFR_RNDN);
            }
        }
        orbit.exact(zr.get(), zi.get());
        if (mpfr_cmp_ui(zr.get(), 2) > 0 || mpfr_cmp_si(zr.get(), -2) < 0 || mpfr_cmpabs_ui(zi.get(), 2) > 0) break;
        EXPECT_TRUE(mandel::squareAdd(zr, zi, cr.get(), ci.get(), sr, si, t)) << "the reference step must be exact";
        const bool exact = orbit.step();
        orbit.exact(dr.get(), di.get());
        mpfr_sub(dr.get(), dr.get(), zr.get(), MPFR_RNDN);
        mpfr_sub(di.get(), di.get(), zi.get(), MPFR_RNDN);
        EXPECT_LT(mpfr_cmpabs(dr.get(), unit.get()), 0) << "step " << i;
        EXPECT_LT(mpfr_cmpabs(di.get(), unit.get()), 0) << "step " << i;
        EXPECT_EQ(exact, mpfr_zero_p(dr.get()) && mpfr_zero_p(di.get())) << "step " << i;
        ++(exact ? out.exactSteps : out.truncatedSteps);
    }
    return out;
}

TEST(FixedPointOrbit, EachStepIsTheExactStepTruncatedByLessThanAUnitAndSaysWhenItIsExact) {
    // A chaotic orbit through every sign of its parts, in one and three limbs.
    for (long bits : {20L, 150L}) {
        const Followed chaotic = follow("-0.7436447861", "0.1318252535", bits, 400);
        EXPECT_GT(chaotic.truncatedSteps, 300) << bits;
    }
    // Three limbs, then two, then one, on the way.
    EXPECT_GT(follow("-0.7436447861", "0.1318252535", 150, 400, {100, 250}).truncatedSteps, 300);
    // A point of few bits: its first squares fit, then they are truncated.
    const Followed few = follow("-0.75", "0.125", 20, 40);
    EXPECT_GT(few.exactSteps, 1);
    EXPECT_GT(few.truncatedSteps, 10);
    // i and −2: dyadic orbits that stay exact for good.
    EXPECT_EQ(follow("0", "1", 20, 50).truncatedSteps, 0);
    EXPECT_EQ(follow("-2", "0", 20, 50).exactSteps, 50);
}

}  // namespace
