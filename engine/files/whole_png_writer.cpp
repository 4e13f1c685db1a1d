#include "files/whole_png_writer.h"

#include <libdeflate.h>

#include <algorithm>
#include <array>
#include <memory>
#include <new>
#include <stdexcept>

namespace mandel {

namespace {

constexpr std::array<std::uint8_t, 8> kSignature = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
constexpr int kDeflateLevel = 1;
constexpr std::uint8_t kSubFilter = 1;       // each byte less the byte one pixel to its left
constexpr std::size_t kIdatBytes = 1 << 20;  // the compressed data, in chunks of this size
constexpr std::size_t kMaxKeywordBytes = 79;

void putBigEndian32(std::uint8_t* out, std::uint32_t v) {
    out[0] = static_cast<std::uint8_t>(v >> 24);
    out[1] = static_cast<std::uint8_t>(v >> 16);
    out[2] = static_cast<std::uint8_t>(v >> 8);
    out[3] = static_cast<std::uint8_t>(v);
}

struct CompressorDeleter {
    void operator()(libdeflate_compressor* c) const { libdeflate_free_compressor(c); }
};

std::vector<std::uint8_t> zlibCompressed(const std::vector<std::uint8_t>& data) {
    std::unique_ptr<libdeflate_compressor, CompressorDeleter> compressor(libdeflate_alloc_compressor(kDeflateLevel));
    if (!compressor) throw std::bad_alloc();
    std::vector<std::uint8_t> out(libdeflate_zlib_compress_bound(compressor.get(), data.size()));
    const std::size_t size =
        libdeflate_zlib_compress(compressor.get(), data.data(), data.size(), out.data(), out.size());
    if (size == 0) throw std::logic_error("compressed picture larger than its bound");
    out.resize(size);
    return out;
}

}  // namespace

WholePngWriter::WholePngWriter(const std::string& path, std::size_t width, std::size_t height,
                               std::vector<std::pair<std::string, std::string>> textFields)
    : file_(path), width_(width), height_(height), openingText_(std::move(textFields)) {
    if (width == 0 || height == 0 || trueColourPngBytes(width, height) > kWholePngBytes)
        throw std::invalid_argument("picture size out of the whole PNG writer's range");
    filtered_.reserve(trueColourPngBytes(width, height));
}

void WholePngWriter::writeRows(std::span<const std::uint8_t>, std::size_t) {
    throw std::logic_error("this picture takes colours only");
}

void WholePngWriter::writeColourRows(std::span<const Rgb> colours, std::size_t rows) {
    if (colours.size() != rows * width_ || rowsWritten_ + rows > height_)
        throw std::invalid_argument("PNG colour rows do not match the picture");
    const std::size_t start = filtered_.size();
    filtered_.resize(start + rows * (3 * width_ + 1));
    std::uint8_t* out = filtered_.data() + start;
    for (std::size_t r = 0; r < rows; ++r) {
        *out++ = kSubFilter;
        Rgb left{0, 0, 0};
        for (const Rgb& c : colours.subspan(r * width_, width_)) {
            *out++ = static_cast<std::uint8_t>(c.red - left.red);
            *out++ = static_cast<std::uint8_t>(c.green - left.green);
            *out++ = static_cast<std::uint8_t>(c.blue - left.blue);
            left = c;
        }
    }
    rowsWritten_ += rows;
}

void WholePngWriter::addClosingText(const std::string& keyword, const std::string& text) {
    closingText_.emplace_back(keyword, text);
}

void WholePngWriter::writeChunk(const char* type, const std::uint8_t* data, std::size_t size) {
    std::uint8_t head[8];
    putBigEndian32(head, static_cast<std::uint32_t>(size));
    for (int k = 0; k < 4; ++k) head[4 + k] = static_cast<std::uint8_t>(type[k]);
    std::uint32_t crc = libdeflate_crc32(0, head + 4, 4);
    if (size > 0) crc = libdeflate_crc32(crc, data, size);
    std::uint8_t tail[4];
    putBigEndian32(tail, crc);
    file_.write(head, sizeof head);
    if (size > 0) file_.write(data, size);
    file_.write(tail, sizeof tail);
}

// A tEXt chunk: the keyword (1 to 79 Latin-1 bytes), a zero byte, the text.
void WholePngWriter::writeText(const std::string& keyword, const std::string& text) {
    if (keyword.empty() || keyword.size() > kMaxKeywordBytes || keyword.find('\0') != std::string::npos)
        throw std::invalid_argument("PNG text keyword \"" + keyword + "\" is not 1 to 79 bytes");
    std::vector<std::uint8_t> data(keyword.begin(), keyword.end());
    data.push_back(0);
    data.insert(data.end(), text.begin(), text.end());
    writeChunk("tEXt", data.data(), data.size());
}

void WholePngWriter::finish() {
    if (rowsWritten_ != height_) throw std::logic_error("PNG finished before its last row");
    file_.write(kSignature.data(), kSignature.size());
    std::uint8_t header[13] = {};
    putBigEndian32(header, static_cast<std::uint32_t>(width_));
    putBigEndian32(header + 4, static_cast<std::uint32_t>(height_));
    header[8] = 8;  // bits per channel
    header[9] = 2;  // colour type: red, green, blue
    writeChunk("IHDR", header, sizeof header);
    for (const auto& [keyword, text] : openingText_) writeText(keyword, text);
    const std::vector<std::uint8_t> compressed = zlibCompressed(filtered_);
    for (std::size_t at = 0; at < compressed.size(); at += kIdatBytes)
        writeChunk("IDAT", compressed.data() + at, std::min(kIdatBytes, compressed.size() - at));
    for (const auto& [keyword, text] : closingText_) writeText(keyword, text);
    writeChunk("IEND", nullptr, 0);
    file_.commit();
}

}  // namespace mandel
