#pragma once

#include <QColor>
#include <QImage>
#include <QRect>
#include <QWidget>
#include <vector>

#include "drawing/render_pass.h"

namespace mandel_ui {

// The picture box Pic1: a widget whose drawing area is addressed in logical
// units, mandel::kLogicalSize across and down once the window has set the
// scale, whatever its size in pixels. Every plotted point goes into a
// persistent image the size of the widget; painting shows that image and
// the save command writes it, so the picture survives being covered and the saved file
// holds what the user sees.
class DrawingSurface : public QWidget, public mandel::PassSurface {
    Q_OBJECT

public:
    explicit DrawingSurface(QWidget* parent = nullptr);

    static QColor backgroundColour() { return Qt::white; }

    // The scale: pixel mode puts the logical size back to the pixel size;
    // then the logical width and height are set one after the other.
    void setPixelScaleMode();
    void setScaleWidth(float width);
    void setScaleHeight(float height);

    // mandel::PassSurface
    void Cls() override;
    // Colours the pixel that contains the logical point (x, y); a point
    // outside the drawing area (x or y below 0 or at or past the logical
    // size) is ignored.
    void PSet(float x, float y, std::uint32_t colour) override;
    void PSetRow(float y, const std::uint32_t* colours, std::size_t count) override;
    float ScaleWidth() const override { return scaleWidth_; }
    float ScaleHeight() const override { return scaleHeight_; }

    // The persistent image: one pixel per pixel of the drawing area.
    const QImage& image() const;

    // The square being dragged on the picture, in pixels; empty when none.
    QRect selection() const { return dragging_ ? selection_ : QRect(); }

    // Whether dragging a square and turning the wheel on the picture mean
    // anything: only while it shows a finished drawing. Off, they do nothing.
    void setPointingEnabled(bool enabled);

signals:
    // Pointing at the picture, in logical units. A square dragged with the
    // left button: its left and top edge and its width.
    void squareSelected(double left, double top, double width);
    // One wheel notch at (x, y): forward zooms in, back zooms out.
    void wheelNotch(double x, double y, bool zoomIn);
    // Backspace while the picture has the focus.
    void backRequested();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    // Makes the image the size of the widget, keeping what it holds. The
    // widget's size is known as soon as it is set, also while the window is
    // hidden and its resize events are still pending.
    QImage& canvas() const;
    void cancelDrag();
    // Whether the pointer has gone further from the press point than the
    // desktop's drag distance: closer, a press and release is a click.
    bool beyondDragDistance(const QPoint& pointer) const;
    // The square from the press point towards `pointer`, as far as the larger
    // of the two distances, and no further than the picture's edges.
    QRect squareTowards(const QPoint& pointer) const;
    void paintOverlay(QPainter& painter) const;
    double toLogicalX(double pixels) const { return pixels * scaleWidth_ / width(); }
    double toLogicalY(double pixels) const { return pixels * scaleHeight_ / height(); }

    // Where PSet writes: the image's pixels and, for whole-number logical
    // coordinates, their pixel column and row, prepared once and kept until
    // the image, its size or the scale changes, or until someone else may
    // hold a copy of the image (which must not see later points).
    struct PlotTarget {
        QRgb* bits = nullptr;  // null: prepare again before the next point
        qsizetype stride = 0;  // pixels per image line
        QSize widgetSize;
        int width = 0;  // of the image
        int height = 0;
        std::vector<int> columns;  // logical x = 0, 1, ... -> pixel column, or -1 outside
        std::vector<int> rows;
    };
    void preparePlot() const;
    void invalidatePlot() const { plot_.bits = nullptr; }

    mutable QImage image_;
    mutable PlotTarget plot_;
    float scaleWidth_;
    float scaleHeight_;
    bool pointingEnabled_ = false;
    bool dragging_ = false;
    QPoint pressPoint_;
    QRect selection_;
    int wheelRemainder_ = 0;  // wheel movement short of a whole notch
};

}  // namespace mandel_ui
