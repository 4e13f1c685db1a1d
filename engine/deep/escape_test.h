#pragma once

// The escape test under an error bound, and the results an iteration returns
// besides a count.

#include <cstdint>
#include <type_traits>

#include "deep/always_inline.h"
#include "deep/error_bound.h"
#include "deep/orbit.h"

namespace mandel {

#include "deep/perturbation_step-inl.h"

inline constexpr std::int64_t kUndecidedCount = -1;
inline constexpr std::int64_t kCancelledCount = -2;
inline constexpr int kPollInterval = 4096;  // iterations between cancel checks

enum class EscapeTest { Escaped, Stays, Undecided };

// Relative margin of escapeTest for the rounding of the test itself.
inline constexpr double kEscapeTestMargin = 0x1p-46;
// Extended-range values below 2^this (their exponent) are far below 1.
inline constexpr std::int64_t kTinyEscapeExponent = -900;

// Decides |w| > 2 for the exact w, given the computed |w̃| and a bound on
// |w̃ − w| (both in R), with margins for the rounding of the test itself.
template <class R>
EscapeTest escapeTest(const R& wAbs, const R& bound) {
    if constexpr (std::is_same_v<R, ExtReal>) {
        // Both far below 1 (the orbit near 0): it stays, as the doubles below
        // would say, without making them (subnormal or 0 there, and slow).
        if (wAbs.exponent < kTinyEscapeExponent && bound.exponent < kTinyEscapeExponent) return EscapeTest::Stays;
    }
    constexpr double kMargin = kEscapeTestMargin;
    const double low = NumberTraits<R>::lowerDouble(wAbs) * (1 - kMargin);
    const double boundUp = upperDouble(bound);
    const double e = boundUp * (1 + kMargin);
    if (low - e > 2 * (1 + kMargin)) return EscapeTest::Escaped;
    if (staysInside(upperDouble(wAbs), boundUp, 1 + kMargin, 2 * (1 - kMargin))) return EscapeTest::Stays;
    return EscapeTest::Undecided;
}

}  // namespace mandel
