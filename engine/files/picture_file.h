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

// The keywords of the PNG text fields, and the names of the two arithmetics
// a picture can be drawn with, for the writers and the reader of those fields.
namespace picture_text {
inline constexpr const char* kSoftware = "Software";
inline constexpr const char* kRealMin = "Real-part minimum";
inline constexpr const char* kImagMin = "Imaginary-part minimum";
inline constexpr const char* kSide = "Side length";
inline constexpr const char* kLimit = "Iteration limit";
inline constexpr const char* kBase = "Base count";
inline constexpr const char* kSize = "Size";
inline constexpr const char* kArithmetic = "Arithmetic";
// The deep engine's pixels whose count the precision cap left undecided,
// written after the image data (known only when the drawing is done).
inline constexpr const char* kUncertifiedPixels = "Uncertified pixels";
// The window's drawing: single-precision positions and steps.
inline constexpr const char* kSinglePrecision = "single-precision";
// The deep engine: the counts of exact arithmetic.
inline constexpr const char* kDeep = "deep";
// The program's name, before the version in the Software field.
inline constexpr std::string_view kProgramName = "mandelbrot";
}  // namespace picture_text

// "mandelbrot VERSION": the Software field of every picture the program writes.
std::string pictureSoftwareText();

// What a file records about the drawing it holds.
struct PictureFacts {
    RegionTexts region;
    std::size_t size = 0;
};

// The PNG text fields (keyword, text): the program and its version, the four
// read-outs, the size and the arithmetic (single-precision).
std::vector<std::pair<std::string, std::string>> pictureTextFields(const PictureFacts& facts);

// An 8-bit palette PNG of the 17 Palette colours, or a 24-bit BMP, of
// facts.size × facts.size pixels. Throws FileWriteError if the file cannot be
// created; writeRows and finish throw FileWriteError when a write fails.
std::unique_ptr<PictureSink> openPictureFile(const std::string& path, PictureFormat format, const PictureFacts& facts);

}  // namespace mandel
