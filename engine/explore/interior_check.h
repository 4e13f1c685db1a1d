#pragma once

// Whether a point lies inside the set, for the views in which nothing
// escaped: the point c is inside a hyperbolic component when the iteration
// z ← z² + c has an attracting cycle. The candidate periods are the
// iterations at which |z_n| reaches a new low (the atom domains the point lies
// in); for each, Newton's method finds the cycle's point w with
// f^p(w) = w starting from z_n, and the cycle attracts when its multiplier
// |∏ 2·f^j(w)| is below 1.

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>

namespace mandel {

struct InteriorQuestion {
    std::string re;  // the point, decimal texts
    std::string im;
    // The binary precision of the arithmetic: enough for the view's side
    // (about −log2(side) + 64).
    long bits = 64;
    std::int64_t maxPeriod = 0;  // cycles longer than this are not looked for
};

// The period of the attracting cycle at the point, or nothing when none of
// period up to maxPeriod is found (or *cancel turns true).
std::optional<std::int64_t> attractingCyclePeriod(const InteriorQuestion& question,
                                                  const std::atomic<bool>* cancel = nullptr);

// The binary precision that a view of this side needs for its centre.
long bitsForSide(std::int64_t sideLeadingExponent);

}  // namespace mandel
