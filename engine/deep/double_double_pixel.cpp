#include "deep/double_double_pixel.h"

#include <cmath>

#include "deep/direct_double_double.h"
#include "deep/double_double.h"
#include "deep/error_bound.h"
#include "deep/mpfr_value.h"
#include "deep/perturbation.h"

namespace mandel {

namespace {

constexpr int kCoordinateBits = 200;

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
    DirectDdPoint c;
    c.cr = toDoubleDouble(cr.get());
    c.ci = toDoubleDouble(ci.get());
    c.cAbs = magnitudeUp(c.cr, c.ci);
    // MPFR's rounding of the coordinates (far below) and the rounding to
    // double-double (2^-106 of each part).
    const double inputs = std::fabs(mpfr_get_d(a.get(), MPFR_RNDN)) + std::fabs(mpfr_get_d(b.get(), MPFR_RNDN)) +
                          (x + y + 2) * std::fabs(mpfr_get_d(h.get(), MPFR_RNDN));
    c.cErr = roundUp(0x1p-103 * (c.cAbs + inputs) + 0x1p-1000);
    DirectDdState s = directDdStart(c);
    return directDdCount(c, location.limit, s, stop, iterations);
}

}  // namespace mandel
