#include <gtest/gtest.h>

#include "region/render_settings.h"
#include "kernel/scan_plan.h"

namespace {

using mandel::RenderSettings;

mandel::ScanPlan planFor(const char* real, const char* imag, const char* side) {
    RenderSettings s;
    s.load({real, imag, side, "100"}, 500.0f);
    return mandel::planScan(s.amin, s.bmin, s.side, s.cside, 500.0f);
}

TEST(ScanPlan, PointsPerRowFollowTheCountdown) {
    EXPECT_EQ(planFor("-0.75", "-0.275", "0.05").pointsPerRow(), 500u);
    EXPECT_EQ(planFor("-1.1507", "-0.4793", "0.5").pointsPerRow(), 501u);
    EXPECT_EQ(planFor("0", "0", "1").pointsPerRow(), 501u);
    EXPECT_EQ(planFor("0", "0", "3").pointsPerRow(), 500u);
    EXPECT_EQ(planFor("0", "0", "0").pointsPerRow(), 0u);
    EXPECT_EQ(planFor("0", "0", "-1").pointsPerRow(), 0u);
}

TEST(ScanPlan, TallyOverEverySideLengthOfTheBar) {
    int with500 = 0;
    int with501 = 0;
    for (int v = 1; v <= 30000; ++v) {
        const float side =
            mandel::parseReadout(std::to_string(v / 10000) + "." + std::to_string(10000 + v % 10000).substr(1));
        const std::size_t points = mandel::pointsPerRow(side, side / 500.0f);
        if (points == 500)
            ++with500;
        else if (points == 501)
            ++with501;
        else
            ADD_FAILURE() << "side " << v << " gives " << points;
    }
    EXPECT_EQ(with500, 15025);
    EXPECT_EQ(with501, 14975);
}

TEST(ScanPlan, RowsAndPositionsByRepeatedAddition) {
    RenderSettings s;
    s.load({"-0.75", "-0.275", "0.05", "106"}, 500.0f);
    const auto plan = mandel::planScan(s.amin, s.bmin, s.side, s.cside, 500.0f);
    EXPECT_EQ(plan.rows(), 501u);
    EXPECT_EQ(plan.reals.front(), -0.75f);
    EXPECT_EQ(plan.imags.front(), -0.275f);
    float a = s.amin;
    for (std::size_t x = 0; x < plan.pointsPerRow(); ++x, a = a + s.cside) ASSERT_EQ(plan.reals[x], a);
    EXPECT_EQ(plan.realAfterLastPoint, -0.699991703f);
    float b = s.bmin;
    for (std::size_t y = 0; y < plan.rows(); ++y, b = b + s.cside) ASSERT_EQ(plan.imags[y], b);
    EXPECT_EQ(plan.imagAfterLastRow, b);
    EXPECT_LT(plan.imags.front(), plan.imags.back()) << "the imaginary part grows downwards";
}

TEST(ScanPlan, RowCountIsInclusiveOfTheHeight) {
    EXPECT_EQ(mandel::rowCount(500.0f), 501u);
    EXPECT_EQ(mandel::rowCount(0.0f), 1u);
    EXPECT_EQ(mandel::rowCount(-1.0f), 0u);
    EXPECT_THROW(mandel::rowCount(1e9f), mandel::SettingsError);
}

}  // namespace
