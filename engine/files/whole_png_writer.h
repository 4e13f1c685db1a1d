#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "colour/picture_sink.h"
#include "files/safe_file.h"

namespace mandel {

// A true-colour PNG held whole in memory and compressed in one piece when it
// is finished, with libdeflate: at its fastest level that takes under half
// zlib's time for a smooth picture, for a smaller file. For pictures whose
// filtered rows fit in kWholePngBytes (larger ones stream through libpng).
class WholePngWriter : public PictureSink {
public:
    WholePngWriter(const std::string& path, std::size_t width, std::size_t height,
                   std::vector<std::pair<std::string, std::string>> textFields);
    void writeRows(std::span<const std::uint8_t> indices, std::size_t rows) override;  // refused
    void writeColourRows(std::span<const Rgb> colours, std::size_t rows) override;
    void addClosingText(const std::string& keyword, const std::string& text) override;
    void finish() override;

private:
    void writeChunk(const char* type, const std::uint8_t* data, std::size_t size);
    void writeText(const std::string& keyword, const std::string& text);

    SafeFileWriter file_;
    std::size_t width_;
    std::size_t height_;
    std::size_t rowsWritten_ = 0;
    std::vector<std::pair<std::string, std::string>> openingText_;
    std::vector<std::pair<std::string, std::string>> closingText_;
    std::vector<std::uint8_t> filtered_;  // each row: its filter type, then its bytes
};

// Filtered rows up to this size are written by WholePngWriter.
inline constexpr std::size_t kWholePngBytes = std::size_t{96} << 20;

// The filtered size of a true-colour picture: a filter byte and 3 bytes a pixel per row.
inline std::size_t trueColourPngBytes(std::size_t width, std::size_t height) { return (3 * width + 1) * height; }

}  // namespace mandel
