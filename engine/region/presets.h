#pragma once

#include <array>
#include <string_view>

#include "region/region.h"

namespace mandel {

// A fixed view of the set that one button of the window chooses.
struct Preset {
    std::string_view name;  // the button's caption
    Region region;
};

inline constexpr std::array<Preset, 6> kPresets = {{
    {"sample1", {-7500, -2750, 500, 106}},
    {"sample2", {-18558, -11730, 24232, 100}},  // the widest region
    {"sample3", {-7750, 1070, 100, 180}},       // samples 5 and 4 zoom into it
    {"sample4", {-7717, 1165, 1, 180}},
    {"sample5", {-7720, 1163, 5, 180}},
    {"sample6", {-7612, 664, 13015, 100}},
}};

}  // namespace mandel
