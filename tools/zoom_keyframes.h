#pragma once

// mandelbrot-zoom keyframes: renders this task's share of a zoom's keyframes
// into a folder, skipping those already finished (zoom_record.h).

#include <atomic>
#include <functional>
#include <iosfwd>
#include <memory>
#include <stdexcept>

#include "deep/deep_options.h"
#include "explore/auto_limit.h"
#include "zoom_options.h"

namespace mandel {
class DeepReference;
}

namespace mandel::tool {

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

// The limit and base of one keyframe: the explorer's rule (auto_limit.h)
// applied to a small drawing of it from `view`'s limit, raised while the rule
// asks (up to `ceiling`) and lowered once when it asks.
LimitAndBase chooseKeyframeLimit(const DeepView& view, std::int64_t ceiling,
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

// The whole run; one summary line on out: "keyframes=K rendered=R skipped=S ms=T".
void runKeyframes(const KeyframeOptions& options, std::ostream& out, std::ostream& err, bool showProgress);

}  // namespace mandel::tool
