#include <gtest/gtest.h>

#include "kernel/mandel.h"
#include "region/render_settings.h"

namespace {

using mandel::mandel;

TEST(Mandel, SimplePointsOfTheRealAndImaginaryAxes) {
    EXPECT_EQ(mandel(3.0f, 0.0f, 1500.0f), 1) << "|c|² = 9 escapes at the first test";
    EXPECT_EQ(mandel(2.0f, 0.0f, 1500.0f), 2) << "|c|² = 4 is not greater than 4";
    EXPECT_EQ(mandel(-2.0f, 0.0f, 1500.0f), 1500) << "stays at |z|² = 4";
    EXPECT_EQ(mandel(0.0f, 1.0f, 1500.0f), 1500) << "cycles through -1+i and -i";
    EXPECT_EQ(mandel(0.0f, 0.0f, 1500.0f), 1500);
    EXPECT_EQ(mandel(0.0f, 0.0f, 0.0f), 0) << "no step for a limit below 1";
}

// These two points change count under any other evaluation order, under a
// fused multiply-add, or in double precision: the build must keep every
// operation a separate single-precision rounding.
TEST(Mandel, BoundaryPointsDependOnEveryRounding) {
    EXPECT_EQ(mandel(-0.7712f, 0.1070f, 180.0f), 104);
    EXPECT_EQ(mandel(-0.7696f, 0.1073f, 180.0f), 107);
}

TEST(Mandel, FirstPresetPoints) {
    mandel::RenderSettings s;
    s.load({"-0.75", "-0.275", "0.05", "106"}, 500.0f);
    auto at = [&](int column, int row) {
        float a = s.amin;
        for (int i = 0; i < column; ++i) a = a + s.cside;
        float b = s.bmin;
        for (int i = 0; i < row; ++i) b = b + s.cside;
        return mandel(a, b, s.cmax);
    };
    EXPECT_EQ(at(0, 0), 12);
    EXPECT_EQ(at(248, 0), 88);
    EXPECT_EQ(at(246, 1), 84);
}

TEST(Mandel, CountNeverExceedsTheLimit) {
    for (float a = -2.0f; a <= 1.0f; a += 0.0173f)
        for (float b = -1.5f; b <= 1.5f; b += 0.0191f) {
            const short count = mandel(a, b, 106.0f);
            ASSERT_GE(count, 1);
            ASSERT_LE(count, 106);
        }
}

}  // namespace
