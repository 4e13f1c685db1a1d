#include "zoom_options.h"

#include <charconv>
#include <cmath>
#include <set>

#include "deep/deep_picture_file.h"
#include "message_text.h"
#include "movie/zoom_plan.h"

namespace mandel::tool {

namespace {

constexpr double kMaxFps = 240;
constexpr double kMaxSeconds = 36000;
constexpr int kMinMovieFrames = 2;

// The renderer's options that name outputs or the colours' base: the
// keyframes choose them.
bool isChosenPerKeyframe(std::string_view arg) {
    return arg == "--png" || arg == "--bmp" || arg == "--counts" || arg == "--flags" || arg == "--smooth" ||
           arg == "--distance" || arg == "--base";
}

// Options that change how fast, not what, is drawn.
bool leavesPicturesAlone(std::string_view arg) { return arg == "--threads" || arg == "--max-memory"; }

// A whole number from `text`, or nothing.
std::optional<long long> wholeNumber(std::string_view text) {
    long long value = 0;
    const bool digitsOnly = !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (!digitsOnly || error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

long long environmentNumber(const Environment& environment, const char* name) {
    const char* text = environment(name);
    const std::optional<long long> value = text ? wholeNumber(text) : std::nullopt;
    if (!value)
        throw UsageError(std::string(name) + " is " + (text ? quoted(text) : "not set") + ", not a whole number");
    return *value;
}

// A positive decimal number up to max.
double parsePositive(std::string_view option, std::string_view text, double max) {
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() || !(value > 0) || value > max)
        throw UsageError(std::string(option) + " needs a number above 0 and at most " +
                         std::to_string(static_cast<int>(max)) + ", not " + quoted(text));
    return value;
}

// Whether `option` is among the options (before any "--").
bool givesOption(std::span<const std::string_view> args, std::string_view option) {
    for (const std::string_view arg : args) {
        if (arg == "--") return false;
        if (arg == option) return true;
    }
    return false;
}

}  // namespace

TaskShare taskShare(std::optional<unsigned> tasks, std::optional<unsigned> task, const Environment& environment) {
    TaskShare share;
    if (task && !tasks) throw UsageError("--task needs --tasks");
    if (tasks) {
        share.count = static_cast<int>(*tasks);
        if (task)
            share.index = static_cast<int>(*task);
        else if (environment("JOB_COMPLETION_INDEX"))
            share.index = static_cast<int>(environmentNumber(environment, "JOB_COMPLETION_INDEX"));
        else if (environment("SLURM_ARRAY_TASK_ID"))
            share.index = static_cast<int>(
                environmentNumber(environment, "SLURM_ARRAY_TASK_ID") -
                (environment("SLURM_ARRAY_TASK_MIN") ? environmentNumber(environment, "SLURM_ARRAY_TASK_MIN") : 0));
        else
            throw UsageError("--tasks needs --task, JOB_COMPLETION_INDEX or SLURM_ARRAY_TASK_ID");
    } else if (environment("SLURM_ARRAY_TASK_ID")) {
        const long long id = environmentNumber(environment, "SLURM_ARRAY_TASK_ID");
        const long long first =
            environment("SLURM_ARRAY_TASK_MIN") ? environmentNumber(environment, "SLURM_ARRAY_TASK_MIN") : 0;
        share.count = static_cast<int>(environmentNumber(environment, "SLURM_ARRAY_TASK_COUNT"));
        share.index = static_cast<int>(id - first);
    }
    if (share.count < 1 || share.index < 0 || share.index >= share.count)
        throw UsageError("task " + std::to_string(share.index) + " is not one of " + std::to_string(share.count) +
                         " tasks (0 to " + std::to_string(share.count - 1) + ")");
    return share;
}

KeyframeCommand parseKeyframeOptions(std::span<const std::string_view> args, const Environment& environment) {
    KeyframeCommand command;
    movie::KeyframeOptions& options = command.options;
    std::vector<std::string_view> forwarded;
    std::optional<unsigned> tasks, task;
    std::set<std::string_view> given;
    bool textsOnly = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view arg = args[i];
        const bool own = !textsOnly && (arg == "--out" || arg == "--frames" || arg == "--tasks" || arg == "--task");
        if (!own) {
            if (arg == "--") textsOnly = true;
            if (!textsOnly && isChosenPerKeyframe(arg))
                throw UsageError(std::string(arg) + " is chosen for each keyframe; it is not a keyframes option");
            if (!textsOnly && (arg == "-h" || arg == "--help")) {
                command.help = true;
                return command;
            }
            forwarded.push_back(arg);
            continue;
        }
        if (!given.insert(arg).second) throw UsageError(std::string(arg) + " is given twice");
        if (i + 1 >= args.size()) throw UsageError(std::string(arg) + " needs a value");
        const std::string_view value = args[++i];
        if (arg == "--out") {
            if (value.empty()) throw UsageError("--out needs a folder");
            options.outDir = std::string(value);
        } else if (arg == "--frames") {
            options.frames = static_cast<int>(parseCount(arg, value, movie::kMaxKeyframes));
        } else if (arg == "--tasks") {
            tasks = parseCount(arg, value, movie::kMaxKeyframes);
        } else {
            const std::optional<long long> index = wholeNumber(value);
            if (!index || *index >= movie::kMaxKeyframes)
                throw UsageError("--task needs a whole number, not " + quoted(value));
            task = static_cast<unsigned>(*index);
        }
    }
    if (options.outDir.empty()) throw UsageError("keyframes needs --out DIR");
    const DeepRenderOptions render = parseDeepRenderOptions(forwarded);
    options.render = {render.view, render.threads, render.maxBits, render.maxMemory, render.colouring};
    // The keyframes' own default: the smooth colouring (the renderer's is the bands).
    if (!givesOption(forwarded, "--colouring")) options.render.colouring.mode = ColouringMode::Smooth;
    for (std::size_t i = 0; i < forwarded.size(); ++i) {
        if (leavesPicturesAlone(forwarded[i]) && i + 1 < forwarded.size()) {
            ++i;
            continue;
        }
        options.recorded.emplace_back(forwarded[i]);
    }
    options.share = taskShare(tasks, task, environment);
    return command;
}

MovieCommand parseMovieOptions(std::span<const std::string_view> args) {
    MovieCommand command;
    movie::MovieOptions& options = command.options;
    std::set<std::string_view> given;
    std::vector<std::string_view> texts;
    const auto read = [&](std::string_view arg, std::span<const std::string_view> all, std::size_t& i) {
        if (arg == "-h" || arg == "--help") return false;
        if (!given.insert(arg).second) throw UsageError(std::string(arg) + " is given twice");
        if (i + 1 >= all.size()) throw UsageError(std::string(arg) + " needs a value");
        const std::string_view value = all[++i];
        if (arg == "--fps") {
            options.fps = parsePositive(arg, value, kMaxFps);
            if (options.fps < 1) throw UsageError("--fps needs at least 1 frame a second, not " + quoted(value));
        } else if (arg == "--seconds") {
            options.seconds = parsePositive(arg, value, kMaxSeconds);
        } else if (arg == "--size") {
            options.size = parsePictureSizeText(value);
            if (!options.size)
                throw UsageError("--size needs S or WxH, each " + pictureSizeRangeText() + ", not " + quoted(value));
        } else if (arg == "--out") {
            if (value.empty()) throw UsageError("--out needs a file name");
            options.outPath = std::string(value);
        } else {
            throw UsageError("unknown option " + quoted(arg));
        }
        return true;
    };
    if (!splitArguments(args, read, texts)) {
        command.help = true;
        return command;
    }
    if (texts.size() != 1)
        throw UsageError(texts.empty() ? "movie needs the keyframes' folder DIR"
                                       : "movie takes one folder, not " + std::to_string(texts.size()));
    options.dir = std::string(texts[0]);
    if (options.fps == 0) throw UsageError("movie needs --fps F");
    if (options.seconds == 0) throw UsageError("movie needs --seconds S");
    if (std::lround(options.fps * options.seconds) < kMinMovieFrames)
        throw UsageError("a movie needs at least " + std::to_string(kMinMovieFrames) +
                         " frames: raise --fps or --seconds");
    if (options.size && (options.size->width % 2 != 0 || options.size->height % 2 != 0))
        throw UsageError("--size needs an even width and height (H.264's yuv420p), not " +
                         pictureSizeText(options.size->width, options.size->height));
    if (options.outPath.empty()) options.outPath = options.dir + "/zoom.mp4";
    return command;
}

std::string zoomUsageText() {
    return "usage: mandelbrot-zoom keyframes --out DIR [--frames N] [--tasks T [--task I]]\n"
           "                       [mandelbrot-render --deep options] REAL_MIN IMAG_MIN SIDE LIMIT\n"
           "       mandelbrot-zoom movie DIR --fps F --seconds S [--size WxH] [--out PATH]\n"
           "keyframes: renders keyframe k = 0, 1, 2, ... of the view (REAL_MIN, IMAG_MIN, SIDE) zoomed out\n"
           "by 2^k about its centre, up to the whole set (or N keyframes), as DIR/keyframe-K.png with its\n"
           "count map DIR/keyframe-K.npy and record DIR/keyframe-K.txt. Each keyframe's limit (at most\n"
           "4 x LIMIT) and colour base follow the explorer's automatic rule. One reference orbit,\n"
           "DIR/reference.orbit, serves them all. A rerun skips the keyframes whose files match their\n"
           "record and redoes the others.\n"
           "  --tasks T --task I  render only the keyframes k with k mod T = I; without them, Slurm's\n"
           "                SLURM_ARRAY_TASK_ID/SLURM_ARRAY_TASK_COUNT, or JOB_COMPLETION_INDEX with --tasks\n"
           "  --size, --threads, --max-bits, --max-memory and the colouring options as mandelbrot-render --deep;\n"
           "                the colouring is smooth unless --colouring says otherwise, and its automatic\n"
           "                density follows the zoom from the deepest keyframe's counts to the whole set's,\n"
           "                one colour for each count in every keyframe and frame\n"
           "movie: the zoom from keyframe 0 out to the last as an H.264 MP4 (yuv420p) through ffmpeg,\n"
           "in the keyframes' colouring (smooth colours of the continuous counts, or the bands),\n"
           "F frames a second for S seconds, at the keyframes' size unless --size (even), into\n"
           "DIR/zoom.mp4 unless --out.\n"
           "Exit status: 0 done, 1 a drawing, file or encoding failed or was interrupted, 2 a bad command\n"
           "line or a folder of other keyframes.\n";
}

}  // namespace mandel::tool
