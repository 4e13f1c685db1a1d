#pragma once

// The continuous counts of many escaped pixels at once, in SIMD lanes
// (compiled for each instruction set, chosen at run time). Each lane makes
// smoothExcess's operations in its order, so every result is the scalar
// function's bit for bit.

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "colour/smooth_colouring.h"

namespace mandel {

// Escape points (z_n and c, in double), held column by column for the lanes.
struct EscapePoints {
    std::vector<double> zr, zi, cr, ci;

    void add(double zRe, double zIm, double cRe, double cIm) {
        zr.push_back(zRe);
        zi.push_back(zIm);
        cr.push_back(cRe);
        ci.push_back(cIm);
    }
    std::size_t size() const { return zr.size(); }
    void clear() {
        zr.clear();
        zi.clear();
        cr.clear();
        ci.clear();
    }
};

// out[k] = smoothExcess(points k); out holds points.size() values.
void smoothExcesses(const EscapePoints& points, std::span<double> out);

// out[i] = smoothColour(counts[i], excess[i], limit, gradient, scale) for
// every i (out, counts and excess of one size).
void smoothColours(std::span<const std::int32_t> counts, std::span<const float> excess, std::int64_t limit,
                   const Gradient& gradient, const SmoothScale& scale, std::span<Rgb> out);

}  // namespace mandel
