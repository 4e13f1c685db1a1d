#include <gtest/gtest.h>

#include <clocale>
#include <cstring>

#include "region/render_settings.h"

namespace {

using mandel::ParseError;
using mandel::parseReadout;
using mandel::RenderSettings;
using mandel::SettingsError;

TEST(ParseReadout, GivesTheNearestSingle) {
    EXPECT_EQ(parseReadout("-0.75"), -0.75f);
    EXPECT_EQ(parseReadout("0.05"), 0.0500000007f);
    EXPECT_EQ(parseReadout("106"), 106.0f);
    EXPECT_EQ(parseReadout("-2"), -2.0f);
    EXPECT_EQ(parseReadout("0"), 0.0f);
    EXPECT_EQ(parseReadout("0.0001"), 0.0001f);
    EXPECT_EQ(parseReadout("-1.1507"), -1.1507f);
    // Correctly rounded straight to float, not via a double: this decimal lies
    // just above the midpoint 1 + 2^-24, which a double rounds onto (and the
    // double then ties to even, down to 1).
    EXPECT_EQ(parseReadout("1.00000005960464477550"), 1.00000012f);
}

TEST(ParseReadout, IgnoresTheProcessLocale) {
    const char* old = std::setlocale(LC_ALL, nullptr);
    const std::string saved = old ? old : "C";
    // A comma locale, if the machine has one; the parse must not care either way.
    std::setlocale(LC_ALL, "de_DE.UTF-8");
    EXPECT_EQ(parseReadout("-0.4793"), -0.4793f);
    EXPECT_THROW(parseReadout("-0,4793"), ParseError);
    std::setlocale(LC_ALL, saved.c_str());
}

TEST(ParseReadout, RejectsTextThatIsNotAReadout) {
    for (const char* bad : {"", "abc", "1e", "1e5", "--1", "+1", "nan", "NaN", "inf", "-inf", "1.", ".5", " 1", "1 ",
                            "1,5", "0x10", "-", "1.2.3", "1e999999"}) {
        EXPECT_THROW(parseReadout(bad), ParseError) << '"' << bad << '"';
    }
    // A number too large for a single is no usable parameter either.
    EXPECT_THROW(parseReadout(std::string(60, '9')), ParseError);
    try {
        parseReadout("abc");
    } catch (const ParseError& e) {
        EXPECT_NE(std::string(e.what()).find("\"abc\""), std::string::npos) << "the error names the text";
    }
}

TEST(RenderSettingsLoad, DerivesStepAndBandWidth) {
    RenderSettings s;
    s.load({"-0.75", "-0.275", "0.05", "106"}, 500.0f);
    EXPECT_EQ(s.amin, -0.75f);
    EXPECT_EQ(s.bmin, -0.275f);
    EXPECT_EQ(s.side, 0.0500000007f);
    EXPECT_EQ(s.cside, 0.000100000005f);
    EXPECT_EQ(s.cmax, 106.0f);
    EXPECT_EQ(s.cstep, 6.625f);

    s.load({"-1.1507", "-0.4793", "0.5", "100"}, 500.0f);
    EXPECT_EQ(s.side, 0.5f);
    EXPECT_EQ(s.cside, 0.00100000005f);
    EXPECT_EQ(s.cstep, 6.25f);

    RenderSettings again = s;
    again.load({"-1.1507", "-0.4793", "0.5", "100"}, 500.0f);
    EXPECT_EQ(std::memcmp(&again, &s, sizeof s), 0) << "a second load gives bit-identical fields";
}

TEST(RenderSettingsLoad, RepeatedAdditionDiffersFromMultiplication) {
    RenderSettings s;
    s.load({"-0.75", "-0.275", "0.05", "106"}, 500.0f);
    float a = s.amin;
    for (int i = 0; i < 500; ++i) a = a + s.cside;
    EXPECT_EQ(a, -0.699991703f);
    EXPECT_EQ(s.amin + 500.0f * s.cside, -0.699999988f);
}

TEST(RenderSettingsLoad, RejectsUnusableParameters) {
    RenderSettings s;
    EXPECT_THROW(s.load({"x", "0", "1", "100"}, 500.0f), ParseError);
    EXPECT_THROW(s.load({"0", "0", "1", "100"}, 0.0f), SettingsError) << "zero logical width";
    EXPECT_THROW(s.load({"0", "0", "1", "0"}, 500.0f), SettingsError);
    EXPECT_THROW(s.load({"0", "0", "1", "-5"}, 500.0f), SettingsError);
    EXPECT_THROW(s.load({"0", "0", "1", "32767"}, 500.0f), SettingsError);
    EXPECT_THROW(s.load({"0", "0", "1", "70000"}, 500.0f), SettingsError);
    EXPECT_THROW(s.load({"0", "0", "0.0000000000000000000000000000000000000000001", "100"}, 500.0f), SettingsError)
        << "a step that underflows to 0 would never end a row";
    EXPECT_NO_THROW(s.load({"0", "0", "1", "32766"}, 500.0f));
    EXPECT_NO_THROW(s.load({"0", "0", "1", "1"}, 500.0f));
}

TEST(ToInt16, RoundsTiesToEvenAndRejectsOverflow) {
    EXPECT_EQ(mandel::toInt16(100.0f), 100);
    EXPECT_EQ(mandel::toInt16(100.5f), 100);
    EXPECT_EQ(mandel::toInt16(101.5f), 102);
    EXPECT_EQ(mandel::toInt16(-32768.0f), -32768);
    EXPECT_THROW(mandel::toInt16(32767.5f), SettingsError);
    EXPECT_THROW(mandel::toInt16(-40000.0f), SettingsError);
}

}  // namespace
