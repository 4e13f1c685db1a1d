#include "kernel/escape_counts.h"

#include <stdexcept>

#include "kernel/mandel.h"

namespace mandel {

void escapeCountsReference(const ScanPlan& plan, float cmax, std::span<std::int16_t> out) {
    if (out.size() < plan.pointCount()) throw std::length_error("count buffer too small");
    std::size_t i = 0;
    for (const float b : plan.imags)
        for (const float a : plan.reals) out[i++] = mandel(a, b, cmax);
}

}  // namespace mandel
