// mandelbrot-render --deep: its command line, its files and its summary line,
// and the single-precision drawing's warning where it does not show the region.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "deep/picture_location.h"
#include "deep_render.h"
#include "render_run.h"

namespace {

namespace fs = std::filesystem;
using mandel::tool::DeepRenderOptions;
using mandel::tool::UsageError;

DeepRenderOptions parse(std::vector<std::string_view> args) { return mandel::tool::parseDeepRenderOptions(args); }

struct ToolRun {
    int status;
    std::string out;
    std::string err;
};

ToolRun runTool(std::vector<std::string_view> args) {
    std::ostringstream out;
    std::ostringstream err;
    const int status = mandel::tool::runRenderTool(args, out, err);
    return {status, out.str(), err.str()};
}

fs::path scratch(const std::string& name) {
    const fs::path dir = fs::temp_directory_path() / ("deep_render_" + std::to_string(::getpid()) + "_" + name);
    fs::remove_all(dir);
    fs::create_directories(dir);
    return dir;
}

const std::string kLongReal = "-1.2506610123456789012345678901234567890123456789012345678901234567890";

TEST(DeepRenderOptions, TextsAsGivenSizesBaseAndOutputs) {
    const DeepRenderOptions o = parse({"--deep", kLongReal, "--size", "64x32", "3.5e-50", "--base", "99", "1e-60",
                                       "100", "--threads", "3", "--counts", "c.npy", "--png", "p.png", "--max-bits",
                                       "64", "--flags", "f.npy"});
    EXPECT_EQ(o.view, (mandel::DeepView{{kLongReal, "3.5e-50", "1e-60", 100}, 64, 32}));
    EXPECT_EQ(o.base, 99);
    EXPECT_EQ(o.threads, 3u);
    EXPECT_EQ(o.countsPath, "c.npy");
    EXPECT_EQ(o.pngPath, "p.png");
    EXPECT_EQ(o.flagsPath, "f.npy");
    EXPECT_EQ(o.maxBits, 64);
    EXPECT_FALSE(o.bmpPath);
    EXPECT_EQ(parse({"--deep", "--max-bits", "16777216", "0", "0", "1", "9"}).maxBits, 16777216);

    const DeepRenderOptions plain = parse({"--deep", "-2", "-1.5", "3", "2147483647"});
    EXPECT_EQ(plain.view.width, 500);
    EXPECT_EQ(plain.view.height, 500);
    EXPECT_EQ(plain.base, 0);
    EXPECT_EQ(plain.maxBits, 0) << "the engine's automatic cap";
    EXPECT_TRUE(mandel::tool::asksForDeep(std::vector<std::string_view>{"0", "--deep"}));
    EXPECT_FALSE(mandel::tool::asksForDeep(std::vector<std::string_view>{"--", "--deep"})) << "a text after --";
}

TEST(DeepRenderOptions, EachBadTextOrBoundIsNamed) {
    const std::vector<std::pair<std::vector<std::string_view>, std::string>> bad = {
        {{"--deep", "0x1", "0", "1", "100"}, "REAL_MIN \"0x1\" is not a decimal number"},
        {{"--deep", "0", "1e", "1", "100"}, "IMAG_MIN \"1e\" has no digits in its exponent"},
        {{"--deep", "0", "0", "", "100"}, "SIDE \"\" is empty"},
        {{"--deep", "0", "0", "0", "100"}, "side \"0\" must be > 0"},
        {{"--deep", "0", "0", "-1e-5", "100"}, "side \"-1e-5\" must be > 0"},
        {{"--deep", "0", "0", "1", "0"}, "LIMIT needs a whole number from 1 to 2147483647, not \"0\""},
        {{"--deep", "0", "0", "1", "2147483648"}, "LIMIT needs a whole number from 1 to 2147483647"},
        {{"--deep", "--base", "100", "0", "0", "1", "100"}, "--base needs a whole number from 0 to 99, not \"100\""},
        {{"--deep", "--base", "-1", "0", "0", "1", "100"}, "--base needs a whole number from 0 to 99"},
        {{"--deep", "--size", "15", "0", "0", "1", "100"}, "--size needs S or WxH, each a whole number from 16 to 32000"},
        {{"--deep", "--size", "64x32001", "0", "0", "1", "100"}, "--size needs S or WxH"},
        {{"--deep", "--threads", "0", "0", "0", "1", "100"}, "--threads needs a whole number from 1 to"},
        {{"--deep", "--repeat", "2", "0", "0", "1", "100"}, "--repeat is not available with --deep"},
        {{"--deep", "--png", "a.png", "--counts", "a.png", "0", "0", "1", "100"},
         "--png and --counts name the same file"},
        {{"--deep", "--flags", "a.npy", "--counts", "./a.npy", "0", "0", "1", "100"},
         "--counts and --flags name the same file"},
        {{"--deep", "--max-bits", "63", "0", "0", "1", "100"},
         "--max-bits needs a whole number from 64 to 16777216, not \"63\""},
        {{"--deep", "--max-bits", "16777217", "0", "0", "1", "100"}, "--max-bits needs a whole number from 64"},
        {{"--deep", "--max-bits", "+128", "0", "0", "1", "100"}, "--max-bits needs a whole number from 64"},
        {{"--deep", "--max-bits", "99999999999", "0", "0", "1", "100"}, "--max-bits needs a whole number from 64"},
        {{"--deep", "0", "0", "1", "100", "--max-bits"}, "--max-bits needs a value"},
        {{"--deep", "0", "0", "1"}, "expected REAL_MIN IMAG_MIN SIDE LIMIT, got 3"},
    };
    for (const auto& [args, message] : bad) {
        const ToolRun run = runTool(args);
        EXPECT_EQ(run.status, mandel::tool::kExitUsage) << message;
        EXPECT_EQ(run.err.find("mandelbrot-render: " + message), 0u) << run.err;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
        EXPECT_TRUE(run.out.empty());
    }
}

TEST(DeepRender, WritesPictureAndCountsAndSaysTheReference) {
    const fs::path dir = scratch("files");
    const std::string png = (dir / "deep.png").string();
    const std::string npy = (dir / "deep.npy").string();
    const ToolRun run = runTool({"--deep", "--size", "40x24", "--base", "50", "--png", png, "--counts", npy,
                                 "-0.7454", "0.1128", "0.0006", "400"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out.rfind("points_per_row=40 rows=24 iterations=", 0), 0u) << run.out;
    EXPECT_NE(run.out.find(" reference_length="), std::string::npos) << run.out;
    EXPECT_NE(run.out.find(" reference_precision_bits="), std::string::npos) << run.out;
    EXPECT_TRUE(run.out.ends_with(" uncertified_pixels=0\n")) << run.out;
    const mandel::PictureLocationRead read = mandel::readPictureLocation(png);
    ASSERT_TRUE(read.location) << read.problem;
    EXPECT_EQ(read.location->view, (mandel::DeepView{{"-0.7454", "0.1128", "0.0006", 400}, 40, 24}));
    EXPECT_EQ(read.location->base, 50);
    EXPECT_EQ(fs::file_size(npy), 128u + 4 * 40 * 24);

    const std::string missing = (dir / "no such folder" / "deep.npy").string();
    const ToolRun failed = runTool({"--deep", "--size", "16", "--png", png + ".2", "--counts", missing, "0", "0",
                                    "1", "10"});
    EXPECT_EQ(failed.status, mandel::tool::kExitFailure);
    EXPECT_EQ(failed.err.rfind("mandelbrot-render: cannot write ", 0), 0u) << failed.err;
    EXPECT_FALSE(fs::exists(png + ".2")) << "a failed run leaves none of its files";
    fs::remove_all(dir);
}

TEST(SinglePrecisionWarning, OnlyWhereTheDrawingDoesNotShowTheRegion) {
    const std::string deepHint = "--deep";
    const ToolRun atWindowSize = runTool({"-0.7717", "0.1165", "0.0001", "180"});
    EXPECT_EQ(atWindowSize.status, 0);
    EXPECT_TRUE(atWindowSize.err.empty()) << "nothing at the window's own size: " << atWindowSize.err;

    const ToolRun striped = runTool({"--size", "4000", "-0.7717", "0.1165", "0.0001", "180"});
    EXPECT_EQ(striped.status, 0);
    EXPECT_EQ(striped.err.rfind("mandelbrot-render: warning: ", 0), 0u) << striped.err;
    EXPECT_NE(striped.err.find(deepHint), std::string::npos) << striped.err;
    EXPECT_EQ(std::count(striped.err.begin(), striped.err.end(), '\n'), 1) << striped.err;

    const ToolRun coarse = runTool({"--size", "1000", "-1.1507", "-0.4793", "0.5", "100"});
    EXPECT_TRUE(coarse.err.empty()) << "a coarse region shows at 1000: " << coarse.err;
}

}  // namespace
