#pragma once

// The explorer's automatic iteration limit and colour base, chosen after each
// drawing from its counts.
//
// The rule, in plain words (N is the drawing's limit, "escaped" pixels have a
// count below N, "held" pixels have the count N):
// 1. Nothing escaped: the limit may simply be too low to see anything, so it
//    rises fourfold, but not past kBlindRiseCeiling (a view inside the set
//    would otherwise make every drawing four times slower than the last).
// 2. Raise: when at least 0.2 % of the view's pixels are held pixels that
//    touch (left, right, up or down) an escaped pixel whose count is at least
//    3/4 of N, the limit doubles: the view's boundary is still being cut off
//    by the limit.
// 3. Lower: otherwise, when the highest escaped count M is below N/4 and the
//    held pixels cost more than half the drawing's iterations (held·N against
//    the sum of all counts) or nothing is held at all, the limit falls to
//    2·M: those iterations changed nothing, and the bands, which hang from
//    the limit down, then reach the counts the view shows. Raising needs
//    escapes above 3N/4, lowering leaves the highest one at N'/2, so the
//    rule does not swing back and forth on one view.
// 4. The limit stays within kMinAutoLimit .. kMaxDeepLimit.
// 5. The base B is the escaped count at the 2nd percentile (from below),
//    minus one, kept below the new limit: the 17 bands then spread over the
//    counts the view actually shows instead of over 0 .. N.
// The result depends only on the counts and N: the same drawing gives the
// same next limit and base everywhere.

#include <cstdint>
#include <span>

namespace mandel {

inline constexpr std::int64_t kMinAutoLimit = 64;
inline constexpr std::int64_t kBlindRiseCeiling = std::int64_t{1} << 20;

struct LimitAndBase {
    std::int64_t limit = 0;
    std::int64_t base = 0;

    bool operator==(const LimitAndBase&) const = default;
};

// counts: width × height, row-major, each 1 .. limit.
LimitAndBase chooseLimitAndBase(std::span<const std::int32_t> counts, int width, int height, std::int64_t limit);

}  // namespace mandel
