#pragma once

// The fixed-point lanes' step (eight orbits z ← z² + c side by side, the
// settling's last stage) timed alone on one thread at a few precisions.

#include <vector>

struct FixedPointStepTime {
    long fraction = 0;  // bits after the point
    long limbs = 0;     // the lanes' 52-bit limbs
    double ns = 0;      // median time of one step of all eight lanes
};

// Empty where the processor lacks the lanes' instructions.
std::vector<FixedPointStepTime> fixedPointStepTimes();
