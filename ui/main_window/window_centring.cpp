#include "window_centring.h"

#include <QEvent>
#include <QScreen>
#include <QWidget>
#include <QWindow>
#include <cmath>

namespace mandel_ui {

namespace {

int centredStart(int screenStart, int screenLength, int outerLength) {
    const float offset = (static_cast<float>(screenLength) - static_cast<float>(outerLength)) / 2.0f;
    return screenStart + static_cast<int>(std::floor(offset));
}

}  // namespace

QPoint centredFramePosition(const QRect& screen, const QSize& windowSize, const QMargins& frame) {
    const int outerWidth = frame.left() + windowSize.width() + frame.right();
    const int outerHeight = frame.top() + windowSize.height() + frame.bottom();
    return QPoint(centredStart(screen.x(), screen.width(), outerWidth),
                  centredStart(screen.y(), screen.height(), outerHeight));
}

WindowCentring::WindowCentring(QWidget* window) : QObject(window), window_(window) {
    window_->installEventFilter(this);
}

QMargins WindowCentring::frameMargins() const {
    // Asked of the native window: the widget keeps the margins it knew
    // before a window manager framed the window.
    const QWindow* native = window_->windowHandle();
    return native ? native->frameMargins() : QMargins();
}

void WindowCentring::centre() {
    const QScreen* screen = window_->screen();
    if (!screen) return;
    centredFor_ = frameMargins();
    const QPoint frameTopLeft = centredFramePosition(screen->geometry(), window_->size(), centredFor_);
    // Placed by the position inside the frame: a window manager keeps that
    // as it is asked, whereas it may take a frame position for its own.
    window_->setGeometry(QRect(frameTopLeft + QPoint(centredFor_.left(), centredFor_.top()), window_->size()));
}

bool WindowCentring::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
        case QEvent::Show:
        case QEvent::Move:
        case QEvent::Resize:
        case QEvent::WindowActivate:
            if (watched == window_ && frameMargins() != centredFor_) centre();
            break;
        default: break;
    }
    return false;
}

}  // namespace mandel_ui
