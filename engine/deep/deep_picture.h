#pragma once

// A deep drawing of any size into files: blocks of rows are computed one
// after the other (memory does not grow with width × height), and each
// block's counts go to the picture files as colour indices (or colours) and
// to the count maps as they are, whether each count is certified to the flag
// maps, and the continuous counts to the smooth maps.

#include <cstddef>
#include <cstdint>
#include <span>

#include "deep/deep_drawing.h"
#include "colour/colouring.h"
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

// Receives, row by row like the counts, whether each pixel's count is
// certified: 1 where it is that of exact arithmetic, 0 where the precision cap
// (DeepOptions::maxBits) left it undecided.
class FlagSink {
public:
    virtual ~FlagSink() = default;
    // `rows` rows of `width` flags each, continuing below the previous call's.
    virtual void writeFlags(std::span<const std::uint8_t> flags, std::size_t rows) = 0;
    // After the last row: completes the output. Not called when the drawing stops early.
    virtual void finish() = 0;
};

// Receives, row by row like the counts, a float for each pixel: its
// continuous count ν (colour/smooth_count.h) or its distance to the set in
// pixels, NaN inside the set.
class FloatMapSink {
public:
    virtual ~FloatMapSink() = default;
    virtual void writeValues(std::span<const float> values, std::size_t rows) = 0;
    virtual void finish() = 0;
};

// Pixels in one block of rows: 4 MiB of counts, enough rows for every core
// to share at the usual widths.
inline constexpr std::size_t kDeepBlockPixels = std::size_t{1} << 20;

struct DeepPictureOptions {
    std::int64_t base = 0;  // the base count B of deepColourIndex, 0 <= base < limit
    // The pictures' colouring. With K = colouring.supersample above 1 the
    // drawing is of the samples (K times the picture's width and height).
    // An automatic density is chosen first (automatic_colouring.h).
    Colouring colouring = {};
    // Threads, cancel and approximation for the engine. Its progress, if set,
    // is told the rows done of the whole picture: while each block is computed
    // (as the engine reports) and after each block is written.
    DeepOptions compute;
    std::size_t blockPixels = kDeepBlockPixels;  // a block is max(1, blockPixels / width) rows
};

struct DeepPictureResult {
    bool completed = false;
    std::int64_t iterations = 0;  // sum of every pixel's count
    // Pixels whose count the precision cap left undecided (their count is
    // the best the cap allowed); 0 when every count is certified.
    std::int64_t uncertifiedPixels = 0;
    double computeMs = 0;  // in the engine, the reference orbit included
    double writeMs = 0;    // colouring and writing the files
    DeepReferenceInfo reference;
    DeepStats stats;
};

// Computes every sample of drawing's view and writes the pixels' rows to
// every picture (colour indices by deepColourIndex with options.base for the
// bands at one sample, colours otherwise: deep_picture_colours.h), every count
// map, flag map, smooth map and distance map (each pixel's own sample), then gives each
// picture the number of uncertified samples as
// the closing text field picture_text::kUncertifiedPixels and finishes them
// all. completed = false, with nothing finished, when cancelled.
// std::invalid_argument for a base outside 0 .. limit − 1. Exceptions from the
// engine or a sink propagate; the sinks are then left unfinished.
DeepPictureResult drawDeepPicture(DeepDrawing& drawing, std::span<PictureSink* const> pictures,
                                  std::span<CountSink* const> countMaps, const DeepPictureOptions& options = {},
                                  std::span<FlagSink* const> flagMaps = {},
                                  std::span<FloatMapSink* const> smoothMaps = {},
                                  std::span<FloatMapSink* const> distanceMaps = {});

}  // namespace mandel
