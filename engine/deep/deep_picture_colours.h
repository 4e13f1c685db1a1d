#pragma once

// A block of a deep drawing's samples turned into the picture's pixels: the
// colour of each sample (the 17 bands of its count, or the smooth colouring
// of its continuous count), and with K × K samples per pixel their average in
// linear light. Sample (Kx, Ky) of a picture drawn K times larger is pixel
// (x, y)'s own point, so its count, flag and continuous count are the
// pixel's, exactly as at K = 1.

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "colour/banding.h"
#include "colour/colouring.h"
#include "deep/deep_view.h"

namespace mandel {

// rows × width samples, row by row, and ν − count of each (empty for
// bands), and their distance and slope (empty unless shaded by distance).
struct SampleRows {
    std::span<const std::int32_t> counts;
    std::span<const float> excess;
    std::span<const float> distance;
    std::span<const float> slope;
    std::size_t width = 0;
    std::size_t rows = 0;
};

// What colours a picture: the colouring (its density resolved), the limit and the bands' base.
struct PictureColouring {
    Colouring colouring;
    std::int64_t limit = 1;
    std::int64_t base = 0;
};

// The view of a picture's samples: K times its width and height (same location).
DeepView sampleView(const DeepView& view, int supersample);

// The largest K from 1 up to `wanted` whose samples of a width × height
// picture stay within the sizes a drawing may have.
int supersampleWithin(int wanted, int width, int height);

// Whether pictures of this colouring hold colour indices into the window's
// 17 colours (bands at one sample per pixel, as the program always wrote
// them) rather than true colour.
bool usesColourIndices(const Colouring& colouring);

// The colours of the block's pixels ((rows/K) × (width/K)) into out.
void colourSamples(const SampleRows& samples, const PictureColouring& colouring, std::vector<Rgb>& out);

// Each pixel's own sample, the first of its K × K, into out.
template <class T>
void pixelSamples(std::span<const T> samples, std::size_t width, std::size_t rows, int k, std::vector<T>& out) {
    const auto step = static_cast<std::size_t>(k);
    out.clear();
    for (std::size_t y = 0; y < rows; y += step)
        for (std::size_t x = 0; x < width; x += step) out.push_back(samples[y * width + x]);
}

}  // namespace mandel
