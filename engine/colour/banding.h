#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace mandel {

struct Rgb {
    std::uint8_t red;
    std::uint8_t green;
    std::uint8_t blue;
};

inline constexpr int kColourCount = 17;

// Colour of each colour index 0..16.
inline constexpr std::array<Rgb, kColourCount> Palette = {{
    {0, 10, 10},      // 0: the count reached the limit
    {51, 204, 255},   // 1: lowest sixteenth of the count range
    {51, 153, 255},   // 2
    {102, 102, 255},  // 3
    {116, 10, 245},   // 4
    {117, 1, 203},    // 5
    {179, 51, 255},   // 6
    {234, 2, 253},    // 7
    {254, 37, 189},   // 8
    {255, 27, 51},    // 9
    {255, 102, 0},    // 10
    {255, 153, 0},    // 11
    {255, 204, 0},    // 12
    {255, 255, 51},   // 13
    {204, 255, 153},  // 14
    {153, 255, 255},  // 15
    {187, 197, 193},  // 16: every odd count
}};

// red + 256·green + 65536·blue
constexpr std::uint32_t packColour(Rgb c) { return std::uint32_t{c.red} + 256u * c.green + 65536u * c.blue; }

// Colour index of the escape count c, computing each band's thresholds on the
// spot: cmax first, then odd counts, then the bands 15 down to 2, then 1.
short cstepcol(float c, float cmax, float cstep);

// The same classification with the fourteen thresholds computed once; they
// depend only on cmax and cstep, which stay fixed for a drawing.
class BandThresholds {
public:
    BandThresholds(float cmax, float cstep);
    short classify(float c) const;

private:
    float cmax_;
    // lower_[k] is the lower bound of band k (2..15). Single-precision
    // thresholds are stored widened, which compares exactly as in single.
    std::array<double, 16> lower_{};
};

// Packed colour for every count 0..limit, built once per drawing (entry 0 is
// never used by a drawing; counts start at 1).
std::vector<std::uint32_t> colourTableByCount(float cmax, float cstep, short limit);

}  // namespace mandel
