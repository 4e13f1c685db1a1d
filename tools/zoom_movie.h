#pragma once

// mandelbrot-zoom movie: the frames of a finished keyframes folder
// (zoom_frames.h) encoded as an MP4 (zoom_encoder.h).

#include <atomic>
#include <functional>
#include <iosfwd>
#include <stdexcept>

#include "zoom_options.h"

namespace mandel::tool {

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

// The whole run; one summary line on out: "frames=F size=WxH ms=T fps=R path=P".
void runMovie(const MovieOptions& options, std::ostream& out, std::ostream& err, bool showProgress,
              const std::atomic<bool>* stop);

}  // namespace mandel::tool
