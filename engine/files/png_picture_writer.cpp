#include "files/png_picture_writer.h"

#include <png.h>
#include <zlib.h>

#include <csetjmp>
#include <cstring>
#include <stdexcept>

#include "colour/banding.h"

namespace mandel {

namespace {

// Bytes libpng collects before it writes: large enough that a file gets few
// write calls, small next to a band.
constexpr std::size_t kOutputBufferBytes = std::size_t{1} << 20;

PngPictureWriter* writerOf(png_structp png) { return static_cast<PngPictureWriter*>(png_get_io_ptr(png)); }

extern "C" void writeToFile(png_structp png, png_bytep data, png_size_t size) {
    if (!writerOf(png)->storeBytes(data, size)) png_error(png, "write failed");
}

extern "C" void flushNothing(png_structp) {}  // the file is flushed once, when it is committed

extern "C" void onLibpngError(png_structp png, png_const_charp message) {
    static_cast<PngPictureWriter*>(png_get_error_ptr(png))->noteLibpngError(message);
    png_longjmp(png, 1);
}

extern "C" void ignoreLibpngWarning(png_structp, png_const_charp) {}

// The libpng calls below return to their setjmp with false when libpng fails;
// no object with a destructor may live in these frames.

bool writeHeader(png_structp png, png_infop info) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_write_info(png, info);
    return true;
}

bool writeRowsOf(png_structp png, const std::uint8_t* rows, std::size_t count, std::size_t width) {
    if (setjmp(png_jmpbuf(png))) return false;
    for (std::size_t r = 0; r < count; ++r) png_write_row(png, rows + r * width);
    return true;
}

struct TextChunks {
    std::vector<png_text> chunks;
    explicit TextChunks(const std::vector<std::pair<std::string, std::string>>& fields) {
        for (const auto& [keyword, text] : fields) {
            png_text chunk{};
            chunk.compression = PNG_TEXT_COMPRESSION_NONE;
            chunk.key = const_cast<char*>(keyword.c_str());
            chunk.text = const_cast<char*>(text.c_str());
            chunk.text_length = text.size();
            chunks.push_back(chunk);
        }
    }
};

// Ends the image: the text chunks of `closing` (after the image data, as PNG
// allows), then IEND.
bool writeEnd(png_structp png, png_infop info, const TextChunks& closing) {
    if (setjmp(png_jmpbuf(png))) return false;
    // png_write_info marked the first fields as written: png_write_end writes only these.
    if (!closing.chunks.empty())
        png_set_text(png, info, closing.chunks.data(), static_cast<int>(closing.chunks.size()));
    png_write_end(png, info);
    return true;
}

bool describeImage(png_structp png, png_infop info, std::size_t width, std::size_t height, const TextChunks& text,
                   const PngCompression& compression, PngColours colours) {
    if (setjmp(png_jmpbuf(png))) return false;
    const bool indexed = colours == PngColours::Indexed;
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
                 indexed ? PNG_COLOR_TYPE_PALETTE : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_color palette[kColourCount];
    for (int i = 0; i < kColourCount; ++i) palette[i] = {Palette[i].red, Palette[i].green, Palette[i].blue};
    if (indexed) png_set_PLTE(png, info, palette, kColourCount);
    png_set_text(png, info, text.chunks.data(), static_cast<int>(text.chunks.size()));
    // Filters do not help colour indices; they only cost time. Smooth
    // gradients shrink to a fraction with the cheap "sub" filter.
    png_set_filter(png, PNG_FILTER_TYPE_BASE, indexed ? PNG_FILTER_NONE : PNG_FILTER_SUB);
    png_set_compression_level(png, compression.level);
    png_set_compression_strategy(png, compression.runLengthOnly && indexed ? Z_RLE : Z_DEFAULT_STRATEGY);
    png_set_compression_buffer_size(png, kOutputBufferBytes);
    return true;
}

}  // namespace

PngPictureWriter::PngPictureWriter(const std::string& path, std::size_t width, std::size_t height,
                                   const std::vector<std::pair<std::string, std::string>>& textFields,
                                   PngCompression compression, PngColours colours)
    : file_(path), width_(width), height_(height), colours_(colours) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, this, onLibpngError, ignoreLibpngWarning);
    if (png == nullptr) throw std::bad_alloc();
    encoder_.png = png;
    encoder_.info = png_create_info_struct(png);
    if (encoder_.info == nullptr) throw std::bad_alloc();
    png_set_write_fn(png, this, writeToFile, flushNothing);
    const TextChunks text(textFields);
    if (!describeImage(png, encoder_.info, width, height, text, compression, colours) ||
        !writeHeader(png, encoder_.info))
        fail();
}

PngPictureWriter::Encoder::~Encoder() {
    if (png != nullptr) png_destroy_write_struct(&png, info != nullptr ? &info : nullptr);
}

bool PngPictureWriter::storeBytes(const void* data, std::size_t size) noexcept {
    try {
        file_.write(data, size);
        return true;
    } catch (...) {
        writeError_ = std::current_exception();
        return false;
    }
}

void PngPictureWriter::noteLibpngError(const char* message) noexcept {
    // libpng and zlib say "Out of memory", "insufficient memory": then the file is not to blame.
    outOfMemory_ = ::strcasestr(message, "memory") != nullptr;
    try {
        libpngError_ = message;
    } catch (...) {  // no memory even for the text
        outOfMemory_ = true;
    }
}

void PngPictureWriter::fail() {
    if (writeError_) std::rethrow_exception(writeError_);
    if (outOfMemory_) throw FileWriteError(file_.path(), "out of memory");
    throw FileWriteError(file_.path(), "PNG encoder: " + (libpngError_.empty() ? "failed" : libpngError_));
}

void PngPictureWriter::writeColourRows(std::span<const Rgb> colours, std::size_t rows) {
    if (colours_ != PngColours::TrueColour || colours.size() != rows * width_ || rowsWritten_ + rows > height_)
        throw std::invalid_argument("PNG colour rows do not match the picture");
    colourBytes_.resize(colours.size() * 3);
    std::uint8_t* out = colourBytes_.data();
    for (const Rgb& c : colours) {
        *out++ = c.red;
        *out++ = c.green;
        *out++ = c.blue;
    }
    if (!writeRowsOf(encoder_.png, colourBytes_.data(), rows, width_ * 3)) fail();
    rowsWritten_ += rows;
}

void PngPictureWriter::writeRows(std::span<const std::uint8_t> indices, std::size_t rows) {
    if (colours_ != PngColours::Indexed || indices.size() != rows * width_ || rowsWritten_ + rows > height_)
        throw std::invalid_argument("PNG rows do not match the picture");
    if (!writeRowsOf(encoder_.png, indices.data(), rows, width_)) fail();
    rowsWritten_ += rows;
}

void PngPictureWriter::addClosingText(const std::string& keyword, const std::string& text) {
    closingText_.emplace_back(keyword, text);
}

void PngPictureWriter::finish() {
    if (rowsWritten_ != height_) throw std::logic_error("PNG finished before its last row");
    const TextChunks closing(closingText_);
    if (!writeEnd(encoder_.png, encoder_.info, closing)) fail();
    file_.commit();
}

}  // namespace mandel
