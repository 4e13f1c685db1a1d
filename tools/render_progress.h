#pragma once

// How a renderer reports its progress.

#include <cstddef>
#include <functional>

#include "progress_bar.h"

namespace mandel::tool {

// Rows done and rows to do over all the repeats; for the deep drawing first
// the reference orbit's iterations made and its limit.
using RenderProgress = std::function<void(ProgressPhase phase, std::size_t done, std::size_t total)>;

}  // namespace mandel::tool
