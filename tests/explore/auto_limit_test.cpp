// The automatic limit and base rule on synthetic count maps.

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "deep/deep_view.h"
#include "explore/auto_limit.h"

namespace mandel {
namespace {

constexpr int kSide = 100;

// A kSide² map: counts from `count(x, y)`.
template <typename Count>
std::vector<std::int32_t> countMap(Count count) {
    std::vector<std::int32_t> counts;
    for (int y = 0; y < kSide; ++y)
        for (int x = 0; x < kSide; ++x) counts.push_back(static_cast<std::int32_t>(count(x, y)));
    return counts;
}

LimitAndBase rule(const std::vector<std::int32_t>& counts, std::int64_t limit) {
    return chooseLimitAndBase(counts, kSide, kSide, limit);
}

TEST(AutoLimit, NothingEscapedRaisesFourfoldUpToACeilingUnlessTheCheckFindsTheInside) {
    EXPECT_EQ(rule(countMap([](int, int) { return 1000; }), 1000), (LimitAndBase{4000, 0, LimitReason::RaisedBlind}));
    EXPECT_EQ(rule(countMap([](int, int) { return 500000; }), 500000).limit, 2000000);
    // At the ceiling the rise stops, and says so; past it a limit stays.
    const std::int64_t ceiling = kBlindRiseCeiling;
    EXPECT_EQ(rule(countMap([](int, int) { return 5000000; }), 5000000).limit, ceiling);
    EXPECT_EQ(rule(countMap([ceiling](int, int) { return ceiling; }), ceiling),
              (LimitAndBase{ceiling, 0, LimitReason::CeilingReached}));
    // An attracting cycle found by the interior check keeps the limit.
    EXPECT_EQ(chooseLimitAndBase(countMap([](int, int) { return 1000; }), kSide, kSide, 1000,
                                 InteriorEvidence::AttractingCycle),
              (LimitAndBase{1000, 0, LimitReason::Inside}));
    // A boundary rise is capped at the largest limit.
    const auto cut = countMap([](int x, int) { return x < 50 ? 100 + x : (x == 50 ? 2000000000 : 2100000000); });
    EXPECT_EQ(rule(cut, 2100000000).limit, kMaxDeepLimit);
}

TEST(AutoLimit, HeldPixelsAgainstLateEscapesRaiseTheLimit) {
    // Left half escapes with counts 100 + x (up to 149); right half held, except
    // column 50 escaping late at 900: 100 held pixels (1 %) touch a late escape.
    const auto late = countMap([](int x, int) { return x < 50 ? 100 + x : (x == 50 ? 900 : 1000); });
    const LimitAndBase raised = rule(late, 1000);
    EXPECT_EQ(raised, (LimitAndBase{2000, 100, LimitReason::RaisedForBoundary}));  // base: 2nd percentile (101) − 1
    // The same picture with the column escaping early (600 < 3/4 of 1000)
    // keeps the limit: at 500 the column's 1 % would be held.
    const auto early = countMap([](int x, int) { return x < 50 ? 100 + x : (x == 50 ? 600 : 1000); });
    EXPECT_EQ(rule(early, 1000).limit, 1000);
    // A few scattered late escapes (0.1 % of the view) neither raise the
    // limit nor keep it up: below 250 the counts 100..149 would touch held pixels.
    const auto sparse = countMap([](int x, int y) { return x < 50 ? 100 + x : (x == 50 && y < 10 ? 900 : 1000); });
    EXPECT_EQ(rule(sparse, 1000), (LimitAndBase{250, 99, LimitReason::Lowered}));
}

TEST(AutoLimit, IterationsThatChangeNothingLowerTheLimitWithoutSwingingBack) {
    // Escapes at most 149, half the view held at 10000: the limit halves
    // while no escaped pixel would be held and none would sit against the
    // held ones above 3/4 of the limit: 10000/32 = 312 (at 156 the counts
    // 117..149 would make the rule raise it again).
    auto map = [](std::int64_t limit) { return countMap([limit](int x, int) { return x < 50 ? 100 + x : limit; }); };
    EXPECT_EQ(rule(map(10000), 10000).limit, 312);
    EXPECT_EQ(rule(map(312), 312), (LimitAndBase{312, 99, LimitReason::Kept}));
    // Never below the floor: the last halving at or above it.
    EXPECT_EQ(rule(countMap([](int x, int) { return x < 50 ? 2 + x % 5 : 5000; }), 5000).limit, 5000 / 64);
    // Without held pixels a limit far above the counts comes down too (the
    // bands would otherwise leave the view in one colour), but not so far
    // that more than 0.2 % of the pixels would be held.
    EXPECT_EQ(rule(countMap([](int x, int y) { return 10 + x + y; }), 5000).limit, 5000 / 16);
    EXPECT_EQ(rule(countMap([](int x, int y) { return 10 + x + y; }), 800).limit, 400);
    EXPECT_EQ(rule(countMap([](int x, int y) { return 10 + x + y; }), 400).limit, 400);
}

TEST(AutoLimit, BaseSpreadsTheBandsOverTheShownCounts) {
    // Counts 5000 + x + y escape under 100000: the base sits near the lowest
    // of them, so the bands cover 5000..100000 rather than 0..100000.
    const LimitAndBase chosen = rule(countMap([](int x, int y) { return 5000 + x + y; }), 100000);
    EXPECT_GE(chosen.base, 5000);
    EXPECT_LE(chosen.base, 5020);
    EXPECT_LT(chosen.base, chosen.limit);
}

}  // namespace
}  // namespace mandel
