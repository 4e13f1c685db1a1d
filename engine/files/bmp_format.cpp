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

BmpFileWriter::BmpFileWriter(const std::string& path, std::size_t width, std::size_t height)
    : file_(path), width_(width), height_(height), rowBytes_(bmpRowBytes(width)), bottomUp_(file_.seekable()) {
    const std::vector<std::uint8_t> header =
        bmpHeader24(static_cast<int>(width), static_cast<int>(height), /*topDown=*/!bottomUp_);
    file_.write(header.data(), header.size());
}

void BmpFileWriter::writeRows(std::span<const std::uint32_t> colours) {
    const std::size_t rows = colours.size() / width_;
    if (colours.size() != rows * width_ || rowsWritten_ + rows > height_)
        throw std::invalid_argument("BMP rows do not match the picture");
    bytes_.assign(rows * rowBytes_, 0);
    for (std::size_t r = 0; r < rows; ++r) {
        // Bottom-up, the block's last row comes first in the file.
        const std::size_t fileRow = bottomUp_ ? rows - 1 - r : r;
        std::uint8_t* out = bytes_.data() + fileRow * rowBytes_;
        for (const std::uint32_t colour : colours.subspan(r * width_, width_)) {
            *out++ = static_cast<std::uint8_t>(colour >> 16);  // blue
            *out++ = static_cast<std::uint8_t>(colour >> 8);   // green
            *out++ = static_cast<std::uint8_t>(colour);        // red
        }
    }
    if (bottomUp_) {
        const std::uint64_t firstFileRow = height_ - rowsWritten_ - rows;
        file_.writeAt(kBmpHeaderBytes + firstFileRow * rowBytes_, bytes_.data(), bytes_.size());
    } else {
        file_.write(bytes_.data(), bytes_.size());
    }
    rowsWritten_ += rows;
}

void BmpFileWriter::commit() {
    if (rowsWritten_ != height_) throw std::logic_error("BMP finished before its last row");
    file_.commit();
}

void writeBmpFile(const std::string& path, std::size_t width, std::size_t height,
                  std::span<const std::uint32_t> colours) {
    if (colours.size() != width * height) throw std::invalid_argument("BMP pixel count does not match its size");
    BmpFileWriter file(path, width, height);
    file.writeRows(colours);
    file.commit();
}

}  // namespace mandel
