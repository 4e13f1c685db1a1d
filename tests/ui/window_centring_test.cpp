// Where the window goes so that it is centred, frame included.
#include <QtTest>

#include "window_centring.h"

namespace {

using mandel_ui::centredFramePosition;

// The outer margins between the screen's edges and the framed window.
struct Margins {
    int left, right, top, bottom;
};

Margins marginsOf(const QRect& screen, const QSize& window, const QMargins& frame) {
    const QPoint at = centredFramePosition(screen, window, frame);
    const QRect outer(
        at, QSize(frame.left() + window.width() + frame.right(), frame.top() + window.height() + frame.bottom()));
    return {outer.left() - screen.left(), screen.right() - outer.right(), outer.top() - screen.top(),
            screen.bottom() - outer.bottom()};
}

}  // namespace

class WindowCentringTest : public QObject {
    Q_OBJECT

private slots:
    void withoutAFrameTheWindowItselfIsCentred() {
        const QRect screen(0, 0, 1280, 1024);
        QCOMPARE(centredFramePosition(screen, QSize(756, 483), QMargins()), QPoint(262, 270));
        QCOMPARE(centredFramePosition(screen, QSize(756, 484), QMargins()), QPoint(262, 270));
        // A second screen to the right of the first.
        QCOMPARE(centredFramePosition(QRect(1280, 0, 1920, 1080), QSize(756, 483), QMargins()),
                 QPoint(1280 + 582, 298));
    }

    void theFrameCountsAsPartOfTheWindow() {
        // A title bar of 20 pixels and borders of 1: the frame is 758 × 504.
        const QRect screen(0, 0, 1280, 1024);
        QCOMPARE(centredFramePosition(screen, QSize(756, 483), QMargins(1, 20, 1, 1)), QPoint(261, 260));
        // A frame thicker on one side moves the window, not only its frame.
        QCOMPARE(centredFramePosition(screen, QSize(756, 483), QMargins(10, 30, 0, 0)), QPoint(257, 255));
    }

    void outerMarginsAgreeWithinAPixelForAnyFrame() {
        const QRect screens[] = {{0, 0, 1280, 1024}, {0, 0, 1366, 768}, {-1920, 0, 1920, 1200}, {0, 0, 801, 601}};
        for (const QRect& screen : screens)
            for (int side = 0; side <= 8; side += 3)
                for (int title = 0; title <= 40; title += 7)
                    for (const QSize window : {QSize(756, 483), QSize(757, 484)}) {
                        const Margins m = marginsOf(screen, window, QMargins(side, title, side + 1, side));
                        QVERIFY(std::abs(m.left - m.right) <= 1 && std::abs(m.top - m.bottom) <= 1);
                        QVERIFY(m.left >= 0 && m.top >= 0);
                    }
    }

    void aWindowLargerThanTheScreenOverhangsBothSidesAlike() {
        const QRect screen(0, 0, 640, 480);
        const Margins m = marginsOf(screen, QSize(756, 483), QMargins(1, 20, 1, 1));
        QVERIFY(m.left < 0 && m.top < 0);
        QVERIFY(std::abs(m.left - m.right) <= 1 && std::abs(m.top - m.bottom) <= 1);
        QCOMPARE(centredFramePosition(screen, QSize(756, 483), QMargins(1, 20, 1, 1)), QPoint(-59, -12));
    }
};

QTEST_MAIN(WindowCentringTest)
#include "window_centring_test.moc"
