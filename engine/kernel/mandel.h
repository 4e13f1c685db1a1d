#pragma once

namespace mandel {

// Escape count of c = a + i·b: the step i (1..N) at which |z|² first exceeds 4,
// with z starting at c and the test made before each update; N when that never
// happens. N is cmax converted to a 16-bit count. Every operation is one
// single-precision rounding; this is the definition the fast paths reproduce.
short mandel(float a, float b, float cmax);

}  // namespace mandel
