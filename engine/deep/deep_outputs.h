#pragma once

// The files of a deep view, opened in one place for every writer of them (the
// renderer and the windows' exports): pictures (PNG, BMP) with the view's
// location in their fields, the count map and the flag mask (.npy). Each file
// is created when opened and complete when the drawing finishes; a drawing
// that stops leaves none of them.

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "deep/count_map_file.h"
#include "deep/deep_drawing.h"
#include "deep/deep_picture.h"
#include "deep/deep_picture_file.h"

namespace mandel {

struct DeepOutputPaths {
    std::optional<std::string> png;
    std::optional<std::string> bmp;
    std::optional<std::string> counts;    // int32 counts, NumPy .npy
    std::optional<std::string> flags;     // 1 = certified, NumPy .npy
    std::optional<std::string> smooth;    // float continuous counts, NumPy .npy
    std::optional<std::string> distance;  // float distances in pixels, NumPy .npy
};

// Opens the files named (throws FileWriteError when one cannot be created)
// and draws the drawing's view into them. With K = options.colouring's
// supersample above 1 the drawing is of the samples and facts.view of the
// pictures (K times smaller). An automatic density is chosen before the
// files are opened, so that the pictures record the density they show.
DeepPictureResult drawDeepOutputs(DeepDrawing& drawing, const DeepPictureFacts& facts, const DeepOutputPaths& paths,
                                  const DeepPictureOptions& options);

}  // namespace mandel
