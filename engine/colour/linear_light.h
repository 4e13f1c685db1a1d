#pragma once

// sRGB bytes and linear light, for averaging the samples of a pixel: the
// decoding is the sRGB curve computed with defined operations
// (defined_math.h), the encoding the byte whose linear value is nearest (so
// a byte decoded and encoded again is itself, and both are the same
// everywhere).

#include <cstdint>

#include "colour/banding.h"

namespace mandel {

// The linear light (0..1) of an sRGB channel byte.
double linearOfByte(std::uint8_t byte);

// The sRGB byte whose linear light is nearest to `linear` (clamped to 0..1).
std::uint8_t byteOfLinear(double linear);

// Sums a colour's channels in linear light into sums[0..2].
void addLinear(const Rgb& colour, double sums[3]);

// The colour of channel sums over `samples` samples.
Rgb averageOfLinear(const double sums[3], int samples);

}  // namespace mandel
