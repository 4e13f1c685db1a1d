#include "colour/linear_light.h"

#include <algorithm>
#include <array>

#include "colour/defined_math.h"

namespace mandel {

namespace {

struct LinearTables {
    std::array<double, 256> linear{};
    std::array<double, 255> between{};  // between[b]: midway from byte b to b + 1
};

// v/12.92 up to 0.04045, ((v + 0.055)/1.055)^2.4 above it.
double decode(int byte) {
    const double v = byte / 255.0;
    if (v <= 0.04045) return v / 12.92;
    return definedExp2(2.4 * definedLog2((v + 0.055) / 1.055));
}

const LinearTables& tables() {
    static const LinearTables t = [] {
        LinearTables made;
        for (int b = 0; b < 256; ++b) made.linear[static_cast<std::size_t>(b)] = decode(b);
        for (std::size_t b = 0; b < 255; ++b) made.between[b] = (made.linear[b] + made.linear[b + 1]) / 2;
        return made;
    }();
    return t;
}

}  // namespace

double linearOfByte(std::uint8_t byte) { return tables().linear[byte]; }

std::uint8_t byteOfLinear(double linear) {
    const auto& between = tables().between;
    // The first midpoint above `linear` names the byte; a tie goes up.
    return static_cast<std::uint8_t>(std::upper_bound(between.begin(), between.end(), linear) - between.begin());
}

void addLinear(const Rgb& colour, double sums[3]) {
    sums[0] += linearOfByte(colour.red);
    sums[1] += linearOfByte(colour.green);
    sums[2] += linearOfByte(colour.blue);
}

Rgb averageOfLinear(const double sums[3], int samples) {
    const auto n = static_cast<double>(samples);
    return {byteOfLinear(sums[0] / n), byteOfLinear(sums[1] / n), byteOfLinear(sums[2] / n)};
}

}  // namespace mandel
