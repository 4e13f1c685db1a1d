// The pieces of mandelbrot-zoom that its command-line tests cannot reach
// one by one: the reference orbit's file, the share of keyframes a task
// takes from the scheduler's variables, and the keyframes' geometry.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <map>
#include <vector>

#include "deep/deep_drawing.h"
#include "deep/deep_reference.h"
#include "deep/reference_file.h"
#include "explore/exact_decimal.h"
#include "scratch_folder.h"
#include "colour/banding.h"
#include "deep/deep_colour.h"
#include "zoom_frames.h"
#include "zoom_options.h"
#include "zoom_plan.h"

namespace {

using mandel::DeepView;

const DeepView kDeepView{{"-0.74534", "0.11273", "2e-6", 600}, 48, 27};

std::vector<std::int32_t> countsOf(const DeepView& view, std::shared_ptr<const mandel::DeepReference> reuse,
                                   std::shared_ptr<const mandel::DeepReference>* used = nullptr) {
    mandel::DeepDrawing drawing(view, std::move(reuse));
    std::vector<std::int32_t> counts(static_cast<std::size_t>(view.width) * view.height);
    EXPECT_TRUE(drawing.computeRows(0, view.height, counts));
    if (used) *used = drawing.reference();
    return counts;
}

class ReferenceFileTest : public test::ScratchFolder {};

TEST_F(ReferenceFileTest, ReadsBackTheOrbitThatDrawsTheSameCounts) {
    mandel::DeepDrawing deepest(kDeepView);
    ASSERT_TRUE(deepest.prepare());
    const auto written = deepest.reference();
    const std::string path = (dir_ / "reference.orbit").string();
    mandel::writeReferenceFile(path, *written);
    const auto read = mandel::readReferenceFile(path);

    EXPECT_EQ(mpfr_equal_p(read->centreRe().get(), written->centreRe().get()), 1);
    EXPECT_EQ(mpfr_equal_p(read->centreIm().get(), written->centreIm().get()), 1);
    EXPECT_EQ(read->precisionBits(), written->precisionBits());
    EXPECT_EQ(read->limit(), written->limit());
    EXPECT_EQ(read->escaped(), written->escaped());
    EXPECT_EQ(read->truncated(), written->truncated());
    ASSERT_EQ(read->orbit().size(), written->orbit().size());
    EXPECT_EQ(std::memcmp(read->orbit().data(), written->orbit().data(),
                          written->orbit().size() * sizeof(mandel::OrbitPoint)),
              0);
    ASSERT_EQ(read->orbitLow().size(), written->orbitLow().size());
    EXPECT_EQ(std::memcmp(read->orbitLow().data(), written->orbitLow().data(),
                          written->orbitLow().size() * sizeof(mandel::OrbitLow)),
              0);

    // A keyframe further out is drawn against the file's orbit, with the
    // counts of a drawing that computes its own.
    const DeepView outer = mandel::tool::keyframeView(kDeepView, 3, kDeepView.location.limit);
    std::shared_ptr<const mandel::DeepReference> used;
    EXPECT_EQ(countsOf(outer, read, &used), countsOf(outer, nullptr));
    EXPECT_EQ(used, read);
    EXPECT_EQ(countsOf(kDeepView, read), countsOf(kDeepView, nullptr));
}

TEST_F(ReferenceFileTest, RefusesAFileThatIsDamagedShortOrOfAnotherVersion) {
    mandel::DeepDrawing drawing(kDeepView);
    ASSERT_TRUE(drawing.prepare());
    const std::string path = (dir_ / "reference.orbit").string();
    mandel::writeReferenceFile(path, *drawing.reference());
    const test::Bytes good = test::readAll(path);
    const auto refused = [&](test::Bytes bytes) -> std::string {
        std::ofstream(path, std::ios::binary | std::ios::trunc)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        try {
            mandel::readReferenceFile(path);
        } catch (const mandel::ReferenceFileError& error) {
            return error.what();
        }
        return "read";
    };
    test::Bytes damaged = good;
    damaged[damaged.size() - 7] ^= 1;
    EXPECT_NE(refused(damaged).find("is damaged"), std::string::npos);
    EXPECT_NE(refused(test::Bytes(good.begin(), good.end() - 32)).find("less data"), std::string::npos);
    test::Bytes longer = good;
    longer.push_back(0);
    EXPECT_NE(refused(longer).find("more data"), std::string::npos);
    test::Bytes other = good;
    other[std::strlen("mandelbrot-reference ")] = '2';
    EXPECT_NE(refused(other).find("version 1"), std::string::npos);
    EXPECT_EQ(refused(good), "read");
    std::filesystem::remove(path);
    EXPECT_THROW(mandel::readReferenceFile(path), mandel::ReferenceFileError);
}

mandel::tool::TaskShare shareOf(std::optional<unsigned> tasks, std::optional<unsigned> task,
                                const std::map<std::string, std::string>& variables) {
    return mandel::tool::taskShare(tasks, task, [&](const char* name) -> const char* {
        const auto found = variables.find(name);
        return found == variables.end() ? nullptr : found->second.c_str();
    });
}

TEST(ZoomTaskShare, ComesFromTheOptionsOrTheScheduler) {
    using Share = std::pair<int, int>;  // count, index
    const auto share = [](const mandel::tool::TaskShare& s) { return Share{s.count, s.index}; };
    const std::map<std::string, std::string> slurm = {
        {"SLURM_ARRAY_TASK_ID", "6"}, {"SLURM_ARRAY_TASK_MIN", "4"}, {"SLURM_ARRAY_TASK_COUNT", "3"}};
    EXPECT_EQ(share(shareOf({}, {}, {})), Share(1, 0));
    EXPECT_EQ(share(shareOf(5, 4, {})), Share(5, 4));
    EXPECT_EQ(share(shareOf({}, {}, slurm)), Share(3, 2));
    EXPECT_EQ(share(shareOf(5, 1, slurm)), Share(5, 1));  // the options come first
    EXPECT_EQ(share(shareOf(4, {}, {{"JOB_COMPLETION_INDEX", "3"}})), Share(4, 3));
    EXPECT_EQ(share(shareOf({}, {}, {{"JOB_COMPLETION_INDEX", "3"}})), Share(1, 0));  // Kubernetes needs --tasks

    using mandel::tool::UsageError;
    EXPECT_THROW(shareOf({}, 1, {}), UsageError);
    EXPECT_THROW(shareOf(3, 3, {}), UsageError);
    EXPECT_THROW(shareOf(3, {}, {}), UsageError);
    EXPECT_THROW(shareOf(4, {}, {{"JOB_COMPLETION_INDEX", "4"}}), UsageError);
    EXPECT_THROW(shareOf(4, {}, {{"JOB_COMPLETION_INDEX", "-1"}}), UsageError);
    EXPECT_THROW(shareOf({}, {}, {{"SLURM_ARRAY_TASK_ID", "x"}, {"SLURM_ARRAY_TASK_COUNT", "2"}}), UsageError);
    EXPECT_THROW(shareOf({}, {}, {{"SLURM_ARRAY_TASK_ID", "1"}}), UsageError);  // no count
}

mandel::Decimal decimal(const std::string& text) { return *mandel::Decimal::parse(text); }

// The view's centre times 2·min(W, H), exactly.
std::pair<mandel::Decimal, mandel::Decimal> scaledCentre(const DeepView& view) {
    const mandel::Decimal twice(2 * std::min(view.width, view.height)), side = decimal(view.location.side);
    return {decimal(view.location.realMin) * twice + side * mandel::Decimal(view.width),
            decimal(view.location.imagMin) * twice + side * mandel::Decimal(view.height)};
}

TEST(ZoomPlan, KeyframesZoomOutByTwoAboutOneCentreUpToTheWholeSet) {
    EXPECT_EQ(mandel::tool::keyframeView(kDeepView, 0, 900).location,
              (mandel::DeepLocation{"-0.74534", "0.11273", "2e-6", 900}));
    const auto [re0, im0] = scaledCentre(kDeepView);
    for (const int k : {1, 7, 19}) {
        const DeepView view = mandel::tool::keyframeView(kDeepView, k, 600);
        EXPECT_EQ(decimal(view.location.side), decimal("2e-6") * mandel::Decimal(std::int64_t{1} << k));
        const auto [re, im] = scaledCentre(view);
        // Rounded far below the deepest side.
        for (const mandel::Decimal& error : {re - re0, im - im0})
            EXPECT_TRUE(error.sign() == 0 || error.leadingExponent() < -40) << error.scientificText();
    }
    const int count = mandel::tool::keyframesToWholeSet(kDeepView);
    EXPECT_TRUE(mandel::tool::showsWholeSet(mandel::tool::keyframeView(kDeepView, count - 1, 600)));
    EXPECT_FALSE(mandel::tool::showsWholeSet(mandel::tool::keyframeView(kDeepView, count - 2, 600)));
    EXPECT_EQ(count, 22);  // 2e-6·2^21 ≈ 4.2 spans the set's 2.3 from this centre; 2^20 does not
    EXPECT_EQ(mandel::tool::keyframesToWholeSet({{"-2.5", "-1.5", "3", 100}, 64, 36}), 1);
}

// The frame at keyframe 0's zoom is keyframe 0 in its own colours, whether
// its colours come from a table (a limit up to 2^20) or are worked out per
// sample; the zooms run from keyframe 0 to the last at a constant rate.
TEST(ZoomFrames, TheFirstFrameIsTheDeepestKeyframeInItsColours) {
    for (const std::int64_t limit : {std::int64_t{500}, std::int64_t{1} << 21}) {
        std::vector<mandel::tool::MovieKeyframe> keys(2);
        for (int k = 0; k < 2; ++k) {
            keys[k] = {16, 10, limit, limit / 5, std::vector<std::int32_t>(160)};
            for (std::size_t i = 0; i < 160; ++i)
                keys[k].counts[i] =
                    static_cast<std::int32_t>(i % 7 == 0 ? limit : limit / 4 + (37 * i + k) % (limit / 2));
        }
        std::vector<std::uint8_t> rgb;
        mandel::tool::composeFrame([&](int k) -> const mandel::tool::MovieKeyframe& { return keys[k]; }, 2, 0.0, 16, 10,
                                   rgb);
        ASSERT_EQ(rgb.size(), 16u * 10 * 3);
        for (std::size_t i = 0; i < 160; ++i) {
            const std::int32_t count = keys[0].counts[i];
            const mandel::Rgb expected =
                mandel::Palette[count == limit ? 0 : mandel::deepColourIndex(count, limit, limit / 5)];
            ASSERT_EQ(rgb[3 * i], expected.red) << "pixel " << i << ", limit " << limit;
            ASSERT_EQ(rgb[3 * i + 1], expected.green);
            ASSERT_EQ(rgb[3 * i + 2], expected.blue);
        }
    }
    EXPECT_EQ(mandel::tool::frameZoom(0, 90, 31), 0.0);
    EXPECT_EQ(mandel::tool::frameZoom(45, 91, 31), 15.0);
    EXPECT_EQ(mandel::tool::frameZoom(89, 90, 31), 30.0);
}

}  // namespace
