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

#include "command_line.h"
#include "region/region.h"
#include "region/render_settings.h"

namespace mandel::tool {

inline constexpr int kDefaultPictureSize = kLogicalSize;  // the window's drawing

struct RenderOptions {
    bool help = false;               // print the usage and nothing else
    bool scalar = false;             // the one-point-at-a-time reference path
    unsigned threads = 0;            // fast path: 0 = every core
    unsigned repeat = 1;             // draws to time; the median is reported
    int size = kDefaultPictureSize;  // the drawing's logical width and height; the picture's pixels
    std::optional<std::string> pngPath;
    std::optional<std::string> bmpPath;
    RegionTexts region;           // the four read-out texts
    std::set<std::string> given;  // the options seen, to refuse one given twice
};

inline constexpr unsigned kMaxRepeat = 100000;

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

// The usage's lines for the single-precision drawing.
std::string singleUsageText();

}  // namespace mandel::tool
