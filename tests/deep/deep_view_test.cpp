#include <gtest/gtest.h>

#include <string>

#include "deep/deep_view.h"

namespace {

using mandel::decimalTextProblem;
using mandel::DeepView;
using mandel::deepViewProblem;

TEST(DecimalText, TakesDecimalsOfAnyLength) {
    const std::string long_digits = "-1.25066101234567890123456789012345678901234567890" + std::string(2000, '7');
    for (const std::string& text : std::initializer_list<std::string>{"0", "-0", "+2", "1.5", "3.5e-120", "3.5E+120",
                                                                      "-1e-1000", "007.500", ".5", "1.", long_digits})
        EXPECT_EQ(decimalTextProblem(text), "") << text;
}

// MPFR's own parser would take several of these (spaces, hexadecimal, '@'
// exponents, "inf", "nan").
TEST(DecimalText, RefusesWhatIsNotADecimal) {
    for (const char* text : {"", " 1", "1 ", "0x1p3", "1@5", "inf", "nan", ".", "-", "1e", "1e+", "1.2.3", "1e5.5",
                             "1,5", "--1", "1e5x", "١"})
        EXPECT_NE(decimalTextProblem(text), "") << text;
}

TEST(DecimalText, RefusesExponentsBeyondTheRange) {
    EXPECT_EQ(decimalTextProblem("1e-100000"), "");
    EXPECT_EQ(decimalTextProblem("0.000001e-99994"), "");
    EXPECT_EQ(decimalTextProblem("0.000001e-99995"), "has a magnitude beyond 1e±100000");
    EXPECT_EQ(decimalTextProblem("12e99999"), "");
    EXPECT_EQ(decimalTextProblem("123e99999"), "has a magnitude beyond 1e±100000");
    EXPECT_EQ(decimalTextProblem("1e99999999999999999999999"), "has an exponent beyond ±100000");
    EXPECT_EQ(decimalTextProblem("0e100001"), "has an exponent beyond ±100000");  // even for zero
    EXPECT_EQ(decimalTextProblem("0e-100000"), "");
}

DeepView viewOf(std::string a, std::string b, std::string s, std::int64_t limit, int width, int height) {
    return {{std::move(a), std::move(b), std::move(s), limit}, width, height};
}

TEST(DeepViewProblem, NamesTheCulpritInOneLine) {
    EXPECT_EQ(deepViewProblem(viewOf("-2", "-1.5", "3", 100, 16, 32000)), "");
    EXPECT_EQ(deepViewProblem(viewOf("-2", "-1.5", "3", 2147483647, 500, 500)), "");
    const struct {
        DeepView view;
        std::string starts;
    } bad[] = {
        {viewOf("x", "0", "1", 100, 500, 500), "real minimum \"x\""},
        {viewOf("0", "1\n2", "1", 100, 500, 500), "imaginary minimum \"1?2\""},
        {viewOf("0", "0", "0.000", 100, 500, 500), "side \"0.000\" must be > 0"},
        {viewOf("0", "0", "-1e-5", 100, 500, 500), "side \"-1e-5\" must be > 0"},
        {viewOf("0", "0", "1", 0, 500, 500), "limit 0 outside 1..2147483647"},
        {viewOf("0", "0", "1", 2147483648, 500, 500), "limit 2147483648 outside 1..2147483647"},
        {viewOf("0", "0", "1", 100, 15, 15), "size 15 outside 16..32000"},
        {viewOf("0", "0", "1", 100, 500, 32001), "height 32001 outside 16..32000"},
        {viewOf("0", "0", "1", 100, 15, 500), "width 15 outside 16..32000"},
    };
    for (const auto& [view, starts] : bad) {
        const std::string problem = deepViewProblem(view);
        EXPECT_EQ(problem.rfind(starts, 0), 0u) << problem;
        EXPECT_EQ(problem.find('\n'), std::string::npos) << problem;
    }
    EXPECT_LT(deepViewProblem(viewOf(std::string(5000, '1') + "x", "0", "1", 100, 500, 500)).size(), 120u);
}

}  // namespace
