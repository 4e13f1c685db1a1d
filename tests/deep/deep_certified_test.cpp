// Counts where the escape test is hardest: orbits that reach |z| = 2 exactly
// or come within a hair of it, points on the real axis, points far outside,
// and pixels that the precision cap leaves undecided.
#include <gtest/gtest.h>
#include <mpfr.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "deep/deep_drawing.h"
#include "deep/known_counts.h"
#include "deep/fixed_point_lanes.h"
#include "deep/mpfr_pixel.h"
#include "deep_brute_force.h"
#include "deep_test_locations.h"
#include "mpfr_text.h"

namespace {

using mandel::DeepDrawing;
using mandel::DeepOptions;
using mandel::DeepView;

struct Drawn {
    std::vector<std::int32_t> counts;
    std::vector<std::uint8_t> certified;
    mandel::DeepStats stats;
    bool complete = false;
    std::int32_t at(const DeepView& view, int x, int y) const {
        return counts[static_cast<std::size_t>(y) * static_cast<std::size_t>(view.width) + static_cast<std::size_t>(x)];
    }
};

Drawn draw(const DeepView& view, const DeepOptions& options = {}) {
    DeepDrawing drawing(view);
    Drawn out;
    const auto pixels = static_cast<std::size_t>(view.width) * static_cast<std::size_t>(view.height);
    out.counts.assign(pixels, 0);
    out.certified.assign(pixels, 7);
    out.complete = drawing.computeRows(0, view.height, out.counts, options, out.certified);
    out.stats = drawing.stats();
    return out;
}

// Every pixel the brute force decides has its count; returns how many it decided.
int expectBruteForceCounts(const DeepView& view, const Drawn& drawn) {
    const mandel::test::BruteForceCounts truth = mandel::test::bruteForceCounts(view);
    int decided = 0, mismatches = 0;
    for (std::size_t p = 0; p < drawn.counts.size(); ++p) {
        if (!truth.decided[p]) continue;
        ++decided;
        if (drawn.counts[p] != truth.counts[p] && ++mismatches <= 5)
            ADD_FAILURE() << "pixel (" << p % static_cast<std::size_t>(view.width) << ", "
                          << p / static_cast<std::size_t>(view.width) << "): " << drawn.counts[p] << " instead of "
                          << truth.counts[p];
    }
    return decided;
}

// The real c in (0.4, 0.5) where z_5(c) = 2 (z_1 = c), to `bits`.
std::string levelCurveCrossing(mpfr_prec_t bits) {
    mpfr_t low, high, c, z;
    mpfr_inits2(bits, low, high, c, z, static_cast<mpfr_ptr>(nullptr));
    mpfr_set_d(low, 0.4, MPFR_RNDN);
    mpfr_set_d(high, 0.5, MPFR_RNDN);
    for (mpfr_prec_t step = 0; step < bits; ++step) {
        mpfr_add(c, low, high, MPFR_RNDN);
        mpfr_div_2ui(c, c, 1, MPFR_RNDN);
        mpfr_set(z, c, MPFR_RNDN);
        for (int i = 1; i < 5; ++i) {
            mpfr_sqr(z, z, MPFR_RNDN);
            mpfr_add(z, z, c, MPFR_RNDN);
        }
        mpfr_set(mpfr_cmp_ui(z, 2) > 0 ? high : low, c, MPFR_RNDN);
    }
    const std::string text = mandel::test::decimalText(c);
    mpfr_clears(low, high, c, z, static_cast<mpfr_ptr>(nullptr));
    return text;
}

// A 16-pixel view of side 1e-40 centred on the real axis where |z_5| = 2
// crosses it: every pixel lies within about 1e-39 of |z_5| = 2.
DeepView acrossLevelCurve() {
    mpfr_t centre, corner;
    mpfr_inits2(300, centre, corner, static_cast<mpfr_ptr>(nullptr));
    mpfr_set_str(centre, levelCurveCrossing(300).c_str(), 10, MPFR_RNDN);
    mpfr_set_str(corner, "5e-41", 10, MPFR_RNDN);
    mpfr_sub(corner, centre, corner, MPFR_RNDN);
    DeepView view{{mandel::test::decimalText(corner), "-5e-41", "1e-40", 50}, 16, 16};
    mpfr_clears(centre, corner, static_cast<mpfr_ptr>(nullptr));
    return view;
}

TEST(EscapeAtTwo, OrbitsThatReachTwoExactlyAreDecidedByTheExactSign) {
    // z stays at 2 for c = -2; reaches |z| = 2 at the second step for c = 1
    // and at the first for c = -2i (|z|² > 4 never holds there).
    const DeepView view{{"-2", "-2", "4", 3}, 16, 16};
    const Drawn drawn = draw(view);
    EXPECT_EQ(drawn.at(view, 0, 8), 3) << "c = -2";
    EXPECT_EQ(drawn.at(view, 12, 8), 3) << "c = 1";
    EXPECT_EQ(drawn.at(view, 8, 0), 2) << "c = -2i";
    EXPECT_GT(expectBruteForceCounts(view, drawn), 250);
    EXPECT_EQ(drawn.stats.uncertifiedPixels, 0);

    // At 24 pixels the spacing is 1/6: -2i, -i, 1 and i are exact decimals
    // but not binary numbers, so no precision decides them; rationals do.
    const DeepView sixths{{"-2", "-2", "4", 100000}, 24, 24};
    const Drawn rational = draw(sixths);
    EXPECT_EQ(rational.at(sixths, 12, 0), 2) << "c = -2i";
    EXPECT_EQ(rational.at(sixths, 12, 6), 100000) << "c = -i";
    EXPECT_EQ(rational.at(sixths, 18, 12), 3) << "c = 1";
    EXPECT_EQ(rational.at(sixths, 12, 18), 100000) << "c = i";
    EXPECT_EQ(rational.stats.uncertifiedPixels, 0);

    // Deeper, the same points with limits the orbits never leave.
    const DeepView tip{{"-2", "-1e-20", "2e-20", 5000}, 16, 16};
    EXPECT_EQ(draw(tip).at(tip, 0, 8), 5000) << "c = -2 at a side of 2e-20";
}

TEST(EscapeAtTwo, PixelsJustInsideTheAntennaAndAcrossALevelCurve) {
    // Row 0 lies exactly on the real axis, from -2 + 1e-12 on: never escapes.
    const DeepView antenna{{"-1.999999999999", "0", "1e-13", 300}, 16, 16};
    const Drawn tip = draw(antenna);
    for (int x = 0; x < antenna.width; ++x) EXPECT_EQ(tip.at(antenna, x, 0), 300) << "x = " << x;
    EXPECT_GT(expectBruteForceCounts(antenna, tip), 200);

    const DeepView curve = acrossLevelCurve();
    const Drawn across = draw(curve);
    EXPECT_GT(expectBruteForceCounts(curve, across), 250);
    const auto fives = std::count(across.counts.begin(), across.counts.end(), 5);
    EXPECT_GT(fives, 16) << "the view should lie across the curve";
    EXPECT_LT(fives, 256 - 16) << "the view should lie across the curve";
}

TEST(KnownCounts, FarOutsideAndOnTheRealAxisNeedNoIteration) {
    const DeepView far{{"1e100000", "0", "1", 10}, 16, 16};
    const Drawn outside = draw(far);
    EXPECT_TRUE(std::all_of(outside.counts.begin(), outside.counts.end(), [](std::int32_t c) { return c == 1; }));
    EXPECT_EQ(outside.stats.pixelsKnown, 256);

    // Row 12 is b + 12·s/24 = 0 exactly in decimal arithmetic, though not in
    // binary: its points in [-2, 1/4] never escape; the rows beside it do
    // iterate.
    const DeepView axis{{"-2", "-0.1", "0.2", 100000}, 24, 24};
    const Drawn real = draw(axis);
    for (int x = 0; x < axis.width; ++x) EXPECT_EQ(real.at(axis, x, 12), 100000) << "x = " << x;
    // Column 0 (Re c = -2) off the axis lies outside |c| ≤ 2.
    EXPECT_EQ(real.stats.pixelsKnown, 24 + 23);
    // Across the neck between the main cardioid and the period-2 disk: the
    // points known inside must be those the iteration keeps.
    const DeepView neck{{"-0.8", "-0.2", "0.4", 300}, 16, 16};
    const Drawn bulbs = draw(neck);
    EXPECT_GT(bulbs.stats.pixelsKnown, 100);
    EXPECT_GT(expectBruteForceCounts(neck, bulbs), 200);
    // Clear of both bulbs and partly outside |c| ≤ 2 in every row: the
    // pixels outside are known there too.
    const DeepView edge{{"1.95", "0.3", "0.1", 50}, 16, 16};
    const Drawn beyond = draw(edge);
    EXPECT_GT(beyond.stats.pixelsKnown, 100);
    EXPECT_EQ(expectBruteForceCounts(edge, beyond), 256);
    EXPECT_FALSE(mandel::exactlyZero("-0.1", "0.2", 24, 11));
    EXPECT_TRUE(mandel::exactlyZero("-1e-30", "3e-30", 3, 1));
    EXPECT_TRUE(mandel::exactlyZero("0", "5", 7, 0));
}

TEST(PrecisionCap, PixelsBeyondTheCapAreFlaggedAndTheDrawingCompletes) {
    const DeepView curve = acrossLevelCurve();
    DeepOptions options;
    options.maxBits = mandel::kMinSettleBits;
    const Drawn capped = draw(curve, options);
    EXPECT_TRUE(capped.complete);
    EXPECT_GT(capped.stats.uncertifiedPixels, 0);
    EXPECT_EQ(std::count(capped.certified.begin(), capped.certified.end(), 0), capped.stats.uncertifiedPixels);
    EXPECT_EQ(std::count(capped.certified.begin(), capped.certified.end(), 1), 256 - capped.stats.uncertifiedPixels);
    EXPECT_TRUE(std::all_of(capped.counts.begin(), capped.counts.end(), [](std::int32_t c) { return c >= 5; }))
        << "a flagged pixel keeps a count of its best stage, never 0";
    // The certified ones are exact.
    const Drawn full = draw(curve);
    EXPECT_EQ(full.stats.uncertifiedPixels, 0);
    for (std::size_t p = 0; p < full.counts.size(); ++p) {
        if (capped.certified[p] == 1) {
            EXPECT_EQ(capped.counts[p], full.counts[p]) << "pixel " << p;
        }
    }
}

TEST(PrecisionCap, TheSettlingStageRaisesItsPrecisionUntilTheCountIsTheBruteForceCount) {
    // Seahorse valley at 1e-8: 20 bits cannot even tell the pixels apart, so
    // the first attempts must find themselves undecided, and the bits double
    // until the orbit (through every sign of its parts) gives the count of
    // the brute force.
    const DeepView view{{"-0.7436447861", "0.1318252535", "1e-8", 3000}, 8, 8};
    const mandel::test::BruteForceCounts truth = mandel::test::bruteForceCounts(view);
    const auto never = [] { return false; };
    int compared = 0;
    for (int y = 0; y < view.height; ++y)
        for (int x = 0; x < view.width; ++x) {
            const std::size_t p = static_cast<std::size_t>(y * view.width + x);
            if (!truth.decided[p]) continue;
            const mandel::MpfrPixel pixel = mandel::mpfrPixelCount(view.location, 8, x, y, 20, 4096, never);
            EXPECT_TRUE(pixel.certified);
            EXPECT_GT(pixel.finalBits, 20) << x << "," << y;
            EXPECT_EQ(pixel.count, truth.counts[p]) << x << "," << y;
            if (pixel.count < view.location.limit) {  // z where it escaped, for the continuous count
                const double size = std::hypot(pixel.escape.zr, pixel.escape.zi);
                EXPECT_TRUE(pixel.escape.known && size > 2 && size < 6.5) << x << "," << y << ": " << size;
            }
            ++compared;
        }
    EXPECT_GT(compared, 50);
}

TEST(PrecisionCap, TheSettlingStageShedsBitsAsTheBoundGrowsAndKeepsTheBruteForceCount) {
    // At 1e-300 the bound of an orbit that leaves the minibrot grows by about
    // a thousand bits on its way out: the stage drops its lowest limbs as it
    // does, and the counts must stay the brute force's.
    const DeepView view{{mandel::test::kMinibrot1e300.realMin, mandel::test::kMinibrot1e300.imagMin, "1e-300", 8000},
                        16, 16};
    const mandel::test::BruteForceCounts truth = mandel::test::bruteForceCounts(view, 3);
    const int bits = mandel::test::bruteForcePrecision(view);
    const auto never = [] { return false; };
    int escaping = 0;
    for (int y = 0; y < view.height; y += 3)
        for (int x = 0; x < view.width; x += 3) {
            const std::size_t p = static_cast<std::size_t>(y * view.width + x);
            if (!truth.decided[p]) continue;
            const mandel::MpfrPixel pixel = mandel::mpfrPixelCount(view.location, 16, x, y, bits, 4 * bits, never);
            EXPECT_TRUE(pixel.certified) << x << "," << y;
            EXPECT_EQ(pixel.count, truth.counts[p]) << x << "," << y;
            escaping += pixel.count < view.location.limit;
        }
    EXPECT_GT(escaping, 5);
}

TEST(PrecisionCap, PixelsSettledSideBySideGetWhatEachGetsAlone) {
    // The first attempts in lanes, eight at a time, must be the attempts one
    // at a time to the last bit: counts, bounds (hence which attempts
    // decide), iterations, escape points. Near 1e-300 from 900 bits, limbs are
    // dropped as the bounds grow, lane by lane.
    if (!mandel::FixedPointLanes::available()) GTEST_SKIP() << "no 52-bit multiply-add on this processor";
    const auto never = [] { return false; };
    struct Case {
        DeepView view;
        int step, startBits;
    };
    const Case cases[] = {
        {{{"-0.7436447861", "0.1318252535", "1e-8", 3000}, 8, 8}, 1, 120},
        {{{mandel::test::kMinibrot1e300.realMin, mandel::test::kMinibrot1e300.imagMin, "1e-250", 8000}, 16, 16}, 2, 900},
    };
    for (const Case& c : cases) {
        std::vector<mandel::PixelPlace> pixels;
        for (int y = 0; y < c.view.height; y += c.step)
            for (int x = 0; x < c.view.width; x += c.step) pixels.push_back({x, y});
        const int span = c.view.width;
        const auto together = mandel::mpfrPixelCounts(c.view.location, span, pixels, c.startBits, 4096, never);
        ASSERT_EQ(together.size(), pixels.size());
        int decidedFirst = 0;
        for (std::size_t k = 0; k < pixels.size(); ++k) {
            const auto [x, y] = pixels[k];
            const mandel::MpfrPixel alone =
                mandel::mpfrPixelCount(c.view.location, span, x, y, c.startBits, 4096, never);
            EXPECT_EQ(together[k].count, alone.count) << x << "," << y;
            EXPECT_EQ(together[k].iterations, alone.iterations) << x << "," << y;
            EXPECT_EQ(together[k].finalBits, alone.finalBits) << x << "," << y;
            EXPECT_EQ(together[k].certified, alone.certified) << x << "," << y;
            EXPECT_EQ(together[k].escape.zr, alone.escape.zr) << x << "," << y;
            EXPECT_EQ(together[k].escape.zi, alone.escape.zi) << x << "," << y;
            decidedFirst += alone.finalBits == c.startBits && alone.count < c.view.location.limit;
        }
        EXPECT_GT(decidedFirst, 0) << c.view.location.side << ": some pixel must be decided by its first attempt";
    }
}

}  // namespace
