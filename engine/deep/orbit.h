#pragma once

// One iteration of a reference orbit as the pixels read it, and how each
// number type loads it.

#include <cmath>
#include <cstdint>

#include "deep/error_bound.h"
#include "deep/ext_real.h"
#include "deep/number_ladder.h"

namespace mandel {

// One iteration of the reference, 32 bytes. Value (re + i·im)·2^exponent and
// error bound err·2^errExponent; an exponent is 0 where the value is a plain
// double (from 2^-1000 up), so double arithmetic reads it directly.
struct OrbitPoint {
    double re = 0;
    double im = 0;
    double err = 0;
    std::int32_t exponent = 0;
    std::int32_t errExponent = 0;
};

// The rest of one iteration for double-double arithmetic, in the unit
// 2^exponent of its OrbitPoint: Z − (re, im) of the point, rounded to double,
// and a bound on the distance of that sum from the exact orbit.
struct OrbitLow {
    double re = 0;
    double im = 0;
    double err = 0;
};

// One iteration as the double-precision SIMD lanes read it: Z and its error
// bound as a plain double iteration loads them, and |Z| as it computes it.
struct LanePoint {
    double zr = 0;
    double zi = 0;
    double zErr = 0;
    double zAbs = 0;
};

template <class R>
struct NumberTraits;

template <>
struct NumberTraits<double> {
    // Underflow in a step may lose up to a few 2^-1074 absolutely.
    static double stepAbsoluteError() { return 0x1p-1068; }
    static void load(const OrbitPoint& p, double& zr, double& zi, double& err) {
        zr = p.re;
        zi = p.im;
        err = p.err;
        if (p.exponent != 0) {  // below 2^-1000: subnormal or zero in double
            zr = std::ldexp(p.re, p.exponent);
            zi = std::ldexp(p.im, p.exponent);
            err += 0x1p-1072;
        }
        if (p.errExponent != 0) err = upperDouble(ExtReal(p.err, p.errExponent)) + 0x1p-1072;
    }
    static double lowerDouble(double v) { return v; }
    // |x + iy| from x² + y², also where the squares underflow (then within √2).
    static double magnitude(double x, double y, double squares) {
        return squares >= kSquaresFloor ? std::sqrt(squares) : std::fabs(x) + std::fabs(y);
    }
};

template <>
struct NumberTraits<ExtReal> {
    static ExtReal stepAbsoluteError() { return {}; }
    static void load(const OrbitPoint& p, ExtReal& zr, ExtReal& zi, ExtReal& err) {
        zr = ExtReal(p.re, p.exponent);
        zi = ExtReal(p.im, p.exponent);
        err = ExtReal(p.err, p.errExponent);
    }
    static double lowerDouble(const ExtReal& v) { return v.toDouble(); }
    static ExtReal magnitude(const ExtReal&, const ExtReal&, const ExtReal& squares) { return sqrt(squares); }
};

}  // namespace mandel
