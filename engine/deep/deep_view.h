#pragma once

// Where a deep drawing looks: decimal texts of any length, kept exactly as the
// user gave them, and the picture's size in pixels.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "region/picture_size.h"

namespace mandel {

inline constexpr std::int64_t kMaxDeepLimit = 2147483647;

// A region of the plane by its minimum corner and side, and an iteration limit.
// The texts are decimals of any length as decimalTextProblem below accepts
// them ("-1.25066101234567890123", "3.5e-120").
struct DeepLocation {
    std::string realMin;     // a
    std::string imagMin;     // b
    std::string side;        // s, > 0
    std::int64_t limit = 0;  // N, 1 .. kMaxDeepLimit

    bool operator==(const DeepLocation&) const = default;
};

// A W × H picture of a location. Pixel (x, y), row 0 at the top, is the point
// (a + x·s/m) + i·(b + y·s/m) in exact arithmetic, m = min(width, height): the
// side spans the shorter edge, and the imaginary part grows downward.
struct DeepView {
    DeepLocation location;
    int width = 0;   // kMinPictureSize .. kMaxPictureSize
    int height = 0;  // kMinPictureSize .. kMaxPictureSize

    bool operator==(const DeepView&) const = default;
};

// The bound on decimal exponents in texts, both the written exponent and the
// power of ten of a non-zero value's leading digit: a typo cannot ask for a
// billion digits, and every accepted value lies well inside MPFR's range.
inline constexpr std::int64_t kMaxDecimalExponent = 100000;

// The longest decimal text taken, in characters: room for a coordinate of a
// view at the smallest side, 1e-100000, written out digit by digit (a sign, a
// digit and a point, the 100,000 digits down to the side, and a hundred more
// for the pixels' fractions). It is checked before anything else is looked
// at, so that a pasted megabyte is refused at once.
inline constexpr std::size_t kMaxDecimalTextLength = 100100;

// The one grammar of decimal texts, for the renderer, the picture fields and
// the explorer alike: an optional sign (+ or -), digits with at most one
// decimal point and at least one digit in all ("7", "-1.25", ".25", "1."),
// then optionally e or E, an optional sign and at least one digit. Nothing
// else: no spaces, no hexadecimal, no "inf" or "nan". "" when text is such a
// decimal of at most kMaxDecimalTextLength characters with its written
// exponent and, unless it is zero, the power of ten of its leading digit
// within ±kMaxDecimalExponent; otherwise the reason ("is longer than 100100
// characters", "has no digits in its exponent", "has a magnitude beyond
// 1e±100000").
std::string decimalTextProblem(std::string_view text);

// "" when the view can be drawn, otherwise one line naming the culprit
// ("side 0 must be > 0", "limit 0 outside 1..2147483647", ...).
std::string deepViewProblem(const DeepView& view);

}  // namespace mandel
