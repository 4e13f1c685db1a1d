// The settling stage's fixed-point orbit, step by step against the exact
// z̃² + c̃ of its own z̃ (MPFR, enough bits to hold it): each part may be
// truncated by less than one unit of the last place, and a step says it is
// exact only where it is.
#include <gtest/gtest.h>
#include <mpfr.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <random>
#include <vector>

#include "deep/fixed_point_lanes.h"
#include "deep/error_bound.h"
#include "deep/escape_test.h"
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

// Eight orbits side by side against FixedPointOrbit, bit for bit, flag for
// flag and approximation for approximation, each lane at its own fraction
// and dropping its own limbs: chaotic points in every quadrant, a point
// whose parts are equal in size, dyadic points that stay exact, a point on
// the axis.
using LanePoints = std::array<std::array<const char*, 2>, 8>;
constexpr LanePoints kMixedPoints = {{{"-0.7436447861", "0.1318252535"},
                                      {"0.2501", "-0.0000001"},
                                      {"-1.25", "0.0100001"},
                                      {"-0.1011", "0.9563"},
                                      {"0.3", "0.3"},
                                      {"0", "1"},
                                      {"-0.75", "0.125"},
                                      {"-1.9999", "0"}}};
// No lane exact for long, none on an axis (where Im z² is 0 exactly): the
// lanes then leave the squares' lowest columns out, but where some lane's
// guard column is unsure.
constexpr LanePoints kChaoticPoints = {{{"-0.7436447861", "0.1318252535"},
                                        {"0.2501", "-0.0000001"},
                                        {"-1.25", "0.0100001"},
                                        {"-0.1011", "0.9563"},
                                        {"0.3", "0.3"},
                                        {"-0.5251", "0.5263"},
                                        {"0.2713", "0.0071"},
                                        {"-1.9999", "0.0000013"}}};

// The same with a lane whose squares end below the column under the
// truncation's: their low columns are not 0 although the guard column is,
// and only every column tells that the step truncated something.
constexpr LanePoints withTinyLane(LanePoints points) {
    points[7] = {"1e-160", "-3e-161"};
    return points;
}
constexpr LanePoints kTinyLanePoints = withTinyLane(kChaoticPoints);

void followLanes(long laneLimbs, const std::vector<long>& orbitLimbs, const std::vector<std::vector<int>>& drops,
                 const LanePoints& points = kMixedPoints) {
    mandel::FixedPointLanes lanes(64 * laneLimbs - 4);
    std::vector<FixedPointOrbit> orbits;
    const mpfr_prec_t wide = 64 * laneLimbs + 64;
    MpfrValue cr(wide), ci(wide), a(wide), b(wide), c(wide), d(wide);
    for (int lane = 0; lane < 8; ++lane) {
        mpfr_set_str(cr.get(), points[lane][0], 10, MPFR_RNDN);
        mpfr_set_str(ci.get(), points[lane][1], 10, MPFR_RNDN);
        orbits.emplace_back(64 * orbitLimbs[static_cast<std::size_t>(lane)] - 4);
        EXPECT_EQ(lanes.start(lane, orbits.back().fraction(), cr.get(), ci.get()),
                  orbits.back().start(cr.get(), ci.get()));
    }
    unsigned live = 0xFF;
    int truncated = 0;
    for (int i = 0; i < 300 && live; ++i) {
        for (int lane = 0; lane < 8; ++lane) {
            const std::vector<int>& when = drops[static_cast<std::size_t>(lane)];
            if (!((live >> lane) & 1u) || std::find(when.begin(), when.end(), i) == when.end()) continue;
            const auto one = orbits[static_cast<std::size_t>(lane)].dropLowestLimb();
            const auto side = lanes.dropLowestLimb(lane, live);
            EXPECT_EQ(side.z, one.z) << "lane " << lane << " drop at " << i;
            EXPECT_EQ(side.c, one.c) << "lane " << lane << " drop at " << i;
        }
        const unsigned exact = lanes.step(live);
        std::array<double, 8> re{}, im{};
        lanes.nearAll(live, re, im);
        for (int lane = 0; lane < 8; ++lane) {
            if (!((live >> lane) & 1u)) continue;
            FixedPointOrbit& orbit = orbits[static_cast<std::size_t>(lane)];
            const bool one = orbit.step();
            EXPECT_EQ(((exact >> lane) & 1u) != 0, one) << "lane " << lane << " step " << i;
            truncated += one ? 0 : 1;
            lanes.exact(lane, a.get(), b.get());
            orbit.exact(c.get(), d.get());
            ASSERT_TRUE(mpfr_equal_p(a.get(), c.get()) && mpfr_equal_p(b.get(), d.get()))
                << "lane " << lane << " step " << i << " limbs " << laneLimbs;
            EXPECT_EQ(lanes.reNear(lane), orbit.reNear()) << "lane " << lane << " step " << i;
            EXPECT_EQ(lanes.imNear(lane), orbit.imNear()) << "lane " << lane << " step " << i;
            EXPECT_EQ(re[static_cast<std::size_t>(lane)], orbit.reNear()) << "lane " << lane << " step " << i;
            EXPECT_EQ(im[static_cast<std::size_t>(lane)], orbit.imNear()) << "lane " << lane << " step " << i;
            if (mpfr_cmpabs_ui(a.get(), 2) > 0 || mpfr_cmpabs_ui(b.get(), 2) > 0) live &= ~(1u << lane);
        }
    }
    EXPECT_GT(truncated, 500) << laneLimbs;
}

TEST(FixedPointLanes, EveryLaneIsItsOwnOrbitBitForBit) {
    if (!mandel::FixedPointLanes::available()) GTEST_SKIP() << "no 52-bit multiply-add on this processor";
    const std::vector<std::vector<int>> none(8);
    followLanes(1, std::vector<long>(8, 1), none);
    followLanes(3, std::vector<long>(8, 3), none);
    // Lanes of 15, 14 and 12 limbs, dropping at different steps, down to one.
    std::vector<std::vector<int>> drops(8);
    for (int lane = 0; lane < 8; ++lane)
        for (int k = 0; k < 11; ++k) drops[static_cast<std::size_t>(lane)].push_back(7 + 9 * k + 3 * lane);
    followLanes(15, {15, 14, 15, 12, 15, 15, 14, 15}, drops);
    followLanes(15, std::vector<long>(8, 15), none, kChaoticPoints);
    followLanes(15, {15, 14, 15, 12, 15, 15, 14, 15}, drops, kChaoticPoints);
    followLanes(15, std::vector<long>(8, 15), none, kTinyLanePoints);
}

// The lanes' bounds are the one-orbit bounds to the bit: escape tests
// (escaped, staying, undecided), |z̃| rounded up (squares above and below
// the floor where |x| + |y| is taken), the bound's growth with and without
// a rounding, and the lanes whose lowest limb the new bound lets go.
TEST(FixedPointLanes, TheLanesBoundsAreTheOneOrbitBoundsToTheBit) {
    if (!mandel::FixedPointLanes::available()) GTEST_SKIP() << "the bounds are kept one lane at a time here";
    std::mt19937_64 random(7);
    std::uniform_real_distribution<double> part(-2.2, 2.2), exponent(-1000, -1);
    int escaped = 0, undecided = 0, spareLanes = 0;
    for (int round = 0; round < 2000; ++round) {
        std::array<double, 8> re{}, im{};
        mandel::LaneBounds bounds;
        for (std::size_t k = 0; k < 8; ++k) {
            const bool tiny = k == 7;
            re[k] = tiny ? 0x1p-500 : part(random);
            im[k] = tiny ? -0x1p-499 : part(random);
            bounds.e[k] = std::ldexp(1.0, static_cast<int>(exponent(random)));
            if (k == 6) bounds.e[k] = std::abs(std::hypot(re[k], im[k]) - 2) * 1.0000000001;  // too close to call
            bounds.cErr[k] = std::ldexp(1.0, static_cast<int>(exponent(random)));
            bounds.stepRounding[k] = std::ldexp(1.0, -900);
        }
        const unsigned live = static_cast<unsigned>(random()) & 0xFFu, exact = static_cast<unsigned>(random()) & 0xFFu;
        const mandel::LaneBounds before = bounds;
        const mandel::LaneTests tests = mandel::testLanes(re, im, live, true, bounds);
        constexpr double kKeptBelow = 0x1p-256;
        const unsigned spare = mandel::growBounds(live, exact, bounds, kKeptBelow);
        for (std::size_t k = 0; k < 8; ++k) {
            const bool on = (live >> k) & 1u;
            const double squares = re[k] * re[k] + im[k] * im[k], root = std::sqrt(squares);
            const double size = mandel::magnitudeUp(re[k], im[k], squares, root);
            const double zAbs = on ? mandel::roundUp(size + 0x1p-48 * size) : before.zAbs[k];
            const auto test = mandel::escapeTest(root, mandel::roundUp(before.e[k] + 0x1p-49 * root));
            const double rounding = (exact >> k) & 1u ? 0.0 : before.stepRounding[k];
            const double e = on ? mandel::roundUp(before.e[k] * (2.0 * zAbs + before.e[k]) + before.cErr[k] + rounding)
                                : before.e[k];
            ASSERT_EQ(bounds.zAbs[k], zAbs) << round << " lane " << k;
            ASSERT_EQ(bounds.e[k], e) << round << " lane " << k;
            ASSERT_EQ(((tests.escaped >> k) & 1u) != 0, on && test == mandel::EscapeTest::Escaped) << round << " " << k;
            ASSERT_EQ(((tests.undecided >> k) & 1u) != 0, on && test == mandel::EscapeTest::Undecided) << round << " " << k;
            const bool limbSpare = on && 0x1p63 * before.stepRounding[k] < e * kKeptBelow;
            ASSERT_EQ(((spare >> k) & 1u) != 0, limbSpare) << round << " lane " << k;
            spareLanes += limbSpare;
            escaped += on && test == mandel::EscapeTest::Escaped;
            undecided += on && test == mandel::EscapeTest::Undecided;
        }
    }
    EXPECT_GT(escaped, 100);
    EXPECT_GT(undecided, 100);
    EXPECT_GT(spareLanes, 100);
    EXPECT_LT(spareLanes, 2000 * 8 / 2 - 100);
}

}  // namespace
