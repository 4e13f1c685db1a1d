#include "explorer_view.h"

#include <QContextMenuEvent>
#include <QCursor>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyleHints>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

#include "explore/explore_gestures.h"
#include "zoom_square.h"

namespace mandel_ui {

namespace {

// Arrow keys move the view by this fraction of its width or height.
constexpr int kArrowPanDivisor = 8;

}  // namespace

ExplorerView::ExplorerView(QWidget* parent) : QWidget(parent) {
    setFocusPolicy(Qt::WheelFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumSize(64, 64);
    // The status bar shows the count and point under the pointer.
    setMouseTracking(true);
}

QPoint ExplorerView::pointerOrCentre() const {
    const QPoint pointer = mapFromGlobal(QCursor::pos());
    if (rect().contains(pointer)) return toDevice(pointer);
    const QSize size = devicePixelSize();
    return {size.width() / 2, size.height() / 2};
}

void ExplorerView::leaveEvent(QEvent* event) {
    QWidget::leaveEvent(event);
    emit pointerLeft();
}

void ExplorerView::contextMenuEvent(QContextMenuEvent* event) {
    if (drag_ != Drag::None) return;
    const QPoint at = toDevice(event->pos());
    emit contextMenuRequested(event->globalPos(), at.x(), at.y());
}

QSize ExplorerView::devicePixelSize() const {
    const qreal ratio = devicePixelRatioF();
    return {std::max(1, static_cast<int>(std::lround(width() * ratio))),
            std::max(1, static_cast<int>(std::lround(height() * ratio)))};
}

QPoint ExplorerView::toDevice(const QPointF& logical) const {
    const qreal ratio = devicePixelRatioF();
    return {static_cast<int>(std::floor(logical.x() * ratio)), static_cast<int>(std::floor(logical.y() * ratio))};
}

void ExplorerView::setPicture(const QImage& image) {
    picture_ = image;
    placeholder_ = QTransform();
    update();
}

void ExplorerView::movePicture(const QTransform& t) {
    placeholder_ = placeholder_ * t;
    update();
}

void ExplorerView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), QColor(0, 10, 10));
    if (picture_.isNull()) return;
    // Device pixels to logical ones last, so that an unmoved picture lands
    // pixel for pixel on the screen (no smoothing: sharp at any scale factor).
    const qreal ratio = devicePixelRatioF();
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    painter.setTransform(placeholder_ * dragShift_ * QTransform::fromScale(1 / ratio, 1 / ratio));
    painter.drawImage(0, 0, picture_);
    painter.resetTransform();
    if (drag_ == Drag::Square && !square_.isEmpty()) {
        const QRect outline = square_.adjusted(0, 0, -1, -1);
        painter.setPen(QPen(Qt::black, 1));
        painter.drawRect(outline);
        painter.setPen(QPen(Qt::white, 1, Qt::DashLine));
        painter.drawRect(outline);
    }
}

void ExplorerView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    emit resized();
}

void ExplorerView::wheelEvent(QWheelEvent* event) {
    event->accept();
    const int units = event->angleDelta().y();
    if (units == 0 || drag_ != Drag::None) return;
    setFocus(Qt::MouseFocusReason);
    const QPoint at = toDevice(event->position());
    emit wheelTurned(at.x(), at.y(), units);
}

QRect ExplorerView::squareTowards(const QPoint& pointer) const { return zoomSquare(pressPoint_, pointer, size()); }

void ExplorerView::endDrag() {
    drag_ = Drag::None;
    square_ = QRect();
    dragShift_ = QTransform();
    update();
}

void ExplorerView::mousePressEvent(QMouseEvent* event) {
    const Qt::MouseButton button = event->button();
    if (button == Qt::BackButton) return emit backRequested();
    if (button == Qt::ForwardButton) return emit forwardRequested();
    if (button == Qt::RightButton && drag_ == Drag::Square) return endDrag();
    if (drag_ != Drag::None) return;
    const bool pan =
        button == Qt::MiddleButton || (button == Qt::LeftButton && (event->modifiers() & Qt::ShiftModifier));
    if (!pan && button != Qt::LeftButton) return QWidget::mousePressEvent(event);
    setFocus(Qt::MouseFocusReason);
    drag_ = pan ? Drag::Pan : Drag::Square;
    pressPoint_ = event->position().toPoint();
    square_ = QRect();
}

void ExplorerView::mouseMoveEvent(QMouseEvent* event) {
    if (drag_ == Drag::None) {
        const QPoint at = toDevice(event->position());
        emit pointerMoved(at.x(), at.y());
        return QWidget::mouseMoveEvent(event);
    }
    const QPoint pointer = event->position().toPoint();
    if (drag_ == Drag::Pan) {
        // The picture follows the hand.
        const QPoint shift = toDevice(pointer) - toDevice(pressPoint_);
        dragShift_ = QTransform::fromTranslate(shift.x(), shift.y());
    } else {
        const bool beyond =
            (pointer - pressPoint_).manhattanLength() > QGuiApplication::styleHints()->startDragDistance();
        square_ = beyond ? squareTowards(pointer) : QRect();
    }
    update();
}

void ExplorerView::mouseReleaseEvent(QMouseEvent* event) {
    if (drag_ == Drag::None) return QWidget::mouseReleaseEvent(event);
    const bool panEnds =
        drag_ == Drag::Pan && (event->button() == Qt::MiddleButton || event->button() == Qt::LeftButton);
    const bool squareEnds = drag_ == Drag::Square && event->button() == Qt::LeftButton;
    if (!panEnds && !squareEnds) return;
    const QPoint pointer = event->position().toPoint();
    if (panEnds) {
        const QPoint shift = toDevice(pointer) - toDevice(pressPoint_);
        // The window moves the placeholder by the same shift as it takes the pan.
        endDrag();
        if (!shift.isNull()) emit panned(-shift.x(), -shift.y());
        return;
    }
    const bool beyond = (pointer - pressPoint_).manhattanLength() > QGuiApplication::styleHints()->startDragDistance();
    const QRect square = beyond ? squareTowards(pointer) : QRect();
    endDrag();
    if (square.width() <= 0) return;
    const QPoint topLeft = toDevice(square.topLeft());
    const int pixels = std::max(1, static_cast<int>(std::lround(square.width() * devicePixelRatioF())));
    emit squareChosen(topLeft.x(), topLeft.y(), pixels);
}

void ExplorerView::keyPressEvent(QKeyEvent* event) {
    const QSize size = devicePixelSize();
    const int stepX = size.width() / kArrowPanDivisor;
    const int stepY = size.height() / kArrowPanDivisor;
    switch (event->key()) {
        case Qt::Key_Escape:
            if (drag_ == Drag::Square)
                endDrag();
            else
                emit stopRequested();
            break;
        case Qt::Key_N:
        case Qt::Key_M: {
            const QPoint at = pointerOrCentre();
            emit findRequested(at.x(), at.y(),
                               event->key() == Qt::Key_N ? FindTarget::Minibrot : FindTarget::Misiurewicz);
            break;
        }
        case Qt::Key_Left: emit panned(-stepX, 0); break;
        case Qt::Key_Right: emit panned(stepX, 0); break;
        case Qt::Key_Up: emit panned(0, -stepY); break;
        case Qt::Key_Down: emit panned(0, stepY); break;
        case Qt::Key_Plus:
        case Qt::Key_Equal: emit zoomKey(mandel::kWheelUnitsPerNotch); break;
        case Qt::Key_Minus:
        case Qt::Key_Underscore: emit zoomKey(-mandel::kWheelUnitsPerNotch); break;
        case Qt::Key_Backspace: emit backRequested(); break;
        case Qt::Key_Home: emit homeRequested(); break;
        default: return QWidget::keyPressEvent(event);
    }
    event->accept();
}

}  // namespace mandel_ui
