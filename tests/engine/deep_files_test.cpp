// Files of deep drawings: count maps and flag maps byte by byte, the PNG text
// fields read back as a location, and the refusals of pictures that do not say
// where they were taken.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "deep/count_map_file.h"
#include "deep/deep_picture_file.h"
#include "deep/picture_location.h"
#include "files/png_picture_writer.h"
#include "scratch_folder.h"

namespace {

namespace fs = std::filesystem;
using mandel::PictureFormat;
using test::Bytes;
using test::readAll;

class DeepFiles : public test::ScratchFolder {};

mandel::DeepPictureFacts deepFacts(int width, int height) {
    mandel::DeepPictureFacts facts;
    facts.view.location = {"-1.2506610123456789012345678901234567890123456789000", "0.0000001e-3", "3.5e-120", 41234};
    facts.view.width = width;
    facts.view.height = height;
    facts.base = 40000;
    return facts;
}

// Writes a picture of one colour with the given facts.
void writePicture(mandel::PictureSink& sink, int width, int height) {
    const Bytes row(static_cast<std::size_t>(width), 3);
    for (int y = 0; y < height; ++y) sink.writeRows(row, 1);
    sink.finish();
}

// A PNG of the program's writer but with the fields given.
void writePngWithFields(const fs::path& path, const std::vector<std::pair<std::string, std::string>>& fields,
                        int width = 16, int height = 16) {
    mandel::PngPictureWriter writer(path.string(), width, height, fields);
    writePicture(writer, width, height);
}

TEST_F(DeepFiles, CountMapIsANpyArrayOfLittleEndianInt32InRowOrder) {
    const fs::path path = dir_ / "counts.npy";
    const std::vector<std::int32_t> counts{1, 2, 3, 2147483647, 5, 6, 7, 8, 9, 10, 11, 12};  // 3 wide, 4 high
    {
        mandel::CountMapWriter writer(path.string(), 3, 4);
        writer.writeCounts(std::span(counts).first(3), 1);
        writer.writeCounts(std::span(counts).subspan(3), 3);
        EXPECT_FALSE(fs::exists(path)) << "nothing under the name before finish";
        writer.finish();
    }
    const Bytes bytes = readAll(path);
    const std::string dictionary = "{'descr': '<i4', 'fortran_order': False, 'shape': (4, 3), }";
    constexpr std::size_t kHeader = 128;  // 10 + 60 bytes of dictionary and a newline, padded to 64
    ASSERT_EQ(bytes.size(), kHeader + 4 * counts.size());
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 6), "\x93NUMPY");
    EXPECT_EQ(bytes[6], 1);
    EXPECT_EQ(bytes[7], 0);
    EXPECT_EQ(bytes[8] | bytes[9] << 8, kHeader - 10);
    EXPECT_EQ(std::string(bytes.begin() + 10, bytes.begin() + 10 + static_cast<long>(dictionary.size())), dictionary);
    EXPECT_EQ(bytes[kHeader - 1], '\n');
    for (std::size_t at = 10 + dictionary.size(); at < kHeader - 1; ++at) EXPECT_EQ(bytes[at], ' ') << at;
    EXPECT_EQ((Bytes{bytes.begin() + kHeader + 12, bytes.begin() + kHeader + 16}), (Bytes{0xff, 0xff, 0xff, 0x7f}));
    for (std::size_t i = 0; i < counts.size(); ++i) {
        const std::uint8_t* at = bytes.data() + kHeader + 4 * i;
        EXPECT_EQ(at[0] | at[1] << 8 | at[2] << 16 | static_cast<std::uint32_t>(at[3]) << 24,
                  static_cast<std::uint32_t>(counts[i]))
            << i;
    }
    EXPECT_EQ(mandel::countMapHeader(32000, 32000).size() % 64, 0u);
    EXPECT_EQ(names(), std::vector<std::string>{"counts.npy"});
}

TEST_F(DeepFiles, FlagMapIsANpyArrayOfBytesInRowOrder) {
    const fs::path path = dir_ / "flags.npy";
    const Bytes flags{1, 1, 0, 1, 0, 1};  // 2 wide, 3 high
    {
        mandel::FlagMapWriter writer(path.string(), 2, 3);
        writer.writeFlags(std::span(flags).first(4), 2);
        EXPECT_THROW(writer.finish(), std::logic_error) << "a row is missing";
        writer.writeFlags(std::span(flags).subspan(4), 1);
        EXPECT_THROW(writer.writeFlags(std::span(flags).first(2), 1), std::invalid_argument) << "a row too many";
        writer.finish();
    }
    const Bytes bytes = readAll(path);
    const std::string dictionary = "{'descr': '|u1', 'fortran_order': False, 'shape': (3, 2), }";
    constexpr std::size_t kHeader = 128;
    ASSERT_EQ(bytes.size(), kHeader + flags.size());
    EXPECT_EQ(std::string(bytes.begin() + 10, bytes.begin() + 10 + static_cast<long>(dictionary.size())), dictionary);
    EXPECT_EQ(Bytes(bytes.begin() + kHeader, bytes.end()), flags);
}

TEST_F(DeepFiles, CountMapThatFailsOrStopsLeavesNothing) {
    {
        mandel::CountMapWriter unfinished((dir_ / "stopped.npy").string(), 16, 16);
        unfinished.writeCounts(std::vector<std::int32_t>(16, 1), 1);
    }
    mandel::safeFileCalls().write = [](int, const void*, std::size_t) -> ssize_t {
        errno = ENOSPC;
        return -1;
    };
    EXPECT_THROW(
        {
            mandel::CountMapWriter failing((dir_ / "full.npy").string(), 16, 16);
            failing.writeCounts(std::vector<std::int32_t>(256, 1), 16);
            failing.finish();
        },
        mandel::FileWriteError);
    EXPECT_TRUE(names().empty());
}

TEST_F(DeepFiles, DeepPngGivesBackItsLocationExactly) {
    const fs::path path = dir_ / "deep.png";
    const mandel::DeepPictureFacts facts = deepFacts(40, 24);
    writePicture(*mandel::openDeepPictureFile(path.string(), PictureFormat::Png, facts), 40, 24);
    const mandel::PictureLocationRead read = mandel::readPictureLocation(path.string());
    ASSERT_TRUE(read.location) << read.problem;
    EXPECT_EQ(read.location->view, facts.view);
    EXPECT_EQ(read.location->base, facts.base);
    EXPECT_TRUE(read.location->deep);
}

TEST_F(DeepFiles, WindowsPngGivesItsLocationAsSinglePrecision) {
    const fs::path path = dir_ / "window.png";
    const mandel::PictureFacts facts{{"-0.775", "0.107", "0.01", "180"}, 20};
    writePicture(*mandel::openPictureFile(path.string(), PictureFormat::Png, facts), 20, 20);
    const mandel::PictureLocationRead read = mandel::readPictureLocation(path.string());
    ASSERT_TRUE(read.location) << read.problem;
    EXPECT_EQ(read.location->view, (mandel::DeepView{{"-0.775", "0.107", "0.01", 180}, 20, 20}));
    EXPECT_EQ(read.location->base, 0);
    EXPECT_FALSE(read.location->deep);
}

TEST_F(DeepFiles, PicturesThatDoNotSayWhereAreRefusedWithTheReason) {
    std::vector<std::pair<std::string, std::string>> fields = mandel::deepPictureTextFields(deepFacts(16, 16));
    const auto with = [&](const std::string& keyword, const std::string& text) {
        auto changed = fields;
        for (auto& field : changed)
            if (field.first == keyword) field.second = text;
        return changed;
    };
    const auto without = [&](const std::string& keyword) {
        auto changed = fields;
        std::erase_if(changed, [&](const auto& field) { return field.first == keyword; });
        return changed;
    };
    const std::vector<std::pair<std::vector<std::pair<std::string, std::string>>, std::string>> cases{
        {without("Software"), "not a picture of this program"},
        {with("Software", "GIMP 2.10"), "not a picture of this program"},
        {without("Side length"), "'Side length' is missing"},
        {with("Real-part minimum", "0x1p3"), "'Real-part minimum' is not a decimal number"},
        {with("Iteration limit", "2147483648"), "'Iteration limit' is not a whole number from 1 to 2147483647"},
        {with("Base count", "41234"), "'Base count' is not a whole number from 0 to 41233"},
        {with("Size", "17"), "'Size' (17) is not the image's size"},
        {with("Arithmetic", "quad"), "unknown arithmetic 'quad'"},
    };
    for (const auto& [caseFields, reason] : cases) {
        const fs::path path = dir_ / "case.png";
        writePngWithFields(path, caseFields);
        const mandel::PictureLocationRead read = mandel::readPictureLocation(path.string());
        EXPECT_FALSE(read.location) << reason;
        EXPECT_NE(read.problem.find(reason), std::string::npos) << read.problem;
    }
    const fs::path bmp = dir_ / "picture.bmp";
    writePicture(*mandel::openDeepPictureFile(bmp.string(), PictureFormat::Bmp, deepFacts(16, 16)), 16, 16);
    EXPECT_EQ(mandel::readPictureLocation(bmp.string()).problem, "not a PNG file");
    const std::string absent = (dir_ / "absent.png").string();
    EXPECT_EQ(mandel::readPictureLocation(absent).problem, "cannot open " + absent + ": " + std::strerror(ENOENT));
    const fs::path cut = dir_ / "cut.png";
    writePngWithFields(cut, fields);
    fs::resize_file(cut, 40);
    EXPECT_NE(mandel::readPictureLocation(cut.string()).problem.find("damaged PNG file"), std::string::npos);
}

TEST(PictureSizeText, SquareOrWidthByHeightWithinTheSizes) {
    EXPECT_EQ(mandel::pictureSizeText(1000, 1000), "1000");
    EXPECT_EQ(mandel::pictureSizeText(1600, 900), "1600x900");
    const auto size = mandel::parsePictureSizeText("1600x900");
    ASSERT_TRUE(size);
    EXPECT_EQ(size->width, 1600);
    EXPECT_EQ(size->height, 900);
    EXPECT_EQ(mandel::parsePictureSizeText("16")->height, 16);
    for (const char* bad : {"", "15", "32001", "x100", "100x", "+100", " 100", "100X100", "100x100x100", "1e3"})
        EXPECT_FALSE(mandel::parsePictureSizeText(bad)) << bad;
}

}  // namespace
