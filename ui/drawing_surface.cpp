#include "drawing_surface.h"

#include <QImageWriter>
#include <QPaintEvent>
#include <QPainter>
#include <QResizeEvent>
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
    scaleWidth_ = static_cast<float>(image_.width());
    scaleHeight_ = static_cast<float>(image_.height());
}

void DrawingSurface::setScaleWidth(float width) { scaleWidth_ = width; }

void DrawingSurface::setScaleHeight(float height) { scaleHeight_ = height; }

void DrawingSurface::Cls() {
    image_.fill(backgroundColour());
    update();
}

void DrawingSurface::PSet(float x, float y, std::uint32_t colour) {
    // Device position x·W/500: the pixel is the one that contains it, so
    // x = 500 lands on W, just past the last pixel.
    const double px = std::floor(static_cast<double>(x) * image_.width() / scaleWidth_);
    const double py = std::floor(static_cast<double>(y) * image_.height() / scaleHeight_);
    if (!(px >= 0 && px < image_.width() && py >= 0 && py < image_.height())) return;
    const int red = static_cast<int>(colour & 0xffu);
    const int green = static_cast<int>((colour >> 8) & 0xffu);
    const int blue = static_cast<int>((colour >> 16) & 0xffu);
    auto* row = reinterpret_cast<QRgb*>(image_.scanLine(static_cast<int>(py)));
    row[static_cast<int>(px)] = qRgb(red, green, blue);
}

SaveResult DrawingSurface::save(const QString& path) const {
    // A 24-bit image makes the writer produce a 24-bit bitmap.
    const QImage picture = image_.convertToFormat(QImage::Format_RGB888);
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
    painter.drawImage(rect(), image_);
}

void DrawingSurface::resizeEvent(QResizeEvent* event) {
    // The window gives the surface its size once, before anything is drawn;
    // keep whatever is there if it ever changes.
    const QSize size = event->size().expandedTo(QSize(1, 1));
    if (size == image_.size()) return;
    const bool pixelMode = scaleWidth_ == static_cast<float>(image_.width()) &&
                           scaleHeight_ == static_cast<float>(image_.height());
    QImage resized(size, QImage::Format_RGB32);
    resized.fill(backgroundColour());
    QPainter(&resized).drawImage(0, 0, image_);
    image_ = resized;
    if (pixelMode) setPixelScaleMode();
}

}  // namespace mandel_ui
