#pragma once

// The movie of a zoom (mandelbrot-zoom movie, the explorer's dialog): the frames of a finished keyframes folder
// (zoom_frames.h) encoded as an MP4 (zoom_encoder.h).

#include <atomic>
#include <functional>
#include <iosfwd>
#include <stdexcept>

#include "movie/zoom_settings.h"

namespace mandel::movie {

// The folder's keyframes are not all finished, or not a zoom's.
class KeyframesMissingError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Stopped by *stop (a signal, or the window's cancel).
class InterruptedError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct MovieSummary {
    int frames = 0;
    int width = 0, height = 0;
    double ms = 0;
    double framesPerSecond = 0;  // made and encoded
};

// Told the frames done of all, after each frame.
using MovieProgress = std::function<void(int done, int total)>;

MovieSummary makeMovie(const MovieOptions& options, const std::atomic<bool>* stop = nullptr,
                       const MovieProgress& progress = {});

}  // namespace mandel::movie
