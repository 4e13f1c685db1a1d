#include "icon_png.h"

#include <png.h>

#include <cstring>
#include <vector>

#include "icon_picture.h"

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
    if (png_image_write_to_file(&image, path.c_str(), 0, pixels.data(), 0, nullptr) != 0) return {};
    const std::string reason = image.message;
    png_image_free(&image);
    return reason.empty() ? std::string("unknown libpng error") : reason;
}

}  // namespace mandel::tool
