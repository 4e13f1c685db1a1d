#pragma once

// The keyframes of a zoom movie (mandelbrot-zoom keyframes, the explorer's
// dialog): renders this task's share of them into a folder, skipping those
// already finished (zoom_record.h).

#include <atomic>
#include <functional>
#include <iosfwd>
#include <memory>
#include <stdexcept>
#include <string>

#include "deep/deep_options.h"
#include "explore/auto_limit.h"
#include "movie/zoom_colours.h"
#include "movie/zoom_settings.h"

namespace mandel {
class DeepReference;
}

namespace mandel::movie {

// A keyframes folder that holds another zoom: exit status 2, like a bad
// command line, since rerunning with other parameters would mix two zooms.
class OtherZoomError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A keyframe's limit never rises beyond this many times LIMIT (the
// reference orbit is computed that long).
inline constexpr std::int64_t kLimitRaiseRoom = 4;

struct KeyframesSummary {
    int keyframes = 0;  // of the whole zoom
    int rendered = 0;   // by this run
    int skipped = 0;    // finished before, matching their records
    double ms = 0;
};

// What a small drawing of a keyframe (its probe) decides for it.
struct KeyframeChoice {
    LimitAndBase limit;
    ColourAnchor anchor;  // its typical continuous count and automatic density
};

// A view whose probe holds more than this share of its pixels at the limit is
// mostly inside the set, where every pixel costs the whole limit: its limit
// does not rise for the rim of pixels at the boundary that the rule would
// raise it for, and comes down as far as kMaxTurnedInside allows.
inline constexpr double kMostlyInside = 0.1;
// The share of a mostly inside view's pixels that a lower limit may turn from
// escaped to held (drawn as inside).
inline constexpr double kMaxTurnedInside = 0.002;

// The limit and base of one keyframe: the explorer's rule (auto_limit.h)
// applied to a small drawing of it from `view`'s limit, raised while the rule
// asks (up to `ceiling`) and lowered once when it asks; a view mostly inside
// the set (kMostlyInside) is not raised and is lowered by the share of its
// pixels turned inside alone. With the colour anchor of that drawing.
KeyframeChoice chooseKeyframe(const DeepView& view, std::int64_t ceiling,
                              const std::shared_ptr<const DeepReference>& reference, const DeepOptions& compute);

// What a window asks of a run: to stop (checked between keyframes and while
// a keyframe's limit is chosen), and to hear of each keyframe done.
struct KeyframesControl {
    const std::atomic<bool>* cancel = nullptr;
    std::function<void(int done, int total)> progress;  // this task's keyframes, skipped ones included
};

// Throws InterruptedError (zoom_movie.h) when cancelled; the keyframes
// finished so far stay, for a rerun to skip.
KeyframesSummary renderKeyframes(const KeyframeOptions& options, std::ostream& err, bool showProgress,
                                 const KeyframesControl& control = {});

// Writes a text file whole or not at all (SafeFileWriter).
void writeTextSafely(const std::string& path, const std::string& text);

}  // namespace mandel::movie
