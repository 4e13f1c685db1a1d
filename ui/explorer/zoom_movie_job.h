#pragma once

// The explorer's zoom movie without its window: keyframes from a location
// out to the whole set (mandelbrot-zoom keyframes) into a working folder,
// then the movie (mandelbrot-zoom movie). No Qt: run on a thread of its own.

#include <atomic>
#include <functional>
#include <string>
#include <vector>

#include "colour/colouring.h"
#include "explore/explore_location.h"

namespace mandel_ui {

struct ZoomMovieJob {
    mandel::ExploreLocation from;  // the deepest view: the movie's first frame
    int width = 0, height = 0;     // even
    int seconds = 0;
    int fps = 0;
    std::string moviePath;
    std::string keyframesDir;  // a working folder; kept keyframes there are reused
    // The keyframes' and the movie's colouring: its mode and gradient, the
    // density automatic over the zoom (zoom_colours.h).
    mandel::Colouring colouring = smoothColouring();

    static mandel::Colouring smoothColouring() {
        mandel::Colouring colouring;
        colouring.mode = mandel::ColouringMode::Smooth;
        return colouring;
    }
};

// The options of `mandelbrot-zoom keyframes` that give this colouring
// ("--colouring smooth --palette classic"; "--colouring bands").
std::vector<std::string> colouringOptions(const mandel::Colouring& colouring);

enum class ZoomMoviePhase { Keyframes, Frames };

using ZoomMovieProgress = std::function<void(ZoomMoviePhase phase, int done, int total)>;

// Renders the keyframes and makes the movie; throws with a one-line what()
// on failure, mandel::movie::InterruptedError when *cancel turns true.
void runZoomMovieJob(const ZoomMovieJob& job, const std::atomic<bool>& cancel, const ZoomMovieProgress& progress);

}  // namespace mandel_ui
