#include "files/bmp_picture_writer.h"

#include <stdexcept>

#include "colour/banding.h"
#include "files/bmp_format.h"

namespace mandel {

BmpPictureWriter::BmpPictureWriter(const std::string& path, std::size_t size)
    : file_(path), size_(size), rowBytes_(bmpRowBytes(size)), bottomUp_(file_.seekable()) {
    const std::vector<std::uint8_t> header =
        bmpHeader24(static_cast<int>(size), static_cast<int>(size), /*topDown=*/!bottomUp_);
    file_.write(header.data(), header.size());
}

void BmpPictureWriter::writeRows(std::span<const std::uint8_t> indices, std::size_t rows) {
    if (indices.size() != rows * size_ || rowsWritten_ + rows > size_)
        throw std::invalid_argument("BMP rows do not match the picture");
    bytes_.assign(rows * rowBytes_, 0);
    for (std::size_t r = 0; r < rows; ++r) {
        // Bottom-up, the band's last row comes first in the file.
        const std::size_t fileRow = bottomUp_ ? rows - 1 - r : r;
        std::uint8_t* out = bytes_.data() + fileRow * rowBytes_;
        for (const std::uint8_t index : indices.subspan(r * size_, size_)) {
            const Rgb colour = Palette[index];
            *out++ = colour.blue;
            *out++ = colour.green;
            *out++ = colour.red;
        }
    }
    if (bottomUp_) {
        const std::uint64_t firstFileRow = size_ - rowsWritten_ - rows;
        file_.writeAt(kBmpHeaderBytes + firstFileRow * rowBytes_, bytes_.data(), bytes_.size());
    } else {
        file_.write(bytes_.data(), bytes_.size());
    }
    rowsWritten_ += rows;
}

void BmpPictureWriter::finish() {
    if (rowsWritten_ != size_) throw std::logic_error("BMP finished before its last row");
    file_.commit();
}

}  // namespace mandel
