#pragma once

// One Newton step's orbit in MPFR: z_p(c) and its derivative z_p'(c) over a
// period. Where the process may run on two processors, the orbit (z ← z² + c)
// is made with a second thread's help (orbit_ahead.h) while this thread takes
// the derivative (d ← 2·z·d + 1) from each z_n as it comes, so that the step
// takes the time of the longer chain rather than of both.

#include <atomic>
#include <cstdint>

#include "deep/mpfr_value.h"

namespace mandel {

// z_p and z_p' at c from z_0 = 0, d_0 = 0, into zr, zi, dr, di (of the
// precision they were made with): the same values as one loop gives. Where
// dr and di carry fewer bits than zr, the derivative is taken from z rounded
// to them. False if *cancel turned true (the outputs are then unspecified).
bool newtonOrbit(mpfr_srcptr cr, mpfr_srcptr ci, std::int64_t period, MpfrValue& zr, MpfrValue& zi, MpfrValue& dr,
                 MpfrValue& di, const std::atomic<bool>* cancel);

// newtonOrbit on the calling thread alone.
bool newtonOrbitOnOneThread(mpfr_srcptr cr, mpfr_srcptr ci, std::int64_t period, MpfrValue& zr, MpfrValue& zi,
                            MpfrValue& dr, MpfrValue& di, const std::atomic<bool>* cancel);

}  // namespace mandel
