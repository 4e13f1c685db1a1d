#include "files/bmp_picture_writer.h"

#include <stdexcept>

#include "colour/banding.h"

namespace mandel {

BmpPictureWriter::BmpPictureWriter(const std::string& path, std::size_t width, std::size_t height)
    : file_(path, width, height), width_(width) {}

void BmpPictureWriter::writeRows(std::span<const std::uint8_t> indices, std::size_t rows) {
    if (indices.size() != rows * width_) throw std::invalid_argument("BMP rows do not match the picture");
    colours_.resize(indices.size());
    for (std::size_t i = 0; i < indices.size(); ++i) colours_[i] = packColour(Palette[indices[i]]);
    file_.writeRows(colours_);
}

void BmpPictureWriter::writeColourRows(std::span<const Rgb> colours, std::size_t rows) {
    if (colours.size() != rows * width_) throw std::invalid_argument("BMP rows do not match the picture");
    colours_.resize(colours.size());
    for (std::size_t i = 0; i < colours.size(); ++i) colours_[i] = packColour(colours[i]);
    file_.writeRows(colours_);
}

void BmpPictureWriter::finish() { file_.commit(); }

}  // namespace mandel
