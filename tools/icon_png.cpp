#include "icon_png.h"

#include <png.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "colour/icon_picture.h"
#include "files/safe_file.h"

namespace mandel::tool {

std::string writeIconPng(int size, const std::string& path) {
    const std::vector<Rgb> pixels = iconPicture(size);
    static_assert(sizeof(Rgb) == 3, "pixels are handed to libpng as packed RGB bytes");

    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(size);
    image.height = static_cast<png_uint_32>(size);
    image.format = PNG_FORMAT_RGB;
    // Encoded in memory first (the first call measures), so that the file is
    // written through the safe writer: complete or not at all.
    png_alloc_size_t bytes = 0;
    std::vector<std::uint8_t> encoded;
    if (png_image_write_to_memory(&image, nullptr, &bytes, 0, pixels.data(), 0, nullptr) != 0) {
        encoded.resize(bytes);
        if (png_image_write_to_memory(&image, encoded.data(), &bytes, 0, pixels.data(), 0, nullptr) != 0) {
            encoded.resize(bytes);
            try {
                writeFileSafely(path, encoded);
            } catch (const FileWriteError& e) {
                return e.reason().empty() ? std::string(e.what()) : e.reason();
            }
            return {};
        }
    }
    const std::string reason = image.message;
    png_image_free(&image);
    return reason.empty() ? std::string("unknown libpng error") : reason;
}

}  // namespace mandel::tool
