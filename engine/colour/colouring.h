#pragma once

// How a deep picture is coloured: the 17 bands of the counts (with their base
// count, kept beside), or the smooth colouring of the continuous counts on a
// gradient. Its texts are the renderer's options, which the explorer's
// clipboard line and the PNG fields write the same way.

#include <optional>
#include <string>
#include <string_view>

#include "colour/smooth_colouring.h"

namespace mandel {

// Distance: the smooth colouring shaded by the distance estimate (dark at
// the boundary of the set) and by its slope (lit from the upper left).
enum class ColouringMode { Bands, Smooth, Distance };

struct Colouring {
    ColouringMode mode = ColouringMode::Bands;
    std::string palette = "classic";  // a gradient's name (gradients.h)
    bool automaticDensity = true;     // density and offset from the view's counts
    // With automaticDensity, scale.offset is the user's shift of the
    // automatic offset, and scale.density is chosen when the counts are known.
    SmoothScale scale;
    int supersample = 1;  // K: K × K samples per pixel
};

inline constexpr int kMaxSupersample = 8;
// Densities above this put many cycles in one count: noise, refused.
inline constexpr double kMaxDensity = 1e6;

// "bands", "smooth", "distance"; "linear", "log".
std::string_view colouringModeName(ColouringMode mode);
std::optional<ColouringMode> parseColouringMode(std::string_view text);
std::string_view densityScaleName(DensityScale scale);
std::optional<DensityScale> parseDensityScale(std::string_view text);

// A finite decimal number (as strtod reads it, the whole text); nullopt otherwise.
std::optional<double> parseFiniteNumber(std::string_view text);
// A density: a finite number above 0 up to kMaxDensity.
std::optional<double> parseDensity(std::string_view text);

// The shortest text that reads back as exactly this double.
std::string exactNumberText(double value);

// Smooth and distance colour the continuous counts on a gradient.
bool usesGradient(const Colouring& colouring);

// Whether `option` is one of the colouring's options (each takes a value):
// --colouring, --palette, --density (a number or "auto"), --density-scale,
// --offset, --supersample.
bool isColouringOption(std::string_view option);

// Sets the option's value in `colouring`; returns "" or the problem in one
// line naming the option and its bounds.
std::string applyColouringOption(Colouring& colouring, std::string_view option, std::string_view value);

// Reads text as colouringArguments writes it (options and values separated by
// single spaces); sets problem and returns nullopt for anything else.
std::optional<Colouring> parseColouringArguments(std::string_view text, std::string& problem);

// The renderer's options for a colouring whose density is resolved:
// "--colouring bands", or "--colouring smooth|distance --palette P --density
// D --density-scale S --offset O"; then " --supersample K" when K > 1.
std::string colouringArguments(const Colouring& colouring);

}  // namespace mandel
