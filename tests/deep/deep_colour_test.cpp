#include <gtest/gtest.h>

#include "colour/banding.h"
#include "deep/deep_colour.h"

namespace {

using mandel::deepColourIndex;

// With base 0 the rule is the window's, for every limit its bar allows.
TEST(DeepColourIndex, BaseZeroIsTheWindowsRule) {
    for (int limit = 100; limit <= 1500; ++limit) {
        const float cmax = static_cast<float>(limit);
        const float cstep = cmax / 16.0f;
        for (int count = 1; count <= limit; ++count)
            ASSERT_EQ(deepColourIndex(count, limit, 0), mandel::cstepcol(static_cast<float>(count), cmax, cstep))
                << "limit " << limit << " count " << count;
    }
}

// Limit 412,000, base 411,000: the thresholds N − m·1000/16 spread the even
// counts of the window 411,000 .. 412,000 over every band.
TEST(DeepColourIndex, BaseSpreadsTheBandsOverItsWindow) {
    constexpr std::int64_t limit = 412'000, base = 411'000;
    EXPECT_EQ(deepColourIndex(limit, limit, base), 0);
    EXPECT_EQ(deepColourIndex(411'001, limit, base), 16);
    EXPECT_EQ(deepColourIndex(limit - 6, limit, base), 15);  // 0.1·1000/16 = 6.25
    EXPECT_EQ(deepColourIndex(limit - 8, limit, base), 14);
    EXPECT_EQ(deepColourIndex(limit - 62, limit, base), 12);  // 1·1000/16 = 62.5
    EXPECT_EQ(deepColourIndex(limit - 64, limit, base), 11);
    EXPECT_EQ(deepColourIndex(limit - 936, limit, base), 2);  // 15·1000/16 = 937.5
    EXPECT_EQ(deepColourIndex(limit - 938, limit, base), 1);
    EXPECT_EQ(deepColourIndex(2, limit, base), 1);
    // The largest limit and counts stay exact.
    EXPECT_EQ(deepColourIndex(2147483646, 2147483647, 0), 15);
    EXPECT_EQ(deepColourIndex(2, 2147483647, 2147483646), 1);
}

}  // namespace
