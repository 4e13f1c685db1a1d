#pragma once

// Count maps: the counts of a drawing as a NumPy .npy file, for users who
// colour the counts their own way (numpy.load reads it); and flag maps, which
// say in the same form which counts are certified.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "deep/deep_picture.h"
#include "files/safe_file.h"

namespace mandel {

// The .npy header (format 1.0) of a width × height array in row order whose
// elements NumPy's `descr` names ("<i4", "|u1"): the magic, the version, the
// header's length and its dictionary, padded with spaces and a newline to a
// multiple of 64 bytes.
std::vector<std::uint8_t> npyHeader(std::string_view descr, std::size_t width, std::size_t height);

// The header of a count map: little-endian 32-bit integers ("<i4").
std::vector<std::uint8_t> countMapHeader(std::size_t width, std::size_t height);

// The rows of one .npy array on disk through SafeFileWriter: the header
// first, then whole rows, committed only once every row is there.
class NpyRowFile {
public:
    NpyRowFile(const std::string& path, std::string_view descr, std::size_t width, std::size_t height);
    // Writes `rows` rows of `bytes`; throws std::invalid_argument when they
    // are not `rows` rows of the array or go past its last row.
    void writeRows(const void* bytes, std::size_t size, std::size_t elements, std::size_t rows, const char* what);
    void finish(const char* what);
    std::size_t width() const { return width_; }

private:
    SafeFileWriter file_;
    std::size_t width_;
    std::size_t height_;
    std::size_t rowsWritten_ = 0;
};

// Writes a count map row by row as the drawing goes, through SafeFileWriter:
// the file is complete on disk only after finish(), and nothing is left of it
// when the writer is destroyed unfinished. Throws FileWriteError when the
// file cannot be created or a write fails.
class CountMapWriter : public CountSink {
public:
    CountMapWriter(const std::string& path, std::size_t width, std::size_t height);
    void writeCounts(std::span<const std::int32_t> counts, std::size_t rows) override;
    void finish() override;

private:
    NpyRowFile file_;
    std::vector<std::uint8_t> bytes_;  // a block's counts in little-endian order
};

// Writes a flag map, an .npy array of unsigned bytes ("|u1", shape (height,
// width), row 0 first: 1 for a certified count, 0 for one the precision cap
// left undecided), row by row as the drawing goes, as CountMapWriter does:
// complete on disk only after finish(). Throws FileWriteError when the file
// cannot be created or a write fails.
class FlagMapWriter : public FlagSink {
public:
    FlagMapWriter(const std::string& path, std::size_t width, std::size_t height);
    void writeFlags(std::span<const std::uint8_t> flags, std::size_t rows) override;
    void finish() override;

private:
    NpyRowFile file_;
};

// Writes a map of floats, an .npy array of little-endian 32-bit floats
// ("<f4", shape (height, width): each pixel's continuous count or distance,
// NaN inside the set), row by row as CountMapWriter does. `what` names it in
// errors ("smooth map").
class FloatMapWriter : public FloatMapSink {
public:
    FloatMapWriter(const std::string& path, std::size_t width, std::size_t height, const char* what);
    void writeValues(std::span<const float> values, std::size_t rows) override;
    void finish() override;

private:
    NpyRowFile file_;
    const char* what_;
    std::vector<std::uint8_t> bytes_;  // a block's values in little-endian order
};

}  // namespace mandel
