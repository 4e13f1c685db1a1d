#include "explore/auto_limit.h"

#include <algorithm>
#include <vector>

#include "deep/deep_view.h"

namespace mandel {
namespace {

// A held pixel next to an escape this late is cut off by the limit.
constexpr std::int64_t kLateEscapeQuarters = 3;
// Held boundary pixels per thousand pixels that make the limit rise.
constexpr std::int64_t kRisePerThousand = 2;
// Pixels per thousand that a lower limit may turn from escaped to held.
constexpr std::int64_t kLowerChangesPerThousand = 2;
constexpr int kBasePercentile = 2;

// Held pixels (count >= limit) with a 4-neighbour that escaped at a count >=
// 3/4 of the limit, of the counts cut off at `limit`.
std::int64_t heldNextToLateEscapes(std::span<const std::int32_t> counts, int width, int height, std::int64_t limit) {
    auto lateEscape = [&](int x, int y) {
        if (x < 0 || y < 0 || x >= width || y >= height) return false;
        const std::int64_t c = counts[static_cast<std::size_t>(y) * width + x];
        return c < limit && 4 * c >= kLateEscapeQuarters * limit;
    };
    std::int64_t held = 0;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            if (counts[static_cast<std::size_t>(y) * width + x] >= limit &&
                (lateEscape(x - 1, y) || lateEscape(x + 1, y) || lateEscape(x, y - 1) || lateEscape(x, y + 1)))
                ++held;
    return held;
}

bool cutOffBoundary(std::span<const std::int32_t> counts, int width, int height, std::int64_t limit) {
    const auto pixels = static_cast<std::int64_t>(counts.size());
    return 1000 * heldNextToLateEscapes(counts, width, height, limit) >= kRisePerThousand * pixels;
}

// The lowest of N/2, N/4, … (each taken only if the one above it was) at
// which the picture stays (rule 3), or N.
std::int64_t loweredLimit(std::span<const std::int32_t> counts, int width, int height, std::int64_t limit) {
    const auto pixels = static_cast<std::int64_t>(counts.size());
    std::vector<std::int32_t> escaped;
    for (std::int32_t c : counts)
        if (c < limit) escaped.push_back(c);
    std::sort(escaped.begin(), escaped.end());
    std::int64_t chosen = limit;
    for (std::int64_t lower = limit / 2; lower >= kMinAutoLimit; lower /= 2) {
        const auto firstCut = std::lower_bound(escaped.begin(), escaped.end(), lower);
        const auto changed = static_cast<std::int64_t>(escaped.end() - firstCut);
        if (1000 * changed > kLowerChangesPerThousand * pixels) break;
        if (cutOffBoundary(counts, width, height, lower)) break;
        chosen = lower;
    }
    return chosen;
}

LimitAndBase nextLimit(std::span<const std::int32_t> counts, int width, int height, std::int64_t limit,
                       InteriorEvidence evidence) {
    if (nothingEscaped(counts, limit)) {
        if (evidence == InteriorEvidence::AttractingCycle) return {limit, 0, LimitReason::Inside};
        if (limit >= kBlindRiseCeiling) return {limit, 0, LimitReason::CeilingReached};
        return {std::min(limit * 4, kBlindRiseCeiling), 0, LimitReason::RaisedBlind};
    }
    if (cutOffBoundary(counts, width, height, limit)) return {limit * 2, 0, LimitReason::RaisedForBoundary};
    const std::int64_t lowered = loweredLimit(counts, width, height, limit);
    if (lowered < limit) return {lowered, 0, LimitReason::Lowered};
    return {limit, 0, LimitReason::Kept};
}

}  // namespace

bool nothingEscaped(std::span<const std::int32_t> counts, std::int64_t limit) {
    return std::all_of(counts.begin(), counts.end(), [limit](std::int32_t c) { return c >= limit; });
}

LimitAndBase chooseLimitAndBase(std::span<const std::int32_t> counts, int width, int height, std::int64_t limit,
                                InteriorEvidence evidence) {
    LimitAndBase result = nextLimit(counts, width, height, limit, evidence);
    result.limit = std::clamp(result.limit, kMinAutoLimit, kMaxDeepLimit);
    // The base from the counts as the new limit shows them.
    const std::int64_t shown = std::min(limit, result.limit);
    std::vector<std::int32_t> escaped;
    for (std::int32_t c : counts)
        if (c < shown) escaped.push_back(c);
    if (!escaped.empty()) {
        const std::size_t rank = (escaped.size() - 1) * kBasePercentile / 100;
        std::nth_element(escaped.begin(), escaped.begin() + static_cast<std::ptrdiff_t>(rank), escaped.end());
        result.base = std::clamp<std::int64_t>(escaped[rank] - 1, 0, result.limit - 1);
    }
    return result;
}

}  // namespace mandel
