#pragma once

// What a zoom movie is asked: the keyframes (the deepest view, how they are
// drawn, which of them this task renders, into which folder) and the movie
// made from them. mandelbrot-zoom's command lines and the explorer's dialog
// fill them in.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "colour/colouring.h"
#include "deep/deep_view.h"
#include "region/picture_size.h"

namespace mandel::movie {

// Which keyframes one task renders: those k with k ≡ index (mod count).
struct TaskShare {
    int count = 1;
    int index = 0;
};

// How every keyframe is drawn.
struct KeyframeDrawing {
    DeepView view;                // the deepest view (keyframe 0) with LIMIT and the size
    unsigned threads = 0;         // 0 = every core
    int maxBits = 0;              // the engine's precision cap; 0 = automatic
    std::uint64_t maxMemory = 0;  // a drawing's memory budget in bytes; 0 = automatic
    Colouring colouring = {};     // with the automatic density: over the whole zoom (zoom_colours.h)
};

struct KeyframeOptions {
    std::string outDir;
    std::optional<int> frames;  // the keyframe count; otherwise up to the whole set
    TaskShare share;
    KeyframeDrawing render;
    // The renderer's arguments as given, less those that do not change the
    // pictures (--threads, --max-memory): a resumed run must repeat them.
    std::vector<std::string> recorded;
};

struct MovieOptions {
    std::string dir;
    double fps = 0;
    double seconds = 0;
    std::optional<PictureSize> size;  // the keyframes' size otherwise
    std::string outPath;              // DIR/zoom.mp4 unless given
};

}  // namespace mandel::movie
