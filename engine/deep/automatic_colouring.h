#pragma once

// The automatic density of the smooth colouring for a drawing written in
// blocks (whose counts are not all known before the first is written): the
// percentiles are taken from a coarse drawing of the same location first.

#include "colour/colouring.h"
#include "deep/deep_drawing.h"

namespace mandel {

// The longer side of the coarse drawing, in pixels.
inline constexpr int kAutomaticColouringSide = 64;

// The colouring with automaticDensity off and the density and offset that
// automaticScale gives on a coarse drawing of drawing's location (its
// reference reused), the user's offset as the shift. The colouring as it is
// when its density is not automatic; also when cancelled.
Colouring resolvedColouring(DeepDrawing& drawing, const Colouring& colouring, const DeepOptions& options);

}  // namespace mandel
