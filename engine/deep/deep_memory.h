#pragma once

// What a deep drawing holds in memory at most, known before it starts, and
// the budget it must fit in.

#include <cstdint>
#include <stdexcept>
#include <string>

#include "deep/deep_view.h"

namespace mandel {

// Bytes a drawing of the view may hold at its peak with these choices: the
// reference orbit (32 bytes an iteration, its double-double low parts 24
// more), the approximation table or the SIMD lanes' copy (never both at
// once), and the counts and flags of its pixels.
struct DeepMemoryChoices {
    bool bla = true;
    bool lanes = true;
    int shownPixelBytes = 0;  // further bytes a caller keeps per pixel (a picture, say)
};
std::uint64_t deepMemoryEstimate(const DeepView& view, const DeepMemoryChoices& choices = {});
// The same where the caller knows whether the view iterates in extended range.
std::uint64_t deepMemoryEstimate(const DeepView& view, bool extended, const DeepMemoryChoices& choices);

// Half of the machine's physical memory.
std::uint64_t defaultMemoryBudget();

// "limit 16777216 needs about 2.1 GB, above the budget of 1.0 GB"
std::string memoryProblem(const DeepView& view, std::uint64_t estimate, std::uint64_t budget);

// Thrown by a drawing whose estimate exceeds its budget.
class DeepMemoryError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// "2.1 GB", "340 MB": bytes for a message.
std::string memoryText(std::uint64_t bytes);

}  // namespace mandel
