#pragma once

// The explorer's zoom movie without its window: keyframes from a location
// out to the whole set (mandelbrot-zoom keyframes) into a working folder,
// then the movie (mandelbrot-zoom movie). No Qt: run on a thread of its own.

#include <atomic>
#include <functional>
#include <string>

#include "explore/explore_location.h"

namespace mandel_ui {

struct ZoomMovieJob {
    mandel::ExploreLocation from;  // the deepest view: the movie's first frame
    int width = 0, height = 0;     // even
    int seconds = 0;
    int fps = 0;
    std::string moviePath;
    std::string keyframesDir;  // a working folder; kept keyframes there are reused
};

enum class ZoomMoviePhase { Keyframes, Frames };

using ZoomMovieProgress = std::function<void(ZoomMoviePhase phase, int done, int total)>;

// Renders the keyframes and makes the movie; throws with a one-line what()
// on failure, mandel::tool::InterruptedError when *cancel turns true.
void runZoomMovieJob(const ZoomMovieJob& job, const std::atomic<bool>& cancel, const ZoomMovieProgress& progress);

}  // namespace mandel_ui
