#pragma once

// A drawing's parameters as the window's four scroll bars hold them.

#include <string>

namespace mandel {

// A square region of the complex plane and an iteration limit, as bar
// positions: ten-thousandths of a unit for the real-part minimum, the
// imaginary-part minimum and the side length, iterations for the limit.
struct Region {
    int real = 0;     // Hbar1 -> lbl1
    int imag = 0;     // Hbar2 -> lbl2
    int side = 1;     // Hbar3 -> lbl3
    int limit = 100;  // Hbar4 -> lbl4
    bool operator==(const Region&) const = default;
};

// The region the window shows at start-up: the bars' start values.
inline constexpr Region kStartRegion{-11507, -4793, 5000, 100};

// Bar positions per unit of the plane (real, imag and side).
inline constexpr double kPositionsPerUnit = 10000.0;

// The positions a bar can hold: its minimum at the left end, its maximum at
// the right end.
struct BarRange {
    int minimum;
    int maximum;
    constexpr bool contains(int position) const { return position >= minimum && position <= maximum; }
};

inline constexpr BarRange kRealRange{-20000, 10000};  // -2 to 1
inline constexpr BarRange kImagRange{-30000, 10000};  // -3 to 1
inline constexpr BarRange kSideRange{1, 30000};       // 0.0001 to 3
inline constexpr BarRange kLimitRange{100, 1500};

// The four read-out texts that name a region and its iteration limit.
struct RegionTexts {
    std::string real, imag, side, limit;
    bool operator==(const RegionTexts&) const = default;
};

constexpr bool withinBarRanges(const Region& r) {
    return kRealRange.contains(r.real) && kImagRange.contains(r.imag) && kSideRange.contains(r.side) &&
           kLimitRange.contains(r.limit);
}

}  // namespace mandel
