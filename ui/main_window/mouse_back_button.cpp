#include "mouse_back_button.h"

#include <QMouseEvent>
#include <QWidget>
#include <QWindow>

namespace mandel_ui {

MouseBackButton::MouseBackButton(QWidget* window) : QObject(window), window_(window) {
    // The native window exists once the widget is shown, or earlier when
    // the widget asks for it; watch the widget until then.
    window_->installEventFilter(this);
    if (QWindow* native = window_->windowHandle()) native->installEventFilter(this);
}

bool MouseBackButton::eventFilter(QObject* watched, QEvent* event) {
    if (watched == window_) {
        if (event->type() == QEvent::Show || event->type() == QEvent::WinIdChange)
            if (QWindow* native = window_->windowHandle()) native->installEventFilter(this);
        return false;
    }
    if (watched != window_->windowHandle() || event->type() != QEvent::MouseButtonPress) return false;
    if (static_cast<QMouseEvent*>(event)->button() != Qt::BackButton) return false;
    emit pressed();
    return true;
}

}  // namespace mandel_ui
