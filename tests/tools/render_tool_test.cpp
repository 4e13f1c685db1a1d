// mandelbrot-render: its command line, its BMP file and its summary line.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "colour/banding.h"
#include "bmp_decoder.h"
#include "scratch_folder.h"
#include "progress_bar.h"
#include "render_options.h"
#include "render_run.h"
#include "whole_drawing.h"
#include "files/safe_file.h"

namespace {

using mandel::tool::parseRenderOptions;
using mandel::tool::RenderOptions;
using mandel::tool::UsageError;

RenderOptions parse(std::vector<std::string_view> args) { return parseRenderOptions(args); }

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

// prefix, then " ms=" and a number with exactly three decimals, then a newline.
bool isSummaryLine(const std::string& line, const std::string& prefix) {
    const std::string head = prefix + " ms=";
    if (line.rfind(head, 0) != 0 || line.size() < head.size() + 6 || line.back() != '\n') return false;
    const std::string ms = line.substr(head.size(), line.size() - head.size() - 1);
    const std::size_t point = ms.find('.');
    return point != std::string::npos && point > 0 && ms.size() - point == 4 &&
           ms.find_first_not_of("0123456789.") == std::string::npos && ms.find('.', point + 1) == std::string::npos;
}

TEST(RenderOptions, OptionsAnywhereAndNegativeReadouts) {
    const RenderOptions o =
        parse({"-0.3", "--threads", "3", "-0.25", "--scalar", "0.2", "--bmp", "p.bmp", "1500", "--repeat", "5"});
    EXPECT_TRUE(o.scalar);
    EXPECT_EQ(o.threads, 3u);
    EXPECT_EQ(o.repeat, 5u);
    EXPECT_EQ(o.bmpPath, "p.bmp");
    EXPECT_EQ(o.region, (mandel::RegionTexts{"-0.3", "-0.25", "0.2", "1500"}));
    const mandel::RenderSettings s = test::loadedSettings(o);
    EXPECT_EQ(s.amin, -0.3f);
    EXPECT_EQ(s.bmin, -0.25f);
    EXPECT_EQ(s.side, 0.2f);
    EXPECT_EQ(s.cmax, 1500.0f);
    EXPECT_EQ(s.cside, 0.2f / 500.0f) << "logical width 500, as in the window";

    const RenderOptions plain = parse({"-1.1507", "-0.4793", "0.5", "100"});
    EXPECT_FALSE(plain.scalar);
    EXPECT_EQ(plain.threads, 0u) << "every core";
    EXPECT_EQ(plain.repeat, 1u);
    EXPECT_FALSE(plain.bmpPath);

    const RenderOptions ended = parse({"--size", "16", "--", "-0.5", "-0.5", "0.5", "100"});
    EXPECT_EQ(ended.size, 16) << "options before \"--\" still count";
    EXPECT_EQ(ended.region.real, "-0.5") << "after \"--\" every argument is a read-out";
}

TEST(RenderOptions, EveryKindOfBadCommandLineIsOneUsageError) {
    const std::vector<std::vector<std::string_view>> bad = {
        {},                                   // nothing
        {"0", "0", "1"},                      // missing read-out
        {"0", "0", "1", "100", "7"},          // extra argument
        {"--fast", "0", "0", "1", "100"},     // unknown option
        {"0", "0", "1", "100", "--threads"},  // option without its value
        {"0", "0", "1", "100", "--bmp"},
        {"--threads", "0", "0", "0", "1", "100"},  // counts start at 1
        {"--threads", "2x", "0", "0", "1", "100"},
        {"--repeat", "-1", "0", "0", "1", "100"},
        {"--repeat", "", "0", "0", "1", "100"},
        {"x", "0", "1", "100"},  // not numbers
        {"0", "0", "1e3", "100"},
        {"0", "0", ".5", "100"},
        {"0", "0", "0", "100"},  // side <= 0
        {"0", "0", "-0.5", "100"},
        {"0", "0", "1", "0"},  // limit outside 1..32766
        {"0", "0", "1", "32767"},
        {"0", "0", "1", "-5"},
        {"--png", "a.png", "--png", "b.png", "0", "0", "1", "100"},  // an option twice
        {"--scalar", "--scalar", "0", "0", "1", "100"},
        {"--png", "same", "--bmp", "same", "0", "0", "1", "100"},  // one file for two pictures
        {"--png", "/tmp/../tmp/same", "--bmp", "/tmp/same", "0", "0", "1", "100"},
        {"-", "0", "0", "1", "100"},             // a stray "-"
        {"--", "--size", "0", "0", "1", "100"},  // no option after "--"
    };
    for (const auto& args : bad) {
        std::string line;
        for (const auto a : args) line += std::string(a) + " ";
        try {
            parse(args);
            ADD_FAILURE() << "accepted: " << line;
        } catch (const UsageError& e) {
            const std::string message = e.what();
            EXPECT_FALSE(message.empty()) << line;
            EXPECT_EQ(message.find('\n'), std::string::npos) << line;
        }
    }
    EXPECT_NO_THROW(parse({"0", "0", "1", "32766"}));
    EXPECT_NO_THROW(parse({"0", "0", "1", "1"}));
}

TEST(RenderOptions, SizeAndPng) {
    const RenderOptions o = parse({"--size", "2000", "-0.775", "0.107", "--png", "p.png", "0.01", "180"});
    EXPECT_EQ(o.size, 2000);
    EXPECT_EQ(o.pngPath, "p.png");
    EXPECT_FALSE(o.bmpPath);
    EXPECT_EQ(test::loadedSettings(o).cside, mandel::parseReadout("0.01") / 2000.0f)
        << "the surface is 2000 units wide";
    EXPECT_EQ(parse({"0", "0", "1", "100"}).size, 500) << "the window's drawing by default";
    EXPECT_EQ(parse({"--size", "16", "0", "0", "1", "100"}).size, 16);
    EXPECT_EQ(parse({"--size", "32000", "0", "0", "1", "100"}).size, 32000);
    for (const char* size : {"15", "0", "32001", "-500", "1e3", "", "500.0"}) {
        try {
            parse({"--size", size, "0", "0", "1", "100"});
            ADD_FAILURE() << "accepted size " << size;
        } catch (const UsageError& e) {
            EXPECT_EQ(std::string(e.what()),
                      std::string("--size needs a whole number from 16 to 32000, not \"") + size + "\"");
        }
    }
    EXPECT_THROW(parse({"0", "0", "1", "100", "--png"}), UsageError);
    EXPECT_THROW(parse({"--png", "", "0", "0", "1", "100"}), UsageError);
}

TEST(Picture, PointXYIsPixelXYFromTheTopLeftAndTheLastColumnAndRowAreLeftOut) {
    const RenderOptions o = parse({"-1.1507", "-0.4793", "0.5", "100"});  // 501 points per row
    const test::WholeDrawing r = test::drawWhole(o);
    ASSERT_EQ(r.plan.pointsPerRow(), 501u);
    ASSERT_EQ(r.plan.rows(), 501u);
    const auto pixels = test::pictureOf(o, r);
    ASSERT_EQ(pixels.size(), 500u * 500u);
    const mandel::RenderSettings s = test::loadedSettings(o);
    const auto colours = mandel::colourTableByCount(s.cmax, s.cstep, s.limit());
    for (const auto& [x, y] : {std::pair{0, 0}, {499, 0}, {0, 499}, {499, 499}, {123, 321}, {250, 17}}) {
        const std::int16_t count = r.counts[static_cast<std::size_t>(y) * 501 + static_cast<std::size_t>(x)];
        EXPECT_EQ(pixels[static_cast<std::size_t>(y) * 500 + static_cast<std::size_t>(x)],
                  colours[static_cast<std::size_t>(count)])
            << x << "," << y;
    }
}

TEST(RunRenderTool, SummaryLineAndTheSameIterationsOnEitherPath) {
    const ToolRun fastRun = runTool({"--threads", "2", "-0.75", "-0.275", "0.05", "106"});
    EXPECT_EQ(fastRun.status, 0);
    EXPECT_EQ(fastRun.err, "");
    EXPECT_TRUE(isSummaryLine(fastRun.out, "points_per_row=500 rows=501 iterations=12804356")) << fastRun.out;
    const ToolRun scalarRun = runTool({"--scalar", "--repeat", "2", "-0.75", "-0.275", "0.05", "106"});
    EXPECT_EQ(scalarRun.status, 0);
    EXPECT_EQ(scalarRun.out.substr(0, scalarRun.out.find(" ms=")), fastRun.out.substr(0, fastRun.out.find(" ms=")));
}

// Tests that write files, each in a folder of its own.
class RenderToolFiles : public test::ScratchFolder {};

TEST_F(RenderToolFiles, WritesTheBmpOnlyWhenTheCommandLineIsGood) {
    const std::filesystem::path dir = dir_;
    const std::string good = (dir / "good.bmp").string();
    const std::string bad = (dir / "bad.bmp").string();

    const ToolRun ok = runTool({"--bmp", good, "-0.75", "-0.275", "0.05", "106"});
    ASSERT_EQ(ok.status, 0) << ok.err;
    std::ifstream file(good, std::ios::binary);
    const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    ASSERT_EQ(bytes.size(), 54u + 500u * 1500u);
    // Point (0, 0) of the first preset has count 12: top-left pixel, i.e. the
    // first pixel of the file's last row.
    const mandel::BandThresholds bands(106.0f, 106.0f / 16.0f);
    const mandel::Rgb c = mandel::Palette[bands.classify(12.0f)];
    const std::size_t topLeft = 54 + 499u * 1500u;
    EXPECT_EQ(bytes[topLeft], c.blue);
    EXPECT_EQ(bytes[topLeft + 1], c.green);
    EXPECT_EQ(bytes[topLeft + 2], c.red);

    const ToolRun refused = runTool({"--bmp", bad, "-0.75", "-0.275", "0", "106"});
    EXPECT_EQ(refused.status, 2);
    EXPECT_EQ(refused.out, "");
    EXPECT_EQ(std::count(refused.err.begin(), refused.err.end(), '\n'), 1) << refused.err;
    EXPECT_FALSE(std::filesystem::exists(bad));

    const ToolRun unwritable = runTool({"--bmp", (dir / "missing" / "x.bmp").string(), "0", "0", "0.01", "100"});
    EXPECT_EQ(unwritable.status, 1);
    EXPECT_EQ(unwritable.out, "");
}

std::vector<std::uint8_t> readAll(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return std::vector<std::uint8_t>((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
}

// The BMP written block by block holds the picture of the whole drawing in
// memory, bottom-up, with 500 and with 501 points per row.
TEST_F(RenderToolFiles, TheStreamedBmpAt500IsTheWholeDrawingsBmp) {
    const std::string path = (dir_ / "mandelbrot_render_500.bmp").string();
    for (const std::vector<std::string_view>& region :
         {std::vector<std::string_view>{"-0.75", "-0.275", "0.05", "106"}, {"-1.1507", "-0.4793", "0.5", "100"}}) {
        std::vector<std::string_view> args = {"--bmp", path};
        args.insert(args.end(), region.begin(), region.end());
        ASSERT_EQ(runTool(args).status, 0);
        const RenderOptions o = parse(region);
        const test::DecodedBmp bmp = test::decodeBmp(readAll(path));
        ASSERT_TRUE(bmp.ok) << region[0];
        EXPECT_FALSE(bmp.topDown);
        EXPECT_TRUE(bmp.pixels == test::pictureOf(o, test::drawWhole(o))) << region[0];
    }
}

TEST_F(RenderToolFiles, PngAndBmpOfAnySizeInOneRun) {
    const std::filesystem::path dir = dir_;
    const std::string png = (dir / "p.png").string();
    const std::string bmp = (dir / "p.bmp").string();
    const ToolRun run = runTool({"--size", "777", "--png", png, "--bmp", bmp, "-0.775", "0.107", "0.01", "180"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "") << "no progress bar when standard error is no terminal";
    // The same drawing, whole and in memory.
    const RenderOptions o = parse({"--size", "777", "-0.775", "0.107", "0.01", "180"});
    const test::WholeDrawing whole = test::drawWhole(o);
    EXPECT_TRUE(isSummaryLine(run.out, "points_per_row=" + std::to_string(whole.plan.pointsPerRow()) +
                                           " rows=778 iterations=" + std::to_string(whole.iterations)))
        << run.out;
    const test::DecodedBmp decoded = test::decodeBmp(readAll(bmp));
    ASSERT_TRUE(decoded.ok);
    EXPECT_EQ(decoded.width, 777);
    EXPECT_TRUE(decoded.pixels == test::pictureOf(o, whole));
    const auto p = readAll(png);
    ASSERT_GT(p.size(), 33u);
    EXPECT_EQ(std::vector<std::uint8_t>(p.begin() + 12, p.begin() + 24),
              (std::vector<std::uint8_t>{'I', 'H', 'D', 'R', 0, 0, 3, 9, 0, 0, 3, 9}))
        << "777 × 777";
}

TEST(ProgressBar, RowsTimeSpentAndTimeLeftRedrawnInPlace) {
    using std::chrono::milliseconds;
    EXPECT_EQ(mandel::tool::progressLine(0, 16000, milliseconds(0), 10),
              "[..........]  0/16000 rows  0:00 spent  --:-- left");
    EXPECT_EQ(mandel::tool::progressLine(4000, 16000, milliseconds(5000), 10),
              "[##........]  4000/16000 rows  0:05 spent  0:15 left");
    EXPECT_EQ(mandel::tool::progressLine(16000, 16000, milliseconds(75400), 10),
              "[##########]  16000/16000 rows  1:15 spent  0:00 left");
    // The deep drawing's reference orbit first; then the rows' time left
    // comes from the rows' own rate, the time spent from the whole run.
    using mandel::tool::ProgressPhase;
    EXPECT_EQ(
        mandel::tool::progressLine(ProgressPhase::Reference, 12000, 600000, milliseconds(1000), milliseconds(1000), 10),
        "[..........]  reference 12,000 / 600,000  0:01 spent  0:49 left");
    EXPECT_EQ(mandel::tool::progressLine(ProgressPhase::Rows, 50, 200, milliseconds(60000), milliseconds(10000), 10),
              "[##........]  50/200 rows  1:00 spent  0:30 left");

    std::ostringstream terminal;
    mandel::tool::ProgressBar bar(terminal, milliseconds(60000));
    bar.update(1, 3);
    bar.update(2, 3);  // within the interval: not drawn
    bar.update(3, 3);  // the last row always is
    bar.clear();
    const std::string text = terminal.str();
    EXPECT_EQ(std::count(text.begin(), text.end(), '\r'), 3) << text;
    EXPECT_NE(text.find("1/3 rows"), std::string::npos);
    EXPECT_EQ(text.find("2/3 rows"), std::string::npos);
    EXPECT_NE(text.find("3/3 rows"), std::string::npos);
    EXPECT_TRUE(text.ends_with("\r\x1b[K")) << "the line is erased at the end";

    std::ostringstream deepTerminal;
    mandel::tool::ProgressBar deep(deepTerminal, milliseconds(60000));
    deep.update(ProgressPhase::Reference, 1000, 600000);
    deep.update(ProgressPhase::Reference, 2000, 600000);  // within the interval: not drawn
    deep.update(ProgressPhase::Rows, 0, 3);               // a new phase always is
    EXPECT_EQ(deepTerminal.str().find("2,000"), std::string::npos) << deepTerminal.str();
    EXPECT_NE(deepTerminal.str().find("0/3 rows"), std::string::npos) << deepTerminal.str();
}

// ---------------------------------------------------------------------------
// Failures: nothing that was there is harmed, every failure gives a non-zero
// status, and every error is one readable line.

class RenderToolFailures : public test::ScratchFolder {};

// One line, naming the program, with no control character inside it.
void expectOneErrorLine(const ToolRun& run, const std::string& what) {
    EXPECT_EQ(run.out, "") << what;
    ASSERT_FALSE(run.err.empty()) << what;
    EXPECT_EQ(run.err.rfind("mandelbrot-render: ", 0), 0u) << what << ": " << run.err;
    EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << what << ": " << run.err;
    EXPECT_TRUE(std::none_of(run.err.begin(), run.err.end() - 1, [](char c) { return c >= 0 && c < 0x20; }))
        << what << ": " << run.err;
}

ssize_t diskFullWrite(int, const void*, std::size_t) {
    errno = ENOSPC;
    return -1;
}

TEST_F(RenderToolFailures, AFailedWriteThroughASymlinkToAFullDeviceKeepsTheLink) {
    const std::filesystem::path link = dir_ / "link.bmp";
    std::filesystem::create_symlink("/dev/full", link);
    const ToolRun run = runTool({"--bmp", link.string(), "0", "0", "0.01", "100"});
    EXPECT_EQ(run.status, 1);
    expectOneErrorLine(run, "full device");
    EXPECT_EQ(run.err, "mandelbrot-render: cannot write " + link.string() + ": No space left on device\n");
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_TRUE(std::filesystem::is_character_file("/dev/full"));
}

TEST_F(RenderToolFailures, AnExistingFileStaysTheSameWhenTheWriteFails) {
    const std::filesystem::path path = dir_ / "old.bmp";
    std::ofstream(path, std::ios::binary) << "an older picture";
    mandel::safeFileCalls().write = diskFullWrite;
    const ToolRun run = runTool({"--bmp", path.string(), "0", "0", "0.01", "100"});
    EXPECT_EQ(run.status, 1);
    expectOneErrorLine(run, "disk full");
    std::ifstream file(path, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()), "an older picture");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_), std::filesystem::directory_iterator()), 1)
        << "no temporary file left beside it";
}

// An output that takes nothing, as standard output on a full device.
class RefusingBuffer : public std::streambuf {
protected:
    int overflow(int) override { return traits_type::eof(); }
    std::streamsize xsputn(const char*, std::streamsize) override { return 0; }
};

TEST_F(RenderToolFailures, ASummaryOrUsageThatCannotBeDeliveredIsAFailure) {
    for (const std::vector<std::string_view>& args :
         {std::vector<std::string_view>{"0", "0", "0.01", "100"}, std::vector<std::string_view>{"-h"}}) {
        RefusingBuffer refusing;
        std::ostream out(&refusing);
        std::ostringstream err;
        EXPECT_EQ(mandel::tool::runRenderTool(args, out, err), 1) << args[0];
        EXPECT_EQ(err.str(), "mandelbrot-render: cannot write to standard output: write failed\n");
    }
}

TEST_F(RenderToolFailures, ALimitMustBeAWholeNumberInRange) {
    for (const char* limit : {"1.5", "2.0", "99999", "32767", "0", "-5", "1e3"}) {
        const ToolRun run = runTool({"0", "0", "1", limit});
        EXPECT_EQ(run.status, 2) << limit;
        expectOneErrorLine(run, limit);
        EXPECT_EQ(run.err, std::string("mandelbrot-render: LIMIT needs a whole number from 1 to 32766, not \"") +
                               limit + "\"\n");
    }
}

TEST_F(RenderToolFailures, ErrorsAreOneShortLineThatNamesTheCulprit) {
    const std::string huge(100000, '7');
    const std::string badPath = (dir_ / "no\nfolder" / "x.bmp").string();
    const std::string tiny = "0." + std::string(45, '0') + "1";   // a valid decimal below every single
    const std::string beyondSingle = "4" + std::string(38, '0');  // just above the largest single
    // A long path is shortened in the middle, and keeps its whole file name.
    const std::string longPath = (dir_ / std::string(200, 'd') / "missing-folder" / "the-picture.bmp").string();
    const std::vector<std::pair<std::vector<std::string_view>, std::string>> cases = {
        {{"-threads", "4", "-0.75", "-0.275", "0.05", "106"}, "unknown option \"-threads\""},
        {{"0\n1", "0", "1", "100"}, "REAL_MIN is not a number: \"0\\n1\""},
        {{"0", "0", "1", "100", "\x1b[2J"}, "unexpected argument \"\\x1b[2J\""},
        {{"0", "0", "1", "100", huge}, "unexpected argument \"" + huge.substr(0, 20) + "…" + huge.substr(0, 60) + "\""},
        {{"-.5", "0", "1", "100"}, "REAL_MIN is not a number: \"-.5\""},
        {{"0", "0", tiny, "100"},
         "SIDE is out of the range of a single (magnitudes from about 1.4e-45 to 3.4e38): \"0." + std::string(45, '0') +
             "1\""},
        {{"0", beyondSingle, "1", "100"},
         "IMAG_MIN is out of the range of a single (magnitudes from about 1.4e-45 to 3.4e38): \"4" +
             std::string(38, '0') + "\""},
        {{"-", "0", "0", "1", "100"}, "stray \"-\": neither an option nor a number"},
        {{"--bmp", "a", "--bmp", "b", "0", "0", "1", "100"}, "--bmp is given twice"},
        {{"--png", "x", "--bmp", "./x", "0", "0", "1", "100"}, "--png and --bmp name the same file \"x\""},
        {{"0", "0", "1", "100", "bad\xff\xc2\x9b\x7f\xe6\x97\xa5"}, "unexpected argument \"bad\\xff\\u009b\\x7f日\""},
        {{"--bmp", longPath, "0", "0", "1", "100"},
         "cannot write " + longPath.substr(0, 20) + "…" + longPath.substr(longPath.size() - 60) +
             ": No such file or directory"},
        {{"--bmp", badPath, "0", "0", "1", "100"},
         "cannot write " + (dir_ / "no\\nfolder" / "x.bmp").string() + ": No such file or directory"},
    };
    for (const auto& [args, message] : cases) {
        const ToolRun run = runTool(args);
        expectOneErrorLine(run, message);
        EXPECT_EQ(run.err, "mandelbrot-render: " + message + "\n");
    }
}

TEST_F(RenderToolFailures, HelpPrintsTheUsageAndSucceeds) {
    for (const char* help : {"-h", "--help"}) {
        const ToolRun run = runTool({"0", help, "--bogus"});
        EXPECT_EQ(run.status, 0) << help;
        EXPECT_EQ(run.err, "") << help;
        EXPECT_EQ(run.out, mandel::tool::usageText()) << help;
    }
    EXPECT_NE(mandel::tool::usageText().find("Exit status"), std::string::npos);
}

}  // namespace
