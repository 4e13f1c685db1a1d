// The explorer's 配色 menu: a change colours the finished picture again at
// once, without a drawing (anti-aliasing and distance shading draw anew);
// the copied line draws the screen's picture byte for byte in the renderer;
// a picture's recorded colouring comes back when it is opened.
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QImage>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QWheelEvent>
#include <QTest>
#include <algorithm>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "colour_menu.h"
#include "deep_render.h"
#include "explorer_export.h"
#include "export_command.h"
#include "explore/explore_location.h"
#include "explorer_test_support.h"
#include "explorer_window.h"

using mandel_ui::ExplorerWindow;

namespace {

using test::location;
using test::waitFor;

QAction* action(QObject& window, const char* name) { return window.findChild<QAction*>(QLatin1String(name)); }

QAction* palette(QObject& window, const QString& name) {
    for (QAction* item : window.findChildren<QAction*>())
        if (item->data().toString() == name) return item;
    return nullptr;
}

// The renderer's PNG of a copied line, read back as the screen's format.
QImage rendered(const QString& copied, const QString& path) {
    std::vector<std::string> words;
    std::istringstream line(copied.toStdString());
    for (std::string word; line >> word;) words.push_back(word);
    words.insert(words.begin() + 1, {"--png", path.toStdString()});
    const std::vector<std::string_view> args(words.begin(), words.end());
    std::ostringstream out, err;
    mandel::tool::runDeepRender(args, out, err, false);
    return QImage(path).convertToFormat(QImage::Format_RGB32);
}

}  // namespace

class ExplorerColourTest : public QObject {
    Q_OBJECT

    QTemporaryDir config_;

private slots:
    void initTestCase() {
        // The colouring remembered on close goes to a scratch folder, not the user's.
        qputenv("XDG_CONFIG_HOME", config_.path().toUtf8());
    }

    // Without a remembered choice the explorer opens in smooth colour with
    // the automatic density, and draws its first picture so.
    void opensInSmoothColour() {
        ExplorerWindow window(location("-0.7436438870371587", "0.1318259042053119", "1e-5", 1500));
        const auto* menu = window.findChild<mandel_ui::ColourMenu*>();
        QCOMPARE(menu->choice().mode, mandel::ColouringMode::Smooth);
        QVERIFY(menu->choice().automaticDensity);
        QVERIFY(action(window, "colourSmooth")->isChecked());
        QSignalSpy finished(&window, &ExplorerWindow::drawingFinished);
        window.resize(200, 190);
        window.show();
        waitFor(finished);
        window.copyLocation();
        const QString line = QGuiApplication::clipboard()->text();
        QVERIFY2(line.contains(QStringLiteral("--colouring smooth --palette classic")), qPrintable(line));
    }

    void recolouredAtOnceAndTheCopiedLineDrawsTheScreen() {
        QTemporaryDir folder;
        ExplorerWindow window(location("-0.7436438870371587", "0.1318259042053119", "1e-5", 1500));
        action(window, "automaticLimit")->setChecked(false);
        QSignalSpy finished(&window, &ExplorerWindow::drawingFinished);
        // Chosen before the first drawing, which then has a reference of its own.
        action(window, "colourSmooth")->trigger();
        window.resize(200, 190);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        waitFor(finished);
        const QImage smooth = window.image().convertToFormat(QImage::Format_RGB32);
        window.copyLocation();
        const QString line = QGuiApplication::clipboard()->text();
        QVERIFY2(line.contains(QStringLiteral("--colouring smooth")), qPrintable(line));
        QCOMPARE(rendered(line, folder.path() + QStringLiteral("/smooth.png")), smooth);

        const qsizetype drawings = finished.size();
        palette(window, QStringLiteral("grey"))->trigger();
        const QImage grey = window.image().convertToFormat(QImage::Format_RGB32);
        QVERIFY(grey != smooth);
        QCOMPARE(finished.size(), drawings);
        window.copyLocation();
        QCOMPARE(rendered(QGuiApplication::clipboard()->text(), folder.path() + QStringLiteral("/grey.png")), grey);

        // Anti-aliasing on the screen draws the samples anew; the line says so.
        action(window, "screenSupersample2")->trigger();
        waitFor(finished, drawings + 1);
        const QImage sampled = window.image().convertToFormat(QImage::Format_RGB32);
        window.copyLocation();
        const QString sampledLine = QGuiApplication::clipboard()->text();
        QVERIFY2(sampledLine.contains(QStringLiteral("--supersample 2")), qPrintable(sampledLine));
        QCOMPARE(rendered(sampledLine, folder.path() + QStringLiteral("/sampled.png")), sampled);

        // Distance shading needs the derivative: a drawing, then the same bytes again.
        action(window, "colourDistance")->trigger();
        waitFor(finished, drawings + 2);
        const QImage shaded = window.image().convertToFormat(QImage::Format_RGB32);
        window.copyLocation();
        const QString shadedLine = QGuiApplication::clipboard()->text();
        QVERIFY2(shadedLine.contains(QStringLiteral("--colouring distance")), qPrintable(shadedLine));
        QCOMPARE(rendered(shadedLine, folder.path() + QStringLiteral("/shaded.png")), shaded);
    }

    // A deep view as the explorer opens it (smooth colour, the automatic
    // limit on, which lowers the limit of 3000 on the way): the screen is the
    // renderer's picture of the copied line, and the export at K × K samples
    // the renderer's picture of that line with --supersample K.
    void deepViewAgreesWithTheRendererAndTheExport() {
        QTemporaryDir folder;
        const mandel::LocationReading reading = mandel::parseLocationLine(
            "--deep --size 180x150 -3.9910576953851210527409664882010367081081379167612e-16 "
            "1.0000000000000011940928087727606164826078652832736343466698172e0 1e-29 3000");
        QVERIFY(reading.ok);
        ExplorerWindow window(reading.location);
        QSignalSpy finished(&window, &ExplorerWindow::drawingFinished);
        window.resize(180, 190);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        waitFor(finished);
        const QImage screen = window.image().convertToFormat(QImage::Format_RGB32);
        window.copyLocation();
        const QString line = QGuiApplication::clipboard()->text();
        QVERIFY2(line.contains(QStringLiteral("--colouring smooth")), qPrintable(line));
        QVERIFY2(!line.endsWith(QStringLiteral(" 3000")), qPrintable(line));  // the rule chose another limit
        QCOMPARE(rendered(line, folder.path() + QStringLiteral("/screen.png")), screen);

        const QString exported = folder.path() + QStringLiteral("/exported.png");
        mandel_ui::ExportCommand* command = mandel_ui::explorerExportCommand(&window);
        command->setPresenter([](const mandel_ui::MessageRequest&) {});
        command->setAsker([&](const mandel_ui::ExportRequest& proposal) -> std::optional<mandel_ui::ExportRequest> {
            mandel_ui::ExportRequest request = proposal;
            request.size = std::max(screen.width(), screen.height());
            request.path = exported;
            request.explorer->square = false;
            return request;
        });
        action(window, "explorerExport")->trigger();
        while (command->isRunning()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        const QImage picture = QImage(exported).convertToFormat(QImage::Format_RGB32);
        QCOMPARE(picture.size(), screen.size());
        QVERIFY(picture != screen);  // 3 × 3 samples a pixel
        QCOMPARE(rendered(line + QStringLiteral(" --supersample 3"), folder.path() + QStringLiteral("/three.png")),
                 picture);
    }

    // Counts drawn in bands after a zoom, then smooth colour chosen: the held
    // counts coloured at once are the renderer's picture of the copied line
    // (their continuous counts too are those of the view's own reference).
    void smoothChosenAfterBandsDrawsTheRenderersPicture() {
        QTemporaryDir folder;
        const mandel::LocationReading reading = mandel::parseLocationLine(
            "--deep --size 180x150 -0.743643887087158704752191506114774 0.131825904155311970493132056385139 1e-10 "
            "20000");
        ExplorerWindow window(reading.location);
        action(window, "colourBands")->trigger();
        QSignalSpy finished(&window, &ExplorerWindow::drawingFinished);
        window.resize(180, 190);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        waitFor(finished);
        QWheelEvent wheel(QPointF(61, 47), window.view()->mapToGlobal(QPointF(61, 47)), QPoint(), QPoint(0, 120),
                          Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(window.view(), &wheel);
        const qsizetype drawings = finished.size();
        waitFor(finished, drawings + 1);
        action(window, "colourSmooth")->trigger();
        QCOMPARE(finished.size(), drawings + 1);  // no new drawing
        const QImage screen = window.image().convertToFormat(QImage::Format_RGB32);
        window.copyLocation();
        QCOMPARE(rendered(QGuiApplication::clipboard()->text(), folder.path() + QStringLiteral("/smooth.png")), screen);
    }

    // A palette chosen while the full picture is drawn: the drawing goes on,
    // and its counts are shown in that palette, the copied line's picture.
    void paletteChosenWhileDrawing() {
        QTemporaryDir folder;
        ExplorerWindow window(
            location("-0.743643887087158704752191506114774", "0.131825904155311970493132056385139", "1e-10", 20000));
        QSignalSpy preview(&window, &ExplorerWindow::previewShown);
        QSignalSpy finished(&window, &ExplorerWindow::drawingFinished);
        window.resize(400, 330);
        window.show();
        waitFor(preview);
        QVERIFY(finished.isEmpty());
        palette(window, QStringLiteral("fire"))->trigger();
        waitFor(finished);
        const QImage screen = window.image().convertToFormat(QImage::Format_RGB32);
        window.copyLocation();
        const QString line = QGuiApplication::clipboard()->text();
        QVERIFY2(line.contains(QStringLiteral("--palette fire")), qPrintable(line));
        QCOMPARE(rendered(line, folder.path() + QStringLiteral("/fire.png")), screen);
    }

    void openingAPictureRestoresItsColouring() {
        QTemporaryDir folder;
        const QString path = folder.path() + QStringLiteral("/ocean.png");
        rendered(QStringLiteral("--deep --size 40x30 --colouring smooth --palette ocean --density 0.25 --offset 0.5 "
                                "-0.7436438870371587 0.1318259042053119 3.5e-7 300"),
                 path);
        ExplorerWindow window(location("0.25", "0", "1e-3", 500));
        QVERIFY(window.openPicture(path));
        const auto* menu = window.findChild<mandel_ui::ColourMenu*>();
        QVERIFY(menu);
        QCOMPARE(menu->choice().mode, mandel::ColouringMode::Smooth);
        QCOMPARE(menu->choice().palette, std::string("ocean"));
        QCOMPARE(menu->choice().scale.density, 0.25);
        QVERIFY(!menu->choice().automaticDensity);
    }
};

QTEST_MAIN(ExplorerColourTest)
#include "explorer_colour_test.moc"
