#pragma once

// The explorer's picture: an image at the screen's device pixels that fills
// the widget, and the gestures made on it. Gestures are reported in device
// pixels of the view (the deep engine's pixels); the window turns them into
// locations. While a new picture is drawn the old one is shown moved and
// scaled by the gestures made since (the placeholder).

#include <QImage>
#include <QPoint>
#include <QRect>
#include <QTransform>
#include <QWidget>

namespace mandel_ui {

// What the find gesture looks for near a point.
enum class FindTarget { Minibrot, Misiurewicz };

class ExplorerView : public QWidget {
    Q_OBJECT

public:
    explicit ExplorerView(QWidget* parent = nullptr);

    // The view's size in device pixels.
    QSize devicePixelSize() const;
    // Shows a picture of the current location (device pixels), replacing the placeholder.
    void setPicture(const QImage& image);
    const QImage& picture() const { return picture_; }
    // Moves the shown picture on the screen: device pixel p goes to t.map(p).
    void movePicture(const QTransform& t);
    bool dragging() const { return drag_ != Drag::None; }

signals:
    void wheelTurned(int x, int y, int units);  // units: 120 a notch, > 0 zooms in
    void squareChosen(int x, int y, int pixels);
    void panned(int dx, int dy);  // the view's centre moves by (dx, dy) device pixels
    void zoomKey(int units);      // about the centre
    void backRequested();
    void forwardRequested();
    void homeRequested();
    void resized();
    void stopRequested();             // Esc with no zoom square being drawn
    void pointerMoved(int x, int y);  // device pixels; also when the pointer rests after a gesture
    void pointerLeft();
    void findRequested(int x, int y, FindTarget target);  // a key at the pointer, or the context menu
    void contextMenuRequested(QPoint global, int x, int y);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    enum class Drag { None, Square, Pan };
    QPoint toDevice(const QPointF& logical) const;
    // The pointer in device pixels, or the view's centre when it is elsewhere.
    QPoint pointerOrCentre() const;
    QRect squareTowards(const QPoint& pointer) const;  // logical pixels
    void endDrag();

    QImage picture_;
    QTransform placeholder_;  // picture pixels -> view device pixels
    QTransform dragShift_;    // the pan drag in progress
    Drag drag_ = Drag::None;
    QPoint pressPoint_;  // logical
    QRect square_;       // logical
};

}  // namespace mandel_ui
