#include "files/bmp_format.h"

#include <limits>
#include <stdexcept>

namespace mandel {

namespace {

void put16(std::vector<std::uint8_t>& bytes, std::uint32_t value) {
    bytes.push_back(static_cast<std::uint8_t>(value & 0xff));
    bytes.push_back(static_cast<std::uint8_t>((value >> 8) & 0xff));
}

void put32(std::vector<std::uint8_t>& bytes, std::uint32_t value) {
    put16(bytes, value & 0xffff);
    put16(bytes, value >> 16);
}

}  // namespace

std::vector<std::uint8_t> bmpHeader24(int width, int height, bool topDown) {
    if (width <= 0 || height <= 0 || width > 32767 || height > 32767)
        throw std::invalid_argument("BMP size out of range");
    const std::uint64_t imageBytes = bmpRowBytes(static_cast<std::size_t>(width)) * static_cast<std::uint64_t>(height);
    if (kBmpHeaderBytes + imageBytes > std::numeric_limits<std::uint32_t>::max())
        throw std::invalid_argument("BMP file larger than 4 GiB");

    std::vector<std::uint8_t> bytes;
    bytes.reserve(kBmpHeaderBytes);
    // file header
    bytes.push_back('B');
    bytes.push_back('M');
    put32(bytes, static_cast<std::uint32_t>(kBmpHeaderBytes + imageBytes));
    put32(bytes, 0);  // reserved
    put32(bytes, static_cast<std::uint32_t>(kBmpHeaderBytes));
    // BITMAPINFOHEADER
    put32(bytes, 40);
    put32(bytes, static_cast<std::uint32_t>(width));
    put32(bytes, static_cast<std::uint32_t>(topDown ? -height : height));
    put16(bytes, 1);   // planes
    put16(bytes, 24);  // bits per pixel
    put32(bytes, 0);   // BI_RGB, uncompressed
    put32(bytes, static_cast<std::uint32_t>(imageBytes));
    put32(bytes, 2835);  // 72 dots per inch, in pixels per metre
    put32(bytes, 2835);
    put32(bytes, 0);  // palette colours
    put32(bytes, 0);  // important colours
    return bytes;
}

}  // namespace mandel
