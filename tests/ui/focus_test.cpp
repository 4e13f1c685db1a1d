// The keyboard focus: where it starts, where gestures put it, that the
// mouse's back button works over the whole window, and that every control
// shows it, the picture on the screen only.
#include <QPushButton>
#include <QtTest>

#include "parameter_scroll_bar.h"
#include "test_support.h"

namespace {

using mandel_ui::Form1;
using test::readouts;

const QStringList kSample1Readouts{"-0.75", "-0.275", "0.05", "106"};

void showAndActivate(Form1& form) {
    form.show();
    QVERIFY(QTest::qWaitForWindowActive(&form));
}

QWidget* focused() { return QApplication::focusWidget(); }

void drag(QWidget* surface, QPoint from, QPoint to) {
    QTest::mousePress(surface, Qt::LeftButton, {}, from);
    QTest::mouseMove(surface, to);
    QTest::mouseRelease(surface, Qt::LeftButton, {}, to);
}

}  // namespace

class FocusTest : public QObject {
    Q_OBJECT

private slots:
    void startsOnThePicture() {
        test::Harness h;
        showAndActivate(h.form);
        QCOMPARE(focused(), h.ui.Pic1);
        // Arrow keys at start-up move no scroll bar.
        QTest::keyClick(focused(), Qt::Key_Right);
        QTest::keyClick(focused(), Qt::Key_Left);
        QCOMPARE(h.ui.Hbar1->value(), -11507);
        QCOMPARE(h.ui.lbl1->text(), QStringLiteral("-1.1507"));
    }

    void gesturesGiveThePictureTheFocusForBackspace() {
        test::Harness h;
        Form1& f = h.form;
        const test::Controls& c = h.ui;
        showAndActivate(f);
        QTest::mouseClick(c.btbsa1, Qt::LeftButton);
        QTest::mouseClick(c.btnstart, Qt::LeftButton);
        QCOMPARE(readouts(c), kSample1Readouts);
        // The start button keeps the focus through its drawing, while it
        // was disabled, rather than leaving it on a scroll bar.
        QCOMPARE(focused(), c.btnstart);

        test::wheel(c.Pic1, QPoint(226, 226), 120);
        QCOMPARE(c.lbl3->text(), QStringLiteral("0.025"));
        QCOMPARE(focused(), c.Pic1);
        QTest::keyClick(focused(), Qt::Key_Backspace);
        QCOMPARE(readouts(c), kSample1Readouts);

        c.Hbar1->setFocus(Qt::TabFocusReason);
        drag(c.Pic1, {100, 100}, {200, 200});
        QCOMPARE(c.lbl3->text(), QStringLiteral("0.011"));
        QCOMPARE(focused(), c.Pic1);
        QTest::keyClick(focused(), Qt::Key_Backspace);
        QCOMPARE(readouts(c), kSample1Readouts);
    }

    void backButtonWorksOverTheWholeWindow() {
        test::Harness h;
        Form1& f = h.form;
        const test::Controls& c = h.ui;
        showAndActivate(f);
        c.btbsa1->click();
        f.btnstart_Click();
        for (QWidget* over : {static_cast<QWidget*>(c.Hbar2), static_cast<QWidget*>(c.lbl1),
                              static_cast<QWidget*>(c.btnsa2), static_cast<QWidget*>(c.Pic1)}) {
            drag(c.Pic1, {100, 100}, {200, 200});
            QCOMPARE(c.lbl3->text(), QStringLiteral("0.011"));
            c.Pic1->setFocus(Qt::OtherFocusReason);
            test::backButton(f, over, QPoint(5, 5));
            QVERIFY2(readouts(c) == kSample1Readouts, qPrintable(over->objectName()));
            // The press neither reached the control nor moved the focus.
            QCOMPARE(focused(), c.Pic1);
            QCOMPARE(c.Hbar2->value(), -2750);
        }
    }

    void everyFocusedControlShowsItThePictureOnScreenOnly() {
        test::Harness h;
        Form1& f = h.form;
        const test::Controls& c = h.ui;
        showAndActivate(f);
        c.btbsa1->click();
        f.btnstart_Click();
        const QList<QWidget*> controls = {c.Pic1,  c.btnstart, c.btncls, c.btnend, c.Hbar1,    c.Hbar2,    c.Hbar3,
                                          c.Hbar4, c.btbsa1,   c.btnsa2, c.btnsa3, c.Command1, c.Command2, c.sample6};
        for (QWidget* control : controls) {
            // Focus on another control, then on this one.
            QWidget* other = control == c.btnsa3 ? c.btnsa2 : c.btnsa3;
            other->setFocus(Qt::TabFocusReason);
            QVERIFY(!control->hasFocus());
            const QImage without = control->grab().toImage();
            control->setFocus(Qt::TabFocusReason);
            QVERIFY(control->hasFocus());
            const QImage with = control->grab().toImage();
            QVERIFY2(with != without, qPrintable(control->objectName()));
        }

        // The picture's image and the saved file never hold the frame.
        c.Pic1->setFocus(Qt::OtherFocusReason);
        const QImage expected = test::referencePicture("-0.75", "-0.275", "0.05", "106", QSize(453, 453));
        QCOMPARE(test::rgb(c.Pic1->image()), expected);
        QVERIFY(test::rgb(c.Pic1->grab().toImage()) != expected);
        h.clock->minuteNow = 12;
        f.mnuprint_Click();
        QCOMPARE(test::rgb(QImage(h.folder.filePath("M_sample12.bmp"))), expected);
    }
};

QTEST_MAIN(FocusTest)
#include "focus_test.moc"
