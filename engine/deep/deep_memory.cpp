#include "deep/deep_memory.h"

#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cstdio>

#include "deep/bla_table.h"
#include "deep/deep_geometry.h"
#include "deep/dd_bla_table.h"
#include "deep/deep_reference.h"

namespace mandel {

namespace {

std::uint64_t tableBytesPerIteration(std::int64_t limit, bool extended) {
    // A table whose shortest steps are 2^k iterations long holds about
    // 2^(1−k) steps per iteration (half per level, summed); one whose long
    // steps start at every multiple of 2^s, 2^-s per level beside.
    const auto points = static_cast<std::uint64_t>(limit) + 1;
    const auto levels = static_cast<std::uint64_t>(std::bit_width(points));
    const bool compact = points > kCompactTableLength;
    const int shortest = compact ? kCompactFirstLevel : 1;
    // The extended-range table: every length from every index where that
    // fits, else steps from 2^kRescaledFirstLevel up (as bla_table.cpp builds).
    if (extended && spreadFits(points, 0, kExtendedStepBytes)) return kExtendedStepBytes * levels;
    const std::size_t stepBytes = extended ? kExtendedStepBytes : kDoubleStepBytes;
    const int first = std::max(shortest, extended ? kRescaledFirstLevel : kDoubleFirstLevel);
    const std::uint64_t aligned = stepBytes >> (first - 1);
    return spreadFits(points, first, stepBytes) ? aligned + ((stepBytes * levels) >> first) : aligned;
}

}  // namespace

std::uint64_t deepMemoryEstimate(const DeepView& view, const DeepMemoryChoices& choices) {
    // Below 1e-290 the pixels iterate in rescaled doubles, with an extended-range table.
    return deepMemoryEstimate(view, deepGeometry(view).extended(), choices);
}

std::uint64_t deepMemoryEstimate(const DeepView& view, bool extended, const DeepMemoryChoices& choices) {
    const auto iterations = static_cast<std::uint64_t>(view.location.limit) + 1;
    std::uint64_t perIteration = sizeof(OrbitPoint) + sizeof(OrbitLow);
    const std::uint64_t table = choices.bla ? tableBytesPerIteration(view.location.limit, extended) : 0;
    // The orbit as the SIMD lanes and the rescaled loop read it.
    const std::uint64_t lanes = choices.lanes || extended ? sizeof(LanePoint) : 0;
    perIteration += table + lanes;
    // The double-double stage's two tables, each made when a pixel first needs it.
    if (choices.bla) perIteration += 2 * ((2 * sizeof(DdBlaStep)) >> kDdBlaFirstLevel);
    // Counts, flags and the per-column and per-row offsets and bounds.
    constexpr std::uint64_t kPixelBytes = sizeof(std::int32_t) + 1;
    constexpr std::uint64_t kAxisBytes = 160;
    // The threads' stacks and allocator arenas, MPFR's numbers, the code.
    constexpr std::uint64_t kFixedBytes = std::uint64_t{16} << 20;
    const auto pixels = static_cast<std::uint64_t>(view.width) * static_cast<std::uint64_t>(view.height);
    const auto axes = static_cast<std::uint64_t>(view.width) + static_cast<std::uint64_t>(view.height);
    return iterations * perIteration + pixels * (kPixelBytes + static_cast<std::uint64_t>(choices.shownPixelBytes)) +
           axes * kAxisBytes + kFixedBytes;
}

std::uint64_t defaultMemoryBudget() {
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGE_SIZE);
    if (pages <= 0 || pageSize <= 0) return std::uint64_t{4} << 30;
    return static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(pageSize) / 2;
}

std::string memoryText(std::uint64_t bytes) {
    char text[32];
    const double mb = static_cast<double>(bytes) / 1e6;
    if (mb >= 1000)
        std::snprintf(text, sizeof text, "%.1f GB", mb / 1000);
    else
        std::snprintf(text, sizeof text, "%.0f MB", std::max(mb, 1.0));
    return text;
}

std::string memoryProblem(const DeepView& view, std::uint64_t estimate, std::uint64_t budget) {
    return "limit " + std::to_string(view.location.limit) + " needs about " + memoryText(estimate) +
           ", above the memory budget of " + memoryText(budget);
}

}  // namespace mandel
