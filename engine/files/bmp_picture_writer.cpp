#include "files/bmp_picture_writer.h"

#include <stdexcept>

#include "colour/banding.h"
#include "files/bmp_format.h"

namespace mandel {

BmpPictureWriter::BmpPictureWriter(const std::string& path, std::size_t width, std::size_t height)
    : file_(path), width_(width), height_(height), rowBytes_(bmpRowBytes(width)), bottomUp_(file_.seekable()) {
    const std::vector<std::uint8_t> header =
        bmpHeader24(static_cast<int>(width), static_cast<int>(height), /*topDown=*/!bottomUp_);
    file_.write(header.data(), header.size());
}

void BmpPictureWriter::writeRows(std::span<const std::uint8_t> indices, std::size_t rows) {
    if (indices.size() != rows * width_ || rowsWritten_ + rows > height_)
        throw std::invalid_argument("BMP rows do not match the picture");
    bytes_.assign(rows * rowBytes_, 0);
    for (std::size_t r = 0; r < rows; ++r) {
        // Bottom-up, the band's last row comes first in the file.
        const std::size_t fileRow = bottomUp_ ? rows - 1 - r : r;
        std::uint8_t* out = bytes_.data() + fileRow * rowBytes_;
        for (const std::uint8_t index : indices.subspan(r * width_, width_)) {
            const Rgb colour = Palette[index];
            *out++ = colour.blue;
            *out++ = colour.green;
            *out++ = colour.red;
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

void BmpPictureWriter::finish() {
    if (rowsWritten_ != height_) throw std::logic_error("BMP finished before its last row");
    file_.commit();
}

}  // namespace mandel
