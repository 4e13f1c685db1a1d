#include <gtest/gtest.h>

#include <map>

#include "colour/banding.h"

namespace {

using mandel::BandThresholds;
using mandel::cstepcol;

// count -> expected index, checked against both the per-call classification
// and the precomputed thresholds.
void expectIndices(float cmax, const std::map<int, int>& expected) {
    const float cstep = cmax / 16.0f;
    const BandThresholds bands(cmax, cstep);
    for (const auto& [count, index] : expected) {
        EXPECT_EQ(cstepcol(static_cast<float>(count), cmax, cstep), index) << "cmax " << cmax << " count " << count;
        EXPECT_EQ(bands.classify(static_cast<float>(count)), index) << "cmax " << cmax << " count " << count;
    }
}

TEST(Cstepcol, LimitOneHundredMapsEveryEvenCount) {
    std::map<int, int> expected;
    auto range = [&](int from, int to, int index) {
        for (int c = from; c <= to; c += 2) expected[c] = index;
    };
    range(2, 6, 1);
    range(8, 8, 2);
    range(10, 12, 3);
    range(14, 18, 4);
    range(20, 24, 5);
    range(26, 34, 6);
    range(36, 48, 7);
    range(50, 58, 8);
    range(60, 76, 9);
    range(78, 86, 10);
    range(88, 92, 11);
    range(94, 96, 12);
    range(98, 98, 13);
    expected[100] = 0;
    for (int odd = 1; odd < 100; odd += 2) expected[odd] = 16;
    expectIndices(100.0f, expected);
}

TEST(Cstepcol, LimitEqualsCountBeforeParity) {
    expectIndices(101.0f, {{101, 0}, {100, 14}, {98, 13}, {96, 12}, {8, 2}, {6, 1}, {1, 16}, {99, 16}});
}

TEST(Cstepcol, LowerBoundsInclusiveUpperBoundsExclusive) {
    expectIndices(160.0f, {{8, 1}, {10, 2}, {140, 11}, {150, 12}, {158, 14}, {159, 16}, {160, 0}});
    expectIndices(320.0f, {{318, 15}, {316, 14}, {20, 2}, {18, 1}});
}

TEST(Cstepcol, CountsOutsideTheRangeOfTheIteration) { expectIndices(100.0f, {{102, 1}, {103, 16}}); }

TEST(Cstepcol, IndexFifteenOnlyFromLimitsThatAllowIt) {
    for (int cmax = 100; cmax <= 1500; ++cmax) {
        const float limit = static_cast<float>(cmax);
        const BandThresholds bands(limit, limit / 16.0f);
        bool fifteen = false;
        for (int c = 1; c <= cmax; ++c) fifteen = fifteen || bands.classify(static_cast<float>(c)) == 15;
        const bool expected = (cmax % 2 == 1) ? cmax >= 161 : cmax >= 320;
        EXPECT_EQ(fifteen, expected) << "cmax " << cmax;
    }
}

TEST(BandThresholds, AgreeWithPerCallClassificationForEveryLimitAndCount) {
    for (int cmax = 1; cmax <= 1600; ++cmax) {
        const float limit = static_cast<float>(cmax);
        const float cstep = limit / 16.0f;
        const BandThresholds bands(limit, cstep);
        for (int c = 0; c <= cmax + 2; ++c)
            ASSERT_EQ(bands.classify(static_cast<float>(c)), cstepcol(static_cast<float>(c), limit, cstep))
                << "cmax " << cmax << " count " << c;
    }
}

TEST(ColourTable, PacksThePaletteEntryOfEachCount) {
    const auto table = mandel::colourTableByCount(100.0f, 6.25f, 100);
    ASSERT_EQ(table.size(), 101u);
    EXPECT_EQ(table[100], 0u + 256u * 10 + 65536u * 10);     // index 0
    EXPECT_EQ(table[99], 187u + 256u * 197 + 65536u * 193);  // index 16
    EXPECT_EQ(table[2], 51u + 256u * 204 + 65536u * 255);    // index 1
    EXPECT_EQ(table[98], 255u + 256u * 255 + 65536u * 51);   // index 13
}

}  // namespace
