#include "deep_render.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <limits>
#include <memory>
#include <ostream>
#include <set>
#include <vector>

#include "colour/gradients.h"
#include "deep/deep_drawing.h"
#include "deep/deep_memory.h"
#include "deep/deep_outputs.h"
#include "deep/deep_picture_colours.h"
#include "message_text.h"
#include "progress_bar.h"
#include "region/picture_size.h"
#include "files/standard_output.h"

namespace mandel::tool {

namespace {

constexpr std::string_view kDeepOption = "--deep";

// Options of the single-precision drawing that the deep one has no use for.
bool isSinglePrecisionOnly(std::string_view arg) { return arg == "--scalar" || arg == "--repeat"; }

// The precision cap: a whole number of digits only, kMinSettleBits .. kMaxSettleBits.
int parseMaxBits(std::string_view text) {
    int bits = 0;
    const bool digitsOnly = !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), bits);
    if (!digitsOnly || error != std::errc() || end != text.data() + text.size() || bits < kMinSettleBits ||
        bits > kMaxSettleBits)
        throw UsageError("--max-bits needs a whole number from " + std::to_string(kMinSettleBits) + " to " +
                         std::to_string(kMaxSettleBits) + ", not " + quoted(text));
    return bits;
}

// The memory budget: a whole number of bytes from 1, digits only, with an
// optional K, M or G (either case) for 10^3, 10^6 or 10^9 bytes: the units
// of the messages that report the estimate ("2.1 GB").
std::uint64_t parseMemorySize(std::string_view text) {
    const auto refuse = [&] {
        return UsageError(
            "--max-memory needs a size in bytes, optionally followed by K, M or G (such as 512M or 4G), "
            "not " +
            quoted(text));
    };
    std::uint64_t unit = 1;
    std::string_view digits = text;
    if (!digits.empty()) {
        switch (digits.back()) {
            case 'K':
            case 'k': unit = 1000; break;
            case 'M':
            case 'm': unit = 1000 * 1000; break;
            case 'G':
            case 'g': unit = 1000 * 1000 * 1000; break;
            default: break;
        }
        if (unit != 1) digits.remove_suffix(1);
    }
    std::uint64_t count = 0;
    const bool digitsOnly = !digits.empty() && digits.find_first_not_of("0123456789") == std::string_view::npos;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), count);
    if (!digitsOnly || error != std::errc() || end != digits.data() + digits.size() || count == 0 ||
        count > std::numeric_limits<std::uint64_t>::max() / unit)
        throw refuse();
    return count * unit;
}

// Applies one option (or help); returns false for help.
bool applyDeepOption(DeepRenderOptions& options, std::set<std::string>& given, std::string_view arg,
                     std::span<const std::string_view> args, std::size_t& i, std::string_view& sizeText,
                     std::optional<std::string_view>& baseText) {
    auto value = [&]() -> std::string_view {
        if (i + 1 >= args.size()) throw UsageError(std::string(arg) + " needs a value");
        return args[++i];
    };
    auto path = [&]() {
        const std::string_view text = value();
        if (text.empty()) throw UsageError(std::string(arg) + " needs a file name");
        return std::string(text);
    };
    if (arg == "-h" || arg == "--help") return false;
    if (!given.insert(std::string(arg)).second) throw UsageError(std::string(arg) + " is given twice");
    if (arg == kDeepOption) {
        // what brought the parse here
    } else if (arg == "--threads") {
        options.threads = parseCount(arg, value(), kMaxThreads);
    } else if (arg == "--size") {
        sizeText = value();
    } else if (arg == "--base") {
        baseText = value();
    } else if (arg == "--max-bits") {
        options.maxBits = parseMaxBits(value());
    } else if (arg == "--max-memory") {
        options.maxMemory = parseMemorySize(value());
    } else if (arg == "--png") {
        options.pngPath = path();
    } else if (arg == "--bmp") {
        options.bmpPath = path();
    } else if (arg == "--counts") {
        options.countsPath = path();
    } else if (arg == "--flags") {
        options.flagsPath = path();
    } else if (arg == "--smooth") {
        options.smoothPath = path();
    } else if (arg == "--distance") {
        options.distancePath = path();
    } else if (isColouringOption(arg)) {
        const std::string problem = applyColouringOption(options.colouring, arg, value());
        if (!problem.empty()) throw UsageError(problem);
    } else if (isSinglePrecisionOnly(arg)) {
        throw UsageError(std::string(arg) + " is not available with --deep");
    } else {
        throw UsageError("unknown option " + quoted(arg));
    }
    return true;
}

void requireDecimal(std::string_view name, const std::string& text) {
    const std::string problem = decimalTextProblem(text);
    if (!problem.empty()) throw UsageError(std::string(name) + " " + quoted(text) + " " + problem);
}

PictureSize parseSize(std::string_view text) {
    const std::optional<PictureSize> size = parsePictureSizeText(text);
    if (!size) throw UsageError("--size needs S or WxH, each " + pictureSizeRangeText() + ", not " + quoted(text));
    return *size;
}

std::int64_t parseBase(std::string_view text, std::int64_t limit) {
    std::int64_t base = -1;
    const bool digitsOnly = !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), base);
    if (!digitsOnly || error != std::errc() || end != text.data() + text.size() || base >= limit)
        throw UsageError("--base needs a whole number from 0 to " + std::to_string(limit - 1) + ", not " +
                         quoted(text));
    return base;
}

// No two outputs may name one file: the last would replace the others.
void requireDistinctOutputs(const DeepRenderOptions& options) {
    const std::pair<const char*, const std::optional<std::string>*> outputs[] = {
        {"--png", &options.pngPath},     {"--bmp", &options.bmpPath},       {"--counts", &options.countsPath},
        {"--flags", &options.flagsPath}, {"--smooth", &options.smoothPath}, {"--distance", &options.distancePath}};
    for (std::size_t a = 0; a < std::size(outputs); ++a)
        for (std::size_t b = a + 1; b < std::size(outputs); ++b)
            if (*outputs[a].second && *outputs[b].second && namesSameFile(**outputs[a].second, **outputs[b].second))
                throw UsageError(std::string(outputs[a].first) + " and " + outputs[b].first + " name the same file " +
                                 quoted(**outputs[a].second));
}

// K times the picture's size stays within the sizes a drawing may have.
void requireSamples(const DeepRenderOptions& options) {
    const int k = options.colouring.supersample;
    const int longer = std::max(options.view.width, options.view.height);
    if (static_cast<std::int64_t>(longer) * k > kMaxPictureSize)
        throw UsageError("--supersample " + std::to_string(k) + " makes " + std::to_string(longer * k) +
                         " samples across; at most " + std::to_string(kMaxPictureSize));
}

// The location from the four texts, checked in the order they are given.
void readLocation(DeepRenderOptions& options, const std::vector<std::string_view>& texts) {
    requireFourTexts(texts);
    DeepLocation& location = options.view.location;
    location = {std::string(texts[0]), std::string(texts[1]), std::string(texts[2]), 0};
    requireDecimal("REAL_MIN", location.realMin);
    requireDecimal("IMAG_MIN", location.imagMin);
    requireDecimal("SIDE", location.side);
    location.limit = parseCount("LIMIT", texts[3], static_cast<unsigned>(kMaxDeepLimit));
}

}  // namespace

bool asksForDeep(std::span<const std::string_view> args) {
    for (const std::string_view arg : args) {
        if (arg == "--") return false;
        if (arg == kDeepOption) return true;
    }
    return false;
}

DeepRenderOptions parseDeepRenderOptions(std::span<const std::string_view> args) {
    DeepRenderOptions options;
    std::set<std::string> given;
    std::vector<std::string_view> texts;
    std::string_view sizeText = "500";
    std::optional<std::string_view> baseText;
    const auto read = [&](std::string_view arg, std::span<const std::string_view> all, std::size_t& i) {
        return applyDeepOption(options, given, arg, all, i, sizeText, baseText);
    };
    if (!splitArguments(args, read, texts)) {
        options.help = true;
        return options;
    }
    readLocation(options, texts);
    const PictureSize size = parseSize(sizeText);
    options.view.width = size.width;
    options.view.height = size.height;
    if (baseText) options.base = parseBase(*baseText, options.view.location.limit);
    if (const std::string problem = deepViewProblem(options.view); !problem.empty()) throw UsageError(problem);
    requireSamples(options);
    requireDistinctOutputs(options);
    return options;
}

std::string deepUsageText() {
    return "usage: mandelbrot-render --deep [--size S|WxH] [--base B] [--threads N] [--max-bits B]\n"
           "                         [--max-memory BYTES] [--png PATH] [--bmp PATH] [--counts PATH]\n"
           "                         [--flags PATH] [--smooth PATH] [--distance PATH]\n"
           "                         [--colouring bands|smooth|distance]\n"
           "                         [--palette NAME] [--density D|auto] [--density-scale linear|log]\n"
           "                         [--offset O] [--supersample K] REAL_MIN IMAG_MIN SIDE LIMIT\n"
           "Draws the region with corner (REAL_MIN, IMAG_MIN) and side SIDE (decimals of any length,\n"
           "such as -1.7497591451303665e-30) with the counts of exact arithmetic, at any depth, at the\n"
           "iteration limit LIMIT (1 to " +
           std::to_string(kMaxDeepLimit) +
           "), and prints the summary line with\n"
           "reference_length=L reference_precision_bits=P settled_pixels=K uncertified_pixels=U added\n"
           "(U: pixels the precision cap left undecided, drawn with their best count; normally 0)\n"
           "  --deep        this drawing instead of the window's single precision\n"
           "  --size S|WxH  a picture of S x S or W x H pixels (" +
           std::to_string(kMinPictureSize) + " to " + std::to_string(kMaxPictureSize) +
           " each; default 500); SIDE spans the shorter edge\n"
           "  --base B      the colours' bands spread over the counts B to LIMIT (0 to LIMIT-1; default 0,\n"
           "                the window's colours); choose B near the picture's lowest count\n"
           "  --counts PATH also write the counts as a NumPy .npy file (int32, shape (H, W), row 0 first)\n"
           "  --flags PATH  also write which counts are certified as a NumPy .npy file (uint8, shape (H, W),\n"
           "                row 0 first; 1 certified, 0 left undecided by the precision cap)\n"
           "  --smooth PATH also write each pixel's continuous count as a NumPy .npy file (float32, shape\n"
           "                (H, W), row 0 first; NaN inside the set)\n"
           "  --distance PATH also write each pixel's estimated distance to the set in pixels as a NumPy\n"
           "                .npy file (float32, shape (H, W), row 0 first; NaN inside the set)\n"
           "  --colouring bands|smooth|distance  the 17 bands of the counts (default), a gradient over\n"
           "                the continuous counts, or that gradient shaded by the distance to the set\n"
           "                (dark at its boundary) and by the distance's slope (lit from the upper left)\n"
           "  --palette NAME  the gradient of smooth and distance: " +
           gradientNames() +
           " (default classic)\n"
           "  --density D|auto  colour cycles per count (per doubling with --density-scale log), above 0\n"
           "                up to 1e6; auto (default) spreads the gradient over the view's counts\n"
           "  --density-scale linear|log  the counts' scale (default linear)\n"
           "  --offset O    where the gradient starts, in cycles (default 0; with auto, a shift)\n"
           "  --supersample K  K x K samples per pixel (1 to 8; default 1), averaged in linear light;\n"
           "                the counts, flags and continuous counts written are each pixel's own sample\n"
           "  --max-bits B  settle each count with at most B bits of MPFR precision (" +
           std::to_string(kMinSettleBits) + " to " + std::to_string(kMaxSettleBits) +
           "; default\n"
           "                " +
           std::to_string(kAutomaticSettleBitsFactor) + " times the view's pixel precision, at least " +
           std::to_string(kMinAutomaticSettleBits) +
           "): a bound on a pixel's time\n"
           "  --max-memory BYTES  refuse a drawing whose memory estimate is above BYTES (K, M, G: 10^3,\n"
           "                10^6, 10^9 bytes; such as 512M or 4G; default half the physical memory)\n"
           "  --threads N, --png PATH, --bmp PATH, -h and -- as above\n"
           "Each text has at most " +
           std::to_string(kMaxDecimalTextLength) +
           " characters; its written exponent and its magnitude (the power of ten\n"
           "of its leading digit) lie within -" +
           std::to_string(kMaxDecimalExponent) + " to " + std::to_string(kMaxDecimalExponent) +
           ".\n"
           "Exit status with --deep: 0 the picture is complete (uncertified pixels included), 1 the drawing\n"
           "did not complete or its output failed (no file is left), 2 a bad command line or a drawing\n"
           "above the memory budget (nothing is written).\n";
}

std::string deepSummaryLine(const DeepRenderSummary& summary) {
    char ms[64];
    std::snprintf(ms, sizeof ms, "%.3f", summary.ms);
    return "points_per_row=" + std::to_string(summary.width) + " rows=" + std::to_string(summary.height) +
           " iterations=" + std::to_string(summary.iterations) + " ms=" + ms +
           " reference_length=" + std::to_string(summary.referenceLength) +
           " reference_precision_bits=" + std::to_string(summary.referencePrecisionBits) +
           " settled_pixels=" + std::to_string(summary.pixelsSettled) +
           " uncertified_pixels=" + std::to_string(summary.uncertifiedPixels);
}

namespace {

// The drawing's estimate against its budget, before any file is opened: a
// drawing that could not fit leaves nothing behind.
void requireMemoryBudget(const DeepDrawing& drawing, const DeepOptions& compute) {
    const std::uint64_t budget = compute.maxMemory != 0 ? compute.maxMemory : defaultMemoryBudget();
    const std::uint64_t estimate = drawing.memoryEstimate(compute);
    if (estimate > budget)
        throw DeepMemoryError(memoryProblem(drawing.view(), estimate, budget) + " (--max-memory sets the budget)");
}

}  // namespace

DeepRenderSummary renderDeep(const DeepRenderOptions& options, const RenderProgress& progress,
                             std::shared_ptr<const DeepReference> reuse) {
    DeepDrawing drawing(sampleView(options.view, options.colouring.supersample), std::move(reuse));
    DeepPictureOptions draw;
    draw.base = options.base;
    draw.colouring = options.colouring;
    draw.compute.threads = options.threads;
    draw.compute.maxBits = options.maxBits;
    draw.compute.maxMemory = options.maxMemory;
    if (progress)
        draw.compute.progress = [&progress](const DeepProgress& p) {
            // The reference orbit comes first, before any row.
            if (p.referenceTotal > 0)
                progress(ProgressPhase::Reference, static_cast<std::size_t>(p.referenceDone),
                         static_cast<std::size_t>(p.referenceTotal));
            else
                progress(ProgressPhase::Rows, static_cast<std::size_t>(p.rowsDone),
                         static_cast<std::size_t>(p.rowsTotal));
            return true;
        };
    requireMemoryBudget(drawing, draw.compute);

    const DeepOutputPaths paths{options.pngPath,   options.bmpPath,    options.countsPath,
                                options.flagsPath, options.smoothPath, options.distancePath};
    const DeepPictureResult result =
        drawDeepOutputs(drawing, {options.view, options.base, options.colouring}, paths, draw);
    // The files were not finished: their writers remove them as they go.
    if (!result.completed) throw IncompleteDrawingError("the drawing stopped before its last row");
    return {options.view.width,         options.view.height,     result.iterations,
            result.computeMs,           result.reference.length, result.reference.precisionBits,
            result.stats.pixelsSettled, result.uncertifiedPixels};
}

void runDeepRender(std::span<const std::string_view> args, std::ostream& out, std::ostream& err, bool showProgress) {
    const DeepRenderOptions options = parseDeepRenderOptions(args);
    if (options.help) {
        deliver(out, deepUsageText());
        return;
    }
    runDeepRender(options, out, err, showProgress);
}

void runDeepRender(const DeepRenderOptions& options, std::ostream& out, std::ostream& err, bool showProgress) {
    const auto onOutput = [](const std::optional<std::string>& path) { return path && isStandardOutput(*path); };
    // A file sent to standard output is not to be followed by the summary.
    const bool fileOnOutput = onOutput(options.pngPath) || onOutput(options.bmpPath) || onOutput(options.countsPath) ||
                              onOutput(options.flagsPath) || onOutput(options.smoothPath) ||
                              onOutput(options.distancePath);
    ProgressBar bar(err);
    RenderProgress progress;
    if (showProgress)
        progress = [&bar](ProgressPhase phase, std::size_t done, std::size_t total) { bar.update(phase, done, total); };
    DeepRenderSummary summary;
    try {
        summary = renderDeep(options, progress);
    } catch (...) {
        bar.clear();
        throw;
    }
    bar.clear();
    deliver(fileOnOutput ? err : out, deepSummaryLine(summary) + '\n');
}

}  // namespace mandel::tool
