#include "drawing_surface.h"

#include <QImageWriter>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QSaveFile>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace mandel_ui {

DrawingSurface::DrawingSurface(QWidget* parent)
    : QWidget(parent),
      image_(1, 1, QImage::Format_RGB32),
      scaleWidth_(1),
      scaleHeight_(1) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    // A click gives the picture the focus (for Backspace); Tab passes it by.
    setFocusPolicy(Qt::ClickFocus);
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
    if (dragging_ && !selection_.isEmpty()) {
        // Drawn over the picture only: the image itself stays untouched.
        const QRect outline = selection_.adjusted(0, 0, -1, -1);
        painter.setPen(QPen(Qt::black, 1));
        painter.drawRect(outline);
        painter.setPen(QPen(Qt::white, 1, Qt::DashLine));
        painter.drawRect(outline);
    }
}

QRect DrawingSurface::squareTowards(const QPoint& pointer) const {
    const int dx = pointer.x() - pressPoint_.x();
    const int dy = pointer.y() - pressPoint_.y();
    const int side = std::max(std::abs(dx), std::abs(dy));
    const int left = dx < 0 ? pressPoint_.x() - side : pressPoint_.x();
    const int top = dy < 0 ? pressPoint_.y() - side : pressPoint_.y();
    return QRect(left, top, side, side);
}

void DrawingSurface::cancelDrag() {
    dragging_ = false;
    selection_ = QRect();
    update();
}

void DrawingSurface::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        dragging_ = true;
        pressPoint_ = event->position().toPoint();
        selection_ = QRect();
    } else if (event->button() == Qt::RightButton && dragging_) {
        cancelDrag();
    } else if (event->button() == Qt::BackButton) {
        emit backRequested();
    } else {
        QWidget::mousePressEvent(event);
    }
}

void DrawingSurface::mouseMoveEvent(QMouseEvent* event) {
    if (!dragging_) return QWidget::mouseMoveEvent(event);
    selection_ = squareTowards(event->position().toPoint());
    update();
}

void DrawingSurface::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !dragging_) return QWidget::mouseReleaseEvent(event);
    const QRect square = squareTowards(event->position().toPoint());
    cancelDrag();
    if (square.width() > 0)
        emit squareSelected(toLogicalX(square.left()), toLogicalY(square.top()), toLogicalX(square.width()));
}

void DrawingSurface::wheelEvent(QWheelEvent* event) {
    constexpr int kNotch = 120;  // angle delta of one wheel notch
    wheelRemainder_ += event->angleDelta().y();
    const QPointF at = event->position();
    while (std::abs(wheelRemainder_) >= kNotch) {
        const bool forward = wheelRemainder_ > 0;
        wheelRemainder_ += forward ? -kNotch : kNotch;
        emit wheelNotch(toLogicalX(at.x()), toLogicalY(at.y()), forward);
    }
    event->accept();
}

void DrawingSurface::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && dragging_) {
        cancelDrag();
    } else if (event->key() == Qt::Key_Backspace) {
        emit backRequested();
    } else {
        QWidget::keyPressEvent(event);
    }
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
