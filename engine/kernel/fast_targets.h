#pragma once

// The instruction sets the fast path was compiled for, and a way to restrict
// it to one of them (for tests and benchmarks: every variant must give the
// same counts).

#include <cstdint>
#include <string>
#include <vector>

namespace mandel {

struct SimdTarget {
    std::int64_t id;   // Highway's target bit
    std::string name;  // e.g. "AVX2", "SSE4", "NEON", "EMU128"
};

// Targets compiled into the fast kernel that this processor can run, best first.
std::vector<SimdTarget> availableSimdTargets();

// Name of the target the fast path uses now.
std::string activeSimdTarget();

// While it exists, the fast path behaves as if the processor supported only
// `target` (one of availableSimdTargets()). Not for use while another thread
// is inside escapeCountsFast.
class ForcedSimdTarget {
public:
    explicit ForcedSimdTarget(const SimdTarget& target);
    ~ForcedSimdTarget();
    ForcedSimdTarget(const ForcedSimdTarget&) = delete;
    ForcedSimdTarget& operator=(const ForcedSimdTarget&) = delete;
};

}  // namespace mandel
