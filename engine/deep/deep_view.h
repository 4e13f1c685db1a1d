#pragma once

// Where a deep drawing looks: decimal texts of any length, kept exactly as the
// user gave them, and the picture's size in pixels.

#include <cstdint>
#include <string>
#include <string_view>

#include "region/picture_size.h"

namespace mandel {

inline constexpr std::int64_t kMaxDeepLimit = 2147483647;
inline constexpr int kMinDeepSize = kMinPictureSize;
inline constexpr int kMaxDeepSize = kMaxPictureSize;

// A region of the plane by its minimum corner and side, and an iteration limit.
// The texts are decimals: optional sign, digits, optional point with decimals,
// optional exponent ("-1.25066101234567890123", "3.5e-120"), of any length.
struct DeepLocation {
    std::string realMin;   // a
    std::string imagMin;   // b
    std::string side;      // s, > 0
    std::int64_t limit = 0;  // N, 1 .. kMaxDeepLimit

    bool operator==(const DeepLocation&) const = default;
};

// A W × H picture of a location. Pixel (x, y), row 0 at the top, is the point
// (a + x·s/m) + i·(b + y·s/m) in exact arithmetic, m = min(width, height): the
// side spans the shorter edge, and the imaginary part grows downward.
struct DeepView {
    DeepLocation location;
    int width = 0;   // kMinDeepSize .. kMaxDeepSize
    int height = 0;  // kMinDeepSize .. kMaxDeepSize

    bool operator==(const DeepView&) const = default;
};

// "" when text is a decimal as above, otherwise the reason it is not. A
// non-zero value beyond 1e±100000000 is refused too: MPFR's exponent range
// ends near 1e±323000000, where it would turn into 0 or infinity.
std::string decimalTextProblem(std::string_view text);

// "" when the view can be drawn, otherwise one line naming the culprit
// ("side 0 must be > 0", "limit 0 outside 1..2147483647", ...).
std::string deepViewProblem(const DeepView& view);

}  // namespace mandel
