// The fast path (both kernels, one and several threads, every SIMD target this
// processor runs) must give the reference path's count for every point.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>
#include <ostream>
#include <random>
#include <set>
#include <string>
#include <system_error>
#include <vector>

#include "kernel/escape_counts.h"
#include "kernel/fast_targets.h"
#include "kernel/worker_pool.h"
#include "kernel/mandel.h"
#include "region/render_settings.h"
#include "kernel/scan_plan.h"

namespace mandel {
// Test names and failure messages show the target by name.
void PrintTo(const SimdTarget& target, std::ostream* os) { *os << target.name; }
}  // namespace mandel

namespace {

using mandel::FastKernel;
using mandel::FastOptions;
using Counts = std::vector<std::int16_t>;

struct Region {
    std::string real, imag, side, limit;
    std::string text() const { return real + " " + imag + " " + side + " " + limit; }
};

struct Drawing {
    mandel::ScanPlan plan;
    float cmax = 0;
};

// The region scanned as the window scans it. With rowStep > 1 only every
// rowStep-th row is kept: a count depends on its point alone, so this keeps
// the test short without changing any count.
Drawing drawingOf(const Region& r, std::size_t rowStep = 1) {
    mandel::RenderSettings s;
    s.load({r.real, r.imag, r.side, r.limit}, 500.0f);
    Drawing d{mandel::planScan(s.amin, s.bmin, s.side, s.cside, 500.0f), s.cmax};
    std::vector<float> rows;
    for (std::size_t y = 0; y < d.plan.imags.size(); y += rowStep) rows.push_back(d.plan.imags[y]);
    d.plan.imags = rows;
    return d;
}

Counts reference(const Drawing& d) {
    Counts out(d.plan.pointCount());
    mandel::escapeCountsReference(d.plan, d.cmax, out);
    return out;
}

Counts fast(const Drawing& d, const FastOptions& options) {
    Counts out(d.plan.pointCount(), -99);
    mandel::escapeCountsFast(d.plan, d.cmax, out, options);
    return out;
}

// "" when equal; otherwise the number of differing points and the first one.
std::string differences(const Drawing& d, const Counts& expected, const Counts& actual) {
    std::size_t count = 0;
    std::string first;
    for (std::size_t i = 0; i < expected.size(); ++i) {
        if (expected[i] == actual[i]) continue;
        if (count++ == 0) {
            const std::size_t x = i % d.plan.pointsPerRow();
            const std::size_t y = i / d.plan.pointsPerRow();
            first = "first at x=" + std::to_string(x) + " y=" + std::to_string(y) +
                    " (c = " + std::to_string(d.plan.reals[x]) + ", " + std::to_string(d.plan.imags[y]) +
                    "): reference " + std::to_string(expected[i]) + ", fast " + std::to_string(actual[i]);
        }
    }
    return count == 0 ? "" : std::to_string(count) + " points differ; " + first;
}

// Both kernels, on one thread, on three, and on every core.
const std::vector<FastOptions> kAllVariants = {
    {1, FastKernel::Plain}, {1, FastKernel::CycleCheck}, {3, FastKernel::Plain}, {0, FastKernel::CycleCheck}};
// For the long tests: each kernel once, one on one thread, one on several.
const std::vector<FastOptions> kTwoVariants = {{1, FastKernel::Plain}, {3, FastKernel::CycleCheck}};

std::string describe(const FastOptions& o) {
    return std::string(o.kernel == FastKernel::Plain ? "plain" : "cycle check") + ", threads " +
           std::to_string(o.threads);
}

void expectFastMatchesReference(const Drawing& d, const std::string& what,
                                const std::vector<FastOptions>& variants = kAllVariants) {
    const Counts expected = reference(d);
    for (const FastOptions& options : variants)
        EXPECT_EQ(differences(d, expected, fast(d, options)), "") << what << " (" << describe(options) << ")";
}

void expectFastMatchesReference(const Region& r, std::size_t rowStep = 1,
                                const std::vector<FastOptions>& variants = kAllVariants) {
    expectFastMatchesReference(drawingOf(r, rowStep), r.text(), variants);
}

// Read-out text of k / 10000, as the scroll bars produce it.
std::string decimalText(int k) {
    const int magnitude = std::abs(k);
    std::string fraction = std::to_string(10000 + magnitude % 10000).substr(1);
    return (k < 0 ? "-" : "") + std::to_string(magnitude / 10000) + "." + fraction;
}

// ---------------------------------------------------------------------------
// Each test runs once per SIMD target that was compiled in and that this
// processor supports, with the fast path restricted to that target.

class OnEveryTarget : public testing::TestWithParam<mandel::SimdTarget> {
protected:
    void SetUp() override {
        forced_.emplace(GetParam());
        ASSERT_EQ(mandel::activeSimdTarget(), GetParam().name);
    }
    void TearDown() override { forced_.reset(); }

private:
    std::optional<mandel::ForcedSimdTarget> forced_;
};

TEST_P(OnEveryTarget, EveryPointOfTheStartupRegionAndThePresets) {
    const Region regions[] = {{"-1.1507", "-0.4793", "0.5", "100"},   {"-0.75", "-0.275", "0.05", "106"},
                              {"-1.8558", "-1.173", "2.4232", "100"}, {"-0.775", "0.107", "0.01", "180"},
                              {"-0.7717", "0.1165", "0.0001", "180"}, {"-0.772", "0.1163", "0.0005", "180"},
                              {"-0.7612", "0.0664", "1.3015", "100"}};
    for (const Region& r : regions) expectFastMatchesReference(r, 1, kTwoVariants);
}

TEST_P(OnEveryTarget, RegionInsideTheSetAtLimit1500) {
    const Drawing d = drawingOf({"-0.3", "-0.3", "0.2", "1500"}, 10);
    for (const std::int16_t count : reference(d)) ASSERT_EQ(count, 1500) << "the region must lie inside the set";
    expectFastMatchesReference(d, "inside the set", kTwoVariants);
}

TEST_P(OnEveryTarget, OddAndVerySmallLimits) {
    for (const char* limit : {"1", "2", "3", "5", "13", "101", "1499"})
        expectFastMatchesReference({"-1.1507", "-0.4793", "0.5", limit}, 20);
}

// Boundaries of the main cardioid (cusp at 0.25, the top near -0.125 + 0.65i)
// and of the period-2 bulb (left end at -1.25, top near -1 + 0.25i, and where
// the two touch at -0.75), where orbits take long to settle or to escape.
TEST_P(OnEveryTarget, RegionsAcrossTheCardioidAndBulbBoundaries) {
    const char* corners[][2] = {
        {"0.24", "-0.01"}, {"-0.13", "0.64"}, {"-1.26", "-0.01"}, {"-1.01", "0.24"}, {"-0.76", "-0.01"}};
    for (const auto& corner : corners)
        for (const char* limit : {"100", "1000", "1500"})
            expectFastMatchesReference({corner[0], corner[1], "0.02", limit}, 50, kTwoVariants);
}

TEST_P(OnEveryTarget, SeededRandomRegions) {
    std::mt19937 random(20240607);
    auto uniform = [&](int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); };
    for (int i = 0; i < 300; ++i) {
        const Region r{decimalText(uniform(-20000, 10000)), decimalText(uniform(-30000, 10000)),
                       decimalText(uniform(1, 30000)), std::to_string(uniform(100, 1500))};
        Drawing d = drawingOf(r);
        d.plan.imags = {d.plan.imags[uniform(0, 500)], d.plan.imags[uniform(0, 500)]};
        expectFastMatchesReference(d, r.text());
    }
}

// The largest limit the 16-bit counters hold, on a few rows, and the corners
// of what the bars can reach.
TEST_P(OnEveryTarget, TheLargestLimitAndTheEdgesOfTheBarRanges) {
    expectFastMatchesReference({"-1.1507", "-0.4793", "0.5", "32766"}, 250, kTwoVariants);
    const Region corners[] = {
        {"-2", "-3", "3", "100"}, {"1", "1", "0.0001", "1500"}, {"-2", "1", "0.0001", "1500"}, {"1", "-3", "3", "100"}};
    for (const Region& r : corners) expectFastMatchesReference(r, 50, kTwoVariants);
}

std::string targetName(const testing::TestParamInfo<mandel::SimdTarget>& info) { return info.param.name; }

INSTANTIATE_TEST_SUITE_P(Targets, OnEveryTarget, testing::ValuesIn(mandel::availableSimdTargets()), targetName);

// ---------------------------------------------------------------------------
// Points and plans at the edges of what the kernel handles (the parameterised
// ones on every target).

mandel::ScanPlan planOf(std::vector<float> reals, std::vector<float> imags) {
    mandel::ScanPlan plan;
    plan.reals = std::move(reals);
    plan.imags = std::move(imags);
    return plan;
}

TEST_P(OnEveryTarget, PointsThatStayOnTheEscapeRadiusOrRepeat) {
    // c = -2 stays at z = 2 (|z|² = 4, never more); 0, -1, i and -i repeat at
    // once; their neighbours a few ulps away escape late or not at all.
    const float minus2Above = std::nextafter(-2.0f, 0.0f);
    const float minus2Below = std::nextafter(-2.0f, -3.0f);
    const Drawing d{planOf({-2.0f, minus2Above, minus2Below, -1.0f, 0.0f, -0.0f, 2.0f}, {0.0f, -0.0f, 1.0f, -1.0f}),
                    1500.0f};
    const Counts expected = reference(d);
    EXPECT_EQ(expected[0], 1500) << "c = -2 never escapes";
    EXPECT_EQ(expected[2 * 7 + 4], 1500) << "c = i cycles";
    expectFastMatchesReference(d, "radius and cycles");
}

TEST_P(OnEveryTarget, RowsOfAnyLengthAroundTheVectorWidth) {
    for (const std::size_t width : {1u, 3u, 7u, 8u, 9u, 15u, 16u, 17u, 31u, 33u, 65u}) {
        std::vector<float> reals;
        for (std::size_t x = 0; x < width; ++x) reals.push_back(-1.9f + 2.3f * static_cast<float>(x) / 65.0f);
        const Drawing d{planOf(reals, {-0.9f, -0.3f, 0.0f, 0.4f, 1.1f}), 250.0f};
        expectFastMatchesReference(d, "width " + std::to_string(width));
    }
}

TEST_P(OnEveryTarget, NonFiniteAndExtremeCoordinates) {
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float big = std::numeric_limits<float>::max();
    const float tiny = std::numeric_limits<float>::denorm_min();
    const Drawing d{planOf({nan, inf, -inf, big, -big, tiny, -0.5f, 0.25f, 1e-20f}, {0.0f, nan, inf, -big, tiny, 0.5f}),
                    300.0f};
    expectFastMatchesReference(d, "non-finite");
}

TEST_P(OnEveryTarget, LimitsBelowOneGiveTheLimitWithoutAStep) {
    const mandel::ScanPlan plan = planOf({-3.0f, 0.0f, 0.1f}, {0.0f, 5.0f});
    for (const float cmax : {0.0f, 0.4f, -3.0f}) {
        const Drawing d{plan, cmax};
        EXPECT_EQ(fast(d, {}), reference(d)) << cmax;
        EXPECT_EQ(fast(d, {}), Counts(6, mandel::toInt16(cmax))) << cmax;
    }
}

TEST(FastPath, LimitOutsideTheCounterThrowsLikeTheReference) {
    const Drawing d{planOf({0.0f}, {0.0f}), 40000.0f};
    EXPECT_THROW(reference(d), mandel::SettingsError);
    EXPECT_THROW(fast(d, {}), mandel::SettingsError);
    const Drawing empty{planOf({}, {0.0f}), 40000.0f};
    EXPECT_NO_THROW(fast(empty, {})) << "no point, so no count to make";
}

TEST(FastPath, WritesExactlyThePlansCounts) {
    const Drawing d = drawingOf({"-0.75", "-0.275", "0.05", "106"}, 50);
    Counts out(d.plan.pointCount() + 5, -7);
    mandel::escapeCountsFast(d.plan, d.cmax, out);
    EXPECT_EQ(Counts(out.begin(), out.begin() + static_cast<long>(d.plan.pointCount())), reference(d));
    EXPECT_EQ(Counts(out.end() - 5, out.end()), Counts(5, -7)) << "nothing past the plan's points";
    Counts tooShort(d.plan.pointCount() - 1);
    EXPECT_THROW(mandel::escapeCountsFast(d.plan, d.cmax, tooShort), std::length_error);
}

TEST(FastPath, MoreThreadsThanRows) {
    const Drawing d = drawingOf({"-1.1507", "-0.4793", "0.5", "100"}, 200);  // 3 rows
    ASSERT_EQ(d.plan.rows(), 3u);
    EXPECT_EQ(fast(d, {16, FastKernel::CycleCheck}), reference(d));
}

// Starts this many helper threads, then refuses as a system at its thread limit does.
int helperThreadsAllowed = 0;
std::jthread startUpToTheAllowance(const std::function<void()>& work) {
    if (helperThreadsAllowed-- <= 0)
        throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
    return std::jthread(work);
}

TEST(FastPath, ThreadsTheSystemRefusesLeaveTheirRowsToTheOthers) {
    const Drawing d = drawingOf({"-0.75", "-0.275", "0.05", "106"}, 5);
    const Counts expected = reference(d);
    for (const int allowed : {0, 1, 2}) {
        mandel::WorkerPool pool(8, startUpToTheAllowance);
        const mandel::ProgramPoolSwap swap(pool);
        helperThreadsAllowed = allowed;
        EXPECT_EQ(differences(d, expected, fast(d, {8, FastKernel::CycleCheck})), "") << allowed << " helpers";
        EXPECT_LT(helperThreadsAllowed, 0) << "the fast path asked for more threads than it got";
        EXPECT_EQ(pool.workers(), static_cast<std::size_t>(allowed));
    }
}

TEST(SimdTargets, EachCanBeForcedAndTheBestReturnsAfterwards) {
    const std::vector<mandel::SimdTarget> targets = mandel::availableSimdTargets();
    ASSERT_FALSE(targets.empty());
    std::set<std::string> names;
    for (const auto& t : targets) names.insert(t.name);
    EXPECT_EQ(names.size(), targets.size());
    EXPECT_EQ(mandel::activeSimdTarget(), targets.front().name) << "the best target is used by default";
    for (const auto& t : targets) {
        const mandel::ForcedSimdTarget forced(t);
        EXPECT_EQ(mandel::activeSimdTarget(), t.name);
    }
    EXPECT_EQ(mandel::activeSimdTarget(), targets.front().name);
}

}  // namespace
