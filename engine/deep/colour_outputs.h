#pragma once

// What a drawing hands on besides the counts when asked, for colouring: each
// pixel's continuous count ν − count (colour/smooth_count.h), its distance
// to the set estimated from the derivative dz/dc carried along the orbit (in
// pixels), and the slope shading of that estimate's direction (0..1). NaN
// inside the set. Asking for them changes no count.

#include <span>

namespace mandel {

struct ColourOutputs {
    ColourOutputs() = default;
    ColourOutputs(std::span<float> excessOut, std::span<float> distanceOut = {}, std::span<float> slopeOut = {})
        : excess(excessOut), distance(distanceOut), slope(slopeOut) {}
    std::span<float> excess;
    std::span<float> distance;
    std::span<float> slope;  // given only with distance
    bool any() const { return !excess.empty() || !distance.empty(); }
};

}  // namespace mandel
