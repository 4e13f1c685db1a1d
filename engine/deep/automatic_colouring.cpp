#include "deep/automatic_colouring.h"

#include <algorithm>
#include <vector>

namespace mandel {

namespace {

// The coarse view: about kAutomaticColouringSide on the longer side, in the
// view's shape, no smaller than a drawing may be.
DeepView coarseView(const DeepView& view) {
    DeepView coarse = view;
    const int longer = std::max(view.width, view.height);
    if (longer <= kAutomaticColouringSide) return coarse;
    auto scaled = [longer](int side) {
        return std::max(kMinPictureSize,
                        static_cast<int>(static_cast<std::int64_t>(side) * kAutomaticColouringSide / longer));
    };
    coarse.width = scaled(view.width);
    coarse.height = scaled(view.height);
    return coarse;
}

}  // namespace

Colouring resolvedColouring(DeepDrawing& drawing, const Colouring& colouring, const DeepOptions& options) {
    if (!usesGradient(colouring) || !colouring.automaticDensity) return colouring;
    if (!drawing.prepare(options)) return colouring;
    const DeepView view = coarseView(drawing.view());
    DeepDrawing coarse(view, drawing.reference());
    const std::size_t pixels = static_cast<std::size_t>(view.width) * static_cast<std::size_t>(view.height);
    std::vector<std::int32_t> counts(pixels);
    std::vector<float> excess(pixels);
    DeepOptions quiet = options;
    quiet.progress = nullptr;
    if (!coarse.computeRows(0, view.height, counts, quiet, {}, std::span<float>(excess))) return colouring;
    Colouring resolved = colouring;
    resolved.automaticDensity = false;
    resolved.scale = automaticScale(counts, excess, view.location.limit, colouring.scale.scale, colouring.scale.offset);
    return resolved;
}

}  // namespace mandel
