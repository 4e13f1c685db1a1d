#pragma once

// The exact error of a double product, a·b − p for p = fl(a·b), the heart
// of double-double arithmetic: by one fused multiply-add where the processor
// has the instruction, else by Dekker's split. The two agree wherever a·b is
// far from underflow, and the lanes choose the same way (lane_step-inl.h),
// so that a pixel's steps have the same bits in either.

#include <cmath>

#include "deep/always_inline.h"

namespace mandel {

// 2^27 + 1: Dekker's split of a double into two halves of 26 bits.
inline constexpr double kDekkerSplitter = 134217729.0;

#include "deep/split_product-inl.h"

// Whether this processor has the fused multiply-add instruction. Without
// it std::fma is the C library's emulation, many times dearer than the split.
bool processorFusesMultiplyAdd();

inline double productError(double a, double b, double p) {
    static const bool fused = processorFusesMultiplyAdd();
    return fused ? std::fma(a, b, -p) : splitProductError(a, b, p, kDekkerSplitter);
}

}  // namespace mandel
