// The smooth colouring's parts: the defined logarithms against the platform's,
// linear light, the gradients, the automatic density and the colouring's texts.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "colour/colouring.h"
#include "colour/defined_math.h"
#include "colour/gradients.h"
#include "colour/linear_light.h"
#include "colour/smooth_colouring.h"
#include "colour/smooth_count.h"
#include "colour/smooth_lanes.h"
#include "kernel/fast_targets.h"

namespace {

TEST(DefinedMath, AgreesWithTheLibraryToRounding) {
    for (double x = 1e-300; x < 1e300; x *= 1.37) {
        EXPECT_NEAR(mandel::definedLn(x), std::log(x), 1e-13 * std::max(1.0, std::fabs(std::log(x)))) << x;
        const double y = std::log2(x) / 300;  // -3.3 .. 3.3
        EXPECT_NEAR(mandel::definedExp2(y), std::exp2(y), 1e-15 * std::exp2(y)) << y;
    }
    for (double x = 0.5; x < 2; x += 0.001) EXPECT_NEAR(mandel::definedLog2(x), std::log2(x), 1e-15) << x;
    EXPECT_EQ(mandel::definedLn(1), 0);
    EXPECT_TRUE(std::isnan(mandel::definedLn(-1)));
    EXPECT_EQ(mandel::definedLn(0), -INFINITY);
    EXPECT_EQ(mandel::definedExp2(-2000), 0);
}

TEST(LinearLight, EveryByteComesBackAndTheCurveRises) {
    EXPECT_EQ(mandel::linearOfByte(0), 0);
    EXPECT_NEAR(mandel::linearOfByte(255), 1, 1e-12);
    EXPECT_NEAR(mandel::linearOfByte(128), 0.2158605, 1e-6);  // the sRGB curve's published value
    for (int b = 0; b < 256; ++b) {
        const auto byte = static_cast<std::uint8_t>(b);
        EXPECT_EQ(mandel::byteOfLinear(mandel::linearOfByte(byte)), byte);
        if (b > 0) {
            EXPECT_LT(mandel::linearOfByte(static_cast<std::uint8_t>(b - 1)), mandel::linearOfByte(byte));
        }
    }
    // Black and white averaged in light are brighter than the bytes' mean.
    double sums[3] = {0, 0, 0};
    mandel::addLinear({0, 0, 0}, sums);
    mandel::addLinear({255, 255, 255}, sums);
    EXPECT_EQ(mandel::averageOfLinear(sums, 2).red, 188);
}

TEST(Gradients, StopsCycleAndNames) {
    for (const mandel::Gradient& g : mandel::builtInGradients()) {
        EXPECT_EQ(mandel::findGradient(g.name), &g);
        const auto n = static_cast<double>(g.stops.size());
        for (std::size_t k = 0; k < g.stops.size(); ++k) {
            const mandel::Rgb at = mandel::gradientColour(g, static_cast<double>(k) / n);
            EXPECT_EQ(mandel::packColour(at), mandel::packColour(g.stops[k])) << g.name << " " << k;
            // A whole cycle on or off changes at most the rounding of the place.
            const mandel::Rgb a = mandel::gradientColour(g, (k + 0.3) / n + 5);
            const mandel::Rgb b = mandel::gradientColour(g, (k + 0.3) / n - 2);
            EXPECT_LE(std::abs(a.red - b.red) + std::abs(a.green - b.green) + std::abs(a.blue - b.blue), 3);
        }
    }
    EXPECT_EQ(mandel::findGradient("nope"), nullptr);
    EXPECT_EQ(mandel::gradientNames(), "classic, fire, ocean, bands, grey");
}

// Counts falling off as most views' do: the automatic density puts no
// sixteenth of the cycle over much of the escaped pixels, starts the cycle at
// the offset, and leaves the inside out.
TEST(AutomaticScale, SpreadsTheGradientOverTheView) {
    std::vector<std::int32_t> counts;
    std::vector<float> excess;
    for (int i = 0; i < 20000; ++i) {
        counts.push_back(100 + static_cast<std::int32_t>(std::floor(std::exp2(i / 2000.0) * 7)));
        excess.push_back(static_cast<float>((i % 97) / 97.0));
    }
    counts.push_back(5000);  // inside
    excess.push_back(NAN);
    for (const mandel::DensityScale scale : {mandel::DensityScale::Linear, mandel::DensityScale::Log}) {
        const mandel::SmoothScale s = mandel::automaticScale(counts, excess, 5000, scale, 0.25);
        ASSERT_GT(s.density, 0);
        std::vector<int> share(16);
        for (std::size_t i = 0; i + 1 < counts.size(); ++i) {
            const double t = mandel::colourPosition(counts[i] + static_cast<double>(excess[i]), s);
            share[static_cast<std::size_t>((t - std::floor(t)) * 16)] += 1;
        }
        for (const int n : share) EXPECT_LT(n, 20000 / 5);
    }
}

bool sameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// Many pixels at once in SIMD lanes, on every instruction set: the same bits
// as the one-pixel functions, at the edges too (an orbit that never leaves
// R, |z|² overflowing, NaN, a tail shorter than a vector, ν = 0 on the
// logarithmic scale).
TEST(SmoothLanes, AreTheOnePixelFunctionsBitForBit) {
    std::mt19937_64 random(7);
    std::uniform_real_distribution<double> unit(0, 1);
    mandel::EscapePoints points;
    for (int k = 0; k < 997; ++k) {
        const double radius = 2 + std::exp2(unit(random) * 12 - 6), angle = unit(random) * 6.283;
        points.add(radius * std::cos(angle), radius * std::sin(angle), unit(random) - 1.5, unit(random) - 0.5);
    }
    points.add(2, 0, -2, 0);  // stays at 2: never beyond R
    points.add(2 + 1e-15, 0, -2, 0);
    points.add(1e200, 1e200, 0, 0);  // |z|² overflows
    points.add(NAN, 3, 0, 0);
    std::vector<std::int32_t> counts;
    std::vector<float> excess;
    for (int k = 0; k < 1001; ++k) {
        counts.push_back(static_cast<std::int32_t>(unit(random) * 600));
        excess.push_back(static_cast<float>(unit(random) * 3));
    }
    counts[5] = 0;  // ν = 0: its logarithm is -infinity
    excess[5] = 0;
    for (const mandel::SimdTarget& target : mandel::availableSimdTargets()) {
        const mandel::ForcedSimdTarget forced(target);
        std::vector<double> out(points.size());
        mandel::smoothExcesses(points, out);
        for (std::size_t k = 0; k < out.size(); ++k) {
            const double one = mandel::smoothExcess(points.zr[k], points.zi[k], points.cr[k], points.ci[k]);
            ASSERT_TRUE(sameBits(out[k], one)) << target.name << " " << k << ": " << out[k] << " " << one;
        }
        for (const mandel::Gradient& gradient : mandel::builtInGradients())
            for (const auto scale : {mandel::DensityScale::Linear, mandel::DensityScale::Log}) {
                const mandel::SmoothScale s{0.37, scale, 0.8};
                std::vector<mandel::Rgb> colours(counts.size());
                mandel::smoothColours(counts, excess, 500, gradient, s, colours);
                for (std::size_t k = 0; k < colours.size(); ++k) {
                    const mandel::Rgb one = mandel::smoothColour(counts[k], excess[k], 500, gradient, s);
                    ASSERT_EQ(mandel::packColour(colours[k]), mandel::packColour(one)) << target.name << " " << k;
                }
            }
    }
}

TEST(ColouringTexts, ReadBackExactlyAndRefuseBadValues) {
    mandel::Colouring c;
    c.mode = mandel::ColouringMode::Smooth;
    c.palette = "ocean";
    c.automaticDensity = false;
    c.scale = {0.1 / 3, mandel::DensityScale::Log, 0.7};
    c.supersample = 3;
    const std::string text = mandel::colouringArguments(c);
    EXPECT_EQ(text,
              "--colouring smooth --palette ocean --density 0.03333333333333333 --density-scale log --offset 0.7 "
              "--supersample 3");
    std::string problem;
    const std::optional<mandel::Colouring> back = mandel::parseColouringArguments(text, problem);
    ASSERT_TRUE(back) << problem;
    EXPECT_EQ(back->palette, "ocean");
    EXPECT_EQ(back->scale.density, c.scale.density);
    EXPECT_EQ(back->scale.offset, c.scale.offset);
    EXPECT_EQ(back->scale.scale, c.scale.scale);
    EXPECT_EQ(back->supersample, 3);
    EXPECT_FALSE(back->automaticDensity);
    const std::pair<const char*, const char*> bad[] = {
        {"--colouring", "stripes"}, {"--palette", "rainbow"},  {"--density", "0"},  {"--density", "nan"},
        {"--density", "2e6"},       {"--density-scale", "ln"}, {"--offset", "inf"}, {"--supersample", "9"},
        {"--supersample", "0"},     {"--offset", "1 2"}};
    for (const auto& [option, value] : bad) {
        mandel::Colouring any;
        const std::string says = mandel::applyColouringOption(any, option, value);
        EXPECT_NE(says.find(option), std::string::npos) << option << " " << value << ": " << says;
        EXPECT_EQ(says.find('\n'), std::string::npos);
    }
    EXPECT_FALSE(mandel::parseColouringArguments("--colouring smooth --palette", problem));
}

}  // namespace
