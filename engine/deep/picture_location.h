#pragma once

// Where a picture was taken, read back from the text fields of a PNG the
// program wrote (the window's export, its save, the renderer).

#include <cstdint>
#include <optional>
#include <string>

#include "deep/deep_view.h"

namespace mandel {

struct PictureLocation {
    DeepView view;          // the location's texts exactly as recorded, the limit and the picture's size
    std::int64_t base = 0;  // the base count of the colours; 0 for the window's drawing
    bool deep = false;      // drawn by the deep engine; otherwise in the window's single precision
};

struct PictureLocationRead {
    std::optional<PictureLocation> location;
    std::string problem;  // one line saying why, when there is no location
};

// Reads the PNG's text fields (before its image data). Refuses, with the
// reason: a file that cannot be read, one that is not a PNG, a PNG the program
// did not write (no Software field naming it), a missing or malformed field,
// a size that is not the image's, and a location that cannot be drawn.
// Pictures written before the Arithmetic field existed are the window's drawing.
PictureLocationRead readPictureLocation(const std::string& path);

}  // namespace mandel
