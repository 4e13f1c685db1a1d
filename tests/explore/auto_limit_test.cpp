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

TEST(AutoLimit, NothingEscapedRaisesFourfoldUpToACeiling) {
    EXPECT_EQ(rule(countMap([](int, int) { return 1000; }), 1000), (LimitAndBase{4000, 0}));
    // Inside the set the blind rise stops at its ceiling, and a higher limit stays.
    EXPECT_EQ(rule(countMap([](int, int) { return 500000; }), 500000).limit, kBlindRiseCeiling);
    EXPECT_EQ(rule(countMap([](int, int) { return 3000000; }), 3000000).limit, 3000000);
    // A boundary rise is capped at the largest limit.
    const auto cut = countMap([](int x, int) { return x < 50 ? 100 + x : (x == 50 ? 2000000000 : 2100000000); });
    EXPECT_EQ(rule(cut, 2100000000).limit, kMaxDeepLimit);
}

TEST(AutoLimit, HeldPixelsAgainstLateEscapesRaiseTheLimit) {
    // Left half escapes with counts 100 + x (up to 149); right half held, except
    // column 50 escaping late at 900: 100 held pixels (1 %) touch a late escape.
    const auto late = countMap([](int x, int) { return x < 50 ? 100 + x : (x == 50 ? 900 : 1000); });
    const LimitAndBase raised = rule(late, 1000);
    EXPECT_EQ(raised.limit, 2000);
    EXPECT_EQ(raised.base, 100);  // 2nd percentile of the escaped counts (101), minus one
    // The same picture with the column escaping early (600 < 3/4 of 1000) keeps the limit.
    const auto early = countMap([](int x, int) { return x < 50 ? 100 + x : (x == 50 ? 600 : 1000); });
    EXPECT_EQ(rule(early, 1000).limit, 1000);
    // A few scattered late escapes (under 0.2 % of the view) do not raise it.
    const auto sparse = countMap([](int x, int y) { return x < 50 ? 100 + x : (x == 50 && y < 10 ? 900 : 1000); });
    EXPECT_EQ(rule(sparse, 1000).limit, 1000);
}

TEST(AutoLimit, IterationsThatChangeNothingLowerTheLimitWithoutSwingingBack) {
    // Escapes at most 149, half the view held at 10000: held pixels cost
    // nearly every iteration, the limit falls to 2·149.
    auto map = [](std::int64_t limit) { return countMap([limit](int x, int) { return x < 50 ? 100 + x : limit; }); };
    const LimitAndBase lowered = rule(map(10000), 10000);
    EXPECT_EQ(lowered.limit, 298);
    EXPECT_EQ(rule(map(298), 298).limit, 298);
    // Never below the floor.
    EXPECT_EQ(rule(countMap([](int x, int) { return x < 50 ? 2 + x % 5 : 5000; }), 5000).limit, kMinAutoLimit);
    // Without held pixels a limit far above the counts comes down too (the
    // bands would otherwise leave the view in one colour); one within four
    // times the highest count stays.
    EXPECT_EQ(rule(countMap([](int x, int y) { return 10 + x + y; }), 5000).limit, 2 * 208);
    EXPECT_EQ(rule(countMap([](int x, int y) { return 10 + x + y; }), 800).limit, 800);
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
