// Decimal and location texts: parse, print, round trips, and bad texts
// rejected with a reason.

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "explore/explore_gestures.h"

namespace mandel {

// Failures show decimals as their digits.
void PrintTo(const Decimal& value, std::ostream* out) { *out << value.plainText(); }

namespace {

Decimal dec(const char* text) { return Decimal::parse(text).value(); }

TEST(DecimalText, ParsesAndPrintsPlainAndScientific) {
    EXPECT_EQ(dec("-001.2500e3").plainText(), "-1250");
    EXPECT_EQ(dec("-001.2500e3").scientificText(), "-1.25e3");
    EXPECT_EQ(dec("+.5").plainText(), "0.5");
    EXPECT_EQ(dec("5.").plainText(), "5");
    EXPECT_EQ(dec("-0.000").plainText(), "0");
    EXPECT_EQ(dec("0.000123").scientificText(), "1.23e-4");
    EXPECT_EQ(dec("3.5E-120").plainText(), "0." + std::string(119, '0') + "35");
    const std::string longText = "-1." + std::string(150, '7') + "1";
    EXPECT_EQ(dec(longText.c_str()).plainText(), longText);
    EXPECT_EQ(dec(dec(longText.c_str()).scientificText().c_str()), dec(longText.c_str()));
    EXPECT_EQ(dec("0.1") + dec("0.2"), dec("0.3"));
    EXPECT_EQ((dec("1.5e-40") * dec("-2e10")).scientificText(), "-3e-30");
}

TEST(DecimalText, BadTextsGiveAReason) {
    for (const char* bad : {"", "-", ".", "1.2.3", "1e", "1e+", "abc", " 1", "1 ", "1e999999", "0x10", "1,5", "--1"}) {
        std::string problem;
        EXPECT_FALSE(Decimal::parse(bad, &problem).has_value()) << bad;
        EXPECT_FALSE(problem.empty()) << bad;
    }
}

TEST(DecimalText, DivisionRoundsToNearestWithTiesToEven) {
    EXPECT_EQ(dec("25").dividedRounded(10, 0), dec("2"));
    EXPECT_EQ(dec("35").dividedRounded(10, 0), dec("4"));
    EXPECT_EQ(dec("-25").dividedRounded(10, 0), dec("-2"));
    EXPECT_EQ(dec("26").dividedRounded(-10, 0), dec("-3"));
    EXPECT_EQ(dec("1").dividedRounded(3, -5), dec("0.33333"));
    EXPECT_EQ(dec("-2").dividedRounded(3, -5), dec("-0.66667"));
    EXPECT_EQ(dec("1234.5").rounded(2), dec("1200"));
}

TEST(LocationText, ReadoutsGiveTheExactCentre) {
    const auto reading = locationFromReadouts("-2.0", "-1.5", "3.0", "1000");
    ASSERT_TRUE(reading.ok) << reading.problem;
    EXPECT_EQ(reading.location.centreReal, dec("-0.5"));
    EXPECT_EQ(reading.location.centreImag, dec("0"));
    const auto deep = locationFromReadouts("-0.7436438870371587047521915061147746", "0.13182590420531197049313205638",
                                           "1.23456789012345678901234567e-20", "50000");
    ASSERT_TRUE(deep.ok);
    EXPECT_EQ(deep.location.centreReal,
              dec("-0.7436438870371587047521915061147746") + dec("0.617283945061728394506172835e-20"));
    EXPECT_FALSE(locationFromReadouts("-2", "-1.5", "0", "1000").ok);
    EXPECT_FALSE(locationFromReadouts("-2", "x", "3", "1000").ok);
}

TEST(LocationText, DisplayTextsRoundTripAndBadEditsAreExplained) {
    const ExploreLocation location{dec("-0.743643887037158704752"), dec("0.131825904205311970493"), dec("2.5e-18"),
                                   64000, 300};
    const LocationTexts texts = displayTexts(location);
    EXPECT_EQ(texts.centreReal, "-0.743643887037158704752");
    EXPECT_EQ(texts.side, "2.5e-18");
    EXPECT_EQ(texts.limit, "64000");
    const auto back = parseEditedTexts(texts, 300);
    ASSERT_TRUE(back.ok);
    EXPECT_EQ(back.location, location);
    struct Bad {
        LocationTexts texts;
        const char* named;
    };
    const std::vector<Bad> bads = {
        {{"1..2", "0", "1", "100"}, "centre real"},
        {{"0", "i", "1", "100"}, "centre imaginary"},
        {{"0", "0", "0", "100"}, "side"},
        {{"0", "0", "-1e-5", "100"}, "side"},
        {{"0", "0", "1", "0"}, "limit"},
        {{"0", "0", "1", "2147483648"}, "limit"},
        {{"0", "0", "1", "12a"}, "limit"},
        {{"0", "0", "1", ""}, "limit"},
    };
    for (const Bad& bad : bads) {
        const auto reading = parseEditedTexts(bad.texts, 0);
        EXPECT_FALSE(reading.ok);
        EXPECT_EQ(reading.problem.rfind(bad.named, 0), 0u) << reading.problem;
    }
}

TEST(LocationText, ClipboardLineIsTheRenderersArgumentsAndPastesBack) {
    const ExploreLocation location{dec("0"), dec("0"), dec("3"), 1000, 37};
    const DeepView view = toDeepView(location, 800, 600);
    EXPECT_EQ(view.location.realMin, "-2");
    EXPECT_EQ(view.location.imagMin, "-1.5");
    EXPECT_EQ(view.location.side, "3e0");
    const std::string line = clipboardText(location, 800, 600);
    EXPECT_EQ(line, "--deep --size 800x600 --base 37 -2 -1.5 3e0 1000");
    const auto pasted = parseLocationLine("  " + line + "\n");
    ASSERT_TRUE(pasted.ok) << pasted.problem;
    EXPECT_EQ(pasted.location, location);
    EXPECT_EQ(pasted.width, 800);
    EXPECT_EQ(pasted.height, 600);

    // A deep, odd-sized view: the pasted line gives the same deep view again.
    ExploreLocation deep{dec("-1.7490863748149414"), dec("-0.0000000000000000123456789"), dec("7.1234e-25"), 9000, 0};
    deep = zoomAboutPixel(deep, {777, 333}, 100, 200, kWheelUnitsPerNotch);
    const auto again = parseLocationLine(clipboardText(deep, 777, 333));
    ASSERT_TRUE(again.ok) << again.problem;
    EXPECT_EQ(toDeepView(again.location, 777, 333), toDeepView(deep, 777, 333));

    const auto square = parseLocationLine("-2 -1.5 3 1000");
    ASSERT_TRUE(square.ok);
    EXPECT_EQ(square.location.centreReal, dec("-0.5"));
    EXPECT_EQ(square.width, 0);
    // The renderer's --size S is S × S.
    const auto sized = parseLocationLine("--deep --size 800 -2 -1.5 3 100");
    ASSERT_TRUE(sized.ok) << sized.problem;
    EXPECT_EQ(sized.width, 800);
    EXPECT_EQ(sized.height, 800);
    for (const char* bad : {"", "-2 -1.5 3", "-2 -1.5 3 1000 5", "--deep --size 8 -2 -1.5 3 100",
                            "--size 8x600 -2 -1.5 3 100", "--bogus -2 -1.5 3 100", "--deep --deep -2 -1.5 3 100",
                            "--base 100 -2 -1.5 3 100", "-2 -1.5 -3 100", "-2 -1.5 3 0", "-2 - 3 100"}) {
        const auto reading = parseLocationLine(bad);
        EXPECT_FALSE(reading.ok) << bad;
        EXPECT_FALSE(reading.problem.empty()) << bad;
    }
}

TEST(ExploreHistoryTest, BackForwardHomeAndANewVisitDropsTheForwardEntries) {
    auto at = [](int n) { return ExploreLocation{Decimal(n), Decimal(0), Decimal(1), 100, 0}; };
    ExploreHistory history(at(0));
    EXPECT_FALSE(history.back());
    history.visit(at(1));
    history.visit(at(2));
    EXPECT_TRUE(history.back());
    EXPECT_EQ(history.current(), at(1));
    EXPECT_TRUE(history.forward());
    EXPECT_FALSE(history.forward());
    history.back();
    history.visit(at(3));
    EXPECT_FALSE(history.canGoForward());
    history.home();
    EXPECT_EQ(history.current(), at(0));
    history.back();
    EXPECT_EQ(history.current(), at(3));
}

TEST(GestureGeometry, SquarePanAndCentreZoomKeepTheirPoints) {
    const ExploreLocation start{dec("0"), dec("0"), dec("4"), 500, 0};
    // The square of 200 pixels at (0, 0) of 800×400 is the left upper quarter of the height.
    const ExploreLocation square = zoomToSquare(start, {800, 400}, 0, 0, 200);
    EXPECT_EQ(square.side, dec("2"));
    EXPECT_EQ(square.centreReal, dec("-3"));
    EXPECT_EQ(square.centreImag, dec("-1"));
    const ExploreLocation panned = panByPixels(start, {800, 400}, 100, -50);
    EXPECT_EQ(panned.centreReal, dec("1"));
    EXPECT_EQ(panned.centreImag, dec("-0.5"));
    const ExploreLocation zoomed = zoomAboutCentre(panned, -2 * kWheelUnitsPerNotch);
    EXPECT_EQ(zoomed.side, dec("16"));
    EXPECT_EQ(zoomed.centreReal, dec("1"));
    // Pixel (0, 0) stays on the same point when zooming about it.
    const ExploreLocation corner = zoomAboutPixel(start, {800, 400}, 0, 0, kWheelUnitsPerNotch);
    EXPECT_EQ(toDeepView(corner, 800, 400).location.realMin, toDeepView(start, 800, 400).location.realMin);
    EXPECT_EQ(toDeepView(corner, 800, 400).location.imagMin, "-2");
}

}  // namespace
}  // namespace mandel
