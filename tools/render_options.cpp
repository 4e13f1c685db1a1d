#include "render_options.h"

#include <vector>

#include "message_text.h"
#include "drawing/picture_scan.h"
#include "files/safe_file.h"
#include "region/picture_size.h"

namespace mandel::tool {

namespace {

// The read-out notation: an optional '-', digits, and optionally '.' and digits.
bool inReadoutNotation(std::string_view text) {
    if (text.starts_with('-')) text.remove_prefix(1);
    const std::size_t point = text.find('.');
    const std::string_view whole = text.substr(0, point);
    const std::string_view fraction = point == std::string_view::npos ? "x" : text.substr(point + 1);
    const auto digits = [](std::string_view part) {
        return !part.empty() && part.find_first_not_of("0123456789") == std::string_view::npos;
    };
    return digits(whole) && (point == std::string_view::npos || digits(fraction));
}

// Fails with the name of the read-out and its text instead of the engine's
// message, which would repeat the text uncut; a number that a single cannot
// hold is told apart from a text that is no number.
void requireNumber(std::string_view name, std::string_view text) {
    try {
        parseReadout(text);
    } catch (const ParseError&) {
        if (inReadoutNotation(text))
            throw UsageError(
                std::string(name) +
                " is out of the range of a single (magnitudes from about 1.4e-45 to 3.4e38): " + tool::quoted(text));
        throw UsageError(std::string(name) + " is not a number: " + tool::quoted(text));
    }
}

int parseSize(std::string_view option, std::string_view text) {
    const auto outOfRange = [&] {
        return UsageError(std::string(option) + " needs " + pictureSizeRangeText() + ", not " + tool::quoted(text));
    };
    unsigned size = 0;
    try {
        size = parseCount(option, text, static_cast<unsigned>(kMaxPictureSize));
    } catch (const UsageError&) {
        throw outOfRange();
    }
    if (size < static_cast<unsigned>(kMinPictureSize)) throw outOfRange();
    return static_cast<int>(size);
}

// Applies one option (or help); returns false for help.
bool applyOption(RenderOptions& options, std::string_view arg, std::span<const std::string_view> args, std::size_t& i) {
    auto value = [&]() -> std::string_view {
        if (i + 1 >= args.size()) throw UsageError(std::string(arg) + " needs a value");
        return args[++i];
    };
    if (arg == "-h" || arg == "--help") return false;
    if (!options.given.insert(std::string(arg)).second) throw UsageError(std::string(arg) + " is given twice");
    if (arg == "--scalar") {
        options.scalar = true;
    } else if (arg == "--threads") {
        options.threads = parseCount(arg, value(), kMaxThreads);
    } else if (arg == "--repeat") {
        options.repeat = parseCount(arg, value(), kMaxRepeat);
    } else if (arg == "--size") {
        options.size = parseSize(arg, value());
    } else if (arg == "--bmp" || arg == "--png") {
        const std::string_view path = value();
        if (path.empty()) throw UsageError(std::string(arg) + " needs a file name");
        (arg == "--bmp" ? options.bmpPath : options.pngPath) = std::string(path);
    } else {
        throw UsageError("unknown option " + tool::quoted(arg));
    }
    return true;
}

// Two pictures written to one file would leave only the last.
void requireDistinctFiles(const RenderOptions& options) {
    if (options.pngPath && options.bmpPath && namesSameFile(*options.pngPath, *options.bmpPath))
        throw UsageError("--png and --bmp name the same file " + tool::quoted(*options.pngPath));
}

// Loads the read-outs as the window does, to refuse what it would refuse.
void checkReadouts(const RenderOptions& options) {
    const RegionTexts& region = options.region;
    requireNumber("REAL_MIN", region.real);
    requireNumber("IMAG_MIN", region.imag);
    requireNumber("SIDE", region.side);
    // The window's limit read-out is always whole; a fraction would keep its
    // counts but change its colour bands.
    parseCount("LIMIT", region.limit, static_cast<unsigned>(kMaxIterationLimit));
    RenderSettings settings;
    try {
        settings.load(region, static_cast<float>(options.size));
    } catch (const SettingsError& e) {
        throw UsageError(e.what());
    }
    if (!(settings.side > 0.0f)) throw UsageError("SIDE " + tool::quoted(region.side) + " is not greater than 0");
}

}  // namespace

RenderOptions parseRenderOptions(std::span<const std::string_view> args) {
    RenderOptions options;
    std::vector<std::string_view> readouts;
    const auto read = [&options](std::string_view arg, std::span<const std::string_view> all, std::size_t& i) {
        return applyOption(options, arg, all, i);
    };
    if (!splitArguments(args, read, readouts)) {
        options.help = true;
        return options;
    }
    requireFourTexts(readouts);

    requireDistinctFiles(options);
    options.region = {std::string(readouts[0]), std::string(readouts[1]), std::string(readouts[2]),
                      std::string(readouts[3])};
    checkReadouts(options);
    return options;
}

std::string singleUsageText() {
    return "usage: mandelbrot-render [--scalar] [--threads N] [--repeat K] [--size S] [--png PATH] [--bmp PATH]\n"
           "                         REAL_MIN IMAG_MIN SIDE LIMIT\n"
           "Draws the square region with corner (REAL_MIN, IMAG_MIN) and side length SIDE at the\n"
           "iteration limit LIMIT (a whole number from 1 to " +
           std::to_string(kMaxIterationLimit) +
           "), as the window draws it, and prints\n"
           "points_per_row=P rows=R iterations=I ms=T\n"
           "  --scalar      the one-point-at-a-time reference, on one thread\n"
           "  --threads N   at most N threads for the fast path (1 to " +
           std::to_string(kMaxThreads) +
           "; default: every core)\n"
           "  --repeat K    draw K times and report the median time (1 to " +
           std::to_string(kMaxRepeat) +
           ")\n"
           "  --size S      draw on a surface of S x S units, S from " +
           std::to_string(kMinPictureSize) + " to " + std::to_string(kMaxPictureSize) + " (default " +
           std::to_string(kDefaultPictureSize) +
           ": the window's drawing)\n"
           "  --png PATH    also write the S x S picture as a PNG file (17-colour palette)\n"
           "  --bmp PATH    also write the S x S picture as a 24-bit BMP file\n"
           "  -h, --help    show this text\n"
           "  --            ends the options: every argument after it is a read-out\n"
           "A picture written to standard output (/dev/stdout) moves the summary line to standard error.\n"
           "While it draws, a progress bar goes to standard error if that is a terminal.\n"
           "Exit status: 0 done, 1 the drawing or its output failed, 2 a bad command line.\n";
}

}  // namespace mandel::tool
