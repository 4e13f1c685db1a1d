#pragma once

// The built-in colour gradients of the smooth colouring, chosen by name. Each
// is cyclic (its last stop runs back into its first) and has the one colour
// the inside of the set is painted in.

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "colour/banding.h"

namespace mandel {

struct Gradient {
    std::string_view name;
    std::vector<Rgb> stops;  // equally spaced around the cycle
    Rgb inside;
};

// Every built-in gradient; the first is the default.
std::span<const Gradient> builtInGradients();

// The gradient of that name, or nullptr.
const Gradient* findGradient(std::string_view name);

// "classic, fire, ocean, bands, grey": the names, for usage texts and errors.
std::string gradientNames();

// The colour at position t (one cycle per unit; any finite t): the stops
// blended linearly, each channel rounded to nearest.
Rgb gradientColour(const Gradient& gradient, double t);

}  // namespace mandel
