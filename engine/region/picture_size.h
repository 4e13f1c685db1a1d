#pragma once

// The sizes a picture of any size may have, in pixels along an edge, for
// every drawing that writes one (single precision or deep).

#include <string>
#include <string_view>

namespace mandel {

inline constexpr int kMinPictureSize = 16;
inline constexpr int kMaxPictureSize = 32000;

// A picture's (or a view's) width and height in pixels.
struct PictureSize {
    int width = 0;
    int height = 0;
};

// "a whole number from 16 to 32000": what a size on a command line must be.
inline std::string pictureSizeRangeText() {
    return "a whole number from " + std::to_string(kMinPictureSize) + " to " + std::to_string(kMaxPictureSize);
}

// "width 15 outside 16..32000" when the size named `name` is out of range, else "".
inline std::string pictureSizeProblem(long long size, std::string_view name = "size") {
    if (size >= kMinPictureSize && size <= kMaxPictureSize) return "";
    return std::string(name) + " " + std::to_string(size) + " outside " + std::to_string(kMinPictureSize) + ".." +
           std::to_string(kMaxPictureSize);
}

}  // namespace mandel
