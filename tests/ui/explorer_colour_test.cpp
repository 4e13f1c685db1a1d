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
#include <QTest>
#include <sstream>
#include <string>
#include <vector>

#include "colour_menu.h"
#include "deep_render.h"
#include "explore/explore_location.h"
#include "explorer_window.h"

using mandel_ui::ExplorerWindow;

namespace {

mandel::ExploreLocation location(const char* real, const char* imag, const char* side, int limit) {
    const auto reading = mandel::parseEditedTexts({real, imag, side, std::to_string(limit)}, 0);
    if (!reading.ok) qFatal("bad test location: %s", reading.problem.c_str());
    return reading.location;
}

void waitFor(QSignalSpy& spy, qsizetype count = 1) {
    while (spy.size() < count) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

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

private slots:
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
