// Pointing at the picture: drag a square, turn the wheel, go back.
#include <QLabel>
#include <QPushButton>
#include <QWheelEvent>
#include <QtTest>

#include "parameter_scroll_bar.h"
#include "test_support.h"

namespace {

using mandel_ui::Form1;

using test::readouts;
using test::wheel;

QList<int> bars(const test::Controls& c) {
    return {c.Hbar1->value(), c.Hbar2->value(), c.Hbar3->value(), c.Hbar4->value()};
}

QImage pictureOf(const test::Controls& c) {
    const QStringList r = readouts(c);
    return test::referencePicture(r[0].toStdString(), r[1].toStdString(), r[2].toStdString(), r[3].toStdString(),
                                  c.Pic1->image().size());
}

}  // namespace

class NavigationTest : public QObject {
    Q_OBJECT

private slots:
    void draggedSquareBecomesTheRegionAndIsDrawn() {
        test::Harness h;
        Form1& f = h.form;
        const test::Controls& c = h.ui;
        c.btbsa1->click();  // -0.75 -0.275 0.05 106
        f.btnstart_Click();
        const QImage before = test::rgb(c.Pic1->image());

        QTest::mousePress(c.Pic1, Qt::LeftButton, {}, QPoint(100, 100));
        QTest::mouseMove(c.Pic1, QPoint(200, 180));
        QCOMPARE(c.Pic1->selection(), QRect(100, 100, 100, 100));  // a square, as wide as the larger distance
        QCOMPARE(test::rgb(c.Pic1->image()), before);              // drawn over the picture, not into it
        QTest::mouseRelease(c.Pic1, Qt::LeftButton, {}, QPoint(200, 180));

        // 100 of the surface's pixels are 100/W of the region's side 0.05, W = 453:
        // real -0.75 + 0.011038, imag -0.275 + 0.011038, side 0.011038, each
        // rounded to the nearest ten-thousandth.
        QCOMPARE(c.Pic1->image().width(), 453);
        QCOMPARE(readouts(c), (QStringList{"-0.739", "-0.264", "0.011", "106"}));
        QCOMPARE(bars(c), (QList<int>{-7390, -2640, 110, 106}));
        QVERIFY(!c.lblend->text().isEmpty());
        QVERIFY(c.btnstart->isEnabled());
        QCOMPARE(test::rgb(c.Pic1->image()), pictureOf(c));
    }

    void dragTowardsTheTopLeftSelectsFromThePressPoint() {
        test::Harness h;
        Form1& f = h.form;
        const test::Controls& c = h.ui;
        c.btbsa1->click();
        f.btnstart_Click();
        QTest::mousePress(c.Pic1, Qt::LeftButton, {}, QPoint(300, 300));
        QTest::mouseMove(c.Pic1, QPoint(250, 210));
        QCOMPARE(c.Pic1->selection(), QRect(210, 210, 90, 90));
        QTest::mouseRelease(c.Pic1, Qt::LeftButton, {}, QPoint(250, 210));
        QCOMPARE(c.Hbar3->value(), 99);  // 90/453 of 0.05
    }

    void clicksTinySquaresAndCancelledDragsDoNothing() {
        test::Harness h;
        Form1& f = h.form;
        const test::Controls& c = h.ui;
        c.btbsa1->click();
        f.btnstart_Click();
        const QStringList start = readouts(c);
        const QString drawnAt = c.lblstart->text();
        h.clock->text = "a later drawing";  // what a drawing would write into lblstart

        QTest::mouseClick(c.Pic1, Qt::LeftButton, {}, QPoint(50, 50));
        QCOMPARE(readouts(c), start);
        QCOMPARE(c.lblstart->text(), drawnAt);

        c.Command1->click();  // side 0.0001: a 12-pixel square is less than a step
        h.clock->text = "sample4";
        f.btnstart_Click();
        const QStringList tiny = readouts(c);
        h.clock->text = "a later drawing";
        QTest::mousePress(c.Pic1, Qt::LeftButton, {}, QPoint(50, 50));
        QTest::mouseMove(c.Pic1, QPoint(62, 62));
        QVERIFY(!c.Pic1->selection().isEmpty());
        QTest::mouseRelease(c.Pic1, Qt::LeftButton, {}, QPoint(62, 62));
        QCOMPARE(readouts(c), tiny);
        QCOMPARE(c.lblstart->text(), QStringLiteral("sample4"));

        h.clock->text = "sample1";
        c.btbsa1->click();
        f.btnstart_Click();
        h.clock->text = "a later drawing";
        QTest::mousePress(c.Pic1, Qt::LeftButton, {}, QPoint(10, 10));
        QTest::mouseMove(c.Pic1, QPoint(200, 200));
        QTest::mousePress(c.Pic1, Qt::RightButton, {}, QPoint(200, 200));
        QVERIFY(c.Pic1->selection().isEmpty());
        QTest::mouseRelease(c.Pic1, Qt::LeftButton, {}, QPoint(200, 200));
        QCOMPARE(readouts(c), start);

        QTest::mousePress(c.Pic1, Qt::LeftButton, {}, QPoint(10, 10));
        QTest::mouseMove(c.Pic1, QPoint(200, 200));
        QTest::keyClick(c.Pic1, Qt::Key_Escape);
        QVERIFY(c.Pic1->selection().isEmpty());
        QTest::mouseRelease(c.Pic1, Qt::LeftButton, {}, QPoint(200, 200));
        QCOMPARE(readouts(c), start);
        QCOMPARE(c.lblstart->text(), QStringLiteral("sample1"));
    }

    void wheelZoomsKeepingThePointUnderThePointer() {
        test::Harness h;
        Form1& f = h.form;
        const test::Controls& c = h.ui;
        c.btbsa1->click();
        f.btnstart_Click();
        const QPoint at(100, 400);
        const double fx = 100.0 / 453, fy = 400.0 / 453;
        const double real = -0.75 + fx * 0.05, imag = -0.275 + fy * 0.05;

        wheel(c.Pic1, at, 120);
        QCOMPARE(c.lbl3->text(), QStringLiteral("0.025"));
        QVERIFY(std::abs(c.lbl1->text().toDouble() + fx * 0.025 - real) <= 0.00005);
        QVERIFY(std::abs(c.lbl2->text().toDouble() + fy * 0.025 - imag) <= 0.00005);
        QVERIFY(!c.lblend->text().isEmpty());
        QCOMPARE(test::rgb(c.Pic1->image()), pictureOf(c));

        wheel(c.Pic1, at, -120);
        QCOMPARE(readouts(c), (QStringList{"-0.75", "-0.275", "0.05", "106"}));

        wheel(c.Pic1, at, 60);  // half a notch: nothing yet
        QCOMPARE(c.lbl3->text(), QStringLiteral("0.05"));
        wheel(c.Pic1, at, 60);
        QCOMPARE(c.lbl3->text(), QStringLiteral("0.025"));
    }

    void backReturnsToThePreviousDrawings() {
        test::Harness h;
        Form1& f = h.form;
        const test::Controls& c = h.ui;
        c.btbsa1->click();
        f.btnstart_Click();
        const QStringList first = readouts(c);
        wheel(c.Pic1, QPoint(226, 226), 120);
        const QStringList second = readouts(c);
        QTest::mousePress(c.Pic1, Qt::LeftButton, {}, QPoint(1, 1));  // QPoint(0, 0) would mean the centre
        QTest::mouseMove(c.Pic1, QPoint(226, 226));
        QTest::mouseRelease(c.Pic1, Qt::LeftButton, {}, QPoint(226, 226));
        QVERIFY(readouts(c) != second);

        c.Pic1->setFocus();
        QTest::keyClick(c.Pic1, Qt::Key_Backspace);
        QCOMPARE(readouts(c), second);
        QCOMPARE(test::rgb(c.Pic1->image()), pictureOf(c));

        test::backButton(f, c.Pic1, QPoint(5, 5));
        QCOMPARE(readouts(c), first);
        QCOMPARE(bars(c), (QList<int>{-7500, -2750, 500, 106}));

        QTest::keyClick(c.Pic1, Qt::Key_Backspace);  // nothing older
        QCOMPARE(readouts(c), first);
    }
};

QTEST_MAIN(NavigationTest)
#include "navigation_test.moc"
