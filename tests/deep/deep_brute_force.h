#pragma once

// The deep drawing's definition, iterated pixel by pixel in MPFR: the counts
// the deep engine must give. Independent of the engine's arithmetic.

#include <cstdint>
#include <vector>

#include "deep/deep_view.h"

namespace mandel::test {

struct BruteForceCounts {
    int precisionBits = 0;               // P; the second pass uses 2P
    std::vector<std::int32_t> counts;    // row-major, the count at P bits
    std::vector<bool> decided;           // the P and 2P counts agree
    int undecided() const;
};

// P: the bits from the coordinates' largest magnitude down to the pixel
// spacing, plus 64.
int bruteForcePrecision(const DeepView& view);

// Every pixel at P and 2P bits (on `threads` threads).
BruteForceCounts bruteForceCounts(const DeepView& view, unsigned threads = 2);

}  // namespace mandel::test
