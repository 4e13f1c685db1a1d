#include "deep/double_double_pixel.h"

#include <cmath>

#include "deep/double_double.h"
#include "deep/error_bound.h"
#include "deep/mpfr_value.h"
#include "deep/perturbation.h"

namespace mandel {

namespace {

constexpr int kCoordinateBits = 200;
// Rounding of one step (five double-double operations, each within a few
// 2^-106 of its operands' sizes), relative to |z|² + |c|.
constexpr double kStepRounding = 0x1p-96;

}  // namespace

std::int64_t doubleDoubleCount(const DeepLocation& location, int span, int x, int y, const std::function<bool()>& stop,
                               std::int64_t& iterations) {
    MpfrValue a(kCoordinateBits), b(kCoordinateBits), h(kCoordinateBits), cr(kCoordinateBits), ci(kCoordinateBits);
    setDecimal(a.get(), location.realMin);
    setDecimal(b.get(), location.imagMin);
    setDecimal(h.get(), location.side);
    mpfr_div_si(h.get(), h.get(), span, MPFR_RNDN);
    mpfr_mul_si(cr.get(), h.get(), x, MPFR_RNDN);
    mpfr_add(cr.get(), cr.get(), a.get(), MPFR_RNDN);
    mpfr_mul_si(ci.get(), h.get(), y, MPFR_RNDN);
    mpfr_add(ci.get(), ci.get(), b.get(), MPFR_RNDN);
    const DoubleDouble c_re = toDoubleDouble(cr.get()), c_im = toDoubleDouble(ci.get());
    const double cAbs = magnitudeUp(c_re, c_im);
    // MPFR's rounding of the coordinates (far below) and the rounding to
    // double-double (2^-106 of each part).
    const double inputs = std::fabs(mpfr_get_d(a.get(), MPFR_RNDN)) + std::fabs(mpfr_get_d(b.get(), MPFR_RNDN)) +
                          (x + y + 2) * std::fabs(mpfr_get_d(h.get(), MPFR_RNDN));
    const double cErr = roundUp(0x1p-103 * (cAbs + inputs) + 0x1p-1000);
    DoubleDouble zr = c_re, zi = c_im;
    double e = cErr;
    for (std::int64_t i = 1;; ++i) {
        const double zAbs = magnitudeUp(zr, zi);
        const EscapeTest test = escapeTest(zAbs, e);
        if (test == EscapeTest::Escaped) return i;
        if (test == EscapeTest::Undecided) return kUndecidedCount;
        if (i == location.limit) return location.limit;
        if (i % kPollInterval == 0 && stop()) return kCancelledCount;
        const DoubleDouble sr = zr * zr, si = zi * zi, t = zr * zi;
        zr = (sr + -si) + c_re;
        zi = (t + t) + c_im;
        e = roundUp(e * (2 * zAbs + e) + cErr + kStepRounding * (zAbs * zAbs + cAbs));
        ++iterations;
    }
}

}  // namespace mandel
