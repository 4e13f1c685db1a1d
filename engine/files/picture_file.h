#pragma once

// Picture files written row by row as a drawing goes: each is complete on
// disk only after finish() (through SafeFileWriter), and nothing is left of it
// when it is destroyed unfinished.

#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "colour/picture_sink.h"
#include "region/region.h"

namespace mandel {

enum class PictureFormat { Png, Bmp };

// Bmp for a name ending in ".bmp" (any case), Png otherwise.
PictureFormat pictureFormatForPath(std::string_view path);

// What a file records about the drawing it holds.
struct PictureFacts {
    RegionTexts region;
    std::size_t size = 0;
};

// The PNG text fields (keyword, text): the program and its version, the four
// read-outs and the size.
std::vector<std::pair<std::string, std::string>> pictureTextFields(const PictureFacts& facts);

// An 8-bit palette PNG of the 17 Palette colours, or a 24-bit BMP, of
// facts.size × facts.size pixels. Throws FileWriteError if the file cannot be
// created; writeRows and finish throw FileWriteError when a write fails.
std::unique_ptr<PictureSink> openPictureFile(const std::string& path, PictureFormat format, const PictureFacts& facts);

}  // namespace mandel
