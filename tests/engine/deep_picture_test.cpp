// Deep drawings into files: the blocks of rows put together are the whole
// drawing, colours follow the base count, progress covers the picture, the
// flags of uncertified pixels follow the blocks and their number reaches the
// pictures, and a cancelled drawing finishes nothing and leaves no file.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "collecting_sink.h"
#include "deep/count_map_file.h"
#include "deep/deep_colour.h"
#include "deep/deep_picture.h"
#include "deep/deep_picture_file.h"
#include "files/picture_file.h"
#include "scratch_folder.h"

namespace {

// A view across the boundary with a spread of counts, wider than high.
const mandel::DeepView kView{{"-0.7454", "0.1128", "0.0006", 400}, 37, 23};

class CollectingCounts : public mandel::CountSink {
public:
    void writeCounts(std::span<const std::int32_t> block, std::size_t rows) override {
        EXPECT_EQ(block.size(), rows * static_cast<std::size_t>(kView.width));
        counts.insert(counts.end(), block.begin(), block.end());
        ++calls;
    }
    void finish() override { finished = true; }
    std::vector<std::int32_t> counts;
    int calls = 0;
    bool finished = false;
};

std::vector<std::int32_t> wholeDrawing(const mandel::DeepView& view) {
    mandel::DeepDrawing drawing(view);
    std::vector<std::int32_t> counts(static_cast<std::size_t>(view.width) * view.height);
    EXPECT_TRUE(drawing.computeRows(0, view.height, counts));
    return counts;
}

TEST(DeepPicture, BlocksOfRowsMakeTheWholeDrawingInColoursOfTheBase) {
    const std::vector<std::int32_t> expected = wholeDrawing(kView);
    constexpr std::int64_t kBase = 60;
    mandel::DeepDrawing drawing(kView);
    CollectingSink picture(kView.width);
    CollectingCounts countMap;
    mandel::PictureSink* pictures[] = {&picture};
    mandel::CountSink* countMaps[] = {&countMap};
    mandel::DeepPictureOptions options;
    options.base = kBase;
    options.blockPixels = 5 * kView.width;  // blocks of 5 rows, the last one of 3
    std::vector<std::int64_t> rowsDone;
    options.compute.progress = [&](const mandel::DeepProgress& progress) {
        EXPECT_EQ(progress.rowsTotal, kView.height);
        EXPECT_GE(progress.rowsDone, rowsDone.empty() ? 0 : rowsDone.back()) << "progress never goes back";
        rowsDone.push_back(progress.rowsDone);
        return true;
    };
    const mandel::DeepPictureResult result = drawDeepPicture(drawing, pictures, countMaps, options);

    ASSERT_TRUE(result.completed);
    EXPECT_TRUE(picture.finished && countMap.finished);
    EXPECT_EQ(countMap.calls, 5);
    EXPECT_EQ(countMap.counts, expected);
    std::int64_t sum = 0;
    for (const std::int32_t count : expected) sum += count;
    EXPECT_EQ(result.iterations, sum);
    ASSERT_EQ(picture.pixels.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i)
        ASSERT_EQ(picture.pixels[i], mandel::deepColourIndex(expected[i], kView.location.limit, kBase)) << i;
    EXPECT_GT(std::set<std::uint8_t>(picture.pixels.begin(), picture.pixels.end()).size(), 8u) << "many bands";
    ASSERT_FALSE(rowsDone.empty());
    EXPECT_EQ(rowsDone.back(), kView.height);
    EXPECT_GT(result.reference.precisionBits, 0);
}

class CollectingFlags : public mandel::FlagSink {
public:
    void writeFlags(std::span<const std::uint8_t> block, std::size_t) override {
        flags.insert(flags.end(), block.begin(), block.end());
    }
    void finish() override { finished = true; }
    std::vector<std::uint8_t> flags;
    bool finished = false;
};

// Across |c| = 2 at a side of 1e-17, some escape tests need more than 64 bits.
TEST(DeepPicture, FlagsOfUncertifiedPixelsFollowTheBlocksAndTheirNumberEndsEachPicture) {
    const mandel::DeepView view{{"1.1999999999999999999999999999999999999999999999949", "1.6", "1e-17", 50}, 16, 16};
    mandel::DeepOptions capped;
    capped.maxBits = mandel::kMinSettleBits;
    std::vector<std::int32_t> counts(256);
    std::vector<std::uint8_t> expected(256, 7);
    mandel::DeepDrawing whole(view);
    ASSERT_TRUE(whole.computeRows(0, 16, counts, capped, expected));

    mandel::DeepDrawing drawing(view);
    CollectingSink picture(16);
    CollectingFlags flagMap;
    mandel::PictureSink* pictures[] = {&picture};
    mandel::FlagSink* flagMaps[] = {&flagMap};
    mandel::DeepPictureOptions options;
    options.compute = capped;
    options.blockPixels = 5 * 16;  // blocks of 5 rows, the last one of 1
    const mandel::DeepPictureResult result = drawDeepPicture(drawing, pictures, {}, options, flagMaps);

    ASSERT_TRUE(result.completed);
    EXPECT_TRUE(flagMap.finished);
    EXPECT_EQ(flagMap.flags, expected);
    const auto uncertified = std::count(expected.begin(), expected.end(), std::uint8_t{0});
    EXPECT_GT(uncertified, 0) << "the view must have pixels the cap leaves undecided";
    EXPECT_EQ(result.uncertifiedPixels, uncertified);
    EXPECT_EQ(picture.closingText, (std::vector<std::pair<std::string, std::string>>{
                                       {mandel::picture_text::kUncertifiedPixels, std::to_string(uncertified)}}));
}

class DeepPictureFiles : public test::ScratchFolder {};

TEST_F(DeepPictureFiles, ACancelledDrawingFinishesNothingAndLeavesNoFile) {
    mandel::DeepDrawing drawing(kView);
    {
        const auto png =
            mandel::openDeepPictureFile((dir_ / "deep.png").string(), mandel::PictureFormat::Png, {kView, 0});
        mandel::CountMapWriter counts((dir_ / "deep.npy").string(), kView.width, kView.height);
        mandel::PictureSink* pictures[] = {png.get()};
        mandel::CountSink* countMaps[] = {&counts};
        mandel::DeepPictureOptions options;
        options.blockPixels = 4 * kView.width;
        std::atomic<bool> cancel{false};
        options.compute.cancel = &cancel;
        options.compute.progress = [&](const mandel::DeepProgress& progress) {
            if (progress.rowsDone >= 8) cancel = true;
            return true;
        };
        EXPECT_FALSE(drawDeepPicture(drawing, pictures, countMaps, options).completed);

        mandel::DeepPictureOptions badBase;
        badBase.base = kView.location.limit;
        EXPECT_THROW(drawDeepPicture(drawing, pictures, countMaps, badBase), std::invalid_argument);
    }
    EXPECT_TRUE(names().empty()) << "nothing under either name, no temporary file";
}

}  // namespace
