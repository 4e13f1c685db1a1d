#pragma once

#include <stdexcept>
#include <string>

#include "region/region.h"
#include <string_view>

namespace mandel {

// A read-out whose text is not a number in the read-out notation.
class ParseError : public std::invalid_argument {
public:
    explicit ParseError(const std::string& text);
    const std::string& text() const { return text_; }

private:
    std::string text_;
};

// A load that would divide by zero, overflow, or ask for an iteration limit
// that the 16-bit counters cannot hold.
class SettingsError : public std::domain_error {
public:
    using std::domain_error::domain_error;
};

// The text of a read-out as a single: an optional '-', digits, and optionally
// a '.' followed by digits. The result is the float nearest to the decimal
// value (ties to even), converted directly rather than through a double, and
// independent of the process locale. Anything else throws ParseError.
float parseReadout(std::string_view text);

// The width and height of the drawing surface in logical units, whatever its
// size in pixels: the window scales its picture to it, and a load divides the
// side length by it to get the point step.
inline constexpr int kLogicalSize = 500;

// Largest iteration limit the 16-bit step counter can reach without wrapping.
inline constexpr int kMaxIterationLimit = 32766;

// Single-precision value converted to a 16-bit count: nearest whole number,
// ties to even. Throws SettingsError outside -32768..32767.
short toInt16(float value);

// The drawing parameters and the state of the current point, shared by the
// render pass, mandel and cstepcol. All single precision.
struct RenderSettings {
    float cmax = 0;   // iteration limit (a whole number)
    float amin = 0;   // real part of the current point
    float bmin = 0;   // imaginary part of the current row
    float side = 0;   // side length of the square region
    float cstep = 0;  // band width, cmax / 16
    float cside = 0;  // distance between neighbouring points, side / width
    float cnow = 0;   // escape count of the current point

    // Fills the settings from the four read-out texts (real-part minimum,
    // imaginary-part minimum, side length, iteration limit, parsed in that
    // order) and the drawing surface's logical width, then derives cside and
    // cstep.
    // Throws ParseError or SettingsError; on a throw the fields already
    // assigned keep their new values, the rest their old ones.
    void load(const RegionTexts& region, float logicalWidth);

    // The iteration limit as the 16-bit count that mandel uses.
    short limit() const { return toInt16(cmax); }
};

}  // namespace mandel
