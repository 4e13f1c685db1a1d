#include "drawing_surface.h"

#include "focus_frame.h"
#include "zoom_square.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QStyleHints>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace mandel_ui {

DrawingSurface::DrawingSurface(QWidget* parent)
    : QWidget(parent), image_(1, 1, QImage::Format_RGB32), scaleWidth_(1), scaleHeight_(1) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    // Tab, a click or the wheel gives the picture the focus (for Backspace).
    setFocusPolicy(Qt::WheelFocus);
    image_.fill(backgroundColour());
}

void DrawingSurface::setPixelScaleMode() {
    scaleWidth_ = static_cast<float>(width());
    scaleHeight_ = static_cast<float>(height());
    invalidatePlot();
}

void DrawingSurface::setScaleWidth(float width) {
    scaleWidth_ = width;
    invalidatePlot();
}

void DrawingSurface::setScaleHeight(float height) {
    scaleHeight_ = height;
    invalidatePlot();
}

void DrawingSurface::Cls() {
    canvas().fill(backgroundColour());
    update();
}

namespace {

// The pixel that contains the device position v · pixels / scale, or -1 when
// that lies outside 0 .. pixels - 1 (so v = scale lands just past the end).
int devicePixel(double v, float scale, int pixels) {
    const double p = std::floor(v * pixels / static_cast<double>(scale));
    return (p >= 0 && p < pixels) ? static_cast<int>(p) : -1;
}

// Pixel of logical v: from the table for whole numbers, computed otherwise.
int pixelOf(float v, const std::vector<int>& table, float scale, int pixels) {
    if (v >= 0 && v < static_cast<float>(table.size())) {  // the table has at most 65536 entries
        const int whole = static_cast<int>(v);
        if (static_cast<float>(whole) == v) return table[static_cast<std::size_t>(whole)];
    }
    return devicePixel(v, scale, pixels);
}

std::vector<int> pixelTable(float scale, int pixels) {
    std::vector<int> table;
    for (double v = 0; v <= scale && table.size() < 65536; ++v) table.push_back(devicePixel(v, scale, pixels));
    return table;
}

}  // namespace

void DrawingSurface::preparePlot() const {
    QImage& image = canvas();
    plot_.bits = reinterpret_cast<QRgb*>(image.bits());  // detaches from any copy
    plot_.stride = image.bytesPerLine() / static_cast<qsizetype>(sizeof(QRgb));
    plot_.widgetSize = size();
    plot_.width = image.width();
    plot_.height = image.height();
    plot_.columns = pixelTable(scaleWidth_, image.width());
    plot_.rows = pixelTable(scaleHeight_, image.height());
}

namespace {

QRgb toRgb(std::uint32_t colour) {
    const int red = static_cast<int>(colour & 0xffu);
    const int green = static_cast<int>((colour >> 8) & 0xffu);
    const int blue = static_cast<int>((colour >> 16) & 0xffu);
    return qRgb(red, green, blue);
}

}  // namespace

void DrawingSurface::PSet(float x, float y, std::uint32_t colour) {
    // Called for every point of a drawing: the pixel mapping comes from
    // tables prepared once, and the pixel is written directly.
    if (!plot_.bits || plot_.widgetSize != size()) preparePlot();
    const int px = pixelOf(x, plot_.columns, scaleWidth_, plot_.width);
    const int py = pixelOf(y, plot_.rows, scaleHeight_, plot_.height);
    if (px < 0 || py < 0) return;
    plot_.bits[py * plot_.stride + px] = toRgb(colour);
}

void DrawingSurface::PSetRow(float y, const std::uint32_t* colours, std::size_t count) {
    if (!plot_.bits || plot_.widgetSize != size()) preparePlot();
    const int py = pixelOf(y, plot_.rows, scaleHeight_, plot_.height);
    if (py < 0) return;
    QRgb* const line = plot_.bits + py * plot_.stride;
    // In order, so that of two points in one pixel the later one stays.
    for (std::size_t x = 0; x < count; ++x) {
        const int px =
            x < plot_.columns.size() ? plot_.columns[x] : devicePixel(static_cast<double>(x), scaleWidth_, plot_.width);
        if (px >= 0) line[px] = toRgb(colours[x]);
    }
}

void DrawingSurface::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    // Without smooth transformation a high-DPI screen shows the image scaled
    // as one picture, every image pixel a sharp block.
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    painter.setClipRegion(event->region());
    painter.drawImage(rect(), canvas());
    paintOverlay(painter);
}

// The square being dragged and the focus frame go over the picture on the
// screen only: the image, and so a saved file, never holds them.
void DrawingSurface::paintOverlay(QPainter& painter) const {
    if (dragging_ && !selection_.isEmpty()) {
        const QRect outline = selection_.adjusted(0, 0, -1, -1);
        painter.setPen(QPen(Qt::black, 1));
        painter.drawRect(outline);
        painter.setPen(QPen(Qt::white, 1, Qt::DashLine));
        painter.drawRect(outline);
    }
    if (hasFocus()) paintFocusFrame(painter, rect(), palette());
}

void DrawingSurface::setPointingEnabled(bool enabled) {
    pointingEnabled_ = enabled;
    if (!enabled && dragging_) cancelDrag();
}

bool DrawingSurface::beyondDragDistance(const QPoint& pointer) const {
    // The distance is in logical pixels, as the widget's coordinates are, so
    // a high-DPI screen does not shrink it.
    return (pointer - pressPoint_).manhattanLength() > QGuiApplication::styleHints()->startDragDistance();
}

QRect DrawingSurface::squareTowards(const QPoint& pointer) const { return zoomSquare(pressPoint_, pointer, size()); }

void DrawingSurface::cancelDrag() {
    dragging_ = false;
    selection_ = QRect();
    update();
}

void DrawingSurface::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && pointingEnabled_) {
        setFocus(Qt::MouseFocusReason);
        dragging_ = true;
        pressPoint_ = event->position().toPoint();
        selection_ = QRect();
    } else if (event->button() == Qt::RightButton && dragging_) {
        cancelDrag();
    } else {
        QWidget::mousePressEvent(event);
    }
}

void DrawingSurface::mouseMoveEvent(QMouseEvent* event) {
    if (!dragging_) return QWidget::mouseMoveEvent(event);
    const QPoint pointer = event->position().toPoint();
    selection_ = beyondDragDistance(pointer) ? squareTowards(pointer) : QRect();
    update();
}

void DrawingSurface::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !dragging_) return QWidget::mouseReleaseEvent(event);
    const QPoint pointer = event->position().toPoint();
    const QRect square = beyondDragDistance(pointer) ? squareTowards(pointer) : QRect();
    cancelDrag();
    if (square.width() > 0)
        emit squareSelected(toLogicalX(square.left()), toLogicalY(square.top()), toLogicalX(square.width()));
}

void DrawingSurface::wheelEvent(QWheelEvent* event) {
    event->accept();
    if (!pointingEnabled_) return;
    setFocus(Qt::MouseFocusReason);
    constexpr int kNotch = 120;  // angle delta of one wheel notch
    wheelRemainder_ += event->angleDelta().y();
    const QPointF at = event->position();
    while (std::abs(wheelRemainder_) >= kNotch) {
        const bool forward = wheelRemainder_ > 0;
        wheelRemainder_ += forward ? -kNotch : kNotch;
        emit wheelNotch(toLogicalX(at.x()), toLogicalY(at.y()), forward);
    }
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
        invalidatePlot();
    }
    return image_;
}

const QImage& DrawingSurface::image() const {
    invalidatePlot();  // the caller may keep a copy
    return canvas();
}

}  // namespace mandel_ui
