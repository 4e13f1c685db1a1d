#pragma once

#include <exception>
#include <string>
#include <utility>
#include <vector>

#include "colour/picture_sink.h"
#include "files/safe_file.h"

struct png_struct_def;  // libpng's own types, kept out of this header
struct png_info_def;

namespace mandel {

// Compression of the picture data. The pictures are runs of 17 colours:
// the fastest level with run-length matching keeps encoding well below the
// time of the computation, at files close to the default level's size.
struct PngCompression {
    int level = 1;
    bool runLengthOnly = true;  // zlib's Z_RLE strategy
};

// How a PNG holds its pixels: indices into the 17 Palette colours, or
// 8-bit red, green and blue (writeColourRows).
enum class PngColours { Indexed, TrueColour };

// An 8-bit palette PNG of the 17 Palette colours (or a true-colour PNG),
// written row by row through libpng, with text fields before the image data
// and, for those added by addClosingText, after it.
class PngPictureWriter : public PictureSink {
public:
    PngPictureWriter(const std::string& path, std::size_t width, std::size_t height,
                     const std::vector<std::pair<std::string, std::string>>& textFields,
                     PngCompression compression = {}, PngColours colours = PngColours::Indexed);
    void writeRows(std::span<const std::uint8_t> indices, std::size_t rows) override;
    void writeColourRows(std::span<const Rgb> colours, std::size_t rows) override;
    void addClosingText(const std::string& keyword, const std::string& text) override;
    void finish() override;

    // Called by libpng (plain functions, as its interface needs).
    bool storeBytes(const void* data, std::size_t size) noexcept;
    void noteLibpngError(const char* message) noexcept;

private:
    // Throws the error that ended the last libpng call.
    [[noreturn]] void fail();

    // libpng's write and info structures, destroyed together.
    struct Encoder {
        png_struct_def* png = nullptr;
        png_info_def* info = nullptr;
        ~Encoder();
    };

    SafeFileWriter file_;
    std::size_t width_;
    std::size_t height_;
    std::size_t rowsWritten_ = 0;
    PngColours colours_;
    std::vector<std::uint8_t> colourBytes_;                         // a block of true-colour rows as libpng takes them
    std::vector<std::pair<std::string, std::string>> closingText_;  // written by finish()
    Encoder encoder_;
    std::exception_ptr writeError_;  // from the file, while libpng was writing
    std::string libpngError_;
    bool outOfMemory_ = false;  // libpng's last error was for want of memory
};

}  // namespace mandel
