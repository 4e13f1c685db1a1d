#pragma once

// The deep drawing's definition, iterated pixel by pixel in MPFR: the counts
// the deep engine must give. Independent of the engine's arithmetic.

#include <cstdint>
#include <utility>
#include <vector>

#include "deep/deep_view.h"

namespace mandel::test {

struct BruteForceCounts {
    int precisionBits = 0;             // P; the second pass uses 2P
    int stride = 1;                    // pixels with x and y multiples of it are computed
    std::vector<std::int32_t> counts;  // row-major, the count at P bits (0 where not computed)
    std::vector<bool> decided;         // computed, and the P and 2P counts agree
    std::pair<int, int> size;          // the view's width and height
    int width() const { return size.first; }
    int height() const { return size.second; }
    int computed() const;
    int undecided() const;  // computed but not decided
};

// P: the bits from the coordinates' largest magnitude down to the pixel
// spacing, plus 64.
int bruteForcePrecision(const DeepView& view);

// The pixels whose x and y are multiples of stride, at P and 2P bits (on
// `threads` threads).
BruteForceCounts bruteForceCounts(const DeepView& view, int stride = 1, unsigned threads = 2);

}  // namespace mandel::test
