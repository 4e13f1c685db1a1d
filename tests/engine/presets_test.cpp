#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "region/presets.h"
#include "region/readout_text.h"
#include "region/render_settings.h"

namespace {

using mandel::kPresets;
using mandel::Region;

TEST(ReadoutText, WritesThePositionAsAPlainDecimal) {
    EXPECT_EQ(mandel::positionText(-11507), "-1.1507");
    EXPECT_EQ(mandel::positionText(-20000), "-2");  // whole: no point
    EXPECT_EQ(mandel::positionText(0), "0");        // no sign, no point
    EXPECT_EQ(mandel::positionText(5000), "0.5");   // no trailing zeros
    EXPECT_EQ(mandel::positionText(1), "0.0001");   // never 1e-04
    EXPECT_EQ(mandel::positionText(-1), "-0.0001");
    EXPECT_EQ(mandel::positionText(10001), "1.0001");  // inner zeros kept
    EXPECT_EQ(mandel::positionText(30000), "3");
    EXPECT_EQ(mandel::iterationText(1500), "1500");
}

// Whether f is the float nearest to v / 10000. f·10000 is exact in double
// (24 + 14 bits), and so is its distance from the integer v.
bool isNearestFloat(float f, int v) {
    const auto distance = [v](float g) { return std::fabs(static_cast<double>(g) * 10000.0 - v); };
    return distance(f) < distance(std::nextafter(f, INFINITY)) && distance(f) < distance(std::nextafter(f, -INFINITY));
}

// Every position of the first three bars (-30000 to 30000 covers them all)
// reads back through the render pass's parse as the nearest float.
TEST(ReadoutText, ParsesBackToTheNearestFloat) {
    for (int v = mandel::kImagRange.minimum; v <= mandel::kSideRange.maximum; ++v)
        ASSERT_TRUE(isNearestFloat(mandel::parseReadout(mandel::positionText(v)), v)) << v;
}

TEST(Presets, TextsOfTheSixViews) {
    const mandel::RegionTexts expected[] = {
        {"-0.75", "-0.275", "0.05", "106"},    {"-1.8558", "-1.173", "2.4232", "100"},
        {"-0.775", "0.107", "0.01", "180"},    {"-0.7717", "0.1165", "0.0001", "180"},
        {"-0.772", "0.1163", "0.0005", "180"}, {"-0.7612", "0.0664", "1.3015", "100"},
    };
    for (std::size_t i = 0; i < kPresets.size(); ++i) {
        EXPECT_EQ(kPresets[i].name, "sample" + std::to_string(i + 1));
        EXPECT_EQ(mandel::regionTexts(kPresets[i].region), expected[i]) << kPresets[i].name;
        EXPECT_TRUE(mandel::withinBarRanges(kPresets[i].region)) << kPresets[i].name;
    }
}

// Sample 4 lies inside sample 5, which lies inside sample 3.
TEST(Presets, SamplesThreeFiveAndFourAreNested) {
    const auto inside = [](const Region& inner, const Region& outer) {
        return inner.real >= outer.real && inner.imag >= outer.imag &&
               inner.real + inner.side <= outer.real + outer.side && inner.imag + inner.side <= outer.imag + outer.side;
    };
    EXPECT_TRUE(inside(kPresets[3].region, kPresets[4].region));
    EXPECT_TRUE(inside(kPresets[4].region, kPresets[2].region));
}

TEST(BarRanges, HoldTheirEnds) {
    EXPECT_TRUE(mandel::withinBarRanges({-20000, -30000, 1, 100}));
    EXPECT_TRUE(mandel::withinBarRanges({10000, 10000, 30000, 1500}));
    EXPECT_FALSE(mandel::withinBarRanges({-20001, 0, 1, 100}));
    EXPECT_FALSE(mandel::withinBarRanges({0, 10001, 1, 100}));
    EXPECT_FALSE(mandel::withinBarRanges({0, 0, 0, 100}));
    EXPECT_FALSE(mandel::withinBarRanges({0, 0, 1, 1501}));
}

}  // namespace
