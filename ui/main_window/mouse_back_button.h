#pragma once

#include <QObject>

class QWidget;

namespace mandel_ui {

// The mouse's back button pressed anywhere over a window, whichever of its
// controls is under the pointer. The press is taken from the native window
// before any control sees it, so it neither moves the keyboard focus nor
// reaches a control. Owned by that window.
class MouseBackButton : public QObject {
    Q_OBJECT

public:
    explicit MouseBackButton(QWidget* window);

signals:
    void pressed();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* window_;
};

}  // namespace mandel_ui
