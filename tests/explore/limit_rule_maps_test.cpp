// The limit rule as a table over count maps the deep engine records for real
// views, the rule applied again to each new drawing as the explorer does, and
// the interior check it leans on against known cycles.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "deep/deep_drawing.h"
#include "explore/auto_limit.h"
#include "explore/interior_check.h"

namespace mandel {
namespace {

constexpr int kPixels = 96;

struct View {
    const char* name;
    const char* re;  // centre
    const char* im;
    const char* side;
    const char* realMin;  // corner: centre − side/2
    const char* imagMin;
};

std::vector<std::int32_t> countMap(const View& view, std::int64_t limit) {
    DeepView deep;
    deep.location = {view.realMin, view.imagMin, view.side, limit};
    deep.width = deep.height = kPixels;
    std::vector<std::int32_t> counts(static_cast<std::size_t>(kPixels) * kPixels);
    EXPECT_TRUE(DeepDrawing(deep).computeRows(0, kPixels, counts));
    return counts;
}

InteriorEvidence evidenceAt(const View& view, std::int64_t limit) {
    const InteriorQuestion question{view.re, view.im, bitsForSide(-30), limit};
    return attractingCyclePeriod(question) ? InteriorEvidence::AttractingCycle : InteriorEvidence::None;
}

// The explorer's loop: draw, apply the rule (the interior check only where
// nothing escaped), draw again at the new limit, until the rule keeps it.
struct Settled {
    std::int64_t limit = 0;
    LimitReason firstReason = LimitReason::Kept;
    LimitReason lastReason = LimitReason::Kept;
    bool everRaised = false;
    bool everLowered = false;
};

Settled settle(const View& view, std::int64_t limit) {
    Settled settled;
    for (int drawing = 0; drawing < 16; ++drawing) {
        const std::vector<std::int32_t> counts = countMap(view, limit);
        const InteriorEvidence evidence =
            nothingEscaped(counts, limit) ? evidenceAt(view, limit) : InteriorEvidence::None;
        const LimitAndBase next = chooseLimitAndBase(counts, kPixels, kPixels, limit, evidence);
        if (drawing == 0) settled.firstReason = next.reason;
        settled.lastReason = next.reason;
        settled.everRaised |= next.limit > limit;
        settled.everLowered |= next.limit < limit;
        if (next.limit == limit) break;
        limit = next.limit;
    }
    settled.limit = limit;
    return settled;
}

TEST(LimitRuleOnRecordedMaps, EachViewSettlesWhereItsCountsSay) {
    const View wholeSet{"whole set", "-0.75", "0", "3", "-2.25", "-1.5"};
    // The seahorse point at 1e-30: every pixel escapes at about 8,057.
    const View seahorse{"seahorse 1e-30",
                        "-0.7436438870371587",
                        "0.131825904205312",
                        "1e-30",
                        "-0.7436438870371587000000000000005",
                        "0.1318259042053119999999999999995"};
    // Inside the period-3 minibrot on the real axis, at 1e-20 about its nucleus.
    const View minibrot{"period-3 interior",
                        "-1.754877666246692760049508896358528691894",
                        "0",
                        "1e-20",
                        "-1.754877666246692760054508896358528691894",
                        "-0.000000000000000000005"};

    // The whole set at 3392 (where zooming out from a deep view leaves it)
    // comes down below 1000, without rising on the way.
    const Settled whole = settle(wholeSet, 3392);
    EXPECT_LT(whole.limit, 1000);
    EXPECT_EQ(whole.firstReason, LimitReason::Lowered);
    EXPECT_FALSE(whole.everRaised);

    // A uniform view held just below its counts is not the inside: the limit
    // rises until pixels escape, and then settles above them.
    const Settled uniform = settle(seahorse, 6784);
    EXPECT_EQ(uniform.firstReason, LimitReason::RaisedBlind);
    EXPECT_GT(uniform.limit, 8057);
    EXPECT_NE(uniform.lastReason, LimitReason::Inside);
    EXPECT_FALSE(nothingEscaped(countMap(seahorse, uniform.limit), uniform.limit));

    // A minibrot's interior is: the limit stays.
    const Settled inside = settle(minibrot, 1000);
    EXPECT_EQ(inside.firstReason, LimitReason::Inside);
    EXPECT_EQ(inside.limit, 1000);
    EXPECT_FALSE(inside.everRaised || inside.everLowered);
}

TEST(InteriorCheck, FindsTheAttractingCyclesPeriodAndNothingOutside) {
    struct Case {
        const char* re;
        const char* im;
        std::int64_t period;  // 0: no attracting cycle
    };
    const Case cases[] = {
        {"0", "0", 1},
        {"-1", "0", 2},
        {"-0.1225611668766536", "0.7448617666197442", 3},  // the rabbit's centre
        {"-1.754877666246692760049508896358528691894", "0.00000000000000000001", 3},
        {"0.3", "0", 0},                                  // escapes
        {"-0.7436438870371587", "0.131825904205312", 0},  // escapes after about 8,000
        {"-2", "0", 0},                                   // the tip: a repelling cycle only
    };
    for (const Case& c : cases) {
        const auto period = attractingCyclePeriod({c.re, c.im, bitsForSide(-20), 20000});
        EXPECT_EQ(period.value_or(0), c.period) << c.re << " " << c.im;
    }
}

}  // namespace
}  // namespace mandel
