// Gestures on the picture act on what it shows, and never by accident:
// presses that stay within the drag distance, squares past the picture's
// edges, bars moved since the drawing, no picture at all.
#include <QGuiApplication>
#include <QPushButton>
#include <QStyleHints>
#include <QtTest>

#include "parameter_scroll_bar.h"
#include "test_support.h"

namespace {

using mandel_ui::Form1;
using mandel_ui::Region;
using test::readouts;

const Region kSample1{-7500, -2750, 500, 106};

// Press at `from`, move by `by` in a few steps, release there.
void drag(QWidget* surface, QPoint from, QPoint by) {
    QTest::mousePress(surface, Qt::LeftButton, {}, from);
    QTest::mouseMove(surface, from + by / 2);
    QTest::mouseMove(surface, from + by);
    QTest::mouseRelease(surface, Qt::LeftButton, {}, from + by);
}

void drawSample1(test::Harness& h) {
    h.ui.btbsa1->click();
    h.form.btnstart_Click();
    h.clock->text = "a later drawing";  // lblstart shows it if anything draws again
}

void stepBar(QScrollBar* bar, int steps) {
    for (int i = 0; i < steps; ++i) bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
}

}  // namespace

class PictureGesturesTest : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { QGuiApplication::styleHints()->setStartDragDistance(-1); }  // back to the platform's

    void pressesWithinTheDragDistanceAreClicks_data() {
        QTest::addColumn<int>("distance");
        QTest::newRow("platform default") << QGuiApplication::styleHints()->startDragDistance();
        QTest::newRow("a desktop setting of 25") << 25;
    }

    void pressesWithinTheDragDistanceAreClicks() {
        QFETCH(int, distance);
        QGuiApplication::styleHints()->setStartDragDistance(distance);
        QCOMPARE(QGuiApplication::styleHints()->startDragDistance(), distance);
        test::Harness h;
        const test::Controls& c = h.ui;
        drawSample1(h);
        const QStringList start = readouts(c);
        const QString drawnAt = c.lblstart->text();

        const QPoint from(100, 100);
        const QPoint clicks[] = {{0, 0},        {1, 0},
                                 {0, -1},       {2, 0},
                                 {2, 2},        {distance - 1, 0},
                                 {0, distance}, {distance / 2, distance - distance / 2}};
        for (const QPoint by : clicks) {
            QTest::mousePress(c.Pic1, Qt::LeftButton, {}, from);
            QTest::mouseMove(c.Pic1, from + by);
            QVERIFY2(c.Pic1->selection().isEmpty(), qPrintable(QStringLiteral("%1,%2").arg(by.x()).arg(by.y())));
            QTest::mouseRelease(c.Pic1, Qt::LeftButton, {}, from + by);
            QCOMPARE(readouts(c), start);
            QCOMPARE(c.lblstart->text(), drawnAt);
        }

        // Out beyond the distance and back within it: the square goes away
        // again, and the release is a click.
        QTest::mousePress(c.Pic1, Qt::LeftButton, {}, from);
        QTest::mouseMove(c.Pic1, from + QPoint(150, 150));
        QVERIFY(!c.Pic1->selection().isEmpty());
        QTest::mouseMove(c.Pic1, from + QPoint(1, 2));
        QVERIFY(c.Pic1->selection().isEmpty());
        QTest::mouseRelease(c.Pic1, Qt::LeftButton, {}, from + QPoint(1, 2));
        QCOMPARE(readouts(c), start);

        // One pixel beyond: a square, and the release zooms into it.
        QTest::mousePress(c.Pic1, Qt::LeftButton, {}, from);
        QTest::mouseMove(c.Pic1, from + QPoint(distance + 1, 0));
        QCOMPARE(c.Pic1->selection(), QRect(from, QSize(distance + 1, distance + 1)));
        QTest::mouseRelease(c.Pic1, Qt::LeftButton, {}, from + QPoint(distance + 1, 0));
        QVERIFY(readouts(c) != start);
        QCOMPARE(c.lblstart->text(), QStringLiteral("a later drawing"));
        QVERIFY(c.Hbar3->value() < 500);
    }

    void theSquareStopsAtThePicturesEdges() {
        test::Harness h;
        const test::Controls& c = h.ui;
        drawSample1(h);
        const int size = c.Pic1->width();
        QCOMPARE(size, 453);

        const auto squareFor = [&](QPoint from, QPoint to) {
            QTest::mousePress(c.Pic1, Qt::LeftButton, {}, from);
            QTest::mouseMove(c.Pic1, to);
            const QRect square = c.Pic1->selection();
            QTest::mousePress(c.Pic1, Qt::RightButton, {}, to);  // cancel
            QTest::mouseRelease(c.Pic1, Qt::LeftButton, {}, to);
            return square;
        };
        QCOMPARE(squareFor({400, 100}, {600, 150}), QRect(400, 100, 53, 53));
        QCOMPARE(squareFor({30, 200}, {-100, 100}), QRect(0, 170, 30, 30));
        QCOMPARE(squareFor({200, 30}, {260, -100}), QRect(200, 0, 30, 30));
        QCOMPARE(squareFor({440, 440}, {900, 700}), QRect(440, 440, 13, 13));
        QCOMPARE(readouts(c), (QStringList{"-0.75", "-0.275", "0.05", "106"}));

        // Released out beyond the right edge: the new region ends where the
        // picture did, at -0.75 + 0.05 = -0.7. Left 400/453 of 0.05 on, top
        // 100/453 of 0.05 down, side 53/453 of 0.05.
        drag(c.Pic1, {400, 100}, {200, 50});
        QCOMPARE(readouts(c), (QStringList{"-0.7058", "-0.264", "0.0058", "106"}));
        QCOMPARE(c.Hbar1->value() + c.Hbar3->value(), -7000);
    }

    void gesturesStartFromTheDrawnPicture() {
        // The same gestures in two windows; in one the bars move between
        // drawings. Both must end up with the same regions.
        test::Harness moved, still;
        for (test::Harness* h : {&moved, &still}) {
            QCOMPARE(h->form.drawnRegion(), std::nullopt);
            drawSample1(*h);
            QCOMPARE(h->form.drawnRegion(), kSample1);
        }
        Form1& f = moved.form;
        const test::Controls& c = moved.ui;
        stepBar(c.Hbar1, 3);
        QCOMPARE(c.lbl1->text(), QStringLiteral("-0.7497"));
        QCOMPARE(f.drawnRegion(), kSample1);  // moving a bar draws nothing
        for (test::Harness* h : {&moved, &still}) drag(h->ui.Pic1, {100, 100}, {100, 80});
        QCOMPARE(readouts(c), (QStringList{"-0.739", "-0.264", "0.011", "106"}));
        QCOMPARE(readouts(c), readouts(still.ui));
        QCOMPARE(f.drawnRegion(), (Region{-7390, -2640, 110, 106}));
        QCOMPARE(test::rgb(c.Pic1->image()), test::rgb(still.ui.Pic1->image()));

        stepBar(c.Hbar2, 3);
        stepBar(c.Hbar3, 40);
        for (test::Harness* h : {&moved, &still}) test::wheel(h->ui.Pic1, QPoint(100, 400), 120);
        QCOMPARE(c.lbl3->text(), QStringLiteral("0.0055"));
        QCOMPARE(readouts(c), readouts(still.ui));

        stepBar(c.Hbar1, 5);
        for (test::Harness* h : {&moved, &still}) QTest::keyClick(h->ui.Pic1, Qt::Key_Backspace);
        QCOMPARE(readouts(c), (QStringList{"-0.739", "-0.264", "0.011", "106"}));
        QCOMPARE(readouts(c), readouts(still.ui));
        QCOMPARE(test::rgb(c.Pic1->image()), test::rgb(still.ui.Pic1->image()));
    }

    void gesturesKeepTheChosenLimit() {
        // The limit is not a place on the picture: a limit chosen after the
        // drawing is the one the zoomed drawing uses.
        test::Harness h;
        Form1& f = h.form;
        const test::Controls& c = h.ui;
        drawSample1(h);
        stepBar(c.Hbar4, 4);
        QCOMPARE(c.lbl4->text(), QStringLiteral("110"));
        drag(c.Pic1, {100, 100}, {100, 80});
        QCOMPARE(readouts(c), (QStringList{"-0.739", "-0.264", "0.011", "110"}));
        stepBar(c.Hbar4, 10);
        test::wheel(c.Pic1, QPoint(100, 400), -120);
        QCOMPARE(c.lbl4->text(), QStringLiteral("120"));
        QCOMPARE(f.drawnRegion()->limit, 120);
    }

    void withoutAPictureGesturesDoNothing() {
        test::Harness h;
        Form1& f = h.form;
        const test::Controls& c = h.ui;
        const QStringList atStart = readouts(c);
        QTest::mousePress(c.Pic1, Qt::LeftButton, {}, QPoint(10, 10));
        QTest::mouseMove(c.Pic1, QPoint(200, 200));
        QVERIFY(c.Pic1->selection().isEmpty());
        QTest::mouseRelease(c.Pic1, Qt::LeftButton, {}, QPoint(200, 200));
        test::wheel(c.Pic1, QPoint(200, 200), 120);
        QCOMPARE(readouts(c), atStart);
        QVERIFY(c.lblstart->text().isEmpty());

        drawSample1(h);
        f.btncls_Click();
        QCOMPARE(f.drawnRegion(), std::nullopt);
        drag(c.Pic1, {10, 10}, {190, 190});
        test::wheel(c.Pic1, QPoint(200, 200), -120);
        QCOMPARE(readouts(c), (QStringList{"-0.75", "-0.275", "0.05", "106"}));
        QVERIFY(c.lblstart->text() != QStringLiteral("a later drawing"));

        // A preset clears the picture too.
        drawSample1(h);
        c.btnsa3->click();
        QCOMPARE(f.drawnRegion(), std::nullopt);
        drag(c.Pic1, {10, 10}, {190, 190});
        QCOMPARE(c.lbl3->text(), QStringLiteral("0.01"));
    }
};

QTEST_MAIN(PictureGesturesTest)
#include "picture_gestures_test.moc"
