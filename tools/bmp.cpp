#include "bmp.h"

#include <stdexcept>

namespace mandel::tool {

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

std::vector<std::uint8_t> encodeBmp24(int width, int height, std::span<const std::uint32_t> pixels) {
    if (width <= 0 || height <= 0 || width > 32767 || height > 32767)
        throw std::invalid_argument("BMP size out of range");
    const std::size_t w = static_cast<std::size_t>(width);
    const std::size_t h = static_cast<std::size_t>(height);
    if (pixels.size() != w * h) throw std::invalid_argument("BMP pixel count does not match its size");

    const std::size_t rowBytes = (3 * w + 3) / 4 * 4;
    constexpr std::uint32_t kHeaderBytes = 14 + 40;
    const auto imageBytes = static_cast<std::uint32_t>(rowBytes * h);

    std::vector<std::uint8_t> bytes;
    bytes.reserve(kHeaderBytes + imageBytes);
    // file header
    bytes.push_back('B');
    bytes.push_back('M');
    put32(bytes, kHeaderBytes + imageBytes);
    put32(bytes, 0);  // reserved
    put32(bytes, kHeaderBytes);
    // BITMAPINFOHEADER; a positive height means bottom-up rows
    put32(bytes, 40);
    put32(bytes, static_cast<std::uint32_t>(width));
    put32(bytes, static_cast<std::uint32_t>(height));
    put16(bytes, 1);   // planes
    put16(bytes, 24);  // bits per pixel
    put32(bytes, 0);   // BI_RGB, uncompressed
    put32(bytes, imageBytes);
    put32(bytes, 2835);  // 72 dots per inch, in pixels per metre
    put32(bytes, 2835);
    put32(bytes, 0);  // palette colours
    put32(bytes, 0);  // important colours

    for (std::size_t row = h; row-- > 0;) {
        for (std::size_t x = 0; x < w; ++x) {
            const std::uint32_t c = pixels[row * w + x];
            bytes.push_back(static_cast<std::uint8_t>((c >> 16) & 0xff));  // blue
            bytes.push_back(static_cast<std::uint8_t>((c >> 8) & 0xff));   // green
            bytes.push_back(static_cast<std::uint8_t>(c & 0xff));          // red
        }
        for (std::size_t pad = 3 * w; pad < rowBytes; ++pad) bytes.push_back(0);
    }
    return bytes;
}

}  // namespace mandel::tool
