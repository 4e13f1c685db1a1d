// The pieces of mandelbrot-zoom that its command-line tests cannot reach
// one by one: the reference orbit's file, the share of keyframes a task
// takes from the scheduler's variables, and the keyframes' geometry.
#include <gtest/gtest.h>

#include <cmath>
#include <algorithm>
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
#include "colour/gradients.h"
#include "deep/deep_colour.h"
#include "explore/auto_limit.h"
#include "movie/zoom_colours.h"
#include "movie/zoom_keyframes.h"
#include "movie/zoom_frames.h"
#include "zoom_options.h"
#include "movie/zoom_plan.h"

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
    const DeepView outer = mandel::movie::keyframeView(kDeepView, 3, kDeepView.location.limit);
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
    EXPECT_EQ(mandel::movie::keyframeView(kDeepView, 0, 900).location,
              (mandel::DeepLocation{"-0.74534", "0.11273", "2e-6", 900}));
    const auto [re0, im0] = scaledCentre(kDeepView);
    for (const int k : {1, 7, 19}) {
        const DeepView view = mandel::movie::keyframeView(kDeepView, k, 600);
        EXPECT_EQ(decimal(view.location.side), decimal("2e-6") * mandel::Decimal(std::int64_t{1} << k));
        const auto [re, im] = scaledCentre(view);
        // Rounded far below the deepest side.
        for (const mandel::Decimal& error : {re - re0, im - im0})
            EXPECT_TRUE(error.sign() == 0 || error.leadingExponent() < -40) << error.scientificText();
    }
    const int count = mandel::movie::keyframesToWholeSet(kDeepView);
    EXPECT_TRUE(mandel::movie::showsWholeSet(mandel::movie::keyframeView(kDeepView, count - 1, 600)));
    EXPECT_FALSE(mandel::movie::showsWholeSet(mandel::movie::keyframeView(kDeepView, count - 2, 600)));
    EXPECT_EQ(count, 22);  // 2e-6·2^21 ≈ 4.2 spans the set's 2.3 from this centre; 2^20 does not
    EXPECT_EQ(mandel::movie::keyframesToWholeSet({{"-2.5", "-1.5", "3", 100}, 64, 36}), 1);
}

// The frame at keyframe 0's zoom is keyframe 0 in its own colours, whether
// its colours come from a table (a limit up to 2^20) or are worked out per
// sample; the zooms run from keyframe 0 to the last at a constant rate.
TEST(ZoomFrames, TheFirstFrameIsTheDeepestKeyframeInItsColours) {
    for (const std::int64_t limit : {std::int64_t{500}, std::int64_t{1} << 21}) {
        std::vector<mandel::movie::MovieKeyframe> keys(2);
        for (int k = 0; k < 2; ++k) {
            keys[k] = {16, 10, limit, limit / 5, std::vector<std::int32_t>(160), {}};
            for (std::size_t i = 0; i < 160; ++i)
                keys[k].counts[i] =
                    static_cast<std::int32_t>(i % 7 == 0 ? limit : limit / 4 + (37 * i + k) % (limit / 2));
        }
        std::vector<std::uint8_t> rgb;
        mandel::movie::composeFrame([&](int k) -> const mandel::movie::MovieKeyframe& { return keys[k]; }, 2, 0.0, 16,
                                    10, rgb);
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
    EXPECT_EQ(mandel::movie::frameZoom(0, 90, 31), 0.0);
    EXPECT_EQ(mandel::movie::frameZoom(45, 91, 31), 15.0);
    EXPECT_EQ(mandel::movie::frameZoom(89, 90, 31), 30.0);
}

// Smooth keyframes of one picture of the plane (ν a function of the point,
// many colour cycles across): the frames just before and just after the movie
// passes a keyframe differ no more than two frames as close together
// elsewhere, and the frame at a keyframe is that keyframe in the zoom's
// colours; no colour or detail jumps where one keyframe takes over.
TEST(ZoomFrames, SmoothColoursDoNotJumpWhereAKeyframeTakesOver) {
    constexpr int kWidth = 64, kHeight = 36, kCount = 4;
    constexpr std::int64_t kLimit = 1000;
    mandel::Colouring colouring;
    colouring.mode = mandel::ColouringMode::Smooth;
    const mandel::ZoomColourMap map = mandel::zoomColourMap(colouring, {20, 0.5}, {400, 0.02});
    const mandel::Gradient& gradient = mandel::builtInGradients()[0];
    std::vector<mandel::movie::MovieKeyframe> keys(kCount);
    for (int k = 0; k < kCount; ++k) {
        std::vector<float> nu(kWidth * kHeight);
        keys[k] = {kWidth, kHeight, kLimit, 0, std::vector<std::int32_t>(nu.size()), {}};
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x) {
                const double u = (x + 0.5 - kWidth / 2.0) / kHeight * std::exp2(k);
                const double v = (y + 0.5 - kHeight / 2.0) / kHeight * std::exp2(k);
                const double value = 30 + 300 / (1 + 4 * (u * u + v * v));  // highest at the centre
                nu[y * kWidth + x] = static_cast<float>(value);
                keys[k].counts[y * kWidth + x] = static_cast<std::int32_t>(value);
            }
        keys[k].colours = mandel::movie::smoothColours(keys[k].counts, nu, kLimit, map, gradient);
    }
    const auto frame = [&](double zoom) {
        std::vector<std::uint8_t> rgb;
        mandel::movie::composeFrame([&](int k) -> const mandel::movie::MovieKeyframe& { return keys[k]; }, kCount, zoom,
                                    kWidth, kHeight, rgb);
        return rgb;
    };
    const auto meanDifference = [](const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b) {
        double sum = 0;
        for (std::size_t i = 0; i < a.size(); ++i) sum += std::abs(a[i] - b[i]);
        return sum / static_cast<double>(a.size());
    };
    const std::vector<std::uint8_t> atOne = frame(1.0);
    for (std::size_t i = 0; i < keys[1].colours.size(); ++i) {
        ASSERT_EQ(atOne[3 * i], keys[1].colours[i].red) << "pixel " << i;
        ASSERT_EQ(atOne[3 * i + 2], keys[1].colours[i].blue) << "pixel " << i;
    }
    // The picture's detail changes as fast where a keyframe takes over as
    // anywhere between (a sudden change of detail would be a jump).
    for (const double zoom : {1.0, 2.0}) {
        const double across = meanDifference(frame(zoom - 0.002), frame(zoom + 0.002));
        const double between = meanDifference(frame(zoom - 0.302), frame(zoom - 0.298));
        EXPECT_LT(across, 2 * between) << "at keyframe " << zoom;
    }
    // A whole keyframe further is another picture: the measure sees a change.
    EXPECT_GT(meanDifference(frame(0.5), frame(1.5)), 10.0);
}

// A keyframe's limit: as the explorer's rule chooses it, raised for its
// boundary where few pixels are inside; a view mostly inside the set (where
// each held pixel costs the whole limit) is not raised, and is lowered while
// few escaped pixels would turn inside.
TEST(ZoomKeyframes, AViewMostlyInsideTheSetIsNotRaisedForItsRim) {
    const auto counts = [](const DeepView& view) { return countsOf(view, nullptr); };
    const DeepView fewInside{{"-0.7453", "0.1127", "0.0001", 200}, 160, 90};
    const DeepView mostlyInside{{"-0.16", "0.62", "0.1", 200}, 160, 90};
    for (const DeepView& view : {fewInside, mostlyInside})  // the explorer's rule raises both
        EXPECT_EQ(mandel::chooseLimitAndBase(counts(view), 160, 90, 200).reason,
                  mandel::LimitReason::RaisedForBoundary);
    EXPECT_GT(mandel::movie::chooseKeyframe(fewInside, 800, nullptr, {}).limit.limit, 200);
    const mandel::movie::KeyframeChoice inside = mandel::movie::chooseKeyframe(mostlyInside, 800, nullptr, {});
    EXPECT_LE(inside.limit.limit, 200);
    EXPECT_LT(inside.limit.base, inside.limit.limit);
    // Lowered only as far as it turns at most 0.2 % of the pixels inside.
    const std::vector<std::int32_t> full = counts(mostlyInside);
    const auto turned =
        std::count_if(full.begin(), full.end(), [&](std::int32_t c) { return c >= inside.limit.limit && c < 200; });
    EXPECT_LE(static_cast<double>(turned), mandel::movie::kMaxTurnedInside * static_cast<double>(full.size()));
    EXPECT_GT(inside.anchor.nu, 0);
}

// The zoom's colour map: one position per count for the whole movie, whose
// density is each anchor's automatic density at its count and moves
// smoothly between them; the keyframes' linear scales touch it.
TEST(ZoomColours, TheMapFollowsTheAnchorsAndItsTangentsTouchIt) {
    mandel::Colouring colouring;
    colouring.mode = mandel::ColouringMode::Smooth;
    colouring.scale.offset = 0.25;
    const mandel::ColourAnchor shallow{5, 0.5}, deep{20000, 0.004};
    const mandel::ZoomColourMap map = mandel::zoomColourMap(colouring, deep, shallow);
    EXPECT_EQ(map.shallow, shallow);
    EXPECT_EQ(map.deep, deep);
    EXPECT_NEAR(map.density(5), 0.5, 1e-12);
    EXPECT_NEAR(map.density(20000), 0.004, 1e-12);
    EXPECT_NEAR(map.density(2), 0.5, 1e-12);  // beyond the anchors: the nearer one's
    EXPECT_NEAR(map.density(90000), 0.004, 1e-12);
    EXPECT_NEAR(map.position(5), 0.25, 1e-12);
    double previous = map.position(1);
    for (double nu = 1.5; nu < 1e5; nu *= 1.5) {
        // Increasing, and its differences are its density (no step anywhere).
        const double step = nu * 1e-6;
        const double slope = (map.position(nu + step) - map.position(nu - step)) / (2 * step);
        EXPECT_NEAR(slope, map.density(nu), 1e-6 * map.density(nu) + 1e-9) << "at " << nu;
        EXPECT_GT(map.position(nu), previous);
        previous = map.position(nu);
        EXPECT_NEAR(mandel::FramePositions(map)(nu), map.position(nu), 1e-9 * std::fabs(map.position(nu)) + 1e-12);
        const mandel::SmoothScale tangent = map.tangent(nu);
        EXPECT_EQ(tangent.scale, mandel::DensityScale::Linear);
        EXPECT_NEAR(tangent.density, map.density(nu), 1e-15);
        const double gap = mandel::colourPosition(nu, tangent) - map.position(nu);
        EXPECT_NEAR(gap - std::round(gap), 0, 1e-9) << "at " << nu;
    }
    const auto read = mandel::parseColourMapText(mandel::colourMapText(map));
    ASSERT_TRUE(read);
    EXPECT_EQ(*read, map);
    EXPECT_FALSE(mandel::parseColourMapText("automatic 5 0.5 2 0.004 0"));  // the deep anchor below the shallow
    EXPECT_FALSE(mandel::parseColourMapText("fixed linear 0 0"));
    EXPECT_FALSE(mandel::parseColourMapText("automatic 5 0.5 20000"));

    // A density given is the map's everywhere; a view with nothing escaped
    // takes the other's anchor.
    colouring.automaticDensity = false;
    colouring.scale = {0.03, mandel::DensityScale::Log, 0.5};
    const mandel::ZoomColourMap fixed = mandel::zoomColourMap(colouring, deep, shallow);
    EXPECT_EQ(fixed.position(700), mandel::colourPosition(700, colouring.scale));
    EXPECT_EQ(*mandel::parseColourMapText(mandel::colourMapText(fixed)), fixed);
    colouring.automaticDensity = true;
    const mandel::ZoomColourMap one = mandel::zoomColourMap(colouring, {}, deep);
    EXPECT_EQ(one.shallow, deep);
    EXPECT_NEAR(one.position(30000) - one.position(10000), 20000 * 0.004, 1e-9);
}

// The anchor of a drawing: its escaped pixels' median ν, and the density
// that puts one cycle between their 5th percentile and median.
TEST(ZoomColours, TheAnchorIsTheMedianCountAndItsAutomaticDensity) {
    std::vector<std::int32_t> counts;
    std::vector<float> excess;
    for (int i = 0; i < 101; ++i) counts.push_back(100 + i), excess.push_back(0.5F);
    for (int i = 0; i < 50; ++i) counts.push_back(1000), excess.push_back(0.0F);  // held at the limit
    const mandel::ColourAnchor anchor = mandel::colourAnchor(counts, excess, 1000);
    EXPECT_EQ(anchor.nu, 150.5);
    EXPECT_NEAR(anchor.density, 1.0 / 45, 1e-12);
    EXPECT_EQ(mandel::colourAnchor(std::vector<std::int32_t>(4, 9), std::vector<float>(4), 9), mandel::ColourAnchor{});
}

}  // namespace
