#pragma once

#include <QMargins>
#include <QObject>
#include <QPoint>
#include <QRect>
#include <QSize>

class QWidget;

namespace mandel_ui {

// Where the top-left corner of a window's frame goes so that the whole
// window, frame included, sits in the middle of the screen: the margins left
// and right of it differ by at most a pixel, and so do those above and below.
// `windowSize` is the size inside the frame, `frame` the frame's width on each
// side (zero where there is none). Worked out in single precision; a window
// larger than the screen overhangs both sides by the same amount.
QPoint centredFramePosition(const QRect& screen, const QSize& windowSize, const QMargins& frame);

// Centres a top-level window on its whole screen now, and again whenever its
// frame's margins change: a window manager frames a window, and reports the
// frame's size, only after the window has been shown. A window the user has
// moved stays where it is, as its frame does not change.
class WindowCentring : public QObject {
    Q_OBJECT

public:
    // Owned by `window`.
    explicit WindowCentring(QWidget* window);
    void centre();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QMargins frameMargins() const;

    QWidget* window_;
    QMargins centredFor_;  // the frame margins of the last centring
};

}  // namespace mandel_ui
