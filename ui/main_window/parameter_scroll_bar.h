#pragma once

#include <QScrollBar>

namespace mandel_ui {

// A horizontal scroll bar whose keys move the thumb the way they point:
// Left and Up towards the minimum at the left end, Right and Down towards the
// maximum; Page Up/Down by the page step, Home and End to the ends. (Qt's
// horizontal scroll bars invert the arrow keys by default.) It shows when it
// has the keyboard focus, which the platform's bars do not.
class ParameterScrollBar : public QScrollBar {
    Q_OBJECT

public:
    explicit ParameterScrollBar(QWidget* parent = nullptr);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace mandel_ui
