#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "colour/picture_sink.h"
#include "files/safe_file.h"

namespace mandel {

// A 24-bit BMP written as the rows arrive. Into a file (seekable), the rows
// go bottom-up as BMP files usually store them, each band at its own offset.
// Into a pipe or device, which can only be written in order, the file is
// top-down instead (a negative height in the header says so), which readers
// of BMP files accept.
class BmpPictureWriter : public PictureSink {
public:
    BmpPictureWriter(const std::string& path, std::size_t width, std::size_t height);
    void writeRows(std::span<const std::uint8_t> indices, std::size_t rows) override;
    void finish() override;

private:
    SafeFileWriter file_;
    std::size_t width_;
    std::size_t height_;
    std::size_t rowBytes_;
    bool bottomUp_;
    std::size_t rowsWritten_ = 0;
    std::vector<std::uint8_t> bytes_;  // the band's rows in file order
};

}  // namespace mandel
