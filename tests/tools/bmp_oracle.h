#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace mandel::tool {

// A 24-bit uncompressed BMP file (BITMAPINFOHEADER) of width × height
// pixels. pixels holds packed colours (red + 256·green + 65536·blue) row by
// row from the top-left; the file stores them bottom-up as blue, green, red,
// each row padded to a multiple of 4 bytes.
std::vector<std::uint8_t> encodeBmp24(int width, int height, std::span<const std::uint32_t> pixels);

}  // namespace mandel::tool
