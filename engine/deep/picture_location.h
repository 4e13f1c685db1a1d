#pragma once

// Where a picture was taken, read back from the text fields of a PNG the
// program wrote (the window's export, its save, the renderer).

#include <cstdint>
#include <optional>
#include <string>

#include "colour/colouring.h"
#include "deep/deep_view.h"

namespace mandel {

struct PictureLocation {
    DeepView view;             // the location's texts exactly as recorded, the limit and the picture's size
    std::int64_t base = 0;     // the base count of the colours; 0 for the window's drawing
    bool deep = false;         // drawn by the deep engine; otherwise in the window's single precision
    Colouring colouring = {};  // as its Colouring field says; bands without one
};

struct PictureLocationRead {
    std::optional<PictureLocation> location;
    std::string problem;       // one line saying why, when there is no location
    bool outOfMemory = false;  // the reason is a lack of memory, not the file
};

// Reads the PNG's text fields before its image data: tEXt, zTXt and iTXt
// (compressed or not) alike. Refuses, with the reason: a path that is not a
// regular file (a folder, a FIFO, a device, a socket: refused without waiting
// for a FIFO's writer), a file that cannot be opened or read (both naming the
// path and the system's error), one that is not a PNG, a PNG the program did
// not write (no Software field naming it), a missing or malformed field, a
// size that is not the image's, and a location that cannot be drawn. Out of
// memory, it sets outOfMemory and says so. A Colouring field that does not
// read as one is refused too. Pictures written before the
// Arithmetic field existed are the window's drawing.
PictureLocationRead readPictureLocation(const std::string& path);

}  // namespace mandel
