#pragma once

// The minibrot nearest a point: its period (the first iteration at which a
// disc of points around the point may contain 0, found by carrying the disc's
// radius along the point's orbit), its nucleus (the root of z_p(c) = 0 by
// Newton's method, first by perturbation against the point's orbit, then in
// MPFR to the precision asked) and its size (the linearised scale of the
// minibrot about its nucleus).

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "deep/deep_reference.h"
#include "deep/ext_real.h"
#include "deep/mpfr_value.h"

namespace mandel {

struct MinibrotSearch {
    std::string re;  // the point searched around (decimal text)
    std::string im;
    std::string radius;          // the disc's radius (decimal text, > 0)
    std::int64_t maxPeriod = 0;  // periods above this are not looked for
    // The nucleus is wanted to within the minibrot's size times
    // 2^-precisionBelow.
    int precisionBelow = 32;
};

struct Minibrot {
    std::string re;  // the nucleus, decimal texts with the digits its accuracy carries
    std::string im;
    std::int64_t period = 0;
    ExtReal size;  // the minibrot's size (the scale of its copy of the whole set)
    int bits = 0;  // the binary precision of the nucleus
};

// The minibrot whose period is the first the disc reports, or nothing when
// no period up to maxPeriod is found, Newton's method does not settle on a
// nucleus within a few radii of the point, or *cancel turns true.
std::optional<Minibrot> findMinibrot(const MinibrotSearch& search, const std::atomic<bool>* cancel = nullptr);

// The same around a reference orbit's point, with the nucleus as MPFR numbers.
struct MinibrotNucleus {
    std::unique_ptr<MpfrValue> re;
    std::unique_ptr<MpfrValue> im;
    std::int64_t period = 0;
    ExtReal size;
    ExtReal accuracy;  // ≥ the nucleus's distance from the exact one (estimated)
};
// Confirmed: the nucleus's accuracy is measured (another orbit of a period
// in MPFR). Estimated: an MPFR Newton step that refines what Newton's method
// in double converged to is taken to have squared the distance left, and its
// size is the accuracy given; for a caller that checks the nucleus's orbit
// itself (the drawing's reference, whose orbit comes back near 0 or is
// walked whole).
enum class NucleusCheck { Confirmed, Estimated };
std::optional<MinibrotNucleus> findMinibrotNear(const DeepReference& reference, const ExtReal& radius,
                                                std::int64_t maxPeriod, int precisionBelow,
                                                const std::atomic<bool>* cancel = nullptr,
                                                NucleusCheck check = NucleusCheck::Confirmed);

}  // namespace mandel
