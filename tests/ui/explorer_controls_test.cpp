// The explorer's controls offscreen: a typed limit stays the user's, Esc
// stops a drawing and leaves its picture marked unfinished, Alt+←/Alt+→ go
// back and forward, the renderer's lines as the README writes them paste,
// the find gesture goes to what it found and says so, the place and the
// colouring are remembered on close, and no two Alt keys clash.

#include <QAction>
#include <QClipboard>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QSet>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include "explore/explore_gestures.h"
#include "explore/find_and_go.h"
#include "explore/explore_location.h"
#include "colour_menu.h"
#include "explorer_settings.h"
#include "explorer_view.h"
#include "explorer_test_support.h"
#include "explorer_window.h"

using mandel_ui::ExplorerWindow;

namespace {

using test::location;
using test::waitFor;

QString drawingStatus(const ExplorerWindow& window) {
    return window.findChild<QLabel*>(QStringLiteral("drawingStatus"))->text();
}

struct Shown {
    explicit Shown(const mandel::ExploreLocation& at) : window(at) {
        window.resize(240, 200);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
    }
    ExplorerWindow window;
};

}  // namespace

class ExplorerControlsTest : public QObject {
    Q_OBJECT

    QTemporaryDir config_;

private slots:
    void initTestCase() {
        // The remembered place goes to a scratch folder, not the user's.
        qputenv("XDG_CONFIG_HOME", config_.path().toUtf8());
    }

    void typedLimitIsKeptAndTheWindowSaysSo() {
        Shown e(location("-0.75", "0", "3", 3392));
        QSignalSpy finished(&e.window, &ExplorerWindow::drawingFinished);
        waitFor(finished);
        QVERIFY2(e.window.location().limit < 1000, qPrintable(drawingStatus(e.window)));  // the rule lowered it
        auto* limit = e.window.findChild<QLineEdit*>(QStringLiteral("limit"));
        limit->setFocus();
        limit->selectAll();
        limit->insert(QStringLiteral("5000"));
        finished.clear();
        QTest::keyClick(limit, Qt::Key_Return);
        QVERIFY(!e.window.automaticLimit());
        QVERIFY2(e.window.statusMessage().contains(QStringLiteral("自動選択は切りました")),
                 qPrintable(e.window.statusMessage()));
        waitFor(finished);
        QCOMPARE(e.window.location().limit, 5000);
        QVERIFY2(drawingStatus(e.window).contains(QStringLiteral("上限 5,000（入力値")),
                 qPrintable(drawingStatus(e.window)));
    }

    void escapeStopsTheDrawingAndLeavesItUnfinished() {
        // Deep with a long reference: the drawing runs well past its start.
        Shown e(location("-0.7436438870371587", "0.1318259042053120", "1e-200", 2000000));
        e.window.setAutomaticLimit(false);
        QTest::keyClick(e.window.view(), Qt::Key_Escape);
        QVERIFY2(drawingStatus(e.window).startsWith(QStringLiteral("中止（未完成の画像）")),
                 qPrintable(drawingStatus(e.window)));
        QSignalSpy finished(&e.window, &ExplorerWindow::drawingFinished);
        QTest::qWait(300);
        QVERIFY(finished.isEmpty());
    }

    void altArrowsGoBackAndForward() {
        Shown e(location("-0.75", "0.1", "0.01", 200));
        e.window.setAutomaticLimit(false);
        const mandel::ExploreLocation first = e.window.location();
        QTest::keyClick(e.window.view(), Qt::Key_Plus);
        const mandel::ExploreLocation second = e.window.location();
        QCOMPARE(second.centreReal, first.centreReal);  // "+" zooms about the centre without moving it
        QTest::keyClick(e.window.view(), Qt::Key_Left, Qt::AltModifier);
        QCOMPARE(e.window.location(), first);
        QTest::keyClick(e.window.view(), Qt::Key_Right, Qt::AltModifier);
        QCOMPARE(e.window.location(), second);
    }

    // The README's own renderer lines, pasted whole.
    void pastesTheRenderersLinesAsTheReadmeWritesThem() {
        Shown e(location("-0.75", "0", "3", 200));
        QGuiApplication::clipboard()->setText(QStringLiteral(
            "build/bin/mandelbrot-render --size 16000 --png detail.png -0.775 0.107 0.01 180  # the third preset"));
        e.window.pasteLocation();
        QCOMPARE(e.window.statusMessage(), QString());
        QCOMPARE(e.window.location(), location("-0.77", "0.112", "0.01", 180));
        QGuiApplication::clipboard()->setText(
            QStringLiteral("--deep --size 100 --counts c.npy --flags f.npy -0.7717 0.1165 0.0001 180"));
        e.window.pasteLocation();
        QCOMPARE(e.window.location(), location("-0.77165", "0.11655", "0.0001", 180));
    }

    // The tip of the antenna, −2, is the Misiurewicz point of preperiod 2 and
    // period 1 nearest the view's centre here.
    void findGestureGoesToThePointAndSaysWhat() {
        Shown e(location("-1.99", "0.001", "0.4", 200));
        QSignalSpy finished(&e.window, &ExplorerWindow::drawingFinished);
        waitFor(finished);
        finished.clear();
        e.window.findChild<QAction*>(QStringLiteral("findMisiurewicz"))->trigger();
        while (e.window.location().centreReal != mandel::Decimal(-2))
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        QCOMPARE(e.window.location().centreImag, mandel::Decimal(0));
        QVERIFY2(e.window.statusMessage().contains(QStringLiteral("前周期 2・周期 1 のミシュレヴィッチ点")),
                 qPrintable(e.window.statusMessage()));
        waitFor(finished);
    }

    // About i at 1e-12 the search (a disc of an eighth of the side) finds a
    // minibrot of period 37, about 2.4e-27 across: the view goes there in one step.
    void findMinibrotGoesToItsNucleus() {
        Shown e(location("0", "1", "1e-12", 200));
        QSignalSpy finished(&e.window, &ExplorerWindow::drawingFinished);
        waitFor(finished);
        const auto expected = mandel::findAround(mandel::FoundKind::Minibrot, "0", "1", "1.25e-13", 100000);
        QVERIFY(expected.has_value());
        finished.clear();
        e.window.findChild<QAction*>(QStringLiteral("findMinibrot"))->trigger();
        waitFor(finished);
        QCOMPARE(e.window.location().centreReal, *mandel::Decimal::parse(expected->re));
        QCOMPARE(e.window.location().centreImag, *mandel::Decimal::parse(expected->im));
        QCOMPARE(e.window.location().side.leadingExponent(), -27);
        QVERIFY2(
            e.window.statusMessage().contains(QStringLiteral("周期 37 のミニブロ（大きさ 2.45e-27）へ移動しました")),
            qPrintable(e.window.statusMessage()));
    }

    void closingRemembersThePlace() {
        const auto here =
            location("-0.744143887037158704752191506115274", "0.131325904205311970493132056384639", "1e-20", 4321);
        {
            // The rule is off before the window shows: a first drawing that
            // finished while it was being exposed would otherwise apply it.
            ExplorerWindow window(here);
            window.setAutomaticLimit(false);
            window.show();
            QVERIFY(QTest::qWaitForWindowExposed(&window));
            window.close();
        }
        const auto remembered = mandel_ui::rememberedExplorerPlace();
        QVERIFY(remembered.has_value());
        QCOMPARE(remembered->location, here);
        QVERIFY(!remembered->automaticLimit);
    }

    // The 配色 menu's choice comes back in the next explorer, wherever it
    // opens; a hand-edited value that cannot be read keeps the default.
    void closingRemembersTheColouring() {
        const auto here = location("-0.75", "0.1", "1e-3", 500);
        mandel::Colouring chosen;
        {
            ExplorerWindow window(here);
            auto* menu = window.findChild<mandel_ui::ColourMenu*>();
            QVERIFY(menu);
            mandel::Colouring pasted = menu->choice();
            pasted.automaticDensity = false;
            pasted.scale.density = 0.375;  // as a pasted line or an opened picture sets it
            menu->setChoice(pasted);
            for (const char* name : {"colourDistance", "exportSupersample6", "screenSupersample2"})
                window.findChild<QAction*>(QLatin1String(name))->trigger();
            for (QAction* item : window.findChildren<QAction*>()) {
                if (item->data().toString() == QStringLiteral("fire")) item->trigger();
                if (item->text().startsWith(QStringLiteral("色をずらす"))) item->trigger();
            }
            chosen = menu->choice();
            QCOMPARE(chosen.palette, std::string("fire"));
            QCOMPARE(chosen.scale.offset, 0.125);
            window.close();
        }
        ExplorerWindow next(location("0.25", "0", "1e-3", 500));
        const auto* menu = next.findChild<mandel_ui::ColourMenu*>();
        QCOMPARE(menu->choice().mode, mandel::ColouringMode::Distance);
        QCOMPARE(menu->choice().palette, std::string("fire"));
        QVERIFY(!menu->choice().automaticDensity);
        QCOMPARE(menu->choice().scale.density, 0.375);
        QCOMPARE(menu->choice().scale.offset, 0.125);
        QCOMPARE(menu->choice().supersample, 2);
        QCOMPARE(menu->exportSupersample(), 6);
        QVERIFY(next.findChild<QAction*>(QStringLiteral("exportSupersample6"))->isChecked());

        QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("mandelbrot"), QStringLiteral("explorer"))
            .setValue(QStringLiteral("colouring/palette"), QStringLiteral("no such palette"));
        ExplorerWindow edited(here);
        QCOMPARE(edited.findChild<mandel_ui::ColourMenu*>()->choice().palette, std::string("classic"));
        QCOMPARE(edited.findChild<mandel_ui::ColourMenu*>()->choice().mode, mandel::ColouringMode::Distance);
    }

    // Each Alt key of the window opens one menu or goes to one field: Alt+C
    // opens the 配色 menu, Alt+L goes to the limit (the same key for both
    // would take turns between them, leaving the keyboard in the field).
    void eachAltKeyDoesOneThing() {
        ExplorerWindow window(location("-0.75", "0.1", "1e-3", 500));
        QStringList texts;
        for (QAction* menu : window.menuBar()->actions()) texts << menu->text();
        for (QLabel* label : window.findChildren<QLabel*>())
            if (label->buddy() != nullptr) texts << label->text();
        QSet<int> keys;
        for (const QString& text : texts) {
            const QKeySequence key = QKeySequence::mnemonic(text);
            QVERIFY2(!key.isEmpty(), qPrintable(text));
            QVERIFY2(!keys.contains(key[0].toCombined()), qPrintable(text));
            keys.insert(key[0].toCombined());
        }
        QVERIFY(texts.contains(QStringLiteral("配色(&C)")));
        QVERIFY(texts.contains(QStringLiteral("上限(&L)")));
    }
};

QTEST_MAIN(ExplorerControlsTest)
#include "explorer_controls_test.moc"
