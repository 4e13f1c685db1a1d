#include "drawing_surface.h"

#include <QImageWriter>
#include <QPaintEvent>
#include <QPainter>
#include <QSaveFile>
#include <cmath>

namespace mandel_ui {

DrawingSurface::DrawingSurface(QWidget* parent)
    : QWidget(parent),
      image_(1, 1, QImage::Format_RGB32),
      scaleWidth_(1),
      scaleHeight_(1) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::NoFocus);
    image_.fill(backgroundColour());
}

void DrawingSurface::setPixelScaleMode() {
    scaleWidth_ = static_cast<float>(width());
    scaleHeight_ = static_cast<float>(height());
}

void DrawingSurface::setScaleWidth(float width) { scaleWidth_ = width; }

void DrawingSurface::setScaleHeight(float height) { scaleHeight_ = height; }

void DrawingSurface::Cls() {
    canvas().fill(backgroundColour());
    update();
}

void DrawingSurface::PSet(float x, float y, std::uint32_t colour) {
    // Device position x·W/500: the pixel is the one that contains it, so
    // x = 500 lands on W, just past the last pixel.
    QImage& image = canvas();
    const double px = std::floor(static_cast<double>(x) * image.width() / scaleWidth_);
    const double py = std::floor(static_cast<double>(y) * image.height() / scaleHeight_);
    if (!(px >= 0 && px < image.width() && py >= 0 && py < image.height())) return;
    const int red = static_cast<int>(colour & 0xffu);
    const int green = static_cast<int>((colour >> 8) & 0xffu);
    const int blue = static_cast<int>((colour >> 16) & 0xffu);
    auto* row = reinterpret_cast<QRgb*>(image.scanLine(static_cast<int>(py)));
    row[static_cast<int>(px)] = qRgb(red, green, blue);
}

SaveResult DrawingSurface::save(const QString& path) const {
    // A 24-bit image makes the writer produce a 24-bit bitmap.
    const QImage picture = canvas().convertToFormat(QImage::Format_RGB888);
    QSaveFile file(path);
    // An existing file in a folder that does not allow new files can still
    // be replaced in place.
    file.setDirectWriteFallback(true);
    if (!file.open(QIODevice::WriteOnly)) return {false, file.errorString()};
    QImageWriter writer(&file, "bmp");
    if (!writer.write(picture)) {
        file.cancelWriting();
        return {false, writer.errorString()};
    }
    if (!file.commit()) return {false, file.errorString()};
    return {true, QString()};
}

void DrawingSurface::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    // Without smooth transformation a high-DPI screen shows the image scaled
    // as one picture, every image pixel a sharp block.
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    painter.setClipRegion(event->region());
    painter.drawImage(rect(), canvas());
}

QImage& DrawingSurface::canvas() const {
    const QSize wanted = size().expandedTo(QSize(1, 1));
    if (image_.size() != wanted) {
        QImage resized(wanted, QImage::Format_RGB32);
        resized.fill(backgroundColour());
        QPainter(&resized).drawImage(0, 0, image_);
        image_ = resized;
    }
    return image_;
}

const QImage& DrawingSurface::image() const { return canvas(); }

}  // namespace mandel_ui
