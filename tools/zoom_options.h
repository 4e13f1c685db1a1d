#pragma once

// Command lines of mandelbrot-zoom:
//   mandelbrot-zoom keyframes --out DIR [--frames N] [--tasks T [--task I]]
//                   [the renderer's --deep options] REAL_MIN IMAG_MIN SIDE LIMIT
//   mandelbrot-zoom movie DIR --fps F --seconds S [--size WxH] [--out PATH]

#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "deep_render.h"
#include "region/picture_size.h"

namespace mandel::tool {

// Which keyframes one task renders: those k with k ≡ index (mod count).
struct TaskShare {
    int count = 1;
    int index = 0;
};

// Reads a variable of the environment (std::getenv, or a test's table).
using Environment = std::function<const char*(const char*)>;

// The share from --tasks/--task, else from the scheduler's environment:
// SLURM_ARRAY_TASK_ID − SLURM_ARRAY_TASK_MIN of SLURM_ARRAY_TASK_COUNT (a
// Slurm job array), or JOB_COMPLETION_INDEX of --tasks (a Kubernetes Indexed
// Job); 1 task otherwise. Throws UsageError for --task without --tasks, an
// index not below the count, and a variable that is not a whole number.
TaskShare taskShare(std::optional<unsigned> tasks, std::optional<unsigned> task, const Environment& environment);

struct KeyframeOptions {
    bool help = false;
    std::string outDir;
    std::optional<int> frames;  // the keyframe count; otherwise up to the whole set
    TaskShare share;
    // The deepest view (keyframe 0) with LIMIT, threads, precision and
    // colouring, as the renderer's --deep command line gives them.
    DeepRenderOptions render;
    // The renderer's arguments as given, less those that do not change the
    // pictures (--threads, --max-memory): a resumed run must repeat them.
    std::vector<std::string> recorded;
};

// --out, --frames, --tasks and --task are the keyframes' own; every other
// argument goes, in its order, to the renderer's parser
// (parseDeepRenderOptions), so that each of its options means the same here.
// Its outputs and --base are refused: each keyframe's files and base are
// chosen here. Throws UsageError.
KeyframeOptions parseKeyframeOptions(std::span<const std::string_view> args, const Environment& environment);

struct MovieOptions {
    bool help = false;
    std::string dir;
    double fps = 0;
    double seconds = 0;
    std::optional<PictureSize> size;  // the keyframes' size otherwise
    std::string outPath;              // DIR/zoom.mp4 unless given
};

// Throws UsageError: a missing DIR, --fps or --seconds, an fps outside 1 ..
// 240, a length outside 0 .. 36000 s or below two frames, an odd width or
// height (H.264's yuv420p halves both).
MovieOptions parseMovieOptions(std::span<const std::string_view> args);

std::string zoomUsageText();

}  // namespace mandel::tool
