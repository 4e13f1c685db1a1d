#pragma once

// Reads a 24-bit uncompressed BMP back into packed colours, independently of
// the program's encoder, so that tests can check what a file holds.

#include <cstdint>
#include <cstdlib>
#include <vector>

namespace test {

struct DecodedBmp {
    bool ok = false;  // a 24-bit BI_RGB file whose size matches its header
    int width = 0;
    int height = 0;
    bool topDown = false;               // a negative height in the header
    std::vector<std::uint32_t> pixels;  // red + 256·green + 65536·blue, from the top-left
};

inline DecodedBmp decodeBmp(const std::vector<std::uint8_t>& b) {
    DecodedBmp d;
    const auto le16 = [&](std::size_t at) { return static_cast<std::uint32_t>(b[at] | b[at + 1] << 8); };
    const auto le32 = [&](std::size_t at) { return le16(at) | le16(at + 2) << 16; };
    if (b.size() < 54 || b[0] != 'B' || b[1] != 'M' || le32(2) != b.size() || le32(14) != 40 || le16(26) != 1 ||
        le16(28) != 24 || le32(30) != 0)
        return d;
    const std::size_t dataStart = le32(10);
    d.width = static_cast<std::int32_t>(le32(18));
    const std::int32_t height = static_cast<std::int32_t>(le32(22));
    d.topDown = height < 0;
    d.height = std::abs(height);
    const std::size_t w = static_cast<std::size_t>(d.width);
    const std::size_t h = static_cast<std::size_t>(d.height);
    const std::size_t stride = (3 * w + 3) & ~std::size_t{3};
    if (d.width <= 0 || dataStart + stride * h != b.size()) return d;
    d.pixels.resize(w * h);
    for (std::size_t fileRow = 0; fileRow < h; ++fileRow) {
        const std::size_t y = d.topDown ? fileRow : h - 1 - fileRow;
        const std::uint8_t* p = b.data() + dataStart + fileRow * stride;
        for (std::size_t x = 0; x < w; ++x, p += 3)
            d.pixels[y * w + x] = p[2] | static_cast<std::uint32_t>(p[1]) << 8 | static_cast<std::uint32_t>(p[0]) << 16;
    }
    d.ok = true;
    return d;
}

}  // namespace test
