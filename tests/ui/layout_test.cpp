// The window as designed: every control's place, name and text, fonts,
// colours, tab order, tool tip, menus, icon, size and position.

#include <QFontInfo>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QtTest>
#include <set>

#include "drawing_surface.h"
#include "form1.h"
#include "parameter_scroll_bar.h"
#include "test_support.h"

using mandel_ui::Form1;

namespace {

// The design in twips (15 per pixel), as drawn up for the window.
struct Control {
    const char* name;
    const char* kind;  // picture, label, bar, button
    const char* text;
    int left, top, width, height, tabIndex;
};

const Control kControls[] = {
    {"Pic1", "picture", "", 135, 45, 6795, 6795, 0},
    {"Label1", "label", "実部最小値", 7170, 120, 1425, 255, 4},
    {"lbl1", "label", nullptr, 8610, 120, 1995, 255, 5},
    {"Hbar1", "bar", "", 7170, 510, 3915, 252, 6},
    {"Label8", "label", "right", 7185, 795, 390, 255, 27},
    {"Label9", "label", "left", 10830, 795, 240, 255, 28},
    {"Label3", "label", "虚部最小値", 7185, 1065, 1425, 255, 7},
    {"lbl2", "label", nullptr, 8610, 1065, 1995, 255, 9},
    {"Hbar2", "bar", "", 7185, 1455, 3915, 252, 8},
    {"Label10", "label", "down", 7185, 1725, 390, 255, 29},
    {"Label11", "label", "up", 10890, 1725, 300, 255, 30},
    {"Label5", "label", "描画領域", 7185, 1995, 1230, 255, 10},
    {"lbl3", "label", nullptr, 8610, 1995, 1995, 255, 14},
    {"Hbar3", "bar", "", 7185, 2370, 3915, 252, 11},
    {"Label12", "label", "large", 7185, 2655, 390, 255, 31},
    {"Label13", "label", "small", 10695, 2655, 390, 255, 32},
    {"Label6", "label", "計算回数", 7215, 2925, 1230, 255, 12},
    {"lbl4", "label", "   ", 8610, 2910, 1995, 270, 15},
    {"Hbar4", "bar", "", 7215, 3315, 3915, 252, 13},
    {"Label2", "label", "開始時刻", 7215, 3855, 1035, 255, 21},
    {"lblstart", "label", "", 8250, 3855, 2340, 255, 17},
    {"Label4", "label", "終了時刻", 7215, 4335, 1035, 255, 22},
    {"lblend", "label", "", 8250, 4335, 2355, 255, 18},
    {"btbsa1", "button", "sample1", 7170, 4845, 1260, 396, 16},
    {"btnsa2", "button", "sample2", 8505, 4845, 1260, 396, 19},
    {"btnsa3", "button", "sample3", 9840, 4845, 1260, 396, 20},
    {"Command1", "button", "sample4", 7185, 5370, 1260, 396, 23},
    {"Command2", "button", "sample5", 8512, 5370, 1260, 396, 24},
    {"sample6", "button", "sample6", 9840, 5370, 1260, 390, 25},
    {"btnstart", "button", "描画開始", 7170, 5985, 1275, 855, 1},
    {"btncls", "button", "画像消去", 8497, 5985, 1275, 444, 2},
    {"btnend", "button", "終 了", 9825, 5985, 1275, 444, 3},
    {"Label7", "label", "※描画中は、反応がなくなります", 8580, 6570, 2520, 390, 26},
};

int px(int twips) { return qRound(twips / 15.0); }

QString textOf(QWidget* w) {
    if (auto* label = qobject_cast<QLabel*>(w)) return label->text();
    if (auto* button = qobject_cast<QPushButton*>(w)) return button->text();
    return QString();
}

QLabel* label(const Form1& form, const char* name) { return test::child<QLabel>(form, name); }

const QStringList kGothicFaces = {"ＭＳ Ｐゴシック", "MS PGothic", "IPAPGothic"};

}  // namespace

class LayoutTest : public QObject {
    Q_OBJECT

private slots:
    void everyControlAsDesigned() {
        Form1 form;  // before Form_Load: the texts of the design
        const test::Controls c(form);
        QWidget* client = form.centralWidget();
        QVERIFY(client);
        std::set<int> tabIndexes;
        for (const Control& c : kControls) {
            const QString name = QString::fromUtf8(c.name);
            QWidget* w = client->findChild<QWidget*>(name, Qt::FindDirectChildrenOnly);
            QVERIFY2(w, c.name);
            QCOMPARE(w->geometry(), QRect(px(c.left), px(c.top), px(c.width), px(c.height)));
            const QString kind = QString::fromUtf8(c.kind);
            if (kind == "label") QVERIFY2(qobject_cast<QLabel*>(w), c.name);
            if (kind == "button") QVERIFY2(qobject_cast<QPushButton*>(w), c.name);
            if (kind == "bar") {
                auto* bar = qobject_cast<QScrollBar*>(w);
                QVERIFY2(bar && bar->orientation() == Qt::Horizontal, c.name);
            }
            if (kind == "picture") QVERIFY(qobject_cast<mandel_ui::DrawingSurface*>(w));
            if (c.text) QCOMPARE(textOf(w), QString::fromUtf8(c.text));
            tabIndexes.insert(c.tabIndex);
        }
        QCOMPARE(tabIndexes.size(), std::size(kControls));
        QCOMPARE(client->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly).size(),
                 qsizetype(std::size(kControls)));
        // Spot checks of the conversion: 7170 twips = 478 px, 6795 = 453.
        QCOMPARE(c.Pic1->geometry(), QRect(9, 3, 453, 453));
        QCOMPARE(c.btbsa1->geometry().topLeft(), QPoint(478, 323));
    }

    void windowSizeCaptionAndIcon() {
        Form1 form;
        form.Form_Load();
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QCOMPARE(form.windowTitle(), QStringLiteral("マンデルブロ集合(Ｃ＊Ｃ＋Ｃ）"));
        // The client area lies below the menu bar and is 11340 × 6975 twips.
        QWidget* client = form.centralWidget();
        QCOMPARE(client->size(), QSize(756, 465));
        QCOMPARE(client->geometry().top(), form.menuBar()->geometry().bottom() + 1);
        QCOMPARE(form.size(), QSize(756, 465 + form.menuBar()->height()));
        // Fixed: the user cannot resize the window.
        QCOMPARE(form.minimumSize(), form.size());
        QCOMPARE(form.maximumSize(), form.size());
        // An icon of our own in both sizes, a picture rather than a flat fill.
        const QIcon icon = form.windowIcon();
        for (const QSize size : {QSize(32, 32), QSize(16, 16)}) {
            QVERIFY(icon.availableSizes().contains(size));
            const QImage image = icon.pixmap(size).toImage();
            QCOMPARE(image.size(), size);
            std::set<QRgb> colours;
            for (int y = 0; y < size.height(); ++y)
                for (int x = 0; x < size.width(); ++x) colours.insert(image.pixel(x, y));
            QVERIFY(colours.size() >= 4);
        }
    }

    void centredOnTheWholeScreen() {
        Form1 form;
        form.move(0, 0);
        form.Form_Load();
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        const QRect screen = form.screen()->geometry();
        const QRect outer = form.frameGeometry();
        QVERIFY(outer.width() < screen.width() && outer.height() < screen.height());
        const int leftMargin = outer.left() - screen.left();
        const int rightMargin = screen.right() - outer.right();
        const int topMargin = outer.top() - screen.top();
        const int bottomMargin = screen.bottom() - outer.bottom();
        QVERIFY2(std::abs(leftMargin - rightMargin) <= 1, qPrintable(QString::number(leftMargin - rightMargin)));
        QVERIFY2(std::abs(topMargin - bottomMargin) <= 1, qPrintable(QString::number(topMargin - bottomMargin)));
        QVERIFY(leftMargin > 0 && topMargin > 0);
    }

    void fonts() {
        Form1 form;
        const test::Controls c(form);
        const auto check = [&](QWidget* w, double points) {
            const QFont font = w->font();
            QCOMPARE(font.families().value(0), kGothicFaces[0]);
            QVERIFY(font.families().contains(QStringLiteral("IPAPGothic")));
            QCOMPARE(font.pointSizeF(), points);
            QCOMPARE(font.weight(), QFont::Normal);
            QVERIFY(!font.italic() && !font.underline() && !font.strikeOut());
            // A proportional Japanese face that has every character of the text.
            QVERIFY2(kGothicFaces.contains(QFontInfo(font).family()), qPrintable(QFontInfo(font).family()));
            const QFontMetrics metrics(font);
            for (const QChar ch : textOf(w))
                QVERIFY2(metrics.inFont(ch), qPrintable(w->objectName() + ": " + QString(ch)));
        };
        for (const char* name : {"Label1", "lbl1", "Label3", "lbl2", "Label5", "lbl3", "Label6", "lbl4", "Label2",
                                 "lblstart", "Label4", "lblend"})
            check(form.centralWidget()->findChild<QWidget*>(name), 10.5);
        check(c.btnstart, 9.75);
        check(c.btnend, 9.75);
        check(label(form, "Label7"), 8.25);
        // The rest use the window's font, the same Gothic at 9 points...
        QCOMPARE(form.font().families().value(0), kGothicFaces[0]);
        QCOMPARE(form.font().pointSizeF(), 9.0);
        for (QPushButton* b : {c.btbsa1, c.btnsa2, c.btnsa3, c.Command1, c.Command2, c.sample6, c.btncls}) {
            QVERIFY2(!b->testAttribute(Qt::WA_SetFont), qPrintable(b->objectName()));
            QCOMPARE(b->font(), form.font());
        }
        QCOMPARE(c.mnufile->font(), form.font());
        // ...except that the direction words share a smaller size of it where
        // their narrow labels need one, so that every word shows whole.
        const QFont words = label(form, "Label8")->font();
        QCOMPARE(words.families(), form.font().families());
        QVERIFY(words.pointSizeF() <= 9.0 && words.pointSizeF() >= 7.0);
        for (const char* word : {"Label8", "Label9", "Label10", "Label11", "Label12", "Label13"}) {
            const QLabel* l = label(form, word);
            QCOMPARE(l->font(), words);
            QVERIFY2(QFontMetrics(words).horizontalAdvance(l->text()) <= l->width(), qPrintable(l->text()));
        }
        // The window's default font draws the Japanese caption of btncls too.
        for (const QChar ch : c.btncls->text()) QVERIFY(QFontMetrics(c.btncls->font()).inFont(ch));
    }

    void alignmentAndColours() {
        Form1 form;
        const test::Controls c(form);
        for (const char* caption : {"Label1", "Label3", "Label5", "Label6"})
            QCOMPARE(label(form, caption)->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
        for (QLabel* l : {c.lbl1, c.lbl2, c.lbl3, c.lbl4, label(form, "Label2"), c.lblstart, label(form, "Label7"),
                          label(form, "Label8"), label(form, "Label13")})
            QCOMPARE(l->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignLeft);
        for (QLabel* l : {c.lbl1, c.lbl2, c.lbl3, c.lbl4}) {
            QVERIFY(l->autoFillBackground());
            QCOMPARE(l->palette().color(QPalette::Window), QColor(255, 255, 255));
        }
        for (QLabel* l : {c.lblstart, c.lblend}) {
            QVERIFY(l->autoFillBackground());
            QCOMPARE(l->palette().color(QPalette::WindowText), QColor(0, 0, 0));
            QCOMPARE(l->palette().color(QPalette::Window),
                     form.palette().color(QPalette::Active, QPalette::HighlightedText));
        }
        QCOMPARE(label(form, "Label7")->palette().color(QPalette::WindowText), QColor(192, 0, 0));
        // Rendered: the read-out's background really is white.
        c.lbl1->setText(QString());
        QCOMPARE(c.lbl1->grab().toImage().pixel(2, 2), qRgb(255, 255, 255));
    }

    void toolTipOnlyOnSample2() {
        Form1 form;
        const test::Controls c(form);
        QCOMPARE(c.btnsa2->toolTip(), QStringLiteral("約２分"));
        for (QWidget* w : form.findChildren<QWidget*>())
            if (w != c.btnsa2) QVERIFY2(w->toolTip().isEmpty(), qPrintable(w->objectName()));
        // Menus show no tool tips for their items.
        QVERIFY(!c.mnufile->toolTipsVisible() && !c.mnuhelp->toolTipsVisible());
    }

    void tabOrderFollowsTheTabIndexes() {
        Form1 form;
        const test::Controls c(form);
        form.Form_Load();
        form.show();
        QVERIFY(QTest::qWaitForWindowActive(&form));
        const QList<QWidget*> order = {c.Pic1,  c.btnstart, c.btncls, c.btnend, c.Hbar1,    c.Hbar2,    c.Hbar3,
                                       c.Hbar4, c.btbsa1,   c.btnsa2, c.btnsa3, c.Command1, c.Command2, c.sample6};
        // The window opens with the focus on the picture, the first control.
        QCOMPARE(QApplication::focusWidget(), c.Pic1);
        for (int i = 1; i <= order.size(); ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget(), order[i % order.size()]);
        }
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab, Qt::ShiftModifier);
        QCOMPARE(QApplication::focusWidget(), c.sample6);
        // Labels never take the focus; the picture takes it from Tab, a click and the wheel.
        for (QLabel* l : form.findChildren<QLabel*>()) QCOMPARE(l->focusPolicy(), Qt::NoFocus);
        QCOMPARE(c.Pic1->focusPolicy(), Qt::WheelFocus);
    }

    void menus() {
        Form1 form;
        const test::Controls c(form);
        const QList<QAction*> bar = form.menuBar()->actions();
        QCOMPARE(bar.size(), 2);
        QCOMPARE(bar[0]->menu(), c.mnufile);
        QCOMPARE(bar[1]->menu(), c.mnuhelp);
        QCOMPARE(c.mnufile->objectName(), QStringLiteral("mnufile"));
        QCOMPARE(c.mnuhelp->objectName(), QStringLiteral("mnuhelp"));
        QCOMPARE(c.mnufile->title(), QStringLiteral("ファイル(&F)"));
        QCOMPARE(c.mnuhelp->title(), QStringLiteral("ヘルプ(&H)"));
        QCOMPARE(c.mnufile->actions(), (QList<QAction*>{c.mnuprint, c.mnuexport, c.mnuexplore, c.mnuend}));
        QCOMPARE(c.mnuhelp->actions(), (QList<QAction*>{c.mnuver}));
        const std::pair<QAction*, const char*> items[] = {
            {c.mnuprint, "mnuprint"}, {c.mnuend, "mnuend"}, {c.mnuver, "mnuver"}};
        for (const auto& [action, name] : items) {
            QCOMPARE(action->objectName(), QString::fromLatin1(name));
            QVERIFY(action->shortcut().isEmpty());
            QVERIFY(!action->isCheckable() && !action->isSeparator());
            QVERIFY(action->isEnabled() && action->isVisible());
        }
        QCOMPARE(c.mnuprint->text(), QStringLiteral("画像データ保存(&S)"));
        QCOMPARE(c.mnuend->text(), QStringLiteral("終了(&E)"));
        QCOMPARE(c.mnuver->text(), QStringLiteral("バージョン情報(&V)"));
        QCOMPARE(QKeySequence::mnemonic(c.mnufile->title()), QKeySequence(Qt::ALT | Qt::Key_F));
        QCOMPARE(QKeySequence::mnemonic(c.mnuhelp->title()), QKeySequence(Qt::ALT | Qt::Key_H));
    }

    // Alt+F and Alt+H open the menus; in them S, E and V choose the items.
    void accessKeys() {
        test::Harness h;
        h.form.show();
        QVERIFY(QTest::qWaitForWindowActive(&h.form));
        h.clock->minuteNow = 7;

        QTest::keyClick(&h.form, Qt::Key_F, Qt::AltModifier);
        QTRY_VERIFY(h.ui.mnufile->isVisible());
        QTest::keyClick(h.ui.mnufile, Qt::Key_S);
        QTRY_VERIFY(QFile::exists(h.folder.filePath("M_sample7.bmp")));
        QVERIFY(!h.ui.mnufile->isVisible());

        QTest::keyClick(&h.form, Qt::Key_H, Qt::AltModifier);
        QTRY_VERIFY(h.ui.mnuhelp->isVisible());
        QTest::keyClick(h.ui.mnuhelp, Qt::Key_V);
        QTRY_COMPARE(h.events, (QStringList{"message", "sound"}));

        QTest::keyClick(&h.form, Qt::Key_F, Qt::AltModifier);
        QTRY_VERIFY(h.ui.mnufile->isVisible());
        QTest::keyClick(h.ui.mnufile, Qt::Key_E);
        QTRY_VERIFY(!h.form.isVisible());
        QCOMPARE(h.events.last(), QStringLiteral("end"));
    }
};

QTEST_MAIN(LayoutTest)
#include "layout_test.moc"
