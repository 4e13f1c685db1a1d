// The explorer window offscreen: gestures move the location as the exact
// gesture arithmetic says, the history goes back, bad location texts are
// refused with the reason, the clipboard round trip, the main window's menu
// item, a real drawing, and the status line of a finished one.

#include <QAction>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QRegularExpression>
#include <QSet>
#include <QSignalSpy>
#include <QStatusBar>
#include <QtTest>
#include <gmpxx.h>

#include <chrono>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "explore/explore_gestures.h"
#include "explore/explore_location.h"
#include "explorer_drawing.h"
#include "explorer_view.h"
#include "explorer_test_support.h"
#include "explorer_window.h"
#include "form1.h"
#include "region/readout_text.h"
#include "deep_render.h"
#include "test_support.h"

using mandel_ui::ExplorerDrawing;
using mandel_ui::ExplorerWindow;

namespace {

using test::location;
using test::waitFor;

// A point exactly on |c| = 2 with long decimals: c = 2·(2 + i)^(2k) / 5^k
// (|2 + i|² = 5), written out exactly (k decimals). Binary fractions cannot
// hold it, and its rational parts outgrow what the exact stage takes.
std::string circlePointPart(int k, bool imaginary) {
    mpz_class re = 1, im = 0;
    for (int j = 0; j < 2 * k; ++j) {
        const mpz_class next = 2 * re - im;
        im = re + 2 * im;
        re = next;
    }
    mpz_class twoPowK;
    mpz_ui_pow_ui(twoPowK.get_mpz_t(), 2, static_cast<unsigned long>(k));
    const mpz_class scaled = 2 * (imaginary ? im : re) * twoPowK;  // the value · 10^k
    const std::string digits = mpz_class(abs(scaled)).get_str();   // |parts| ≥ 1 here: k + 1 digits or more
    const std::size_t point = digits.size() - static_cast<std::size_t>(k);
    std::string text(scaled < 0 ? "-" : "");
    text.append(digits, 0, point).append(".").append(digits, point);
    return text;
}

// No character of a message may be invisible or turn the line around.
bool onlyVisible(const QString& message) {
    return std::none_of(message.begin(), message.end(), [](QChar c) {
        return c.category() == QChar::Other_Control || c.category() == QChar::Other_Format;
    });
}

const mandel::ExploreLocation kSeahorse = location("-0.7436438870371587", "0.1318259042053119", "1e-6", 2000);

// Puts a text into a field as typing or pasting would (Qt's length limit
// applies, and the field counts as edited).
void enter(QLineEdit* field, const QString& text) {
    field->setFocus();
    field->selectAll();
    field->insert(text);
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
    mandel::PictureSize size() const { return {window.viewPixels().width(), window.viewPixels().height()}; }
    ExplorerWindow window;
};

}  // namespace

class ExplorerTest : public QObject {
    Q_OBJECT

    QTemporaryDir config_;

private slots:
    void initTestCase() {
        // What the windows remember on close goes to a scratch folder, not the user's.
        qputenv("XDG_CONFIG_HOME", config_.path().toUtf8());
    }

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
        enter(e.field("centreReal"), QStringLiteral("-0.74.3"));
        QTest::keyClick(e.field("centreReal"), Qt::Key_Return);
        QCOMPARE(e.window.location(), before);
        QVERIFY(e.field("centreReal")->property("bad").toBool());
        QVERIFY(!e.field("side")->property("bad").toBool());
        QVERIFY2(e.window.statusMessage().contains(QStringLiteral("実部")), qPrintable(e.window.statusMessage()));

        enter(e.field("centreReal"), QStringLiteral("-0.75"));
        enter(e.field("side"), QStringLiteral("0"));
        QTest::keyClick(e.field("side"), Qt::Key_Return);
        QCOMPARE(e.window.location(), before);
        QVERIFY(e.field("side")->property("bad").toBool());
        QVERIFY(!e.field("centreReal")->property("bad").toBool());
        QVERIFY(e.window.statusMessage().contains(QStringLiteral("幅")));

        // A good text goes there and clears the marks.
        enter(e.field("side"), QStringLiteral("2.5e-3"));
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
        QVERIFY(e.window.statusMessage().contains(QStringLiteral("abc")));
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
        QVERIFY(!e.window.statusMessage().isEmpty());
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

    // A point exactly on |c| = 2 with 1800 decimals: its first escape test is
    // undecided at every precision, and the finished drawing's status line
    // counts it. (A 40 × 40 view centred there has it as its pixel (20, 20);
    // the side keeps every digit of the centre.)
    void statusLineCountsTheUncertifiedPixels() {
        const std::string re = circlePointPart(1800, false), im = circlePointPart(1800, true);
        ExplorerWindow window(location(re.c_str(), im.c_str(), "1e-1790", 50));
        window.findChild<QAction*>(QStringLiteral("automaticLimit"))->setChecked(false);
        window.view()->setFixedSize(40, 40);
        QSignalSpy finished(&window, &ExplorerWindow::drawingFinished);
        window.show();
        waitFor(finished);
        QCOMPARE(window.viewPixels(), QSize(40, 40));
        const QString status = window.findChild<QLabel*>(QStringLiteral("drawingStatus"))->text();
        QVERIFY2(status.startsWith(QStringLiteral("完了 ")), qPrintable(status));
        QVERIFY2(status.contains(QStringLiteral(" 秒 未確定 1 画素  深さ 1e-1790")), qPrintable(status));
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

    // Inside the set (the main cardioid: the centre's orbit has an attracting
    // fixed point) nothing escapes and the limit does not rise; the status
    // line says why. Where nothing escaped and no check finds the inside (the
    // seahorse point at 1e-30, whose pixels all escape at about 8,057), the
    // limit keeps rising until pixels escape: the view is never taken for black.
    void insideTheSetTheLimitStopsRising() {
        ExplorerWindow window(location("0", "0", "1e-3", 100));
        QSignalSpy finished(&window, &ExplorerWindow::drawingFinished);
        window.resize(200, 160);
        window.show();
        waitFor(finished);
        QCOMPARE(window.location().limit, 100);
        const QString status = window.findChild<QLabel*>(QStringLiteral("drawingStatus"))->text();
        QVERIFY2(status.contains(QStringLiteral("集合の内部")), qPrintable(status));

        ExplorerWindow outside(location("-0.7436438870371587", "0.1318259042053120", "1e-30", 1000));
        QSignalSpy done(&outside, &ExplorerWindow::drawingFinished);
        outside.resize(200, 160);
        outside.show();
        waitFor(done);
        QVERIFY2(outside.location().limit > 8057, qPrintable(QString::number(outside.location().limit)));
        const QString said = outside.findChild<QLabel*>(QStringLiteral("drawingStatus"))->text();
        QVERIFY2(said.contains(QStringLiteral("上限 ")) && !said.contains(QStringLiteral("内部")), qPrintable(said));
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

    // Texts just inside and just outside the bounds, put into a field (as
    // typing or pasting would) or pasted as a line. Inside, the window goes
    // there exactly (40,000 characters are beyond Qt's usual cut of a field);
    // outside, it stays, the field is marked, and the message says why in
    // Japanese with at most 40 characters of the text, escaped.
    void textsAtTheBounds_data() {
        QTest::addColumn<QString>("target");  // a field's object name, or "paste"
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("said");  // part of the message; empty: the window goes there
        const auto digits = [](qsizetype count) { return QString(count, QLatin1Char('3')); };
        const auto bound = static_cast<qsizetype>(mandel::kMaxDecimalTextLength);
        const QString tooLong = QStringLiteral("100,100 文字を超えています（100,101 文字）");
        QTest::newRow("40,000 characters") << "centreReal"
                                           << "-0.7" + digits(40000 - 4) << "";
        QTest::newRow("at the length bound") << "centreImag"
                                             << "0." + digits(bound - 2) << "";
        QTest::newRow("twice the bound, cut one past it") << "centreReal" << digits(2 * bound) << tooLong;
        QTest::newRow("smallest exponent") << "side"
                                           << "1e-100000"
                                           << "";
        QTest::newRow("exponent past the bound") << "side"
                                                 << "1e-100001"
                                                 << "幅: 指数が ±100000 を超えています";
        QTest::newRow("magnitude past the bound") << "side"
                                                  << "0.1e-100000"
                                                  << "大きさが 1e±100000 を超えています";
        QTest::newRow("side of 0") << "side"
                                   << "0"
                                   << "幅: 0 より大きい数にしてください \"0\"";
        QTest::newRow("limit past the bound") << "limit"
                                              << "2147483648"
                                              << "1 から 2147483647 までの整数";
        QTest::newRow("limit at the bound, over the memory budget") << "limit"
                                                                    << "2147483647"
                                                                    << "上限 2147483647 には約";
        QTest::newRow("control and direction characters")
            << "centreReal" << QStringLiteral("-0.7\x1b[2J\u202Eevil\u2066\u200F\\")
            << "実部: 小数の形ではありません \"-0.7\\x1B[2J\\u202Eevil\\u2066\\u200F\\\\\"";
        QTest::newRow("40 characters shown") << "centreReal"
                                             << "x" + digits(100) << "\"x" + digits(39) + QStringLiteral("…\"");
        QTest::newRow("pasted 10 MB") << "paste" << digits(10'000'000) << "長すぎます（10,000,000 文字";
        QTest::newRow("pasted value past the bound") << "paste"
                                                     << "0 0 " + digits(bound + 1) + " 100"
                                                     << "幅: " + tooLong;
        QTest::newRow("pasted direction mark") << "paste" << QStringLiteral("--deep --size 100x100 0\u202E1 0 1e-3 9")
                                               << "実部の最小値: 小数の形ではありません \"0\\u202E1\"";
    }

    void textsAtTheBounds() {
        QFETCH(QString, target);
        QFETCH(QString, text);
        QFETCH(QString, said);
        Explorer e;
        e.window.setMemoryBudget(std::uint64_t{1} << 30);
        const mandel::ExploreLocation before = e.window.location();
        QLineEdit* field = target == QStringLiteral("paste") ? nullptr : e.field(qPrintable(target));
        if (field) {
            enter(field, text);
            QTest::keyClick(field, Qt::Key_Return);
        } else {
            QGuiApplication::clipboard()->setText(text);
            e.window.pasteLocation();
        }
        const QString message = e.window.statusMessage();
        if (said.isEmpty()) {
            mandel::ExploreLocation expected = before;
            mandel::Decimal& value = target == QStringLiteral("centreReal")   ? expected.centreReal
                                     : target == QStringLiteral("centreImag") ? expected.centreImag
                                                                              : expected.side;
            value = mandel::Decimal::parse(text.toStdString()).value();
            QVERIFY(e.window.location() == expected);
            QVERIFY2(message.isEmpty(), qPrintable(message));
            return;
        }
        QVERIFY(e.window.location() == before);
        QVERIFY2(message.contains(said), qPrintable(message));
        QVERIFY2(onlyVisible(message) && message.size() < 200, qPrintable(message));
        if (field && !said.startsWith(QStringLiteral("上限 "))) QVERIFY(field->property("bad").toBool());
    }

    // Only edited fields are read: a centre of 40,000 digits stays exact
    // while the limit changes. Esc takes a refused text back and its mark
    // and message away, and Enter works again.
    void escapeTakesABadTextBack() {
        const std::string real = "-0.7" + std::string(39996, '1');
        Explorer e(location(real.c_str(), "0.1", "1e-3", 200));
        const mandel::ExploreLocation start = e.window.location();
        enter(e.field("side"), QStringLiteral("abc"));
        QTest::keyClick(e.field("side"), Qt::Key_Return);
        QVERIFY(e.field("side")->property("bad").toBool());
        QTest::keyClick(e.field("side"), Qt::Key_Escape);
        QVERIFY(!e.field("side")->property("bad").toBool());
        QCOMPARE(e.field("side")->text(), QStringLiteral("1e-3"));
        QCOMPARE(e.window.statusMessage(), QString());
        enter(e.field("limit"), QStringLiteral("300"));
        QTest::keyClick(e.field("limit"), Qt::Key_Return);
        mandel::ExploreLocation expected = start;
        expected.limit = 300;
        QVERIFY(e.window.location() == expected);
    }

    // A picture's fields are measured before they are read: one of 7 MB is
    // refused at once; a text from the file shows escaped.
    void pictureFieldsAreReadSafely() {
        QTemporaryDir folder;
        QImage image(16, 16, QImage::Format_RGB32);
        image.fill(Qt::black);
        const std::pair<const char*, QString> fields[] = {{"Software", "mandelbrot 1"},
                                                          {"Real-part minimum", QString(7'000'000, QLatin1Char('1'))},
                                                          {"Imaginary-part minimum", "0"},
                                                          {"Side length", "1e-3"},
                                                          {"Iteration limit", "100"},
                                                          {"Base count", "0"},
                                                          {"Size", "16x16"},
                                                          {"Arithmetic", "deep"}};
        for (const auto& [key, value] : fields) image.setText(QLatin1String(key), value);
        const QString huge = folder.filePath(QStringLiteral("huge.png"));
        QVERIFY(image.save(huge));
        image.setText(QStringLiteral("Real-part minimum"), QStringLiteral("0"));
        image.setText(QStringLiteral("Arithmetic"), QStringLiteral("deep\u202E\x1b"));
        const QString marked = folder.filePath(QStringLiteral("marked.png"));
        QVERIFY(image.save(marked));

        Explorer e;
        const mandel::ExploreLocation before = e.window.location();
        QVERIFY(!e.window.openPicture(huge));
        QVERIFY2(e.window.statusMessage().contains(
                     QStringLiteral("フィールド「Real-part minimum」: 100,100 文字を超えています")),
                 qPrintable(e.window.statusMessage()));
        QVERIFY(!e.window.openPicture(marked));
        QVERIFY2(e.window.statusMessage().contains(QStringLiteral("deep\\u202E\\x1B")) &&
                     onlyVisible(e.window.statusMessage()),
                 qPrintable(e.window.statusMessage()));
        QVERIFY(e.window.location() == before);
    }

    // Closing the explorer while its reference orbit is computed is done at
    // once, and the worker ends on its own soon after. Meanwhile the status
    // line has counted the reference's iterations. (Inside the period-3
    // bulb the orbit stays bounded: at a side of 1e-30000 its million
    // iterations take many seconds.)
    void closesAtOnceDuringALongReference() {
        auto* window = new ExplorerWindow(location("-0.1225", "0.7449", "1e-30000", 1000000));
        window->setAttribute(Qt::WA_DeleteOnClose);
        window->show();
        const QLabel* status = window->findChild<QLabel*>(QStringLiteral("drawingStatus"));
        const QRegularExpression counting(QStringLiteral("^描画中 参照軌道 [1-9][0-9]{0,2}(,[0-9]{3})* / 1,000,000 "));
        while (!counting.match(status->text()).hasMatch())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        const QPointer<ExplorerWindow> open(window);
        QElapsedTimer clock;
        clock.start();
        window->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        const qint64 ms = clock.elapsed();
        QVERIFY(open.isNull());
        QVERIFY2(ms < 1000, qPrintable(QString::number(ms)));
        QVERIFY(ExplorerDrawing::waitForWorkers(std::chrono::seconds(30)));
    }

    // Over its memory budget a drawing does not start: the window stays
    // where it is with its picture, and the status line says what the
    // drawing would need. MANDEL_MAX_MEMORY sets the budget at start-up.
    void drawingOverTheBudgetKeepsThePicture() {
        Explorer e(location("-0.9007", "-0.2293", "0.5", 100));
        QSignalSpy finished(&e.window, &ExplorerWindow::drawingFinished);
        e.window.resize(300, 260);
        waitFor(finished);
        const mandel::ExploreLocation first = e.window.location();
        turnWheel(e.window.view(), QPoint(50, 50), 120);
        finished.clear();
        waitFor(finished);
        const mandel::ExploreLocation here = e.window.location();
        const QImage shown = e.window.view()->grab().toImage();
        e.window.setMemoryBudget(2'000'000);
        turnWheel(e.window.view(), QPoint(50, 50), 120);
        QTest::keyClick(e.window.view(), Qt::Key_Backspace);
        QTest::keyClick(e.window.view(), Qt::Key_Home);
        QVERIFY(e.window.location() == here);
        QCOMPARE(e.window.view()->grab().toImage(), shown);
        const QRegularExpression refusal(
            QStringLiteral("^上限 100 には約 [0-9.]+ [MG]B のメモリが要ります（使える量 2 MB）: 前の画像のままです$"));
        QVERIFY2(refusal.match(e.window.statusMessage()).hasMatch(), qPrintable(e.window.statusMessage()));
        // The history is as it was: with room again, Backspace goes back.
        e.window.setMemoryBudget(std::uint64_t{1} << 30);
        QTest::keyClick(e.window.view(), Qt::Key_Backspace);
        QVERIFY(e.window.location() == first);

        qputenv("MANDEL_MAX_MEMORY", "2000000");
        ExplorerWindow opening(here);
        qunsetenv("MANDEL_MAX_MEMORY");
        QCOMPARE(opening.memoryBudget(), std::uint64_t{2'000'000});
        opening.show();
        QVERIFY(QTest::qWaitForWindowExposed(&opening));
        QVERIFY(refusal.match(opening.statusMessage()).hasMatch());
        const QString status = opening.findChild<QLabel*>(QStringLiteral("drawingStatus"))->text();
        QVERIFY2(status.startsWith(QStringLiteral("描画していません")), qPrintable(status));
    }

    // The worker checks the budget too (the window's check may be out of
    // date): over it, nothing is drawn and the refusal says why.
    void workerRefusesADrawingOverItsBudget() {
        ExplorerDrawing drawing;
        std::optional<mandel_ui::ExplorerMemoryRefusal> refusal;
        bool drawn = false;
        connect(&drawing, &ExplorerDrawing::refused, [&](const mandel_ui::ExplorerMemoryRefusal& r) { refusal = r; });
        connect(&drawing, &ExplorerDrawing::previewReady, [&] { drawn = true; });
        mandel_ui::ExplorerJob job;
        job.location = location("-0.9007", "-0.2293", "0.5", 100);
        job.width = 100;
        job.height = 80;
        job.memoryBudget = 1'000'000;
        drawing.start(job);
        while (!refusal) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        QCOMPARE(refusal->limit, 100);
        QCOMPARE(refusal->budget, std::uint64_t{1'000'000});
        QVERIFY(refusal->estimate > refusal->budget);
        QVERIFY(!drawn);
    }
};

QTEST_MAIN(ExplorerTest)
#include "explorer_test.moc"
