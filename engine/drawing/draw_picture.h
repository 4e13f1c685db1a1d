#pragma once

// Draws a picture of any size a block of rows at a time and hands its rows, as colour
// indices into Palette, to the files being written.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "colour/picture_sink.h"
#include "drawing/row_blocks.h"
#include "drawing/picture_scan.h"

namespace mandel {

// Colour index (0..16) of every count 0..limit, as cstepcol gives it.
std::vector<std::uint8_t> colourIndexByCount(float cmax, float cstep, short limit);

struct DrawProgress {
    std::size_t rowsDone = 0;
    std::size_t rowsTotal = 0;
};

struct DrawOptions {
    RowBlockOptions blocks;
    // Called after each block's rows have gone to every sink, on the thread
    // that writes them; returning false stops the drawing.
    std::function<bool(const DrawProgress&)> progress;
};

struct DrawResult {
    bool completed = false;
    long long passIterations = 0;  // sum of the counts of the computed points that the pass draws
    RowBlockTiming timing;         // consume*: colouring, writing and summing
};

// Computes every point of scan.plan and writes the pixels (x, y < size) to
// every sink, then finishes them. Returns completed = false, with no sink
// finished, when progress asked to stop. Exceptions from the computation or a
// sink propagate; the sinks are then left unfinished.
DrawResult drawPicture(const PictureScan& scan, std::span<PictureSink* const> sinks, const DrawOptions& options = {});

}  // namespace mandel
