#pragma once

// The explorer's automatic iteration limit and colour base, chosen after each
// drawing (preview or full picture) from its counts. The whole rule lives
// here; the window only applies its answer.
//
// The rule, in plain words (N is the drawing's limit, "escaped" pixels have a
// count below N, "held" pixels have the count N):
// 1. Nothing escaped: the view is taken for the inside of the set only when a
//    check says so (the centre has an attracting cycle: interior_check.h);
//    then the limit stays. Otherwise the limit is too low to show anything
//    and rises fourfold, up to kBlindRiseCeiling; at the ceiling it stays,
//    and the window says that nothing escaped up to there.
// 2. Raise: when at least 0.2 % of the view's pixels are held pixels that
//    touch (left, right, up or down) an escaped pixel whose count is at least
//    3/4 of N, the limit doubles: the view's boundary is still cut off.
// 3. Lower: otherwise the limit halves as often as each half T keeps the
//    picture: at most 0.2 % of the pixels escape at counts from T to N (they
//    would be held at T), and the counts cut off at T would not make rule 2
//    raise the limit again. The whole set thus comes back at a few hundred,
//    and a limit far above the view's counts comes down to where the bands
//    (which hang from the limit down) reach them. Lowering never undoes
//    itself: rule 2 on the counts at T is checked before T is taken.
// 4. The limit stays within kMinAutoLimit .. kMaxDeepLimit.
// 5. The base B is the escaped count at the 2nd percentile (from below),
//    minus one, kept below the new limit: the 17 bands then spread over the
//    counts the view actually shows instead of over 0 .. N.
// The result depends only on the counts, N and the interior check: the same
// drawing gives the same next limit and base everywhere.

#include <cstdint>
#include <span>

namespace mandel {

inline constexpr std::int64_t kMinAutoLimit = 64;
// Where a view in which nothing escapes, and no check finds inside the set,
// stops raising its limit.
inline constexpr std::int64_t kBlindRiseCeiling = std::int64_t{1} << 24;

// Why the limit is what the rule chose.
enum class LimitReason {
    Kept,               // the counts need no other limit
    RaisedForBoundary,  // rule 2
    RaisedBlind,        // rule 1: nothing escaped, no interior found
    CeilingReached,     // rule 1 at kBlindRiseCeiling: nothing escaped up to there
    Inside,             // rule 1: nothing escaped and the check found the inside
    Lowered,            // rule 3
};

// What a check besides the counts says about a view in which nothing escaped.
enum class InteriorEvidence { None, AttractingCycle };

struct LimitAndBase {
    std::int64_t limit = 0;
    std::int64_t base = 0;
    LimitReason reason = LimitReason::Kept;

    bool operator==(const LimitAndBase&) const = default;
};

// counts: width × height, row-major, each 1 .. limit.
LimitAndBase chooseLimitAndBase(std::span<const std::int32_t> counts, int width, int height, std::int64_t limit,
                                InteriorEvidence evidence = InteriorEvidence::None);

// Whether every pixel is held at the limit (rule 1 applies, and the interior
// check is worth its time).
bool nothingEscaped(std::span<const std::int32_t> counts, std::int64_t limit);

}  // namespace mandel
