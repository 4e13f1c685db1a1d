#pragma once

// A pixel's count in exact rational arithmetic, for the points whose orbit
// escapes or repeats within a few iterations but which binary numbers cannot
// hold: ±i, 1 or −2i given by decimal texts such as -2 -2 4 at 24 pixels.
// Any precision leaves such a point's |z| = 2 or its repelling cycle
// undecided; the rational orbit decides it exactly, as long as its numbers
// stay small.

#include <cstddef>
#include <cstdint>

#include "deep/deep_view.h"

namespace mandel {

// Pixel (x, y) of the location, the side spanning `span` pixels: its count
// (escaped, or the limit where the orbit repeats), or kUndecidedCount when
// neither happens within maxIterations or before the numbers reach maxBits.
std::int64_t rationalPixelCount(const DeepLocation& location, int span, int x, int y, int maxIterations,
                                std::size_t maxBits);

// A few dozen iterations of numbers up to 16,384 bits cost well under a
// millisecond and decide every such point seen in practice.
inline constexpr int kRationalIterations = 64;
inline constexpr std::size_t kRationalBits = std::size_t{1} << 14;

}  // namespace mandel
