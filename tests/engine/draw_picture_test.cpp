// Pictures of any size, computed in bands: every pixel must be the count of
// the point-by-point scan on a surface of that size, on every SIMD target,
// whatever the band boundaries.
#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "colour/banding.h"
#include "collecting_sink.h"
#include "drawing/row_blocks.h"
#include "kernel/escape_counts.h"
#include "kernel/fast_targets.h"
#include "kernel/mandel.h"
#include "drawing/draw_picture.h"
#include "drawing/picture_scan.h"

namespace mandel {
void PrintTo(const SimdTarget& target, std::ostream* os) { *os << target.name; }
}  // namespace mandel

namespace {

using mandel::PictureScan;
using mandel::RegionTexts;
using mandel::ScanExtent;
using Pixels = std::vector<std::uint8_t>;

std::string describe(const RegionTexts& r, int size) {
    return r.real + " " + r.imag + " " + r.side + " " + r.limit + " at size " + std::to_string(size);
}

// Rows compared with the point-by-point picture: every fourth row, the rows
// on both sides of every band boundary, and the last row.
std::vector<bool> checkedRows(int size, int rowBlockRows) {
    std::vector<bool> checked(static_cast<std::size_t>(size));
    for (int y = 0; y < size; ++y)
        checked[static_cast<std::size_t>(y)] =
            y % 4 == 0 || y % rowBlockRows == 0 || y % rowBlockRows == rowBlockRows - 1 || y == size - 1;
    return checked;
}

constexpr std::uint8_t kUnchecked = 0xff;  // no colour index

// The picture written out point by point: the surface is size units wide, the
// real part restarts from the parsed text every row and grows by repeated
// addition, the imaginary part grows by repeated addition row by row, every
// colour comes from cstepcol. Rows not in `rows` are kUnchecked.
Pixels pointByPointPicture(const RegionTexts& r, int size, const std::vector<bool>& rows) {
    mandel::RenderSettings s;
    s.load({r.real, r.imag, r.side, r.limit}, static_cast<float>(size));
    const auto width = static_cast<std::size_t>(size);
    Pixels pixels(width * width, kUnchecked);
    float b = s.bmin;
    for (std::size_t y = 0; y < width; ++y, b = b + s.cside) {
        if (!rows[y]) continue;
        float a = mandel::parseReadout(r.real);
        for (std::size_t x = 0; x < width; ++x, a = a + s.cside) {
            const float count = static_cast<float>(mandel::mandel(a, b, s.cmax));
            pixels[y * width + x] = static_cast<std::uint8_t>(mandel::cstepcol(count, s.cmax, s.cstep));
        }
    }
    return pixels;
}

Pixels onlyRows(Pixels pixels, const std::vector<bool>& rows) {
    const std::size_t width = rows.size();
    for (std::size_t y = 0; y < width; ++y)
        if (!rows[y]) std::fill_n(pixels.begin() + static_cast<std::ptrdiff_t>(y * width), width, kUnchecked);
    return pixels;
}

struct Drawn {
    Pixels pixels;
    mandel::DrawResult result;
    int bands = 0;
};

Drawn draw(const PictureScan& scan, const mandel::DrawOptions& options = {}) {
    CollectingSink sink(scan.size);
    mandel::PictureSink* sinks[] = {&sink};
    Drawn d;
    d.result = mandel::drawPicture(scan, sinks, options);
    d.pixels = std::move(sink.pixels);
    d.bands = sink.calls;
    EXPECT_EQ(sink.finished, d.result.completed);
    return d;
}

mandel::DrawOptions bandsOfRows(std::size_t rows, std::size_t columns, mandel::FastOptions fast = {}) {
    mandel::DrawOptions options;
    options.blocks.blockPoints = rows * columns;
    options.blocks.fast = fast;
    return options;
}

// "" when equal; else how many pixels differ and where the first one is.
std::string differences(const Pixels& expected, const Pixels& actual, std::size_t size) {
    if (expected.size() != actual.size())
        return "sizes " + std::to_string(expected.size()) + " and " + std::to_string(actual.size());
    const auto first = std::mismatch(expected.begin(), expected.end(), actual.begin());
    if (first.first == expected.end()) return "";
    const auto at = static_cast<std::size_t>(first.first - expected.begin());
    const long differing =
        std::inner_product(expected.begin(), expected.end(), actual.begin(), 0L, std::plus<>(), std::not_equal_to<>());
    return std::to_string(differing) + " pixels differ, first at x=" + std::to_string(at % size) +
           " y=" + std::to_string(at / size);
}

// ---------------------------------------------------------------------------

class PictureOnEveryTarget : public testing::TestWithParam<mandel::SimdTarget> {
protected:
    void SetUp() override { forced_.emplace(GetParam()); }
    void TearDown() override { forced_.reset(); }

private:
    std::optional<mandel::ForcedSimdTarget> forced_;
};

// Boundary regions at sizes other than 500: seahorse valley at 777 in bands
// of 50 rows (a short last band), the period-2 bulb's edge at 1000 in bands
// of 333 rows (a last band of one row).
TEST_P(PictureOnEveryTarget, EveryPixelIsThePointByPointCount) {
    struct Case {
        RegionTexts region;
        int size;
        int rowBlockRows;
    };
    const Case cases[] = {{{"-0.775", "0.107", "0.01", "180"}, 777, 50},
                          {{"-1.26", "-0.01", "0.02", "250"}, 1000, 333}};
    for (const Case& c : cases) {
        const std::vector<bool> rows = checkedRows(c.size, c.rowBlockRows);
        const Pixels expected = pointByPointPicture(c.region, c.size, rows);
        const PictureScan scan = mandel::planPictureScan(c.region, c.size, ScanExtent::Picture);
        const Drawn d = draw(scan, bandsOfRows(static_cast<std::size_t>(c.rowBlockRows), scan.size));
        EXPECT_TRUE(d.result.completed);
        EXPECT_EQ(d.bands, (c.size + c.rowBlockRows - 1) / c.rowBlockRows);
        EXPECT_EQ(differences(expected, onlyRows(d.pixels, rows), scan.size), "") << describe(c.region, c.size);
    }
}

std::string targetName(const testing::TestParamInfo<mandel::SimdTarget>& info) { return info.param.name; }

INSTANTIATE_TEST_SUITE_P(Targets, PictureOnEveryTarget, testing::ValuesIn(mandel::availableSimdTargets()), targetName);

// ---------------------------------------------------------------------------

TEST(PictureScan, SizeSetsTheStepAndEveryPositionComesFromRepeatedAddition) {
    const RegionTexts r{"-0.75", "-0.275", "0.05", "106"};
    const PictureScan scan = mandel::planPictureScan(r, 777, ScanExtent::Picture);
    EXPECT_EQ(scan.settings.cside, mandel::parseReadout("0.05") / 777.0f);
    EXPECT_EQ(scan.settings.cstep, 106.0f / 16.0f);
    ASSERT_EQ(scan.plan.pointsPerRow(), 777u);
    ASSERT_EQ(scan.plan.rows(), 777u);
    float a = -0.75f;
    for (const float real : scan.plan.reals) {
        ASSERT_EQ(real, a);
        a = a + scan.settings.cside;
    }
    EXPECT_EQ(scan.passRows, 778u) << "rows 0 .. size";

    const PictureScan whole = mandel::planPictureScan(r, 777, ScanExtent::WholePass);
    EXPECT_EQ(whole.plan.rows(), 778u);
    EXPECT_EQ(whole.plan.pointsPerRow(), std::max<std::size_t>(777, whole.passPointsPerRow));
    EXPECT_EQ(whole.passPointsPerRow, mandel::pointsPerRow(whole.settings.side, whole.settings.cside));
    EXPECT_EQ(whole.plan.imags.back(), whole.plan.imags[776] + whole.settings.cside);
}

// At S = 500 the picture is the window's drawing: same step, same rows.
TEST(PictureScan, Size500IsTheWindowsScan) {
    const RegionTexts r{"-1.1507", "-0.4793", "0.5", "100"};
    mandel::RenderSettings s;
    s.load({r.real, r.imag, r.side, r.limit}, 500.0f);
    const mandel::ScanPlan window = mandel::planScan(s.amin, s.bmin, s.side, s.cside, 500.0f);
    const PictureScan whole = mandel::planPictureScan(r, 500, ScanExtent::WholePass);
    EXPECT_EQ(whole.plan.reals, window.reals);
    EXPECT_EQ(whole.plan.imags, window.imags);
    EXPECT_EQ(whole.passPointsPerRow, 501u);
}

// Past a size of about 8000 the countdown can end a row short of the size;
// the pixels past its end continue the same repeated addition and are not
// counted as points of the pass.
TEST(PictureScan, ARowShortOfTheSizeStillFillsThePicture) {
    const RegionTexts r{"-0.5", "0", "0.0035", "100"};
    const PictureScan scan = mandel::planPictureScan(r, 16000, ScanExtent::WholePass);
    EXPECT_EQ(scan.passPointsPerRow, 15997u);
    ASSERT_EQ(scan.plan.pointsPerRow(), 16000u);
    EXPECT_EQ(scan.plan.reals[15999], scan.plan.reals[15998] + scan.settings.cside);
    EXPECT_TRUE(scan.isPassPoint(15996, 16000));
    EXPECT_FALSE(scan.isPassPoint(15997, 0));
    EXPECT_FALSE(scan.isPassPoint(0, 16001));
}

TEST(PictureScan, SizeAndRegionOutsideTheRangeAreRefused) {
    const RegionTexts r{"0", "0", "1", "100"};
    for (const int size : {0, 15, 32001, -500}) {
        EXPECT_THROW(mandel::planPictureScan(r, size, ScanExtent::Picture), std::invalid_argument) << size;
        EXPECT_NE(mandel::pictureSizeProblem(size), "") << size;
    }
    for (const int size : {16, 32000}) EXPECT_EQ(mandel::pictureSizeProblem(size), "") << size;
    EXPECT_THROW(mandel::planPictureScan({"0", "0", "0", "100"}, 100, ScanExtent::Picture), std::invalid_argument);
    EXPECT_THROW(mandel::planPictureScan({"0", "0", "x", "100"}, 100, ScanExtent::Picture), mandel::ParseError);
    EXPECT_THROW(mandel::planPictureScan({"0", "0", "1", "40000"}, 100, ScanExtent::Picture), mandel::SettingsError);
}

// ---------------------------------------------------------------------------
// Band boundaries: each row exactly once, in order, with the counts of one
// unbanded computation, however the rows divide into bands.

TEST(RowBlocks, EveryRowOnceInOrderForAnyBandHeight) {
    const PictureScan scan = mandel::planPictureScan({"-1.1507", "-0.4793", "0.5", "100"}, 61, ScanExtent::WholePass);
    std::vector<std::int16_t> whole(scan.plan.pointCount());
    mandel::escapeCountsFast(scan.plan, scan.settings.cmax, whole);
    const std::size_t rows = scan.plan.rows();  // 62
    for (const bool overlap : {true, false})
        for (const std::size_t rowBlockRows : {std::size_t{1}, std::size_t{2}, std::size_t{7}, std::size_t{61},
                                               std::size_t{62}, std::size_t{63}, std::size_t{500}}) {
            std::vector<std::int16_t> joined;
            std::vector<std::size_t> firsts, heights;
            mandel::RowBlockOptions options;
            options.blockPoints = rowBlockRows * scan.plan.pointsPerRow();
            options.overlap = overlap;
            const auto consume = [&](const mandel::RowBlock& band) {
                EXPECT_EQ(band.columns, scan.plan.pointsPerRow());
                EXPECT_EQ(band.counts.size(), band.rows * band.columns);
                firsts.push_back(band.firstRow);
                heights.push_back(band.rows);
                joined.insert(joined.end(), band.counts.begin(), band.counts.end());
                return true;
            };
            EXPECT_TRUE(mandel::computeRowBlocks(scan.plan, scan.settings.cmax, options, consume));
            EXPECT_EQ(joined, whole) << "band height " << rowBlockRows << ", overlap " << overlap;
            const std::size_t height = std::min(rowBlockRows, rows);
            ASSERT_EQ(firsts.size(), (rows + height - 1) / height) << rowBlockRows;
            for (std::size_t i = 0; i < firsts.size(); ++i) EXPECT_EQ(firsts[i], i * height);
            EXPECT_EQ(heights.back(), rows - (firsts.size() - 1) * height) << "the last band holds the rest";
        }
}

// With the default band size: at 2896 the whole pass's 2897 rows end in a
// band that holds only row 2896, which is not part of the picture; at 3547
// the picture's rows end in a band of one row. The region lies outside the
// set, where points escape after a few, varying, steps: quick to compute.
TEST(RowBlocks, DefaultBandsEndingInOneRow) {
    const RegionTexts r{"0.4", "0.4", "2.4232", "100"};
    for (const auto& [size, extent] : {std::pair{2896, ScanExtent::WholePass}, {3547, ScanExtent::Picture}}) {
        const PictureScan scan = mandel::planPictureScan(r, size, extent);
        const std::size_t perBand = mandel::rowBlockRows(scan.plan.pointsPerRow(), mandel::kRowBlockPoints);
        ASSERT_EQ(scan.plan.rows() % perBand, 1u) << size;

        std::vector<std::int16_t> whole(scan.plan.pointCount());
        mandel::escapeCountsFast(scan.plan, scan.settings.cmax, whole);
        const auto colours = mandel::colourIndexByCount(scan.settings.cmax, scan.settings.cstep, scan.settings.limit());
        Pixels expected;
        long long passSum = 0;
        for (std::size_t y = 0; y < scan.plan.rows(); ++y)
            for (std::size_t x = 0; x < scan.plan.pointsPerRow(); ++x) {
                const std::int16_t count = whole[y * scan.plan.pointsPerRow() + x];
                if (x < scan.size && y < scan.size) expected.push_back(colours[static_cast<std::size_t>(count)]);
                if (scan.isPassPoint(x, y)) passSum += count;
            }
        const Drawn d = draw(scan);
        EXPECT_TRUE(d.result.completed);
        EXPECT_EQ(d.bands, static_cast<int>((scan.size + perBand - 1) / perBand)) << "bands with picture rows";
        EXPECT_EQ(differences(expected, d.pixels, scan.size), "") << size;
        EXPECT_EQ(d.result.passIterations, passSum) << size;
    }
}

TEST(RowBlocks, AConsumerThatStopsOrThrowsGetsNoFurtherBand) {
    const PictureScan scan = mandel::planPictureScan({"-0.75", "-0.275", "0.05", "106"}, 100, ScanExtent::Picture);
    mandel::RowBlockOptions options;
    options.blockPoints = 10 * 100;
    int calls = 0;
    EXPECT_FALSE(mandel::computeRowBlocks(scan.plan, scan.settings.cmax, options,
                                          [&](const mandel::RowBlock&) { return ++calls < 3; }));
    EXPECT_EQ(calls, 3);

    calls = 0;
    EXPECT_THROW(mandel::computeRowBlocks(scan.plan, scan.settings.cmax, options,
                                          [&](const mandel::RowBlock&) -> bool {
                                              if (++calls == 2) throw std::runtime_error("disk full");
                                              return true;
                                          }),
                 std::runtime_error);
    EXPECT_EQ(calls, 2);
}

// Progress counts picture rows (not the pass's extra row) and can stop the drawing.
TEST(DrawPicture, ProgressReportsRowsAndCanStop) {
    const PictureScan scan = mandel::planPictureScan({"-0.75", "-0.275", "0.05", "106"}, 100, ScanExtent::WholePass);
    mandel::DrawOptions options = bandsOfRows(25, scan.plan.pointsPerRow());
    std::vector<std::size_t> done;
    options.progress = [&](const mandel::DrawProgress& p) {
        EXPECT_EQ(p.rowsTotal, 100u);
        done.push_back(p.rowsDone);
        return true;
    };
    const Drawn all = draw(scan, options);
    EXPECT_TRUE(all.result.completed);
    EXPECT_EQ(done, (std::vector<std::size_t>{25, 50, 75, 100, 100})) << "the fifth band is row 100 alone";

    options.progress = [](const mandel::DrawProgress& p) { return p.rowsDone < 50; };
    const Drawn stopped = draw(scan, options);
    EXPECT_FALSE(stopped.result.completed);
    EXPECT_EQ(stopped.pixels.size(), 50u * 100u);
}

TEST(ColourIndexByCount, AgreesWithCstepcol) {
    for (const float cmax : {100.0f, 101.0f, 160.0f, 1500.0f}) {
        const auto table = mandel::colourIndexByCount(cmax, cmax / 16.0f, static_cast<short>(cmax));
        ASSERT_EQ(table.size(), static_cast<std::size_t>(cmax) + 1);
        for (std::size_t c = 0; c < table.size(); ++c)
            ASSERT_EQ(table[c], mandel::cstepcol(static_cast<float>(c), cmax, cmax / 16.0f)) << cmax << " " << c;
    }
}

}  // namespace
