// Picture files: what a PNG or BMP holds after a drawing, read back with
// libpng or byte by byte, and that a failed or cancelled drawing leaves
// nothing behind.
#include <gtest/gtest.h>
#include <png.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csetjmp>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <span>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "colour/banding.h"
#include "bmp_decoder.h"
#include "files/bmp_format.h"
#include "collecting_sink.h"
#include "files/picture_file.h"
#include "files/png_picture_writer.h"
#include "files/safe_file.h"
#include "files/whole_png_writer.h"
#include "scratch_folder.h"

namespace {

namespace fs = std::filesystem;
using mandel::PictureFormat;
using test::Bytes;
using test::readAll;

const mandel::RegionTexts kBoundary{"-0.775", "0.107", "0.01", "180"};

std::int32_t le32(const Bytes& b, std::size_t at) {
    return static_cast<std::int32_t>(b[at] | b[at + 1] << 8 | b[at + 2] << 16 |
                                     static_cast<std::uint32_t>(b[at + 3]) << 24);
}

struct DecodedPng {
    bool ok = false;
    png_uint_32 width = 0, height = 0;
    int bitDepth = 0, colourType = 0;
    std::vector<mandel::Rgb> palette;
    std::map<std::string, std::string> text;
    Bytes pixels;
};

// Every libpng call that can fail sits in this one function, with no object
// that has a destructor created after setjmp.
bool readPng(FILE* file, DecodedPng& out) {
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        return false;
    }
    png_init_io(png, file);
    png_read_info(png, info);
    out.width = png_get_image_width(png, info);
    out.height = png_get_image_height(png, info);
    out.bitDepth = png_get_bit_depth(png, info);
    out.colourType = png_get_color_type(png, info);
    png_colorp palette = nullptr;
    int colours = 0;
    png_get_PLTE(png, info, &palette, &colours);
    for (int i = 0; i < colours; ++i) out.palette.push_back({palette[i].red, palette[i].green, palette[i].blue});
    const std::size_t rowBytes = png_get_rowbytes(png, info);  // the width, or 3 bytes a pixel in true colour
    out.pixels.resize(rowBytes * out.height);
    for (png_uint_32 y = 0; y < out.height; ++y) png_read_row(png, out.pixels.data() + y * rowBytes, nullptr);
    png_read_end(png, info);
    png_textp text = nullptr;
    const int texts = png_get_text(png, info, &text, nullptr);
    for (int i = 0; i < texts; ++i) out.text[text[i].key] = text[i].text;
    png_destroy_read_struct(&png, &info, nullptr);
    return true;
}

DecodedPng decodePng(const fs::path& path) {
    DecodedPng decoded;
    FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return decoded;
    decoded.ok = readPng(file, decoded);
    std::fclose(file);
    return decoded;
}

// The packed colours of a picture given as Palette indices.
std::vector<std::uint32_t> coloursOf(const Bytes& indices) {
    std::vector<std::uint32_t> colours;
    for (const std::uint8_t index : indices) colours.push_back(mandel::packColour(mandel::Palette[index]));
    return colours;
}

class PictureFiles : public test::ScratchFolder {
protected:
    // Draws the region into the file and into memory at once; returns the indices.
    Bytes drawInto(const fs::path& path, PictureFormat format, int size, const mandel::DrawOptions& options = {},
                   bool* completed = nullptr) {
        const mandel::PictureScan scan = mandel::planPictureScan(kBoundary, size, mandel::ScanExtent::Picture);
        auto file = mandel::openPictureFile(path.string(), format, {kBoundary, scan.size});
        CollectingSink memory(scan.size);
        mandel::PictureSink* sinks[] = {file.get(), &memory};
        const mandel::DrawResult result = mandel::drawPicture(scan, sinks, options);
        if (completed) *completed = result.completed;
        return memory.pixels;
    }
};

// Small bands, so that the file is written in many pieces.
mandel::DrawOptions smallBands(int size) {
    mandel::DrawOptions options;
    options.blocks.blockPoints = 40 * static_cast<std::size_t>(size);
    return options;
}

TEST_F(PictureFiles, PngDecodesToThePixelsThePaletteAndTheRegion) {
    const fs::path path = dir_ / "boundary.png";
    const Bytes indices = drawInto(path, PictureFormat::Png, 777, smallBands(777));
    const DecodedPng png = decodePng(path);
    ASSERT_TRUE(png.ok);
    EXPECT_EQ(png.width, 777u);
    EXPECT_EQ(png.height, 777u);
    EXPECT_EQ(png.bitDepth, 8);
    EXPECT_EQ(png.colourType, PNG_COLOR_TYPE_PALETTE);
    ASSERT_EQ(png.palette.size(), 17u);
    for (std::size_t i = 0; i < 17; ++i) {
        EXPECT_EQ(png.palette[i].red, mandel::Palette[i].red) << i;
        EXPECT_EQ(png.palette[i].green, mandel::Palette[i].green) << i;
        EXPECT_EQ(png.palette[i].blue, mandel::Palette[i].blue) << i;
    }
    EXPECT_TRUE(png.pixels == indices) << "every pixel's colour index";
    EXPECT_GT(std::set<std::uint8_t>(indices.begin(), indices.end()).size(), 10u) << "a picture with many colours";
    const std::map<std::string, std::string> text{{"Software", "mandelbrot " MANDEL_TEST_PROGRAM_VERSION},
                                                  {"Real-part minimum", "-0.775"},
                                                  {"Imaginary-part minimum", "0.107"},
                                                  {"Side length", "0.01"},
                                                  {"Iteration limit", "180"},
                                                  {"Size", "777"},
                                                  {"Arithmetic", "single-precision"}};
    EXPECT_EQ(png.text, text);
    EXPECT_EQ(names(), std::vector<std::string>{"boundary.png"}) << "no temporary file left";
}

// A true-colour picture in blocks of rows, through the whole-picture writer
// and through libpng's: both decode to its colours, with the opening and
// closing texts.
TEST_F(PictureFiles, TrueColourPngsOfEitherWriterDecodeToTheColoursAndTexts) {
    const std::size_t width = 37, height = 23;
    std::vector<mandel::Rgb> colours;
    Bytes expected;
    for (std::size_t y = 0; y < height; ++y)
        for (std::size_t x = 0; x < width; ++x) {
            const mandel::Rgb c{static_cast<std::uint8_t>(x * 7), static_cast<std::uint8_t>(y * 11 + x),
                                static_cast<std::uint8_t>(255 - x * y)};
            colours.push_back(c);
            expected.insert(expected.end(), {c.red, c.green, c.blue});
        }
    const std::vector<std::pair<std::string, std::string>> opening{{"Software", "test"}, {"Side length", "1e-40"}};
    const fs::path whole = dir_ / "whole.png", streamed = dir_ / "streamed.png";
    std::vector<std::unique_ptr<mandel::PictureSink>> writers;
    writers.push_back(std::make_unique<mandel::WholePngWriter>(whole.string(), width, height, opening));
    writers.push_back(std::make_unique<mandel::PngPictureWriter>(
        streamed.string(), width, height, opening, mandel::PngCompression{}, mandel::PngColours::TrueColour));
    for (auto& writer : writers) {
        EXPECT_THROW(writer->writeRows(Bytes(width), 1), std::exception);
        for (std::size_t y = 0; y < height; y += 10) {
            const std::size_t rows = std::min<std::size_t>(10, height - y);
            writer->writeColourRows(std::span(colours).subspan(y * width, rows * width), rows);
        }
        writer->addClosingText("Uncertified pixels", "0");
        writer->finish();
    }
    for (const fs::path& file : {whole, streamed}) {
        const DecodedPng png = decodePng(file);
        ASSERT_TRUE(png.ok) << file;
        EXPECT_EQ(png.width, width);
        EXPECT_EQ(png.height, height);
        EXPECT_EQ(png.colourType, PNG_COLOR_TYPE_RGB);
        EXPECT_EQ(png.pixels, expected) << file;
        const std::map<std::string, std::string> text{
            {"Software", "test"}, {"Side length", "1e-40"}, {"Uncertified pixels", "0"}};
        EXPECT_EQ(png.text, text) << file;
    }
}

TEST_F(PictureFiles, BmpIsBottomUpInAFileAndTopDownIntoAPipe) {
    const int size = 37;  // rows of 111 bytes, padded to 112
    const fs::path path = dir_ / "small.bmp";
    const Bytes indices = drawInto(path, PictureFormat::Bmp, size, smallBands(size));
    const test::DecodedBmp file = test::decodeBmp(readAll(path));
    ASSERT_TRUE(file.ok);
    EXPECT_EQ(file.width, size);
    EXPECT_EQ(file.height, size);
    EXPECT_FALSE(file.topDown) << "positive height: bottom-up";
    EXPECT_EQ(file.pixels, coloursOf(indices));

    const fs::path fifo = dir_ / "pipe.bmp";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    Bytes received;
    std::thread reader([&] { received = readAll(fifo); });
    const Bytes piped = drawInto(fifo, PictureFormat::Bmp, size, smallBands(size));
    reader.join();
    const test::DecodedBmp stream = test::decodeBmp(received);
    ASSERT_TRUE(stream.ok);
    EXPECT_TRUE(stream.topDown) << "negative height: top-down";
    EXPECT_EQ(stream.pixels, coloursOf(piped));
}

TEST_F(PictureFiles, BmpHeaderAndBottomUpBlueGreenRedRowsPaddedToFourBytes) {
    // 3 × 2 pixels: rows of 9 bytes padded to 12. Pixel k has red k, green
    // 0x40 + k, blue 0x80 + k.
    std::vector<std::uint32_t> pixels;
    for (std::uint8_t k = 0; k < 6; ++k)
        pixels.push_back(
            mandel::packColour({k, static_cast<std::uint8_t>(0x40 + k), static_cast<std::uint8_t>(0x80 + k)}));
    const fs::path path = dir_ / "tiny.bmp";
    mandel::writeBmpFile(path.string(), 3, 2, pixels);
    const Bytes b = readAll(path);
    ASSERT_EQ(b.size(), 54u + 2 * 12);
    EXPECT_EQ(b[0], 'B');
    EXPECT_EQ(b[1], 'M');
    EXPECT_EQ(le32(b, 2), static_cast<std::int32_t>(b.size()));
    EXPECT_EQ(le32(b, 10), 54) << "pixel data offset";
    EXPECT_EQ(le32(b, 14), 40) << "BITMAPINFOHEADER";
    EXPECT_EQ(le32(b, 18), 3);
    EXPECT_EQ(le32(b, 22), 2) << "positive height: bottom-up";
    EXPECT_EQ(b[28], 24) << "bits per pixel";
    EXPECT_EQ(le32(b, 30), 0) << "uncompressed";
    // File row 0 is the bottom row (pixels 3, 4, 5); each pixel blue, green, red.
    const Bytes rows(b.begin() + 54, b.end());
    const Bytes expected = {0x83, 0x43, 3, 0x84, 0x44, 4, 0x85, 0x45, 5, 0, 0, 0,
                            0x80, 0x40, 0, 0x81, 0x41, 1, 0x82, 0x42, 2, 0, 0, 0};
    EXPECT_EQ(rows, expected);

    EXPECT_THROW(mandel::writeBmpFile((dir_ / "short.bmp").string(), 3, 2, std::vector<std::uint32_t>(5)),
                 std::invalid_argument);
    EXPECT_EQ(names(), std::vector<std::string>{"tiny.bmp"}) << "nothing of the refused picture";
}

// Lets the first `budget` bytes through, then fails as a full disk does.
std::size_t writeBudget = 0;
ssize_t writeUntilFull(int fd, const void* data, std::size_t size) {
    if (size > writeBudget) {
        errno = ENOSPC;
        return -1;
    }
    writeBudget -= size;
    return ::write(fd, data, size);
}
ssize_t pwriteFull(int, const void*, std::size_t, off_t) {
    errno = ENOSPC;
    return -1;
}

TEST_F(PictureFiles, AFailedWriteLeavesTheOldFileAndNoOther) {
    const fs::path png = dir_ / "old.png";
    const fs::path bmp = dir_ / "old.bmp";
    std::ofstream(png) << "older picture";
    std::ofstream(bmp) << "older picture";

    writeBudget = 4096;  // the header goes through, the image data does not
    mandel::safeFileCalls().write = writeUntilFull;
    try {
        drawInto(png, PictureFormat::Png, 500);
        ADD_FAILURE() << "the PNG write did not fail";
    } catch (const mandel::FileWriteError& e) {
        EXPECT_EQ(std::string(e.what()), "cannot write " + png.string() + ": No space left on device");
    }
    mandel::safeFileCalls().pwrite = pwriteFull;  // the BMP's rows go to their offsets
    writeBudget = 4096;
    EXPECT_THROW(drawInto(bmp, PictureFormat::Bmp, 100), mandel::FileWriteError);

    EXPECT_EQ(readAll(png), readAll(bmp));
    EXPECT_EQ(readAll(png), Bytes({'o', 'l', 'd', 'e', 'r', ' ', 'p', 'i', 'c', 't', 'u', 'r', 'e'}));
    EXPECT_EQ(names(), (std::vector<std::string>{"old.bmp", "old.png"}));
}

TEST_F(PictureFiles, ACancelledDrawingLeavesNoFile) {
    for (const PictureFormat format : {PictureFormat::Png, PictureFormat::Bmp}) {
        mandel::DrawOptions options = smallBands(300);
        int bands = 0;
        options.progress = [&](const mandel::DrawProgress&) { return ++bands < 3; };
        bool completed = true;
        const Bytes drawn = drawInto(dir_ / "cancelled", format, 300, options, &completed);
        EXPECT_FALSE(completed);
        EXPECT_EQ(drawn.size(), 3u * 40u * 300u) << "stopped after the third band";
        EXPECT_EQ(names(), std::vector<std::string>{}) << "neither the file nor a temporary one";
    }
}

TEST(PictureFormatForPath, BmpOnlyByItsSuffix) {
    EXPECT_EQ(mandel::pictureFormatForPath("a/picture.bmp"), PictureFormat::Bmp);
    EXPECT_EQ(mandel::pictureFormatForPath("PICTURE.BmP"), PictureFormat::Bmp);
    EXPECT_EQ(mandel::pictureFormatForPath("picture.png"), PictureFormat::Png);
    EXPECT_EQ(mandel::pictureFormatForPath("picture"), PictureFormat::Png);
    EXPECT_EQ(mandel::pictureFormatForPath("bmp"), PictureFormat::Png);
    EXPECT_EQ(mandel::pictureFormatForPath("picture.bmp.png"), PictureFormat::Png);
}

}  // namespace
