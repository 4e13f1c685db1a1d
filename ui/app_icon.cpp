#include "app_icon.h"

#include <QPixmap>

#include "banding.h"
#include "mandel.h"

namespace mandel_ui {

QImage mandelbrotIconImage(int size) {
    // The square -2.05..0.55 by -1.3..1.3 holds the whole set; with a low
    // limit the bands stay wide enough to be seen at icon size.
    constexpr float kLimit = 32;
    constexpr float kStep = kLimit / 16;
    constexpr double kLeft = -2.05, kTop = -1.3, kSide = 2.6;
    QImage image(size, size, QImage::Format_RGB32);
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            const auto a = static_cast<float>(kLeft + kSide * (x + 0.5) / size);
            const auto b = static_cast<float>(kTop + kSide * (y + 0.5) / size);
            const float count = mandel::mandel(a, b, kLimit);
            const mandel::Rgb c = mandel::Palette[mandel::cstepcol(count, kLimit, kStep)];
            image.setPixel(x, y, qRgb(c.red, c.green, c.blue));
        }
    }
    return image;
}

QIcon makeAppIcon() {
    QIcon icon;
    for (const int size : {32, 16}) icon.addPixmap(QPixmap::fromImage(mandelbrotIconImage(size)));
    return icon;
}

}  // namespace mandel_ui
