#pragma once

// A deep drawing of any size into files: blocks of rows are computed one
// after the other (memory does not grow with width × height), and each
// block's counts go to the picture files as colour indices and to the count
// maps as they are.

#include <cstddef>
#include <cstdint>
#include <span>

#include "deep/deep_drawing.h"
#include "colour/picture_sink.h"

namespace mandel {

// Receives a drawing's counts row by row, top row first.
class CountSink {
public:
    virtual ~CountSink() = default;
    // `rows` rows of `width` counts each, continuing below the previous call's.
    virtual void writeCounts(std::span<const std::int32_t> counts, std::size_t rows) = 0;
    // After the last row: completes the output. Not called when the drawing stops early.
    virtual void finish() = 0;
};

// Pixels in one block of rows: 4 MiB of counts, enough rows for every core
// to share at the usual widths.
inline constexpr std::size_t kDeepBlockPixels = std::size_t{1} << 20;

struct DeepPictureOptions {
    std::int64_t base = 0;  // the base count B of deepColourIndex, 0 <= base < limit
    // Threads, cancel and approximation for the engine. Its progress, if set,
    // is told the rows done of the whole picture: while each block is computed
    // (as the engine reports) and after each block is written.
    DeepOptions compute;
    std::size_t blockPixels = kDeepBlockPixels;  // a block is max(1, blockPixels / width) rows
};

struct DeepPictureResult {
    bool completed = false;
    std::int64_t iterations = 0;  // sum of every pixel's count
    double computeMs = 0;         // in the engine, the reference orbit included
    double writeMs = 0;           // colouring and writing the files
    DeepReferenceInfo reference;
    DeepStats stats;
};

// Computes every pixel of drawing's view and writes the rows to every picture
// (colour indices by deepColourIndex with options.base) and every count map,
// then finishes them. completed = false, with nothing finished, when
// cancelled. std::invalid_argument for a base outside 0 .. limit − 1.
// Exceptions from the engine or a sink propagate; the sinks are then left
// unfinished.
DeepPictureResult drawDeepPicture(DeepDrawing& drawing, std::span<PictureSink* const> pictures,
                                  std::span<CountSink* const> countMaps, const DeepPictureOptions& options = {});

}  // namespace mandel
