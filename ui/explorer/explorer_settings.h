#pragma once

// Where the explorer was when it last closed, kept with QSettings for the
// next `mandelbrot --explore` without values: the location with every digit,
// the limit, the colour base and whether the automatic limit was on.

#include <optional>

#include "explore/explore_location.h"

namespace mandel_ui {

struct ExplorerPlace {
    mandel::ExploreLocation location;
    bool automaticLimit = true;
};

void rememberExplorerPlace(const ExplorerPlace& place);
// The place last remembered, or nothing (none yet, or unreadable).
std::optional<ExplorerPlace> rememberedExplorerPlace();

}  // namespace mandel_ui
