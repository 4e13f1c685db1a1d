#pragma once

// SHA-256 of a byte vector as hexadecimal digits, for comparing whole drawings
// with published digests (the engine's digest; the golden test checks it
// against the standard's "abc" vector).

#include <cstdint>
#include <string>
#include <vector>

#include "files/sha256.h"

namespace testutil {

inline std::string sha256Hex(const std::vector<std::uint8_t>& data) {
    mandel::Sha256 digest;
    digest.add(data);
    return digest.hex();
}

}  // namespace testutil
