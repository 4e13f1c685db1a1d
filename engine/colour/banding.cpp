#include "colour/banding.h"

#include <cmath>

namespace mandel {

namespace {

// Band multipliers for the indices 15 down to 2. The whole ones are computed
// in single precision, the others in double.
struct Multiplier {
    double value;
    bool whole;
};

constexpr std::array<Multiplier, 14> kMultipliers = {{
    {0.1, false},
    {0.3, false},
    {0.5, false},
    {1, true},
    {2, true},
    {3.6, false},
    {6.6, false},
    {8.1, false},
    {10.3, false},
    {12, true},
    {13.1, false},
    {13.8, false},
    {14.5, false},
    {15, true},
}};

constexpr int bandIndexOf(std::size_t multiplierPosition) { return 15 - static_cast<int>(multiplierPosition); }

// cmax − m × cstep in the multiplier's precision, widened to double.
double lowerBound(const Multiplier& m, float cmax, float cstep) {
    if (m.whole) {
        const float product = static_cast<float>(static_cast<int>(m.value)) * cstep;
        return static_cast<double>(cmax - product);
    }
    return static_cast<double>(cmax) - m.value * static_cast<double>(cstep);
}

bool isOdd(float c) { return std::fmod(c, 2.0f) == 1.0f; }

}  // namespace

short cstepcol(float c, float cmax, float cstep) {
    if (c == cmax) return 0;
    if (isOdd(c)) return 16;
    double upper = static_cast<double>(cmax);
    for (std::size_t i = 0; i < kMultipliers.size(); ++i) {
        const double lower = lowerBound(kMultipliers[i], cmax, cstep);
        const double count = static_cast<double>(c);
        if (lower <= count && count < upper) return static_cast<short>(bandIndexOf(i));
        upper = lower;
    }
    return 1;
}

BandThresholds::BandThresholds(float cmax, float cstep) : cmax_(cmax) {
    for (std::size_t i = 0; i < kMultipliers.size(); ++i)
        lower_[bandIndexOf(i)] = lowerBound(kMultipliers[i], cmax, cstep);
}

short BandThresholds::classify(float c) const {
    if (c == cmax_) return 0;
    if (isOdd(c)) return 16;
    const double count = static_cast<double>(c);
    double upper = static_cast<double>(cmax_);
    for (int k = 15; k >= 2; --k) {
        if (lower_[k] <= count && count < upper) return static_cast<short>(k);
        upper = lower_[k];
    }
    return 1;
}

std::vector<std::uint32_t> colourTableByCount(float cmax, float cstep, short limit) {
    const BandThresholds bands(cmax, cstep);
    std::vector<std::uint32_t> table(static_cast<std::size_t>(limit < 0 ? 0 : limit) + 1);
    for (std::size_t count = 0; count < table.size(); ++count)
        table[count] = packColour(Palette[bands.classify(static_cast<float>(count))]);
    return table;
}

}  // namespace mandel
