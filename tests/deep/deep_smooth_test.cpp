// The continuous counts ν beside the certified counts: continuous where the
// counts step, the same bytes with and without the SIMD lanes on every
// instruction set and thread count, the counts unchanged by asking for them,
// and one view's bytes pinned so that the arm64 build must match x86-64.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "../engine/sha256.h"
#include "deep/deep_drawing.h"
#include "deep_test_locations.h"
#include "kernel/fast_targets.h"

namespace {

using mandel::DeepView;

struct Smooth {
    std::vector<std::int32_t> counts;
    std::vector<float> excess, distance, slope;
};

Smooth drawSmooth(const DeepView& view, bool lanes = true, unsigned threads = 0) {
    mandel::DeepDrawing drawing(view);
    mandel::DeepOptions options;
    options.lanes = lanes;
    options.threads = threads;
    Smooth out;
    const std::size_t pixels = static_cast<std::size_t>(view.width) * static_cast<std::size_t>(view.height);
    out.counts.resize(pixels);
    out.excess.resize(pixels);
    out.distance.resize(pixels);
    out.slope.resize(pixels);
    EXPECT_TRUE(drawing.computeRows(0, view.height, out.counts, options, {}, {out.excess, out.distance, out.slope}));
    return out;
}

std::vector<std::uint8_t> bytesOf(const std::vector<float>& values) {
    std::vector<std::uint8_t> bytes(values.size() * sizeof(float));
    std::memcpy(bytes.data(), values.data(), bytes.size());
    return bytes;
}

// Across each pair of horizontal neighbours whose counts differ by one, ν
// moves by far less than the count: the step of the counts is gone. (Away
// from the set, where neighbouring pixels' orbits stay alike; at the
// boundary the pixels sample unrelated orbits and ν differs as it will.)
TEST(DeepSmooth, ContinuousWhereTheCountSteps) {
    const DeepView view{{"0.5", "0.5", "0.3", 500}, 96, 64};
    const Smooth s = drawSmooth(view);
    int edges = 0;
    float largest = 0;
    for (int y = 0; y < view.height; ++y)
        for (int x = 0; x + 1 < view.width; ++x) {
            const std::size_t i = static_cast<std::size_t>(y * view.width + x);
            const std::int32_t a = s.counts[i], b = s.counts[i + 1];
            ASSERT_LT(a, view.location.limit);
            ASSERT_GE(s.excess[i], 0);
            ASSERT_LT(s.excess[i], 8);
            if (std::abs(a - b) != 1) continue;
            ++edges;
            largest = std::max(largest, std::fabs((a + s.excess[i]) - (b + s.excess[i + 1])));
        }
    EXPECT_GT(edges, 100);
    EXPECT_LT(largest, 0.1f);
}

// Inside pixels are NaN, and asking for ν and distances changes no count;
// the lanes carry the derivative as the scalar loop does.
TEST(DeepSmooth, SameBytesWithLanesOnEveryInstructionSetAndThreadCount) {
    using namespace mandel::test;
    const std::vector<DeepView> views = {
        {{kMinibrot1e29.realMin, kMinibrot1e29.imagMin, "1e-29", 3000}, 37, 23},
        {{"-0.7485", "0.0645", "1e-3", 2000}, 41, 17},
    };
    for (const DeepView& view : views) {
        const Smooth scalar = drawSmooth(view, false, 1);
        mandel::DeepDrawing plain(view);
        std::vector<std::int32_t> counts(scalar.counts.size());
        ASSERT_TRUE(plain.computeRows(0, view.height, counts));
        EXPECT_EQ(counts, scalar.counts);
        for (std::size_t i = 0; i < counts.size(); ++i)
            ASSERT_EQ(std::isnan(scalar.excess[i]), counts[i] == view.location.limit) << i;
        for (const mandel::SimdTarget& target : mandel::availableSimdTargets()) {
            const mandel::ForcedSimdTarget forced(target);
            for (unsigned threads : {1u, 2u}) {
                const Smooth lanes = drawSmooth(view, true, threads);
                EXPECT_EQ(lanes.counts, scalar.counts) << target.name << " " << threads;
                EXPECT_EQ(bytesOf(lanes.excess), bytesOf(scalar.excess)) << target.name << " " << threads;
                EXPECT_EQ(bytesOf(lanes.distance), bytesOf(scalar.distance)) << target.name << " " << threads;
                EXPECT_EQ(bytesOf(lanes.slope), bytesOf(scalar.slope)) << target.name << " " << threads;
            }
        }
    }
}

// The digest was taken on x86-64; the arm64 build (under QEMU) must give the
// same bytes, as must every other machine: ν uses defined operations only.
TEST(DeepSmooth, OneViewsBytesAreTheSameOnEveryMachine) {
    const DeepView view{{"-0.7485", "0.0645", "1e-3", 2000}, 48, 32};
    const Smooth s = drawSmooth(view);
    EXPECT_EQ(testutil::sha256Hex(bytesOf(s.distance)),
              "037fc162934e2d69fb0ec446ab4a583823d8d9a31855c512d40451d29a1d9361");
    EXPECT_EQ(testutil::sha256Hex(bytesOf(s.excess)),
              "98503eaf5f2005029ccc8cc803f340a4175a2f4c9d61a214e786764c9ad2c0e5");
}

}  // namespace
