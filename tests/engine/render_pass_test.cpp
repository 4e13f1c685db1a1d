#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <map>
#include <string>
#include <vector>

#include "colour/banding.h"
#include "drawing/render_pass.h"

namespace {

using mandel::PassButton;
using mandel::PassEngine;
using mandel::Readout;

struct Plot {
    float x;
    float y;
    std::uint32_t colour;
    bool operator==(const Plot&) const = default;
};

// Records everything the pass does, in order.
struct Recorder : mandel::PassControls, mandel::PassSurface, mandel::Clock {
    std::map<Readout, std::string> readouts = {
        {Readout::Real, "-0.75"}, {Readout::Imag, "-0.275"}, {Readout::Side, "0.05"}, {Readout::Limit, "106"}};
    std::vector<std::string> events;
    std::vector<Plot> plots;
    std::map<PassButton, bool> enabled = {
        {PassButton::Start, true}, {PassButton::Clear, true}, {PassButton::End, true}};
    std::string startText = "old start";
    std::string endText = "old end";
    bool endEmptyWhilePlotting = true;
    bool buttonsDisabledWhilePlotting = true;
    int clockReads = 0;
    std::size_t failAtPlot = SIZE_MAX;  // the surface throws when asked for this plot

    void runClearCommand() override { Cls(); }
    std::string shownReadout(Readout which) const override { return readouts.at(which); }
    void setStartTimeText(const std::string& t) override {
        startText = t;
        events.push_back("start " + t);
    }
    void setEndTimeText(const std::string& t) override {
        endText = t;
        events.push_back("end " + t);
    }
    void setButtonEnabled(PassButton b, bool on) override {
        enabled[b] = on;
        events.push_back(std::string(on ? "enable " : "disable ") + std::to_string(static_cast<int>(b)));
    }
    void Cls() override {
        plots.clear();
        events.push_back("cls");
    }
    void PSet(float x, float y, std::uint32_t colour) override {
        if (plots.size() == failAtPlot) throw std::runtime_error("the surface failed");
        if (plots.empty()) events.push_back("first plot");
        endEmptyWhilePlotting = endEmptyWhilePlotting && endText.empty();
        for (const auto& [button, on] : enabled) buttonsDisabledWhilePlotting = buttonsDisabledWhilePlotting && !on;
        plots.push_back({x, y, colour});
    }
    float ScaleWidth() const override { return 500.0f; }
    float ScaleHeight() const override { return 500.0f; }
    std::string dateTimeText() const override {
        return "t" + std::to_string(++const_cast<Recorder*>(this)->clockReads);
    }
};

class RenderPassTest : public ::testing::TestWithParam<PassEngine> {
protected:
    mandel::RenderSettings settings;
    Recorder r;
    void run() { mandel::runRenderPass(settings, r, r, r, {GetParam(), 0}); }
};

TEST_P(RenderPassTest, StepsRunInOrder) {
    run();
    const std::vector<std::string> expected = {"cls",       "start t1",  "end ",       "disable 0",
                                               "disable 1", "disable 2", "first plot", "enable 0",
                                               "enable 1",  "enable 2",  "end t2"};
    EXPECT_EQ(r.events, expected);
    EXPECT_TRUE(r.endEmptyWhilePlotting);
    EXPECT_TRUE(r.buttonsDisabledWhilePlotting);
    EXPECT_EQ(r.startText, "t1");
    EXPECT_EQ(r.endText, "t2");
}

TEST_P(RenderPassTest, ScansRowsTopDownAndPointsLeftToRight) {
    run();
    ASSERT_EQ(r.plots.size(), 501u * 500u) << "side 0.05: 500 points in each of 501 rows";
    for (std::size_t i = 0; i < r.plots.size(); ++i) {
        ASSERT_EQ(r.plots[i].x, static_cast<float>(i % 500));
        ASSERT_EQ(r.plots[i].y, static_cast<float>(i / 500));
    }
    r.readouts[Readout::Side] = "0.5";
    run();
    ASSERT_EQ(r.plots.size(), 501u * 501u) << "side 0.5: 501 points, x = 0..500";
    EXPECT_EQ(r.plots.back().x, 500.0f);
    EXPECT_EQ(r.plots.back().y, 500.0f);
}

TEST_P(RenderPassTest, ColoursComeFromTheEscapeCounts) {
    run();
    const mandel::BandThresholds bands(106.0f, 6.625f);
    auto colourOf = [&](int count) { return mandel::packColour(mandel::Palette[bands.classify(float(count))]); };
    EXPECT_EQ(r.plots[0].colour, colourOf(12));
    EXPECT_EQ(r.plots[248].colour, colourOf(88));
    EXPECT_EQ(r.plots[500 + 246].colour, colourOf(84));
}

TEST_P(RenderPassTest, LeavesTheSettingsAsTheScanDoes) {
    run();
    EXPECT_EQ(settings.amin, -0.75f) << "re-parsed from the read-out at the last row end";
    float b = -0.275f;
    for (int i = 0; i < 501; ++i) b = b + settings.cside;
    EXPECT_EQ(settings.bmin, b);
    EXPECT_EQ(settings.cmax, 106.0f);
    EXPECT_GE(settings.cnow, 1.0f);
}

TEST_P(RenderPassTest, TwoPassesGiveIdenticalImagesFromAClearedSurface) {
    run();
    const auto first = r.plots;
    run();
    EXPECT_EQ(r.plots, first);
}

TEST_P(RenderPassTest, BadReadoutStopsBeforeTheButtonsAreDisabled) {
    r.readouts[Readout::Limit] = "abc";
    EXPECT_THROW(run(), mandel::ParseError);
    for (const auto& [button, on] : r.enabled) EXPECT_TRUE(on);
    EXPECT_TRUE(r.plots.empty());
}

TEST_P(RenderPassTest, ASurfaceThatThrowsMidScanLeavesTheButtonsEnabled) {
    r.failAtPlot = 250 * 500;
    EXPECT_THROW(run(), std::runtime_error);
    for (const auto& [button, on] : r.enabled) EXPECT_TRUE(on) << static_cast<int>(button);
    // The next pass draws the whole picture.
    r.failAtPlot = SIZE_MAX;
    run();
    EXPECT_EQ(r.plots.size(), 501u * 500u);
}

INSTANTIATE_TEST_SUITE_P(BothEngines, RenderPassTest, ::testing::Values(PassEngine::Reference, PassEngine::Fast),
                         [](const auto& info) { return info.param == PassEngine::Reference ? "Reference" : "Fast"; });

TEST(RenderPass, FastAndReferenceMakeTheSameCalls) {
    for (const char* side : {"0.05", "0.5", "2.4232"}) {
        Recorder reference;
        Recorder fast;
        reference.readouts[Readout::Side] = fast.readouts[Readout::Side] = side;
        mandel::RenderSettings s1;
        mandel::RenderSettings s2;
        mandel::runRenderPass(s1, reference, reference, reference, {PassEngine::Reference, 0});
        mandel::runRenderPass(s2, fast, fast, fast, {PassEngine::Fast, 2});
        EXPECT_EQ(fast.plots, reference.plots) << side;
        EXPECT_EQ(fast.events, reference.events) << side;
        EXPECT_EQ(std::memcmp(&s1, &s2, sizeof s1), 0) << side;
    }
}

}  // namespace
