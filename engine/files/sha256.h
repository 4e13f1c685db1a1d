#pragma once

// SHA-256 digests of file contents, to notice a file that changed or was
// damaged after it was written (the same digest `sha256sum` prints).

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace mandel {

class Sha256 {
public:
    Sha256();
    void add(std::span<const std::uint8_t> bytes);
    void add(const void* data, std::size_t size) { add({static_cast<const std::uint8_t*>(data), size}); }
    // The digest as 64 lowercase hexadecimal digits; the object is spent.
    std::string hex();

private:
    void block(const std::uint8_t* data);
    std::array<std::uint32_t, 8> state_;
    std::array<std::uint8_t, 64> pending_{};
    std::size_t pendingSize_ = 0;
    std::uint64_t totalBytes_ = 0;
};

// The digest of a whole file, or "" when it cannot be read.
std::string sha256OfFile(const std::string& path);

}  // namespace mandel
