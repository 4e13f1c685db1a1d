#include "app_icon.h"

#include <QPixmap>

#include "colour/icon_picture.h"

namespace mandel_ui {

QImage mandelbrotIconImage(int size) {
    const std::vector<mandel::Rgb> pixels = mandel::iconPicture(size);
    QImage image(size, size, QImage::Format_RGB32);
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            const mandel::Rgb c = pixels[static_cast<std::size_t>(y) * size + x];
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
