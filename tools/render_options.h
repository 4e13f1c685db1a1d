#pragma once

// Command line of mandelbrot-render:
//   mandelbrot-render [--scalar] [--threads N] [--repeat K] [--size S]
//                     [--png PATH] [--bmp PATH] REAL_MIN IMAG_MIN SIDE LIMIT
//   mandelbrot-render --deep ... (deep_render.h)
//   mandelbrot-render -h | --help

#include <optional>
#include <set>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>

#include "region/region.h"
#include "region/render_settings.h"

namespace mandel::tool {

// A command line that cannot be run; what() is the one-line message.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

inline constexpr int kDefaultPictureSize = kLogicalSize;  // the window's drawing

struct RenderOptions {
    bool help = false;                  // print the usage and nothing else
    bool scalar = false;                // the one-point-at-a-time reference path
    unsigned threads = 0;               // fast path: 0 = every core
    unsigned repeat = 1;                // draws to time; the median is reported
    int size = kDefaultPictureSize;     // the drawing's logical width and height; the picture's pixels
    std::optional<std::string> pngPath;
    std::optional<std::string> bmpPath;
    RegionTexts region;  // the four read-out texts
    std::set<std::string> given;  // the options seen, to refuse one given twice
};

inline constexpr unsigned kMaxThreads = 1024;
inline constexpr unsigned kMaxRepeat = 100000;

// A count given to option: a whole number from 1 to max, digits only.
// Throws UsageError naming the option otherwise.
unsigned parseCount(std::string_view option, std::string_view text, unsigned max);

// Whether an argument is an option: '-' and then anything but a digit or '.'
// ("-0.3" and "-.5" are read-out texts, "-x" and "--threads" options).
bool isOption(std::string_view arg);

// Whether two paths name one file: as given, as the files the writer would
// write (symbolic links followed, dangling ones included), or the same inode.
bool namesSameFile(const std::string& a, const std::string& b);

// Parses the arguments after the program name. Options may come anywhere
// before "--", after which every argument is a read-out text; an argument
// starting with '-' and then anything but a digit or '.' is an option,
// anything else a read-out text (so "-0.3" is a number). -h or --help ends
// the parse with help set. Throws UsageError for: an unknown option, an
// option given twice, --png and --bmp naming one file, a lone "-", an
// option without its value, a count that is not a whole number in range, a
// missing or extra read-out text, a text that is not a number, a side length
// <= 0, a limit that is not a whole number from 1 to 32766, or a size that
// is not a whole number from 16 to 32000.
RenderOptions parseRenderOptions(std::span<const std::string_view> args);

// What -h prints: the command line, each option, and the exit statuses.
std::string usageText();

}  // namespace mandel::tool
