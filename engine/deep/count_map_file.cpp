#include "deep/count_map_file.h"

#include <bit>
#include <stdexcept>

namespace mandel {

namespace {

constexpr char kNpyMagic[] = "\x93NUMPY";
constexpr std::size_t kNpyMagicBytes = sizeof kNpyMagic - 1;
constexpr std::size_t kNpyPreambleBytes = kNpyMagicBytes + 2 + 2;  // magic, version 1.0, header length
constexpr std::size_t kNpyAlignment = 64;

}  // namespace

std::vector<std::uint8_t> npyHeader(std::string_view descr, std::size_t width, std::size_t height) {
    std::string dictionary = "{'descr': '" + std::string(descr) + "', 'fortran_order': False, 'shape': (" +
                             std::to_string(height) + ", " + std::to_string(width) + "), }";
    const std::size_t unpadded = kNpyPreambleBytes + dictionary.size() + 1;  // + the closing newline
    dictionary.append((kNpyAlignment - unpadded % kNpyAlignment) % kNpyAlignment, ' ');
    dictionary += '\n';
    std::string header(kNpyMagic, kNpyMagicBytes);
    header += '\x01';  // format 1.0
    header += '\x00';
    header += static_cast<char>(dictionary.size() & 0xff);
    header += static_cast<char>(dictionary.size() >> 8);
    header += dictionary;
    return {header.begin(), header.end()};
}

std::vector<std::uint8_t> countMapHeader(std::size_t width, std::size_t height) {
    return npyHeader("<i4", width, height);
}

NpyRowFile::NpyRowFile(const std::string& path, std::string_view descr, std::size_t width, std::size_t height)
    : file_(path), width_(width), height_(height) {
    const std::vector<std::uint8_t> header = npyHeader(descr, width, height);
    file_.write(header.data(), header.size());
}

void NpyRowFile::writeRows(const void* bytes, std::size_t size, std::size_t elements, std::size_t rows,
                           const char* what) {
    if (elements != rows * width_ || rowsWritten_ + rows > height_)
        throw std::invalid_argument(std::string(what) + " rows do not match the drawing");
    file_.write(bytes, size);
    rowsWritten_ += rows;
}

void NpyRowFile::finish(const char* what) {
    if (rowsWritten_ != height_) throw std::logic_error(std::string(what) + " finished before its last row");
    file_.commit();
}

CountMapWriter::CountMapWriter(const std::string& path, std::size_t width, std::size_t height)
    : file_(path, "<i4", width, height) {}

void CountMapWriter::writeCounts(std::span<const std::int32_t> counts, std::size_t rows) {
    if constexpr (std::endian::native == std::endian::little) {
        file_.writeRows(counts.data(), counts.size_bytes(), counts.size(), rows, "count map");
    } else {
        bytes_.resize(counts.size_bytes());
        std::uint8_t* out = bytes_.data();
        for (const std::int32_t count : counts) {
            const auto bits = static_cast<std::uint32_t>(count);
            for (int shift = 0; shift < 32; shift += 8) *out++ = static_cast<std::uint8_t>(bits >> shift);
        }
        file_.writeRows(bytes_.data(), bytes_.size(), counts.size(), rows, "count map");
    }
}

void CountMapWriter::finish() { file_.finish("count map"); }

FlagMapWriter::FlagMapWriter(const std::string& path, std::size_t width, std::size_t height)
    : file_(path, "|u1", width, height) {}

void FlagMapWriter::writeFlags(std::span<const std::uint8_t> flags, std::size_t rows) {
    file_.writeRows(flags.data(), flags.size(), flags.size(), rows, "flag map");
}

void FlagMapWriter::finish() { file_.finish("flag map"); }

FloatMapWriter::FloatMapWriter(const std::string& path, std::size_t width, std::size_t height, const char* what)
    : file_(path, "<f4", width, height), what_(what) {}

void FloatMapWriter::writeValues(std::span<const float> values, std::size_t rows) {
    if constexpr (std::endian::native == std::endian::little) {
        file_.writeRows(values.data(), values.size_bytes(), values.size(), rows, what_);
    } else {
        bytes_.resize(values.size_bytes());
        std::uint8_t* out = bytes_.data();
        for (const float value : values) {
            const auto bits = std::bit_cast<std::uint32_t>(value);
            for (int shift = 0; shift < 32; shift += 8) *out++ = static_cast<std::uint8_t>(bits >> shift);
        }
        file_.writeRows(bytes_.data(), bytes_.size(), values.size(), rows, what_);
    }
}

void FloatMapWriter::finish() { file_.finish(what_); }

}  // namespace mandel
