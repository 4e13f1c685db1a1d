#include "colour/icon_picture.h"

#include "kernel/mandel.h"

namespace mandel {

std::vector<Rgb> iconPicture(int size) {
    // The square -2.05..0.55 by -1.3..1.3 holds the whole set; with a low
    // limit the bands stay wide enough to be seen at icon size.
    constexpr float kLimit = 32;
    constexpr float kStep = kLimit / 16;
    constexpr double kLeft = -2.05, kTop = -1.3, kSide = 2.6;
    std::vector<Rgb> pixels;
    pixels.reserve(static_cast<std::size_t>(size) * static_cast<std::size_t>(size));
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            const auto a = static_cast<float>(kLeft + kSide * (x + 0.5) / size);
            const auto b = static_cast<float>(kTop + kSide * (y + 0.5) / size);
            pixels.push_back(Palette[cstepcol(mandel(a, b, kLimit), kLimit, kStep)]);
        }
    }
    return pixels;
}

}  // namespace mandel
