#pragma once

// The explorer's location: a centre and a side in exact decimals, an
// iteration limit and a base count for the colours; its conversions to and
// from the main window's read-outs, the deep engine's view, and texts.
//
// Digits: a location keeps every digit it was given (typed, pasted, opened
// or on the command line). The digits a gesture creates lie on a decimal grid
// set by the side, the quantum 10^q with q = (power of ten of the side's
// leading digit) − 20: a gesture's side keeps 21 significant digits and its
// move of the centre as many as the depth needs (about 20 below the side),
// so texts grow with depth and no further. Every rounding onto the grid is
// to nearest, ties to the even multiple.

#include <cstdint>
#include <string>
#include <string_view>

#include "deep/deep_view.h"
#include "explore/exact_decimal.h"

namespace mandel {

inline constexpr int kDigitsBelowSide = 20;

struct ExploreLocation {
    Decimal centreReal;
    Decimal centreImag;
    Decimal side;            // > 0; spans the shorter edge of the view
    std::int64_t limit = 0;  // 1 .. kMaxDeepLimit
    std::int64_t base = 0;   // colour base count B, 0 <= B < limit

    bool operator==(const ExploreLocation&) const = default;
};

// The exponent q of the grid 10^q that a location with this side lives on.
std::int64_t locationQuantumExponent(const Decimal& side);

// The result of reading texts: a location, or the reason there is none.
struct LocationReading {
    bool ok = false;
    ExploreLocation location;
    int width = 0;  // from "--size WxH" of a pasted line, else 0
    int height = 0;
    std::string problem;  // one line naming the bad text, when !ok
};

// From the main window's four read-outs (real minimum, imaginary minimum,
// side, limit): centre = minimum + side/2, exactly. Base 0.
LocationReading locationFromReadouts(std::string_view realMin, std::string_view imagMin, std::string_view side,
                                     std::string_view limit);

// The deep engine's W × H view of the location: spacing side/min(W, H); the
// minimum corner is centre − (W/2, H/2)·spacing, every digit of the centre
// kept: half the side exactly along the shorter edge, the longer edge's half
// rounded onto the location's grid (at least 15 digits below the spacing at
// 32000 pixels); the side is passed unchanged.
// Deterministic: the same location and size give the same texts, and the
// corner reads back (parseLocationLine, locationFromView) as the location.
DeepView toDeepView(const ExploreLocation& location, int width, int height);

// The texts shown in the explorer: centre real and imaginary in plain
// notation, the side in scientific notation, the limit in digits.
struct LocationTexts {
    std::string centreReal;
    std::string centreImag;
    std::string side;
    std::string limit;
};
LocationTexts displayTexts(const ExploreLocation& location);

// Reads edited display texts; the base is taken from `base` (clamped below
// the new limit). Any bad text gives !ok and the reason; nothing is guessed.
LocationReading parseEditedTexts(const LocationTexts& texts, std::int64_t base);

// The clipboard form: the renderer's arguments for this picture,
//   --deep --size WxH [--base B] REAL_MIN IMAG_MIN SIDE LIMIT
// with the corner and side of toDeepView (--base only when B > 0).
std::string clipboardText(const ExploreLocation& location, int width, int height);

// The location a W × H view shows (a picture's recorded view, say): its
// centre is the corner plus half the view (as toDeepView halves it, the
// corner's digits kept), as for a pasted line; with the colour base given.
LocationReading locationFromView(const DeepView& view, std::int64_t base);

// Reads a pasted line: the clipboard form above (options in any order, each
// at most once), or a plain "REAL_MIN IMAG_MIN SIDE LIMIT" (a square, the
// main window's read-outs). The centre is the corner plus half the view
// (as toDeepView halves it, the corner's digits kept). Surrounding spaces
// are ignored; anything else bad gives !ok and the reason. "--size S" is
// S × S, as the renderer takes it.
LocationReading parseLocationLine(std::string_view line);

}  // namespace mandel
