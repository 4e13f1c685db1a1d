// mandelbrot-render --deep: its command line, its files and its summary line,
// and the single-precision drawing's warning where it does not show the region.
#include <gtest/gtest.h>
#include <png.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "deep/deep_memory.h"
#include "deep/deep_picture_file.h"
#include "deep/picture_location.h"
#include "deep_render.h"
#include "render_options.h"
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
const mandel::DeepView kView{{"-0.7454", "0.1128", "0.0006", 400}, 16, 16};

TEST(DeepRenderOptions, TextsAsGivenSizesBaseAndOutputs) {
    const DeepRenderOptions o =
        parse({"--deep", kLongReal, "--size", "64x32", "3.5e-50", "--base", "99", "1e-60", "100", "--threads", "3",
               "--counts", "c.npy", "--png", "p.png", "--max-bits", "64", "--flags", "f.npy"});
    EXPECT_EQ(o.view, (mandel::DeepView{{kLongReal, "3.5e-50", "1e-60", 100}, 64, 32}));
    EXPECT_EQ(o.base, 99);
    EXPECT_EQ(o.threads, 3u);
    EXPECT_EQ(o.countsPath, "c.npy");
    EXPECT_EQ(o.pngPath, "p.png");
    EXPECT_EQ(o.flagsPath, "f.npy");
    EXPECT_EQ(o.maxBits, 64);
    EXPECT_FALSE(o.bmpPath);
    EXPECT_EQ(parse({"--deep", "--max-bits", "16777216", "0", "0", "1", "9"}).maxBits, 16777216);
    const std::pair<std::string_view, std::uint64_t> budgets[] = {
        {"1", 1}, {"7k", 7000}, {"512M", 512000000}, {"4G", 4000000000}, {"18446744073G", 18446744073000000000u}};
    for (const auto& [text, bytes] : budgets)
        EXPECT_EQ(parse({"--deep", "--max-memory", text, "0", "0", "1", "9"}).maxMemory, bytes) << text;

    const DeepRenderOptions plain = parse({"--deep", "-2", "-1.5", "3", "2147483647"});
    EXPECT_EQ(plain.view.width, 500);
    EXPECT_EQ(plain.view.height, 500);
    EXPECT_EQ(plain.base, 0);
    EXPECT_EQ(plain.maxBits, 0) << "the engine's automatic cap";
    EXPECT_EQ(plain.maxMemory, 0u) << "the engine's automatic budget";
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
        {{"--deep", "--size", "15", "0", "0", "1", "100"},
         "--size needs S or WxH, each a whole number from 16 to 32000"},
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
        {{"--deep", "--max-memory", "0", "0", "0", "1", "100"},
         "--max-memory needs a size in bytes, optionally followed by K, M or G (such as 512M or 4G), not \"0\""},
        {{"--deep", "--max-memory", "1.5G", "0", "0", "1", "100"}, "--max-memory needs a size in bytes"},
        {{"--deep", "--max-memory", "2T", "0", "0", "1", "100"}, "--max-memory needs a size in bytes"},
        {{"--deep", "--max-memory", "G", "0", "0", "1", "100"}, "--max-memory needs a size in bytes"},
        {{"--deep", "--max-memory", "18446744074G", "0", "0", "1", "100"}, "--max-memory needs a size"},
        {{"--max-memory", "1G", "0", "0", "1", "100"}, "unknown option \"--max-memory\""},
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
    const ToolRun run = runTool({"--deep", "--size", "40x24", "--base", "50", "--png", png, "--counts", npy, "-0.7454",
                                 "0.1128", "0.0006", "400"});
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
    const ToolRun failed =
        runTool({"--deep", "--size", "16", "--png", png + ".2", "--counts", missing, "0", "0", "1", "10"});
    EXPECT_EQ(failed.status, mandel::tool::kExitFailure);
    EXPECT_EQ(failed.err.rfind("mandelbrot-render: cannot write ", 0), 0u) << failed.err;
    EXPECT_FALSE(fs::exists(png + ".2")) << "a failed run leaves none of its files";
    fs::remove_all(dir);
}

// The budget is checked before any file is opened (a count map that could
// not be written is not even tried): the estimate itself is enough, a byte
// less is refused in one line naming the limit and the memory it needs, with
// status 2 and no file.
TEST(DeepRender, MemoryBudgetIsTheEstimateAndARefusalLeavesNoFile) {
    const fs::path dir = scratch("memory");
    const std::string png = (dir / "deep.png").string();
    const std::uint64_t estimate = mandel::deepMemoryEstimate({{"-0.1", "0", "1e-100", 2000}, 16, 16});
    const auto run = [&](std::uint64_t budget, const std::string& counts) {
        return runTool({"--deep", "--size", "16", "--max-memory", std::to_string(budget), "--png", png, "--counts",
                        counts, "-0.1", "0", "1e-100", "2000"});
    };
    const ToolRun refused = run(estimate - 1, (dir / "missing" / "c.npy").string());
    EXPECT_EQ(refused.status, mandel::tool::kExitUsage);
    EXPECT_EQ(refused.err, "mandelbrot-render: limit 2000 needs about " + mandel::memoryText(estimate) +
                               ", above the memory budget of " + mandel::memoryText(estimate - 1) +
                               " (--max-memory sets the budget)\n");
    EXPECT_TRUE(fs::is_empty(dir));
    const ToolRun enough = run(estimate, png + ".npy");
    EXPECT_EQ(enough.status, 0) << enough.err;
    EXPECT_TRUE(mandel::readPictureLocation(png).location);
    fs::remove_all(dir);
}

// ---------------------------------------------------------------------------
// Paths that are not plain files: the location reader refuses them at once
// with the path and the reason, and the renderer's check of its outputs
// follows links, dangling ones included.

using TextFields = std::vector<std::pair<std::string, std::string>>;

// A 16 × 16 grey PNG whose text fields are chunks of one kind: libpng's
// compression code of tEXt, zTXt, iTXt or compressed iTXt.
void writePngWithTextChunks(const std::string& path, int compression, TextFields fields) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_init_io(png, file);
    png_set_IHDR(png, info, 16, 16, 8, PNG_COLOR_TYPE_GRAY, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    std::vector<png_text> chunks;
    for (auto& [keyword, text] : fields)
        chunks.push_back({compression, keyword.data(), text.data(), text.size(), 0, nullptr, nullptr});
    png_set_text(png, info, chunks.data(), static_cast<int>(chunks.size()));
    png_write_info(png, info);
    const std::vector<png_byte> row(16, 128);
    for (int y = 0; y < 16; ++y) png_write_row(png, row.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    std::fclose(file);
}

// The reader's answer, or nothing when it has not come within 5 s (as for a
// FIFO opened to wait for a writer, which would hang the test for good).
std::optional<mandel::PictureLocationRead> readWithin5s(const std::string& path) {
    auto answer = std::make_shared<std::promise<mandel::PictureLocationRead>>();
    std::future<mandel::PictureLocationRead> future = answer->get_future();
    std::thread([answer, path] { answer->set_value(mandel::readPictureLocation(path)); }).detach();
    if (future.wait_for(std::chrono::seconds(5)) != std::future_status::ready) return std::nullopt;
    return future.get();
}

TEST(PicturePaths, ReaderAndOutputCheckOnEveryKindOfPath) {
    const fs::path dir = scratch("kinds");
    const auto at = [&](const char* name) { return (dir / name).string(); };
    const auto link = [&](const char* target, const char* name) { fs::create_symlink(target, at(name)); };
    const auto png = [&](int compression, const char* name) {
        writePngWithTextChunks(at(name), compression, mandel::deepPictureTextFields({kView, 50}));
    };
    const std::string absent = ": No such file or directory";
    const struct {
        const char* name;
        std::function<void()> make;
        std::string first, second;  // the path read, and a second output beside it
        std::string problem;        // "" when the location is read back
        bool sameFile;
    } cases[] = {
        {"FIFO", [&] { ::mkfifo(at("x.png").c_str(), 0600); }, at("x.png"), at("y.png"),
         at("x.png") + " is a FIFO (named pipe), not a picture file", false},
        {"folder", [&] { fs::create_directory(at("f.png")); }, at("f.png"), at("y.png"),
         at("f.png") + " is a folder, not a picture file", false},
        {"device", [] {}, "/dev/null", at("y.png"), "/dev/null is a device, not a picture file", false},
        {"link to the device", [&] { link("/dev/null", "n.png"); }, at("n.png"), "/dev/null",
         at("n.png") + " is a device, not a picture file", true},
        {"dangling links to one file", [&] { link(at("t.png").c_str(), "a.png"), link("t.png", "b.png"); }, at("a.png"),
         at("b.png"), "cannot open " + at("a.png") + absent, true},
        {"dangling chain and its end", [&] { link("a.png", "c.png"); }, at("c.png"), at("t.png"),
         "cannot open " + at("c.png") + absent, true},
        {"dangling links to two files", [&] { link("other.png", "d.png"); }, at("d.png"), at("a.png"),
         "cannot open " + at("d.png") + absent, false},
        {"tEXt", [&] { png(PNG_TEXT_COMPRESSION_NONE, "1.png"); }, at("1.png"), at("y.png"), "", false},
        {"zTXt", [&] { png(PNG_TEXT_COMPRESSION_zTXt, "2.png"); }, at("2.png"), at("y.png"), "", false},
        {"iTXt", [&] { png(PNG_ITXT_COMPRESSION_NONE, "3.png"); }, at("3.png"), at("y.png"), "", false},
        {"compressed iTXt", [&] { png(PNG_ITXT_COMPRESSION_zTXt, "4.png"); }, at("4.png"), at("y.png"), "", false},
    };
    for (const auto& c : cases) {
        c.make();
        const std::optional<mandel::PictureLocationRead> read = readWithin5s(c.first);
        ASSERT_TRUE(read) << c.name << ": the reader hangs";
        EXPECT_EQ(read->problem, c.problem) << c.name;
        EXPECT_EQ(read->location ? read->location->view : mandel::DeepView{},
                  c.problem.empty() ? kView : mandel::DeepView{})
            << c.name;
        EXPECT_EQ(mandel::tool::namesSameFile(c.first, c.second), c.sameFile) << c.name;
        EXPECT_EQ(mandel::tool::namesSameFile(c.second, c.first), c.sameFile) << c.name;
        if (!c.sameFile) continue;  // (the renderer would wait on the FIFO for a reader)
        const ToolRun run =
            runTool({"--deep", "--size", "16", "--png", c.first, "--counts", c.second, "0", "0", "1", "10"});
        EXPECT_EQ(run.status, mandel::tool::kExitUsage) << c.name << ": " << run.err;
        EXPECT_NE(run.err.find("--png and --counts name the same file"), std::string::npos) << c.name << run.err;
    }
    EXPECT_FALSE(fs::exists(at("t.png"))) << "no refused run wrote through the links";
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
