#include "deep/deep_colour.h"

#include <array>

namespace mandel {

namespace {

// The window's band multipliers for the indices 15 down to 2, in tenths, so
// that every threshold test is exact in integers.
constexpr std::array<std::int64_t, 14> kMultiplierTenths = {1, 3, 5, 10, 20, 36, 66, 81, 103, 120, 131, 138, 145, 150};

}  // namespace

// count >= N − (t/10)·(N − B)/16  <=>  160·(N − count) <= t·(N − B); both
// sides stay below 2^41 for counts and limits of 32 bits.
std::uint8_t deepColourIndex(std::int64_t count, std::int64_t limit, std::int64_t base) {
    if (count == limit) return 0;
    if (count % 2 != 0) return 16;
    const std::int64_t below = 160 * (limit - count);
    const std::int64_t span = limit - base;
    for (std::size_t i = 0; i < kMultiplierTenths.size(); ++i)
        if (below <= kMultiplierTenths[i] * span) return static_cast<std::uint8_t>(15 - i);
    return 1;
}

}  // namespace mandel
