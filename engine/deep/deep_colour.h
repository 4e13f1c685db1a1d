#pragma once

// The window's 17 colour bands for counts of any size, spread over the counts
// from a base count B up to the limit N.

#include <cstdint>

namespace mandel {

// Colour index 0..16 into Palette: count N gives 0, an odd count 16; otherwise
// the window's fourteen band tests with the thresholds N − m·(N − B)/16 (the
// window's multipliers m), and 1 below them. base = 0 gives exactly the
// window's cstepcol for every limit the window allows. 0 <= base < limit.
std::uint8_t deepColourIndex(std::int64_t count, std::int64_t limit, std::int64_t base);

}  // namespace mandel
