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
constexpr int kBasePercentile = 2;

// Held pixels with a 4-neighbour that escaped at a count >= 3/4 of the limit.
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

std::int64_t nextLimit(std::span<const std::int32_t> counts, int width, int height, std::int64_t limit) {
    std::int64_t escaped = 0, highest = 0, total = 0;
    for (std::int32_t c : counts) {
        total += c;
        if (c < limit) {
            ++escaped;
            highest = std::max<std::int64_t>(highest, c);
        }
    }
    const std::int64_t pixels = static_cast<std::int64_t>(counts.size());
    const std::int64_t held = pixels - escaped;
    if (escaped == 0) return std::max(limit, std::min(limit * 4, kBlindRiseCeiling));
    if (1000 * heldNextToLateEscapes(counts, width, height, limit) >= kRisePerThousand * pixels) return limit * 2;
    // With nothing held the limit costs nothing, but it sets the top of the
    // bands: far above the highest count it would leave the view in one band.
    if (4 * highest < limit && (held == 0 || 2 * held * limit > total)) return 2 * highest;
    return limit;
}

}  // namespace

LimitAndBase chooseLimitAndBase(std::span<const std::int32_t> counts, int width, int height, std::int64_t limit) {
    LimitAndBase result;
    result.limit = std::clamp(nextLimit(counts, width, height, limit), kMinAutoLimit, kMaxDeepLimit);
    std::vector<std::int32_t> escaped;
    for (std::int32_t c : counts)
        if (c < limit) escaped.push_back(c);
    if (!escaped.empty()) {
        const std::size_t rank = (escaped.size() - 1) * kBasePercentile / 100;
        std::nth_element(escaped.begin(), escaped.begin() + static_cast<std::ptrdiff_t>(rank), escaped.end());
        result.base = std::clamp<std::int64_t>(escaped[rank] - 1, 0, result.limit - 1);
    }
    return result;
}

}  // namespace mandel
