#pragma once

// Picture files of deep drawings: the PNG's text fields say where the picture
// was taken, with which base count and arithmetic, so that the location can be
// read back from the file.

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "colour/colouring.h"
#include "deep/deep_view.h"
#include "region/picture_size.h"
#include "files/picture_file.h"

namespace mandel {

// What a deep picture file records about its drawing.
struct DeepPictureFacts {
    DeepView view;
    std::int64_t base = 0;
    Colouring colouring = {};  // its density resolved
};

// The PNG field that records the colouring, as the renderer's options
// (colouringArguments); written unless the picture is in bands at one sample,
// which pictures without it are.
inline constexpr const char* kColouringField = "Colouring";

// A picture's size as the command line and the Size field write it: "S" for
// a square, "WxH" otherwise.
std::string pictureSizeText(int width, int height);

// Reads "S" or "WxH" (digits only, each kMinPictureSize..kMaxPictureSize); nullopt otherwise.
std::optional<PictureSize> parsePictureSizeText(std::string_view text);

// The PNG text fields (keyword, text): the program and its version, the
// location's texts exactly as given, the limit, the base, the size, the
// arithmetic (deep) and the colouring.
std::vector<std::pair<std::string, std::string>> deepPictureTextFields(const DeepPictureFacts& facts);

// An 8-bit palette PNG (a true-colour PNG for a colouring other than bands
// at one sample) with those fields, or a 24-bit BMP, of the view's width ×
// height. Throws FileWriteError if the file cannot be created.
std::unique_ptr<PictureSink> openDeepPictureFile(const std::string& path, PictureFormat format,
                                                 const DeepPictureFacts& facts);

}  // namespace mandel
