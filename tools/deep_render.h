#pragma once

// mandelbrot-render --deep: the deep engine's drawing of a location given by
// decimal texts of any length, at any depth:
//   mandelbrot-render --deep [--size S|WxH] [--base B] [--threads N] [--max-bits B]
//                     [--max-memory BYTES] [--png PATH] [--bmp PATH] [--counts PATH]
//                     [--flags PATH] [--smooth PATH] [--distance PATH]
//                     [--colouring bands|smooth|distance]
//                     [--palette NAME] [--density D|auto] [--density-scale linear|log]
//                     [--offset O] [--supersample K] REAL_MIN IMAG_MIN SIDE LIMIT

#include <cstdint>
#include <iosfwd>
#include <memory>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>

#include "colour/colouring.h"
#include "deep/deep_view.h"
#include "command_line.h"
#include "render_progress.h"

namespace mandel {
class DeepReference;
}

namespace mandel::tool {

struct DeepRenderOptions {
    bool help = false;
    DeepView view;                // the texts exactly as given, the limit and the size
    std::int64_t base = 0;        // the colours' base count, 0 .. limit − 1
    unsigned threads = 0;         // 0 = every core
    int maxBits = 0;              // the engine's precision cap (DeepOptions::maxBits); 0 = automatic
    std::uint64_t maxMemory = 0;  // the drawing's memory budget in bytes (DeepOptions::maxMemory); 0 = automatic
    std::optional<std::string> pngPath;
    std::optional<std::string> bmpPath;
    std::optional<std::string> countsPath;    // the counts as a NumPy .npy file
    std::optional<std::string> flagsPath;     // which counts are certified, as a NumPy .npy file
    std::optional<std::string> smoothPath;    // the continuous counts as a NumPy .npy file
    std::optional<std::string> distancePath;  // the distances in pixels as a NumPy .npy file
    Colouring colouring = {};                 // bands (with base) or smooth; K × K samples
};

// Whether the command line asks for the deep drawing (--deep among its options).
bool asksForDeep(std::span<const std::string_view> args);

// Parses a --deep command line as parseRenderOptions parses the other: options
// anywhere before "--", each at most once. Throws UsageError naming the
// culprit for: an unknown option or one the deep drawing does not take, an
// option without its value, two outputs naming one file, a missing or extra
// text, a text that is not a decimal, a side <= 0, and a limit (1 ..
// 2147483647), base (0 .. limit − 1), size (S or WxH, 16 .. 32000; times
// the supersampling K, at most 32000), a colouring option's value, thread
// count, precision cap (kMinSettleBits .. kMaxSettleBits) or memory budget (a
// whole number of bytes from 1, with an optional K, M or G for 10^3, 10^6 or
// 10^9) out of range.
DeepRenderOptions parseDeepRenderOptions(std::span<const std::string_view> args);

// The usage's lines for --deep.
std::string deepUsageText();

struct DeepRenderSummary {
    int width = 0, height = 0;
    std::int64_t iterations = 0;  // sum of every pixel's count
    double ms = 0;                // in the engine, the reference orbit included
    std::int64_t referenceLength = 0;
    int referencePrecisionBits = 0;
    std::int64_t pixelsSettled = 0;      // settled with more precision
    std::int64_t uncertifiedPixels = 0;  // left undecided by the precision cap
};

// "points_per_row=W rows=H iterations=I ms=T reference_length=L
// reference_precision_bits=P settled_pixels=K uncertified_pixels=U"
std::string deepSummaryLine(const DeepRenderSummary& summary);

// A drawing that ended before its last row: its files are not finished
// (nothing of them is left), and the run fails.
class IncompleteDrawingError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Checks the drawing's memory estimate against its budget, then opens the
// files, draws the view into them and finishes them. Throws DeepMemoryError
// (before any file is opened) when the estimate is above the budget,
// FileWriteError when a file fails, IncompleteDrawingError when the drawing
// does not complete. `reuse`, when given and suitable, is the reference
// orbit drawn against instead of a new one (DeepDrawing's constructor).
DeepRenderSummary renderDeep(const DeepRenderOptions& options, const RenderProgress& progress = {},
                             std::shared_ptr<const DeepReference> reuse = nullptr);

// The whole --deep run after the command line has asked for it: as
// runRenderTool's, every failure is an exception.
void runDeepRender(const DeepRenderOptions& options, std::ostream& out, std::ostream& err, bool showProgress);
// The same from its arguments; -h prints the --deep lines of the usage.
void runDeepRender(std::span<const std::string_view> args, std::ostream& out, std::ostream& err, bool showProgress);

}  // namespace mandel::tool
