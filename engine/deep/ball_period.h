#pragma once

// A disc of points around a reference point C carried along C's orbit, to
// first order: after n iterations it lies within radius·|dZ_n/dC| of Z_n, so
// it may hold 0 where |Z_n| < radius·|dZ_n/dC|. The first such n is the
// period of the lowest-period minibrot the disc may reach. Fed the orbit's
// points one at a time, so that a walk can stop there.

#include "deep/ext_real.h"
#include "deep/orbit.h"

namespace mandel {

class BallPeriodScan {
public:
    explicit BallPeriodScan(const ExtReal& radius) : radius_(radius) {}

    // Z_n after Z_{n−1} (stored points): whether the disc may hold 0 at n.
    bool holdsZero(const OrbitPoint& previous, const OrbitPoint& current);

private:
    ExtReal radius_;
    ExtReal derivativeRe_, derivativeIm_;  // dZ_n/dC
};

}  // namespace mandel
