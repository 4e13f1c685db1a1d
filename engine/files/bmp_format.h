#pragma once

// The layout of an uncompressed 24-bit BMP file (BITMAPINFOHEADER).

#include <cstddef>
#include <cstdint>
#include <vector>

namespace mandel {

inline constexpr std::size_t kBmpHeaderBytes = 14 + 40;

// Bytes of one row of pixels: three per pixel, padded to a multiple of 4.
constexpr std::size_t bmpRowBytes(std::size_t width) { return (3 * width + 3) / 4 * 4; }

// The 54 header bytes of a width × height picture. Rows are stored bottom-up
// (the usual order) unless topDown, which a negative height records.
// std::invalid_argument for a size outside 1..32767 or a file over 4 GiB.
std::vector<std::uint8_t> bmpHeader24(int width, int height, bool topDown = false);

}  // namespace mandel
