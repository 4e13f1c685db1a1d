// Whole drawings compared with independently computed digests: any difference
// in parsing, positions, iteration, banding or scan order shows up here.
#include <gtest/gtest.h>

#include <vector>

#include "colour/banding.h"
#include "kernel/escape_counts.h"
#include "golden_drawings.h"
#include "region/render_settings.h"
#include "kernel/scan_plan.h"
#include "sha256.h"

namespace {

using testutil::GoldenDrawing;
using testutil::kGoldenDrawings;

enum class Path { Reference, Fast };

struct Drawing {
    mandel::ScanPlan plan;
    mandel::RenderSettings settings;
    std::vector<std::int16_t> counts;
};

Drawing draw(const GoldenDrawing& g, Path path) {
    Drawing d;
    d.settings.load({g.real, g.imag, g.side, g.limit}, 500.0f);
    d.plan = mandel::planScan(d.settings.amin, d.settings.bmin, d.settings.side, d.settings.cside, 500.0f);
    d.counts.resize(d.plan.pointCount());
    if (path == Path::Reference)
        mandel::escapeCountsReference(d.plan, d.settings.cmax, d.counts);
    else
        mandel::escapeCountsFast(d.plan, d.settings.cmax, d.counts);
    return d;
}

void expectMatchesGolden(const GoldenDrawing& g, Path path) {
    SCOPED_TRACE(std::string(g.real) + " " + g.imag + " " + g.side + " " + g.limit);
    const Drawing d = draw(g, path);
    ASSERT_EQ(d.plan.rows(), 501u);
    ASSERT_EQ(d.plan.pointsPerRow(), g.pointsPerRow);

    long long iterations = 0;
    std::array<long long, 17> histogram{};
    std::vector<std::uint8_t> countBytes;
    std::vector<std::uint8_t> indexBytes;
    const mandel::BandThresholds bands(d.settings.cmax, d.settings.cstep);
    for (const std::int16_t count : d.counts) {
        iterations += count;
        const short index = bands.classify(static_cast<float>(count));
        ++histogram[index];
        countBytes.push_back(static_cast<std::uint8_t>(count & 0xff));
        countBytes.push_back(static_cast<std::uint8_t>((count >> 8) & 0xff));
        indexBytes.push_back(static_cast<std::uint8_t>(index));
    }
    EXPECT_EQ(iterations, g.iterations);
    EXPECT_EQ(histogram, g.histogram);
    EXPECT_EQ(testutil::sha256Hex(countBytes), g.sha256Counts);
    EXPECT_EQ(testutil::sha256Hex(indexBytes), g.sha256Indices);
}

TEST(GoldenDrawings, ReferencePathMatchesPublishedDigests) {
    for (const GoldenDrawing& g : kGoldenDrawings) expectMatchesGolden(g, Path::Reference);
}

TEST(GoldenDrawings, FastPathMatchesPublishedDigests) {
    for (const GoldenDrawing& g : kGoldenDrawings) expectMatchesGolden(g, Path::Fast);
}

TEST(Sha256, KnownVector) {
    const std::string abc = "abc";
    EXPECT_EQ(testutil::sha256Hex(std::vector<std::uint8_t>(abc.begin(), abc.end())),
              "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
}

}  // namespace
