#pragma once

// The continuous count ν of an escaped pixel: its orbit continued past the
// escape radius 2 until |z| exceeds a large radius R, at the N-th iterate,
// gives ν = N + 1 − log2(ln|z_N| / ln R), which varies continuously over the
// plane where the integer counts jump. Computed in double with defined
// operations only (defined_math.h), so that ν is the same bytes on every
// instruction set and machine.

#include <cstdint>

namespace mandel {

// The large radius is 2^16: |z|² is compared with 2^32.
inline constexpr double kSmoothRadiusSquared = 0x1p32;
// Iterations the orbit is continued at most past its escape.
inline constexpr int kSmoothMaxSteps = 64;
// With |z_N|² = r: ν = N + 1 − log2(ln r / ln R²) = N + 1 − log2(log2 r / 32)
// = N + 6 − log2(log2 r); this is the 6.
inline constexpr double kSmoothExcessOffset = 6;

// ν − n for a pixel whose certified count is n, given z_n (|z_n| > 2 as the
// engine computed it, in double) and its point c in double. ν − n lies in
// [0, 8) for |z_n| just above 2, and is 0 where z_n is already far out.
double smoothExcess(double zr, double zi, double cr, double ci);

}  // namespace mandel
