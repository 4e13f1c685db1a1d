// mandelbrot-render --deep with the smooth colouring: the picture records its
// colouring and the recorded colouring draws the same bytes again; the counts
// stay the bands' counts; K × K samples are the average, in linear light, of
// the picture drawn K times larger; bad values are refused in one line.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "../engine/bmp_decoder.h"
#include "colour/linear_light.h"
#include "deep/picture_location.h"
#include "deep_render.h"
#include "render_run.h"

namespace {

namespace fs = std::filesystem;

int run(const std::vector<std::string>& words, std::string* err = nullptr) {
    const std::vector<std::string_view> args(words.begin(), words.end());
    std::ostringstream out, errors;
    const int status = mandel::tool::runRenderTool(args, out, errors);
    if (err) *err = errors.str();
    return status;
}

std::vector<std::uint8_t> bytesOf(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<std::string> splitWords(const std::string& text) {
    std::istringstream in(text);
    return {std::istream_iterator<std::string>(in), std::istream_iterator<std::string>()};
}

struct Scratch {
    fs::path dir = fs::temp_directory_path() / ("deep_colour_" + std::to_string(::getpid()));
    Scratch() { fs::create_directories(dir); }
    ~Scratch() { fs::remove_all(dir); }
    std::string at(const char* name) const { return (dir / name).string(); }
};

const std::vector<std::string> kLocation = {"-0.7454", "0.1128", "0.0006", "400"};

std::vector<std::string> withLocation(std::vector<std::string> words) {
    words.insert(words.end(), kLocation.begin(), kLocation.end());
    return words;
}

TEST(DeepColourRender, TheRecordedColouringDrawsTheSameBytesAndTheSameCounts) {
    const Scratch s;
    ASSERT_EQ(run(withLocation({"--deep", "--size", "48x32", "--counts", s.at("bands.npy")})), 0);
    ASSERT_EQ(run(withLocation({"--deep", "--size", "48x32", "--colouring", "smooth", "--palette", "fire",
                                "--density-scale", "log", "--offset", "0.3", "--png", s.at("first.png"), "--counts",
                                s.at("smooth.npy"), "--smooth", s.at("nu.npy")})),
              0);
    EXPECT_EQ(bytesOf(s.at("bands.npy")), bytesOf(s.at("smooth.npy")));
    EXPECT_EQ(fs::file_size(s.at("nu.npy")), 128u + 4 * 48 * 32);

    const mandel::PictureLocationRead read = mandel::readPictureLocation(s.at("first.png"));
    ASSERT_TRUE(read.location) << read.problem;
    const mandel::Colouring& recorded = read.location->colouring;
    EXPECT_EQ(recorded.mode, mandel::ColouringMode::Smooth);
    EXPECT_EQ(recorded.palette, "fire");
    EXPECT_FALSE(recorded.automaticDensity);
    EXPECT_GT(recorded.scale.density, 0);
    std::vector<std::string> again = {"--deep", "--size", "48x32", "--png", s.at("again.png")};
    for (const std::string& word : splitWords(mandel::colouringArguments(recorded))) again.push_back(word);
    ASSERT_EQ(run(withLocation(again)), 0);
    EXPECT_EQ(bytesOf(s.at("first.png")), bytesOf(s.at("again.png")));
}

TEST(DeepColourRender, SamplesAreTheLargerPicturesAverageInLinearLight) {
    const Scratch s;
    const std::vector<std::string> colouring = {"--colouring", "smooth", "--density", "0.05", "--offset", "0.1"};
    std::vector<std::string> small = {"--deep", "--size", "24x16", "--supersample", "2", "--bmp", s.at("k2.bmp")};
    std::vector<std::string> large = {"--deep", "--size", "48x32", "--bmp", s.at("k1.bmp")};
    small.insert(small.end(), colouring.begin(), colouring.end());
    large.insert(large.end(), colouring.begin(), colouring.end());
    ASSERT_EQ(run(withLocation(small)), 0);
    ASSERT_EQ(run(withLocation(large)), 0);
    const test::DecodedBmp k2 = test::decodeBmp(bytesOf(s.at("k2.bmp")));
    const test::DecodedBmp k1 = test::decodeBmp(bytesOf(s.at("k1.bmp")));
    ASSERT_TRUE(k2.ok && k1.ok);
    int differing = 0;
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 24; ++x) {
            double sums[3] = {0, 0, 0};
            for (int j = 0; j < 2; ++j)
                for (int i = 0; i < 2; ++i) {
                    const std::uint32_t p = k1.pixels[static_cast<std::size_t>((2 * y + j) * 48 + 2 * x + i)];
                    mandel::addLinear({static_cast<std::uint8_t>(p), static_cast<std::uint8_t>(p >> 8),
                                       static_cast<std::uint8_t>(p >> 16)},
                                      sums);
                }
            const std::uint32_t expected = mandel::packColour(mandel::averageOfLinear(sums, 4));
            differing += expected != k2.pixels[static_cast<std::size_t>(y * 24 + x)] ? 1 : 0;
        }
    EXPECT_EQ(differing, 0);
}

TEST(DeepColourRender, BadValuesAreRefusedInOneLine) {
    const std::vector<std::vector<std::string>> bad = {{"--colouring", "stripes"},
                                                       {"--palette", "rainbow"},
                                                       {"--density", "-1"},
                                                       {"--offset", "x"},
                                                       {"--supersample", "9"},
                                                       {"--density-scale", "exp"},
                                                       {"--supersample", "8", "--size", "5000"}};
    for (const std::vector<std::string>& words : bad) {
        std::vector<std::string> args = {"--deep"};
        args.insert(args.end(), words.begin(), words.end());
        std::string err;
        EXPECT_EQ(run(withLocation(args), &err), 2) << words[0];
        EXPECT_NE(err.find(words[0]), std::string::npos) << err;
        EXPECT_EQ(err.find('\n'), err.size() - 1) << err;
    }
}

}  // namespace
