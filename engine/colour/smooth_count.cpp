#include "colour/smooth_count.h"

#include <algorithm>

#include "colour/defined_math.h"

namespace mandel {

// N counts from n, so the sum starts at 0 (see kSmoothExcessOffset).
double smoothExcess(double zr, double zi, double cr, double ci) {
    double r = zr * zr + zi * zi;
    int steps = 0;
    while (r <= kSmoothRadiusSquared && steps < kSmoothMaxSteps) {
        const double nr = (zr * zr - zi * zi) + cr;
        const double ni = (zr + zr) * zi + ci;
        zr = nr;
        zi = ni;
        r = zr * zr + zi * zi;
        ++steps;
    }
    // An orbit still inside R after every step (a point a rounding away from
    // the set's edge) is placed at the top of its step.
    if (r <= kSmoothRadiusSquared) return steps + 1.0;
    const double excess = static_cast<double>(steps) + (kSmoothExcessOffset - definedLog2(definedLog2(r)));
    return std::max(excess, 0.0);
}

}  // namespace mandel
