#include "bmp_oracle.h"

#include <stdexcept>

#include "files/bmp_format.h"

namespace mandel::tool {

std::vector<std::uint8_t> encodeBmp24(int width, int height, std::span<const std::uint32_t> pixels) {
    std::vector<std::uint8_t> bytes = bmpHeader24(width, height);
    const std::size_t w = static_cast<std::size_t>(width);
    const std::size_t h = static_cast<std::size_t>(height);
    if (pixels.size() != w * h) throw std::invalid_argument("BMP pixel count does not match its size");

    const std::size_t rowBytes = bmpRowBytes(w);
    bytes.reserve(bytes.size() + rowBytes * h);
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
