#include <gtest/gtest.h>

#include "region/region_navigation.h"

namespace {

using mandel::Region;

const Region kStartUp{-11507, -4793, 5000, 100};  // -1.1507 -0.4793 0.5 100

TEST(RegionFromReadouts, ReadsTheTextsTheBarsWrite) {
    EXPECT_EQ(mandel::regionFromReadouts("-1.1507", "-0.4793", "0.5", "100"), kStartUp);
    EXPECT_EQ(mandel::regionFromReadouts("-2", "0", "0.0001", "1500"), (Region{-20000, 0, 1, 1500}));
    EXPECT_EQ(mandel::regionFromReadouts("abc", "0", "1", "100"), std::nullopt);
    EXPECT_EQ(mandel::regionFromReadouts("0", "0", "", "100"), std::nullopt);
}

TEST(ZoomToSquare, ConvertsLogicalUnitsThroughTheCurrentRegion) {
    // side 0.5: one logical unit is 0.001 = 10 steps
    const auto next = mandel::zoomToSquare(kStartUp, 100, 250, 50);
    ASSERT_TRUE(next);
    EXPECT_EQ(next->real, -11507 + 1000);
    EXPECT_EQ(next->imag, -4793 + 2500) << "the top edge is the imaginary minimum: it grows downwards";
    EXPECT_EQ(next->side, 500);
    EXPECT_EQ(next->limit, 100) << "the iteration limit is not changed";
}

TEST(ZoomToSquare, RoundsToTheNearestStep) {
    // side 0.0013: one logical unit is 0.026 steps
    const Region tiny{0, 0, 13, 180};
    const auto next = mandel::zoomToSquare(tiny, 246, 254, 230);  // 6.396, 6.604 and 5.98 steps
    ASSERT_TRUE(next);
    EXPECT_EQ(next->real, 6);
    EXPECT_EQ(next->imag, 7);
    EXPECT_EQ(next->side, 6);
}

TEST(ZoomToSquare, TooSmallSquaresDoNothing) {
    EXPECT_EQ(mandel::zoomToSquare(kStartUp, 10, 10, 0), std::nullopt) << "a click without movement";
    const Region tiny{0, 0, 100, 180};  // one logical unit is 0.2 steps
    EXPECT_EQ(mandel::zoomToSquare(tiny, 10, 10, 2), std::nullopt);
    EXPECT_TRUE(mandel::zoomToSquare(tiny, 10, 10, 3)) << "0.6 steps rounds to one step";
}

TEST(ZoomToSquare, KeepsEachBarWithinItsRange) {
    const Region left{-20000, -30000, 30000, 100};
    const auto next = mandel::zoomToSquare(left, 0, 0, 500);
    ASSERT_TRUE(next);
    EXPECT_EQ(*next, left);
    const Region right{9000, 9000, 30000, 100};
    const auto clamped = mandel::zoomToSquare(right, 400, 400, 100);
    ASSERT_TRUE(clamped);
    EXPECT_EQ(clamped->real, 10000);
    EXPECT_EQ(clamped->imag, 10000);
    EXPECT_EQ(clamped->side, 6000);
}

TEST(ZoomAtPoint, KeepsThePointUnderThePointer) {
    const auto in = mandel::zoomAtPoint(kStartUp, 100, 400, true);
    ASSERT_TRUE(in);
    EXPECT_EQ(in->side, 2500);
    // The point under the pointer: -1.1507 + 0.2 * 0.5 = -1.0507, -0.4793 + 0.8 * 0.5 = -0.0793.
    EXPECT_EQ(in->real + 100 * in->side / 500, -10507);
    EXPECT_EQ(in->imag + 400 * in->side / 500, -793);

    const auto out = mandel::zoomAtPoint(*in, 100, 400, false);
    ASSERT_TRUE(out);
    EXPECT_EQ(*out, kStartUp) << "one notch back undoes one notch forward";
}

TEST(ZoomAtPoint, StopsAtTheBarsEnds) {
    const Region smallest{0, 0, 1, 100};
    EXPECT_EQ(mandel::zoomAtPoint(smallest, 0, 0, true), std::nullopt);
    const Region largest{-20000, -30000, 30000, 100};
    EXPECT_EQ(mandel::zoomAtPoint(largest, 0, 0, false), std::nullopt);
    const auto clamped = mandel::zoomAtPoint(Region{-20000, -30000, 20000, 100}, 250, 250, false);
    ASSERT_TRUE(clamped);
    EXPECT_EQ(clamped->side, 30000);
    EXPECT_EQ(clamped->real, -20000);
}

TEST(RegionHistory, BackReturnsThePreviousDrawing) {
    mandel::RegionHistory history;
    EXPECT_EQ(history.back(), std::nullopt);
    const Region a{1, 1, 1, 100}, b{2, 2, 2, 100}, c{3, 3, 3, 100};
    history.recordDrawing(a);
    history.recordDrawing(b);
    history.recordDrawing(b);  // drawn twice: one entry
    history.recordDrawing(c);
    EXPECT_EQ(history.back(), b);
    history.recordDrawing(b);  // going back draws b again
    EXPECT_EQ(history.back(), a);
    history.recordDrawing(a);
    EXPECT_EQ(history.back(), std::nullopt);
}

TEST(RegionHistory, KeepsOnlyTheNewestEntries) {
    mandel::RegionHistory history(50);
    for (int i = 0; i < 60; ++i) history.recordDrawing(Region{i, 0, 1, 100});
    EXPECT_EQ(history.size(), 50u);
    int steps = 0;
    std::optional<Region> r;
    while ((r = history.back())) {
        ++steps;
        EXPECT_GE(r->real, 10);
    }
    EXPECT_EQ(steps, 49);
}

}  // namespace
