// The one grammar of decimal texts: every text goes through the renderer's
// command line and through the explorer's location texts (typed and pasted),
// and both must take it or refuse it alike, for the same reason.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "deep_render.h"
#include "explore/explore_location.h"

namespace {

constexpr const char* kExponentBeyond = "has an exponent beyond ±100000";
constexpr const char* kMagnitudeBeyond = "has a magnitude beyond 1e±100000";
constexpr const char* kTooLong = "is longer than 100100 characters";

struct Row {
    std::string text;
    // Accepted: the explorer's value in scientific notation. Refused: a part
    // of both messages, or "" where the renderer takes the text for an option.
    std::string expected;
    bool accepted;
};

Row taken(std::string text, std::string scientific) { return {std::move(text), std::move(scientific), true}; }
Row refused(std::string text, std::string reason) { return {std::move(text), std::move(reason), false}; }

std::vector<Row> rows() {
    const std::string zeros(99999, '0');
    return {
        taken("0", "0e0"),
        taken("-0", "0e0"),
        taken("0.000", "0e0"),
        taken("007", "7e0"),
        taken(".25", "2.5e-1"),
        taken("1.", "1e0"),
        taken("+0.25", "2.5e-1"),
        taken("+.5e+1", "5e0"),
        taken("-1.25e-3", "-1.25e-3"),
        taken("1E-300", "1e-300"),
        taken("1e+0005", "1e5"),
        // The range's edges: the written exponent and the leading digit's power of ten.
        taken("1e100000", "1e100000"),
        taken("-9.99e100000", "-9.99e100000"),
        taken("1e-100000", "1e-100000"),
        taken("0.1e-99999", "1e-100000"),
        taken("10000e99996", "1e100000"),
        taken("0e100000", "0e0"),
        taken("-0.000e-100000", "0e0"),
        taken("1" + zeros + "0", "1e100000"),
        taken("0." + zeros + "1", "1e-100000"),
        refused("1e100001", kExponentBeyond),
        refused("1e-100001", kExponentBeyond),
        refused("0e999999", kExponentBeyond),
        refused("0.0001e100003", kExponentBeyond),
        refused("1e99999999999999999999999", kExponentBeyond),
        refused("100e99999", kMagnitudeBeyond),
        refused("0.01e-99999", kMagnitudeBeyond),
        refused("1" + zeros + "00", kMagnitudeBeyond),
        refused("0." + zeros + "01", kMagnitudeBeyond),
        // The length, checked before anything else: 100100 characters are
        // taken, one more is refused, and so is a 10 MB text of any shape.
        taken("1." + std::string(100098, '5'), "1." + std::string(100098, '5') + "e0"),
        taken("-0." + zeros + "1" + std::string(97, '0'), "-1e-100000"),
        refused("1." + std::string(100099, '5'), kTooLong),
        refused("-0." + zeros + "1" + std::string(98, '0'), kTooLong),
        refused(std::string(10'000'000, '7'), kTooLong),
        refused(std::string(10'000'000, 'x'), kTooLong),
        // Shapes.
        refused("", "is empty"),
        refused(".", "has no digits"),
        refused("+", "has no digits"),
        refused("e5", "has no digits"),
        refused(".e5", "has no digits"),
        refused("1e", "has no digits in its exponent"),
        refused("1e+", "has no digits in its exponent"),
        refused("1e+-5", "has no digits in its exponent"),
        refused("1.2.3", "is not a decimal number"),
        refused("0x1", "is not a decimal number"),
        refused("inf", "is not a decimal number"),
        refused("nan", "is not a decimal number"),
        refused(" 1", "is not a decimal number"),
        refused("1 ", "is not a decimal number"),
        refused("1 2", "is not a decimal number"),
        refused("1@5", "is not a decimal number"),
        refused("1e5.5", "is not a decimal number"),
        refused("1,5", "is not a decimal number"),
        refused("+-1", "is not a decimal number"),
        refused("\xd9\xa1", "is not a decimal number"),
        refused("\xef\xbc\x91", "is not a decimal number"),
        refused("-", ""),
        refused("-inf", ""),
        refused("--1", ""),
    };
}

// "" when the renderer takes the text as REAL_MIN, otherwise its message.
std::string rendererProblem(const std::string& text) {
    const std::vector<std::string_view> args = {"--deep", "--size", "16", text, "0", "1", "10"};
    try {
        const mandel::tool::DeepRenderOptions options = mandel::tool::parseDeepRenderOptions(args);
        return options.view.location.realMin == text ? "" : "kept as \"" + options.view.location.realMin + "\"";
    } catch (const mandel::tool::UsageError& error) {
        return error.what();
    }
}

TEST(DecimalGrammar, RendererAndExplorerAgreeOnEveryText) {
    for (const Row& row : rows()) {
        const std::string shown = row.text.size() > 40 ? row.text.substr(0, 40) + "..." : row.text;
        const std::string renderer = rendererProblem(row.text);
        const mandel::LocationReading typed = mandel::parseEditedTexts({row.text, "0", "1", "10"}, 0);
        EXPECT_EQ(renderer.empty(), row.accepted) << shown << ": " << renderer;
        EXPECT_EQ(typed.ok, row.accepted) << shown << ": " << typed.problem;
        if (row.accepted && typed.ok) {
            EXPECT_EQ(typed.location.centreReal.scientificText(), row.expected) << shown;
        } else if (!row.accepted) {
            EXPECT_NE(renderer.find(row.expected), std::string::npos) << shown << ": " << renderer;
            EXPECT_NE(typed.problem.find(row.expected), std::string::npos) << shown << ": " << typed.problem;
        }
        // A pasted line splits at spaces, so only a text without any is one word.
        if (row.text.empty() || row.text.find(' ') != std::string::npos) continue;
        const mandel::LocationReading pasted = mandel::parseLocationLine(row.text + " 0 1 10");
        EXPECT_EQ(pasted.ok, row.accepted) << shown << ": " << pasted.problem;
    }
}

}  // namespace
