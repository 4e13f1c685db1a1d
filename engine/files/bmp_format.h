#pragma once

// Uncompressed 24-bit BMP files (BITMAPINFOHEADER): the layout, and the one
// encoder of the program, which every BMP the program writes goes through.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "files/safe_file.h"

namespace mandel {

inline constexpr std::size_t kBmpHeaderBytes = 14 + 40;

// Bytes of one row of pixels: three per pixel, padded to a multiple of 4.
constexpr std::size_t bmpRowBytes(std::size_t width) { return (3 * width + 3) / 4 * 4; }

// The 54 header bytes of a width × height picture. Rows are stored bottom-up
// (the usual order) unless topDown, which a negative height records.
// std::invalid_argument for a size outside 1..32767 or a file over 4 GiB.
std::vector<std::uint8_t> bmpHeader24(int width, int height, bool topDown = false);

// A BMP file written through SafeFileWriter as its rows arrive, top row
// first, as packed colours (red + 256·green + 65536·blue). Into a file
// (seekable), the rows go bottom-up as BMP files usually store them, each
// block of rows at its own offset. Into a pipe or device, which can only be
// written in order, the file is top-down instead (a negative height in the
// header says so), which readers of BMP files accept.
class BmpFileWriter {
public:
    // Throws FileWriteError, or std::invalid_argument for a size bmpHeader24 refuses.
    BmpFileWriter(const std::string& path, std::size_t width, std::size_t height);
    // Whole rows, the next ones down; std::invalid_argument past the last row.
    void writeRows(std::span<const std::uint32_t> colours);
    // Puts the complete file in place; std::logic_error before the last row.
    void commit();

private:
    SafeFileWriter file_;
    std::size_t width_;
    std::size_t height_;
    std::size_t rowBytes_;
    bool bottomUp_;
    std::size_t rowsWritten_ = 0;
    std::vector<std::uint8_t> bytes_;  // the rows being written, in file order
};

// The whole picture at once: width × height packed colours from the top-left.
void writeBmpFile(const std::string& path, std::size_t width, std::size_t height,
                  std::span<const std::uint32_t> colours);

}  // namespace mandel
