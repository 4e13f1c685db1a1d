#pragma once

// A reference orbit on disk, so that every drawing of a sequence (each
// keyframe of a zoom movie, in any process on any machine) uses the one orbit
// computed once. The file (version 1) is a text header, one "key value" line
// each, then the orbit's binary data:
//   mandelbrot-reference 1
//   precision_bits P         the reference point's MPFR precision
//   centre_re M E            the point's real part exactly: M·2^E, M a signed
//   centre_im M E            hexadecimal integer (no "0x"), E a decimal integer
//   limit N                  the limit the orbit was computed to
//   extended 0|1             extended-range pixels (below about 1e-289)
//   error_ceiling A E        the orbit's error ceiling, A·2^E (A a C "%a" double)
//   end limit|escaped|truncated
//   points L                 orbit points Z_0 .. Z_{L-1}
//   low_points 0|L           their double-double low parts, when stored
//   data_sha256 HEX          SHA-256 of the binary data below
//   data
// then L points of 32 bytes (re, im, err as IEEE doubles, exponent and
// errExponent as 32-bit integers), then the low points of 24 bytes (re, im,
// err), all little-endian. A reader refuses any other version, a header out
// of order, or data whose length or digest is not the header's.

#include <memory>
#include <stdexcept>
#include <string>

namespace mandel {

class DeepReference;

inline constexpr int kReferenceFileVersion = 1;

// A file that is missing, unreadable, of another version or damaged; what()
// is one line naming the file and the reason.
class ReferenceFileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Writes the reference whole or not at all (SafeFileWriter); throws
// FileWriteError. The low parts are stored when the reference keeps them
// from the start (orbits up to kEagerLowLength iterations).
void writeReferenceFile(const std::string& path, const DeepReference& reference);

// Reads a reference written by writeReferenceFile; throws ReferenceFileError.
std::shared_ptr<const DeepReference> readReferenceFile(const std::string& path);

}  // namespace mandel
