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

#include "deep_render.h"
#include "movie/zoom_settings.h"

namespace mandel::tool {

using movie::TaskShare;

// Reads a variable of the environment (std::getenv, or a test's table).
using Environment = std::function<const char*(const char*)>;

// The share from --tasks/--task, else from the scheduler's environment:
// SLURM_ARRAY_TASK_ID − SLURM_ARRAY_TASK_MIN of SLURM_ARRAY_TASK_COUNT (a
// Slurm job array), or JOB_COMPLETION_INDEX of --tasks (a Kubernetes Indexed
// Job); 1 task otherwise. Throws UsageError for --task without --tasks, an
// index not below the count, and a variable that is not a whole number.
TaskShare taskShare(std::optional<unsigned> tasks, std::optional<unsigned> task, const Environment& environment);

// A keyframes command line: its help, or what it asks.
struct KeyframeCommand {
    bool help = false;
    movie::KeyframeOptions options;
};

// --out, --frames, --tasks and --task are the keyframes' own; every other
// argument goes, in its order, to the renderer's parser
// (parseDeepRenderOptions), so that each of its options means the same here.
// Its outputs and --base are refused: each keyframe's files and base are
// chosen here. Throws UsageError.
KeyframeCommand parseKeyframeOptions(std::span<const std::string_view> args, const Environment& environment);

struct MovieCommand {
    bool help = false;
    movie::MovieOptions options;
};

// Throws UsageError: a missing DIR, --fps or --seconds, an fps outside 1 ..
// 240, a length outside 0 .. 36000 s or below two frames, an odd width or
// height (H.264's yuv420p halves both).
MovieCommand parseMovieOptions(std::span<const std::string_view> args);

std::string zoomUsageText();

}  // namespace mandel::tool
