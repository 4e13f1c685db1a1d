#pragma once

// The derivative dz/dc of a pixel's orbit, carried along its iteration for
// the distance estimate: (re, im)·2^scale in doubles, brought back below
// 2^300 by a power of two (exact) whenever it grows past it, so that it
// never overflows (it grows as 1/distance, beyond double's range at depth)
// and costs no more than a double at each step. It is not raised when small:
// a small derivative means a pixel far from the set, where its last digits
// do not matter. The SIMD lanes make the plain step with the same operations
// (perturbation_lanes.h).

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "deep/ext_real.h"

namespace mandel {

struct ScaledDerivative {
    // Read them; change them through the steps or assign (which keep unit()).
    double re = 1;  // z_1 = c: dz/dc = 1
    double im = 0;
    std::int64_t scale = 0;

    // D ← 2w·D + 1: a plain step from z = w. At a scale of 0 or more the 1
    // adds as unit() (add's operations, without its ldexp at every step).
    void step(double wr, double wi) {
        const double nr = 2 * (wr * re - wi * im);
        const double ni = 2 * (wr * im + wi * re);
        re = nr;
        im = ni;
        if (scale >= 0) {
            re = re + unit_;
            im = im + 0.0;
        } else {
            add(1.0, 0.0, 0);
        }
        normalise();
    }

    // D ← A·D + B: an approximation step, A and B as (re, im)·2^exponent.
    void step(double ar, double ai, std::int64_t aScale, double br, double bi, std::int64_t bScale) {
        const double nr = ar * re - ai * im;
        const double ni = ar * im + ai * re;
        re = nr;
        im = ni;
        scale += aScale;
        add(br, bi, bScale);
        normalise();
        unit_ = shifted(1.0, -scale);
    }

    // Takes (r, i)·2^s, as the SIMD lanes held it.
    void assign(double r, double i, std::int64_t s) {
        re = r;
        im = i;
        scale = s;
        unit_ = shifted(1.0, -scale);
    }

    ExtReal realPart() const { return ExtReal(re, scale); }
    ExtReal imagPart() const { return ExtReal(im, scale); }

private:
    // Values this far below the larger one are lost in its rounding anyway.
    static constexpr std::int64_t kFarBelow = 1100;

public:
    static constexpr double kHigh = 0x1p300;
    // Below this, one plain step (|w| ≤ 2: |D'| ≤ 4|D| + 1) cannot reach kHigh.
    static constexpr double kLaneHigh = 0x1p290;

    // What a plain step adds at this scale: shifted(1, −scale), for scale ≥ 0.
    double unit() const { return unit_; }

private:
    static double shifted(double v, std::int64_t by) {
        return std::ldexp(v, static_cast<int>(std::max(by, -kFarBelow)));
    }

    // Adds (vr, vi)·2^vScale at the larger of the two scales.
    void add(double vr, double vi, std::int64_t vScale) {
        if (vScale > scale) {
            re = shifted(re, scale - vScale);
            im = shifted(im, scale - vScale);
            scale = vScale;
            unit_ = shifted(1.0, -scale);
        } else {
            vr = shifted(vr, vScale - scale);
            vi = shifted(vi, vScale - scale);
        }
        re = re + vr;
        im = im + vi;
    }

    void normalise() {
        const double top = std::max(std::fabs(re), std::fabs(im));
        if (!(top >= kHigh)) return;
        int exponent = 0;
        std::frexp(top, &exponent);
        re = std::ldexp(re, -exponent);
        im = std::ldexp(im, -exponent);
        scale += exponent;
        unit_ = shifted(1.0, -scale);
    }

    double unit_ = 1;  // shifted(1, −scale)
};

// A pair of numbers of type R as (re, im)·2^exponent in doubles.
inline void scaledPair(double r, double i, double& outR, double& outI, std::int64_t& exponent) {
    outR = r;
    outI = i;
    exponent = 0;
}

inline void scaledPair(const ExtReal& r, const ExtReal& i, double& outR, double& outI, std::int64_t& exponent) {
    exponent = std::max(r.exponent, i.exponent);
    outR = r.exponent - exponent < -1100 ? 0.0 : std::ldexp(r.mantissa, static_cast<int>(r.exponent - exponent));
    outI = i.exponent - exponent < -1100 ? 0.0 : std::ldexp(i.mantissa, static_cast<int>(i.exponent - exponent));
}

}  // namespace mandel
