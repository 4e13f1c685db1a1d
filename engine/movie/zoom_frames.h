#pragma once

// The frames of a zoom movie from its keyframes' counts: frame f of F sits
// at zoom z = (K − 1)·f/(F − 1) keyframes out from the deepest (a constant
// speed in log scale); it is sampled from keyframe ⌊z⌋, which covers its
// middle with the most detail, and outside that from the next keyframes out.
// In bands both are coloured alike, with a limit and base between theirs
// (geometric and linear in z), so no seam shows where one ends; in the
// smooth colouring every keyframe's pixels have their colours of the zoom's
// colour map (zoom_colours.h), the same in every frame.

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "colour/gradients.h"
#include "movie/zoom_colours.h"

namespace mandel::movie {

struct MovieKeyframe {
    int width = 0, height = 0;
    std::int64_t limit = 0;  // the count of pixels that did not escape
    std::int64_t base = 0;
    std::vector<std::int32_t> counts;  // width × height, row 0 at the top
    std::vector<Rgb> colours;          // in the smooth colouring: each pixel's colour; empty in bands
};

// The counts of a count map written by the renderer (.npy, "<i4", shape
// (height, width)); throws std::runtime_error naming the file otherwise.
std::vector<std::int32_t> readCountMap(const std::string& path, int width, int height);

// The continuous counts of a smooth map written by the renderer (.npy, "<f4",
// shape (height, width), NaN inside); throws std::runtime_error otherwise.
std::vector<float> readSmoothMap(const std::string& path, int width, int height);

// Each pixel's colour in the zoom's colour map on the gradient: inside (a
// count at the keyframe's limit) the gradient's inside colour.
std::vector<Rgb> smoothColours(std::span<const std::int32_t> counts, std::span<const float> nu, std::int64_t limit,
                               const ZoomColourMap& map, const Gradient& gradient);

// The zoom of frame `frame` of `frames`, in keyframes out from keyframe 0.
double frameZoom(int frame, int frames, int keyframes);

// Keyframe k of `count`, loaded on demand (the caller may keep a few).
using KeyframeSource = std::function<const MovieKeyframe&(int k)>;

// The frame at `zoom` as width × height RGB bytes (row 0 at the top).
void composeFrame(const KeyframeSource& keyframe, int count, double zoom, int width, int height,
                  std::vector<std::uint8_t>& rgb);

}  // namespace mandel::movie
