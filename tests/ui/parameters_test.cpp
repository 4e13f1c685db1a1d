// The four scroll bars and their read-outs.

#include <QLabel>
#include <QPushButton>
#include <QStyleOptionSlider>
#include <QtTest>

#include "drawing_surface.h"
#include "form1.h"
#include "parameter_scroll_bar.h"
#include "region/render_settings.h"
#include "test_support.h"

namespace {

struct Bar {
    int index;  // 1..4
    int minimum, maximum, start, pageStep;
};
const Bar kBars[] = {
    {1, -20000, 10000, -11507, 100},
    {2, -30000, 10000, -4793, 100},
    {3, 1, 30000, 5000, 100},
    {4, 100, 1500, 100, 10},
};

QScrollBar* barOf(const test::Controls& c, int i) {
    QScrollBar* bars[] = {c.Hbar1, c.Hbar2, c.Hbar3, c.Hbar4};
    return bars[i - 1];
}
QLabel* readoutOf(const test::Controls& c, int i) {
    QLabel* labels[] = {c.lbl1, c.lbl2, c.lbl3, c.lbl4};
    return labels[i - 1];
}
// The four read-outs and the two time read-outs.
QStringList allReadouts(const test::Controls& c) {
    return {c.lbl1->text(), c.lbl2->text(), c.lbl3->text(), c.lbl4->text(), c.lblstart->text(), c.lblend->text()};
}

QPoint centreOf(QScrollBar* bar, QStyle::SubControl part) {
    QStyleOptionSlider option;
    option.initFrom(bar);
    option.orientation = bar->orientation();
    option.minimum = bar->minimum();
    option.maximum = bar->maximum();
    option.sliderPosition = bar->sliderPosition();
    option.sliderValue = bar->value();
    option.singleStep = bar->singleStep();
    option.pageStep = bar->pageStep();
    option.upsideDown = bar->invertedAppearance();
    return bar->style()->subControlRect(QStyle::CC_ScrollBar, &option, part, bar).center();
}

}  // namespace

class ParametersTest : public QObject {
    Q_OBJECT

private slots:
    void startUp() {
        test::Harness h;
        QCOMPARE(allReadouts(h.ui), (QStringList{"-1.1507", "-0.4793", "0.5", "100", "", ""}));
        QCOMPARE(h.ui.Pic1->ScaleWidth(), 500.0f);
        QCOMPARE(h.ui.Pic1->ScaleHeight(), 500.0f);
        QVERIFY(h.events.isEmpty());
    }

    void rangesAndSteps() {
        mandel_ui::Form1 form;
        const test::Controls c(form);
        for (const Bar& b : kBars) {
            QScrollBar* bar = barOf(c, b.index);
            QCOMPARE(bar->minimum(), b.minimum);
            QCOMPARE(bar->maximum(), b.maximum);
            QCOMPARE(bar->value(), b.start);
            QCOMPARE(bar->singleStep(), 1);
            QCOMPARE(bar->pageStep(), b.pageStep);
            QVERIFY(!bar->invertedAppearance());  // minimum at the left end
            QVERIFY(bar->hasTracking());
        }
    }

    // Every value of every bar: its read-out is the digit-by-digit text and
    // parses back to the float nearest to value / 10000 (lbl4: the integer).
    void everyValueOfEveryBar() {
        test::Harness h;
        for (const Bar& b : kBars) {
            QScrollBar* bar = barOf(h.ui, b.index);
            QLabel* readout = readoutOf(h.ui, b.index);
            for (int v = b.minimum; v <= b.maximum; ++v) {
                bar->setValue(v);
                const QString text = readout->text();
                const QString expected = b.index == 4 ? QString::number(v) : test::expectedReadout(v);
                if (text != expected)
                    QFAIL(qPrintable(QStringLiteral("Hbar%1 at %2 shows %3").arg(b.index).arg(v).arg(text)));
                if (b.index < 4 && !test::isNearestFloat(mandel::parseReadout(text.toStdString()), v))
                    QFAIL(qPrintable(text + QStringLiteral(" does not parse to the nearest float")));
            }
        }
        QCOMPARE(h.ui.lbl4->text(), QStringLiteral("1500"));
    }

    // Moving a bar rewrites its own read-out only, and neither draws nor clears.
    void aBarChangesOnlyItsReadout() {
        test::Harness h;
        h.ui.lblstart->setText("start");
        h.ui.lblend->setText("end");
        for (int i = 0; i < 500; i += 5) h.ui.Pic1->PSet(static_cast<float>(i), static_cast<float>(i), 0x203040);
        const QImage picture = h.ui.Pic1->image().copy();
        const mandel::RenderSettings settings = h.form.renderSettings();
        for (int i = 1; i <= 4; ++i) {
            const QStringList before = allReadouts(h.ui);
            barOf(h.ui, i)->triggerAction(QAbstractSlider::SliderPageStepAdd);
            const QStringList after = allReadouts(h.ui);
            for (int j = 0; j < before.size(); ++j) {
                if (j == i - 1)
                    QVERIFY(after[j] != before[j]);
                else
                    QCOMPARE(after[j], before[j]);
            }
            QCOMPARE(h.ui.Pic1->image(), picture);
        }
        QCOMPARE(h.form.renderSettings().side, settings.side);
        QVERIFY(h.events.isEmpty());
        QVERIFY(h.ui.btnstart->isEnabled());
    }

    // Arrow keys move the thumb the way they point; page keys by the page
    // step; Home and End to the ends.
    void keys() {
        test::Harness h;
        h.form.show();
        QVERIFY(QTest::qWaitForWindowActive(&h.form));
        QScrollBar* bar = h.ui.Hbar3;
        bar->setFocus();
        QTest::keyClick(bar, Qt::Key_Right);
        QCOMPARE(bar->value(), 5001);
        QCOMPARE(h.ui.lbl3->text(), QStringLiteral("0.5001"));
        QTest::keyClick(bar, Qt::Key_Left);
        QTest::keyClick(bar, Qt::Key_Left);
        QCOMPARE(bar->value(), 4999);
        QTest::keyClick(bar, Qt::Key_Down);
        QCOMPARE(bar->value(), 5000);
        QTest::keyClick(bar, Qt::Key_Up);
        QCOMPARE(bar->value(), 4999);
        QTest::keyClick(bar, Qt::Key_PageDown);
        QCOMPARE(bar->value(), 5099);
        QTest::keyClick(bar, Qt::Key_PageUp);
        QCOMPARE(bar->value(), 4999);
        QTest::keyClick(bar, Qt::Key_Home);
        QCOMPARE(h.ui.lbl3->text(), QStringLiteral("0.0001"));
        QTest::keyClick(bar, Qt::Key_End);
        QCOMPARE(h.ui.lbl3->text(), QStringLiteral("3"));

        h.ui.Hbar4->setFocus();
        QTest::keyClick(h.ui.Hbar4, Qt::Key_PageDown);
        QCOMPARE(h.ui.lbl4->text(), QStringLiteral("110"));
        QTest::keyClick(h.ui.Hbar4, Qt::Key_Left);
        QCOMPARE(h.ui.lbl4->text(), QStringLiteral("109"));
    }

    // The right arrow adds 1, the track right of the thumb adds the page step:
    // the maximum lies at the right end.
    void mouse() {
        test::Harness h;
        h.form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&h.form));
        QScrollBar* bar = h.ui.Hbar1;
        QTest::mouseClick(bar, Qt::LeftButton, {}, centreOf(bar, QStyle::SC_ScrollBarAddLine));
        QCOMPARE(bar->value(), -11506);
        QCOMPARE(h.ui.lbl1->text(), QStringLiteral("-1.1506"));
        QTest::mouseClick(bar, Qt::LeftButton, {}, centreOf(bar, QStyle::SC_ScrollBarSubLine));
        QTest::mouseClick(bar, Qt::LeftButton, {}, centreOf(bar, QStyle::SC_ScrollBarSubLine));
        QCOMPARE(bar->value(), -11508);
        QTest::mouseClick(bar, Qt::LeftButton, {}, centreOf(bar, QStyle::SC_ScrollBarAddPage));
        QCOMPARE(bar->value(), -11408);
        QVERIFY(centreOf(bar, QStyle::SC_ScrollBarAddLine).x() > centreOf(bar, QStyle::SC_ScrollBarSubLine).x());
    }

    // Dragging the thumb rewrites the read-out at every step, before release.
    void dragUpdatesTheReadoutContinuously() {
        test::Harness h;
        h.form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&h.form));
        QScrollBar* bar = h.ui.Hbar3;
        const QPoint thumb = centreOf(bar, QStyle::SC_ScrollBarSlider);
        QTest::mousePress(bar, Qt::LeftButton, {}, thumb);
        QVERIFY(bar->isSliderDown());
        QStringList seen;
        for (int dx = 10; dx <= 40; dx += 10) {
            QTest::mouseMove(bar, thumb + QPoint(dx, 0));
            seen << h.ui.lbl3->text();
        }
        QVERIFY(bar->isSliderDown());
        QTest::mouseRelease(bar, Qt::LeftButton, {}, thumb + QPoint(40, 0));
        QCOMPARE(seen.size(), 4);
        for (int i = 1; i < seen.size(); ++i)
            QVERIFY2(mandel::parseReadout(seen[i].toStdString()) > mandel::parseReadout(seen[i - 1].toStdString()),
                     qPrintable(seen.join(' ')));
        QCOMPARE(h.ui.lbl3->text(), test::expectedReadout(bar->value()));

        // Also with the value held back until release, the read-out follows the thumb.
        bar->setTracking(false);
        bar->setSliderDown(true);
        bar->setSliderPosition(1234);
        QCOMPARE(h.ui.lbl3->text(), QStringLiteral("0.1234"));
        bar->setSliderDown(false);
        QCOMPARE(bar->value(), 1234);
    }

    // After a preset the thumb stands at the preset's value: one step moves
    // the read-out one step from there.
    void aStepAfterAPreset() {
        test::Harness h;
        h.ui.Command2->click();  // sample5: real-part minimum -0.772
        h.form.show();
        QVERIFY(QTest::qWaitForWindowActive(&h.form));
        h.ui.Hbar1->setFocus();
        QTest::keyClick(h.ui.Hbar1, Qt::Key_Right);
        QCOMPARE(h.ui.lbl1->text(), QStringLiteral("-0.7719"));
        h.ui.Command2->click();
        QTest::keyClick(h.ui.Hbar1, Qt::Key_PageDown);
        QCOMPARE(h.ui.lbl1->text(), QStringLiteral("-0.762"));
    }
};

QTEST_MAIN(ParametersTest)
#include "parameters_test.moc"
