#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "colour/picture_sink.h"
#include "files/bmp_format.h"

namespace mandel {

// A drawing's rows of Palette indices written as a 24-bit BMP (BmpFileWriter).
class BmpPictureWriter : public PictureSink {
public:
    BmpPictureWriter(const std::string& path, std::size_t width, std::size_t height);
    void writeRows(std::span<const std::uint8_t> indices, std::size_t rows) override;
    void writeColourRows(std::span<const Rgb> colours, std::size_t rows) override;
    void finish() override;

private:
    BmpFileWriter file_;
    std::size_t width_;
    std::vector<std::uint32_t> colours_;  // the rows being written, packed
};

}  // namespace mandel
