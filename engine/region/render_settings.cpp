#include "region/render_settings.h"

#include <cfenv>
#include <charconv>
#include <cmath>
#include <system_error>

namespace mandel {

ParseError::ParseError(const std::string& text)
    : std::invalid_argument("not a number: \"" + text + "\""), text_(text) {}

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Accepts exactly: '-'? digit+ ('.' digit+)?
bool hasReadoutNotation(std::string_view s) {
    std::size_t i = 0;
    if (i < s.size() && s[i] == '-') ++i;
    const std::size_t wholeStart = i;
    while (i < s.size() && isDigit(s[i])) ++i;
    if (i == wholeStart) return false;
    if (i == s.size()) return true;
    if (s[i] != '.') return false;
    ++i;
    const std::size_t fractionStart = i;
    while (i < s.size() && isDigit(s[i])) ++i;
    return i > fractionStart && i == s.size();
}

// side / width and cmax / 16 must give a finite quotient.
float checkedDivide(float dividend, float divisor, const char* what) {
    if (divisor == 0.0f) throw SettingsError(std::string("division by zero while deriving ") + what);
    const float quotient = dividend / divisor;
    if (!std::isfinite(quotient)) throw SettingsError(std::string("overflow while deriving ") + what);
    return quotient;
}

}  // namespace

float parseReadout(std::string_view text) {
    if (!hasReadoutNotation(text)) throw ParseError(std::string(text));
    float value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::fixed);
    // out of float range (e.g. a 50-digit number) is not a usable parameter
    if (ec != std::errc() || end != text.data() + text.size() || !std::isfinite(value))
        throw ParseError(std::string(text));
    return value;
}

short toInt16(float value) {
    const float rounded = std::nearbyint(value);  // default mode: nearest, ties to even
    if (!(rounded >= -32768.0f && rounded <= 32767.0f))
        throw SettingsError("overflow: " + std::to_string(value) + " does not fit a 16-bit count");
    return static_cast<short>(rounded);
}

void RenderSettings::load(const RegionTexts& region, float logicalWidth) {
    amin = parseReadout(region.real);
    bmin = parseReadout(region.imag);
    side = parseReadout(region.side);
    cmax = parseReadout(region.limit);
    const short n = toInt16(cmax);
    if (n < 1 || n > kMaxIterationLimit)
        throw SettingsError("iteration limit " + region.limit + " is outside 1.." + std::to_string(kMaxIterationLimit));
    cside = checkedDivide(side, logicalWidth, "the point step");
    // A positive side whose step underflows to 0 would never finish a row.
    if (side > 0.0f && cside == 0.0f)
        throw SettingsError("side length " + region.side + " is too small to step across");
    cstep = checkedDivide(cmax, 16.0f, "the band width");
}

}  // namespace mandel
