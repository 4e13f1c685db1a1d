#pragma once

// The point of one pixel of a location in MPFR: (a + x·s/m) + i·(b + y·s/m),
// m the pixels the side spans, and the escape test of an orbit held in MPFR.

#include <mpfr.h>

#include "deep/deep_view.h"
#include "deep/ext_real.h"
#include "deep/mpfr_value.h"
#include "deep/escape_test.h"

namespace mandel {

// Pixel (x ≥ 0, y ≥ 0) at the precision of re and im, every step rounded in
// the direction `rounding` (downward gives lower bounds of both parts, upward
// upper bounds, since s > 0). Returns true when no step rounded: the point
// is then exact.
bool pixelPoint(const DeepLocation& location, int span, int x, int y, MpfrValue& re, MpfrValue& im,
                mpfr_rnd_t rounding = MPFR_RNDN);

// Decides |z| > 2 for the exact z, given z̃ = (zr, zi) in MPFR and a bound e
// on |z̃ − z|. A quick test in extended range decides whatever lies clearly
// away from 2; the rest is decided in MPFR with directed rounding, so that the
// only margin left is e itself: an exact orbit (e = 0) is decided by the exact
// sign of |z|² − 4.
EscapeTest exactEscapeTest(mpfr_srcptr zr, mpfr_srcptr zi, const ExtReal& e);
// The same where the caller has |z̃| = sqrt(re² + im²) from z̃'s parts in the
// extended range (toExtReal) already.
EscapeTest exactEscapeTest(mpfr_srcptr zr, mpfr_srcptr zi, const ExtReal& magnitude, const ExtReal& e);

}  // namespace mandel
