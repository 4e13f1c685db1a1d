#pragma once

// Where the explorer was when it last closed, kept with QSettings for the
// next `mandelbrot --explore` without values: the location with every digit,
// the limit, the colour base and whether the automatic limit was on; and the
// 配色 menu's choice (colouring, palette, density, offset, anti-aliasing) for
// the next opening of the explorer, wherever it opens.

#include <optional>

#include "colour/colouring.h"
#include "explore/explore_location.h"

namespace mandel_ui {

struct ExplorerPlace {
    mandel::ExploreLocation location;
    bool automaticLimit = true;
};

void rememberExplorerPlace(const ExplorerPlace& place);
// The place last remembered, or nothing (none yet, or unreadable).
std::optional<ExplorerPlace> rememberedExplorerPlace();

// The menu's choice as chosen (an automatic density stays automatic) and the
// exports' K.
struct ExplorerColouring {
    mandel::Colouring choice;
    int exportSupersample = 1;
};

void rememberExplorerColouring(const ExplorerColouring& colouring);
// `fallback` with each value remembered and readable put in (an unreadable
// one, edited by hand, keeps the fallback's).
ExplorerColouring rememberedExplorerColouring(const ExplorerColouring& fallback);

}  // namespace mandel_ui
