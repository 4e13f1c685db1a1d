// The explorer window offscreen: gestures move the location as the exact
// gesture arithmetic says, the history goes back, bad location texts are
// refused with the reason, the clipboard round trip, the main window's menu
// item, a real drawing, and the status line of a finished one.

#include <QAction>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QSet>
#include <QSignalSpy>
#include <QStatusBar>
#include <QtTest>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "explore/explore_gestures.h"
#include "explore/explore_location.h"
#include "explorer_view.h"
#include "explorer_window.h"
#include "form1.h"
#include "region/readout_text.h"
#include "deep_render.h"
#include "test_support.h"

using mandel_ui::ExplorerWindow;

namespace {

mandel::ExploreLocation location(const char* real, const char* imag, const char* side, int limit) {
    const auto reading = mandel::parseEditedTexts({real, imag, side, std::to_string(limit)}, 0);
    if (!reading.ok) qFatal("bad test location: %s", reading.problem.c_str());
    return reading.location;
}

const mandel::ExploreLocation kSeahorse = location("-0.7436438870371587", "0.1318259042053119", "1e-6", 2000);

// Runs the event loop until the signal has come (no time limit: a test must
// not depend on the machine's speed).
void waitFor(QSignalSpy& spy) {
    while (spy.isEmpty()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

void turnWheel(QWidget* view, QPoint at, int units) {
    QWheelEvent event(at, view->mapToGlobal(at), QPoint(), QPoint(0, units), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(view, &event);
}

// A window with the automatic limit off, so that its location changes only by gestures.
struct Explorer {
    explicit Explorer(const mandel::ExploreLocation& at = kSeahorse) : window(at) {
        window.findChild<QAction*>(QStringLiteral("automaticLimit"))->setChecked(false);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
    }
    QLineEdit* field(const char* name) { return window.findChild<QLineEdit*>(QLatin1String(name)); }
    mandel::ViewSize size() const { return {window.viewPixels().width(), window.viewPixels().height()}; }
    ExplorerWindow window;
};

}  // namespace

class ExplorerTest : public QObject {
    Q_OBJECT

private slots:
    // Whole notches, a high-resolution wheel's fraction of one, and back.
    void wheelZoomsAboutThePointerAndBackspaceReturns() {
        Explorer e;
        const mandel::ExploreLocation opening = e.window.location();
        const QPoint at(123, 456);
        turnWheel(e.window.view(), at, 120);
        const mandel::ExploreLocation once = mandel::zoomAboutPixel(opening, e.size(), at.x(), at.y(), 120);
        QCOMPARE(e.window.location(), once);
        turnWheel(e.window.view(), at, -40);
        QCOMPARE(e.window.location(), mandel::zoomAboutPixel(once, e.size(), at.x(), at.y(), -40));
        QCOMPARE(e.field("side")->text(), QString::fromStdString(mandel::displayTexts(e.window.location()).side));
        QTest::keyClick(e.window.view(), Qt::Key_Backspace);
        QCOMPARE(e.window.location(), once);
        QTest::keyClick(e.window.view(), Qt::Key_Backspace);
        QCOMPARE(e.window.location(), opening);
        QTest::keyClick(e.window.view(), Qt::Key_Right);
        QCOMPARE(e.window.location(), mandel::panByPixels(opening, e.size(), e.size().width / 8, 0));
        QTest::keyClick(e.window.view(), Qt::Key_Home);
        QCOMPARE(e.window.location(), opening);
    }

    void badLocationTextIsRefusedWithTheReason() {
        Explorer e;
        const mandel::ExploreLocation before = e.window.location();
        e.field("centreReal")->setText(QStringLiteral("-0.74.3"));
        QTest::keyClick(e.field("centreReal"), Qt::Key_Return);
        QCOMPARE(e.window.location(), before);
        QVERIFY(e.field("centreReal")->property("bad").toBool());
        QVERIFY(!e.field("side")->property("bad").toBool());
        QVERIFY2(e.window.statusBar()->currentMessage().contains(QStringLiteral("centre real")),
                 qPrintable(e.window.statusBar()->currentMessage()));

        e.field("centreReal")->setText(QStringLiteral("-0.75"));
        e.field("side")->setText(QStringLiteral("0"));
        QTest::keyClick(e.field("side"), Qt::Key_Return);
        QCOMPARE(e.window.location(), before);
        QVERIFY(e.field("side")->property("bad").toBool());
        QVERIFY(!e.field("centreReal")->property("bad").toBool());
        QVERIFY(e.window.statusBar()->currentMessage().contains(QStringLiteral("side")));

        // A good text goes there and clears the marks.
        e.field("side")->setText(QStringLiteral("2.5e-3"));
        QTest::keyClick(e.field("side"), Qt::Key_Return);
        QCOMPARE(e.window.location(), location("-0.75", "0.1318259042053119", "2.5e-3", 2000));
        QVERIFY(!e.field("side")->property("bad").toBool());
    }

    void copyAndPasteTheLocation() {
        Explorer e;
        const mandel::ExploreLocation here = e.window.location();
        e.window.view()->setFocus();
        QTest::keyClick(e.window.view(), Qt::Key_C, Qt::ControlModifier);
        const QString copied = QGuiApplication::clipboard()->text();
        QCOMPARE(copied, QString::fromStdString(mandel::clipboardText(here, e.size().width, e.size().height)));
        e.window.goTo(location("0.25", "0", "1e-3", 500));
        QTest::keyClick(e.window.view(), Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(e.window.location(), here);
        // A line that is not a location changes nothing and says why.
        QGuiApplication::clipboard()->setText(QStringLiteral("--deep -0.75 0.1 abc 100"));
        QTest::keyClick(e.window.view(), Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(e.window.location(), here);
        QVERIFY(e.window.statusBar()->currentMessage().contains(QStringLiteral("abc")));
    }

    // The clipboard's line is the renderer's command line: the PNG it writes
    // takes the explorer back to the location; a file that is not one is refused.
    void openThePictureTheRendererWrote() {
        QTemporaryDir folder;
        const mandel::ExploreLocation here = location("-0.7436438870371587", "0.1318259042053119", "3.5e-7", 300);
        const std::string path = (folder.path() + QStringLiteral("/view.png")).toStdString();
        std::vector<std::string> words;
        std::istringstream line(mandel::clipboardText(here, 40, 30));
        for (std::string word; line >> word;) words.push_back(word);
        words.insert(words.begin() + 1, {"--png", path});
        const std::vector<std::string_view> args(words.begin(), words.end());
        std::ostringstream out, err;
        mandel::tool::runDeepRender(args, out, err, false);

        Explorer e(location("0.25", "0", "1e-3", 500));
        QVERIFY(e.window.openPicture(QString::fromStdString(path)));
        QCOMPARE(e.window.location(), here);
        const QString notPicture = folder.path() + QStringLiteral("/none.png");
        QVERIFY(!e.window.openPicture(notPicture));
        QCOMPARE(e.window.location(), here);
        QVERIFY(!e.window.statusBar()->currentMessage().isEmpty());
    }

    // Enabled while the main window shows a picture; one explorer, at the drawn region.
    void mainWindowMenuItem() {
        test::Harness h;
        QAction* item = h.form.findChild<QAction*>(QStringLiteral("mnuexplore"));
        QVERIFY(item);
        QCOMPARE(item->text(), QStringLiteral("探索ウィンドウ(&W)..."));
        QVERIFY(!item->isEnabled());
        h.ui.btnstart->click();
        QVERIFY(item->isEnabled());
        item->trigger();
        ExplorerWindow* explorer = h.form.explorer();
        QVERIFY(explorer && explorer->isVisible());
        const mandel::RegionTexts drawn = mandel::regionTexts(*h.form.drawnRegion());
        const auto expected = mandel::locationFromReadouts(drawn.real, drawn.imag, drawn.side, drawn.limit);
        QCOMPARE(explorer->location(), expected.location);
        explorer->goTo(location("0.25", "0", "1e-3", 500));
        item->trigger();
        QCOMPARE(h.form.explorer(), explorer);
        QCOMPARE(explorer->location(), expected.location);
        h.ui.btncls->click();
        QVERIFY(!item->isEnabled());
    }

    // A preview first, then the full picture at the view's device pixels, in more than one colour.
    void drawsTheView() {
        ExplorerWindow window(location("-0.9007", "-0.2293", "0.5", 100));
        QSignalSpy preview(&window, &ExplorerWindow::previewShown);
        QSignalSpy finished(&window, &ExplorerWindow::drawingFinished);
        window.resize(300, 260);
        window.show();
        waitFor(finished);
        QVERIFY(!preview.isEmpty());
        const QImage image = window.image();
        QCOMPARE(image.size(), window.viewPixels());
        QSet<QRgb> colours;
        for (int y = 0; y < image.height(); y += 3)
            for (int x = 0; x < image.width(); x += 3) colours.insert(image.pixel(x, y));
        QVERIFY2(colours.size() >= 4, qPrintable(QString::number(colours.size())));
        const QString status = window.findChild<QLabel*>(QStringLiteral("drawingStatus"))->text();
        QVERIFY2(status.startsWith(QStringLiteral("完了 ")), qPrintable(status));
        QVERIFY2(!status.contains(QStringLiteral("未確定")), qPrintable(status));
    }

    // The pixel at 1.2 + 1.6i lies exactly on |c| = 2, which binary fractions
    // cannot hold: its first escape test is undecided at every precision, and
    // the finished drawing's status line counts it. (A 40 × 40 view centred
    // there has that point as its pixel (20, 20).)
    void statusLineCountsTheUncertifiedPixels() {
        ExplorerWindow window(location("1.2", "1.6", "0.01", 50));
        window.findChild<QAction*>(QStringLiteral("automaticLimit"))->setChecked(false);
        window.view()->setFixedSize(40, 40);
        QSignalSpy finished(&window, &ExplorerWindow::drawingFinished);
        window.show();
        waitFor(finished);
        QCOMPARE(window.viewPixels(), QSize(40, 40));
        const QString status = window.findChild<QLabel*>(QStringLiteral("drawingStatus"))->text();
        QVERIFY2(status.startsWith(QStringLiteral("完了 ")), qPrintable(status));
        QVERIFY2(status.contains(QStringLiteral(" 秒 未確定 1 画素  深さ 1e-2")), qPrintable(status));
    }

    // A jump in the history moves the old picture to where it lies in the new
    // view at once: back out by a notch, it shrinks to the middle half.
    void historyJumpsShowTheOldPictureMoved() {
        Explorer e(location("1", "1", "0.2", 100));  // every pixel escapes: none has the background's colour
        QSignalSpy finished(&e.window, &ExplorerWindow::drawingFinished);
        e.window.resize(300, 260);
        waitFor(finished);
        const QSize size = e.window.viewPixels();
        turnWheel(e.window.view(), QPoint(size.width() / 2, size.height() / 2), 120);
        finished.clear();
        waitFor(finished);
        QTest::keyClick(e.window.view(), Qt::Key_Home);
        const QImage shown = e.window.view()->grab().toImage();
        QCOMPARE(shown.pixel(2, 2), qRgb(0, 10, 10));
        QVERIFY(shown.pixel(shown.width() / 2, shown.height() / 2) != qRgb(0, 10, 10));
    }

    // Inside the set the preview raises the limit while it is cheap; the full
    // picture, where nothing escaped either, raises it no further.
    void insideTheSetTheLimitStopsRising() {
        ExplorerWindow window(location("0", "0", "1e-3", 100));
        QSignalSpy finished(&window, &ExplorerWindow::drawingFinished);
        std::int64_t previewLimit = 0;
        connect(&window, &ExplorerWindow::previewShown, [&] { previewLimit = window.location().limit; });
        window.resize(200, 160);
        window.show();
        waitFor(finished);
        QVERIFY2(previewLimit > 100, qPrintable(QString::number(previewLimit)));
        QCOMPARE(window.location().limit, previewLimit);
    }

    // Each pixel of the image is one device pixel on the window, also where
    // the view starts between two device pixels (run at scale factors 1.5 and 2 too).
    void shownPixelForPixel() {
        Explorer e(location("-0.9007", "-0.2293", "0.5", 100));
        QSignalSpy finished(&e.window, &ExplorerWindow::drawingFinished);
        e.window.resize(401, 353);
        waitFor(finished);
        const QImage image = e.window.image();
        QImage shot = e.window.grab().toImage().convertToFormat(QImage::Format_RGB32);
        QCOMPARE(image.size(), e.window.viewPixels());
        const QPointF corner = QPointF(e.window.view()->mapTo(&e.window, QPoint(0, 0))) * shot.devicePixelRatio();
        const QPoint origin(qRound(corner.x()), qRound(corner.y()));
        shot.setDevicePixelRatio(1);
        QCOMPARE(shot.copy(QRect(origin, image.size())), image.convertToFormat(QImage::Format_RGB32));
    }
};

QTEST_MAIN(ExplorerTest)
#include "explorer_test.moc"
