// ファイル → ズーム動画...: the dialog makes a movie from a view out to the
// whole set into the folder it was given, and leaves no working files; its
// cancel stops the work and leaves no movie; the explorer's menu opens it.

#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include "colour/gradients.h"
#include "explore/explore_location.h"
#include "explorer_window.h"
#include "zoom_movie_dialog.h"
#include "zoom_movie_job.h"

namespace {

mandel::ExploreLocation location(const char* re, const char* im, const char* side, std::int64_t limit) {
    return {*mandel::Decimal::parse(re), *mandel::Decimal::parse(im), *mandel::Decimal::parse(side), limit, 0};
}

// The frame count and size of a movie, as ffprobe reads them.
QString probe(const QString& path) {
    QProcess ffprobe;
    ffprobe.start(QStringLiteral("ffprobe"),
                  {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-count_frames"),
                   QStringLiteral("-show_entries"), QStringLiteral("stream=width,height,nb_read_frames"),
                   QStringLiteral("-of"), QStringLiteral("csv=p=0"), path});
    ffprobe.waitForFinished(60000);
    return QString::fromUtf8(ffprobe.readAllStandardOutput()).trimmed();
}

}  // namespace

class ZoomMovieDialogTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        QStandardPaths::setTestModeEnabled(true);  // the keyframes' working folder in a test cache
        if (QStandardPaths::findExecutable(QStringLiteral("ffmpeg")).isEmpty())
            QSKIP("ffmpeg is missing (Debian's ffmpeg package)");
    }

    void makesTheMovieIntoTheFolder() {
        QTemporaryDir pictures;
        mandel_ui::ZoomMovieDialog dialog(location("-0.745", "0.113", "0.001", 300), pictures.path());
        QCOMPARE(dialog.pathEdit->text(), QDir::toNativeSeparators(pictures.filePath("mandelbrot-zoom-1.mp4")));
        dialog.sizeBox->setCurrentIndex(dialog.sizeBox->findData(QSize(320, 180)));
        dialog.secondsBox->setValue(2);
        dialog.fpsBox->setCurrentIndex(dialog.fpsBox->findData(24));
        QSignalSpy done(&dialog, &mandel_ui::ZoomMovieDialog::movieDone);
        dialog.startButton->click();
        QVERIFY(dialog.running());
        QVERIFY(!dialog.startButton->isEnabled());
        QVERIFY(done.wait(120000));
        QCOMPARE(done.at(0).at(0).toBool(), true);
        QCOMPARE(probe(pictures.filePath("mandelbrot-zoom-1.mp4")), QStringLiteral("320,180,48"));
        QCOMPARE(dialog.progressBar->value(), 48);  // the frames done of all
        QVERIFY(dialog.startButton->isEnabled());
        // The next movie would not replace this one.
        QCOMPARE(dialog.pathEdit->text(), QDir::toNativeSeparators(pictures.filePath("mandelbrot-zoom-2.mp4")));
        const QDir cache(QStandardPaths::writableLocation(QStandardPaths::CacheLocation) +
                         QStringLiteral("/zoom-keyframes"));
        QCOMPARE(cache.entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList());
    }

    void cancelStopsAndLeavesNoMovie() {
        QTemporaryDir pictures;
        mandel_ui::ZoomMovieDialog dialog(location("-0.7453", "0.1127", "1e-12", 3000), pictures.path());
        dialog.sizeBox->setCurrentIndex(dialog.sizeBox->findData(QSize(1920, 1080)));
        QSignalSpy done(&dialog, &mandel_ui::ZoomMovieDialog::movieDone);
        dialog.startButton->click();
        QTest::qWait(300);
        QVERIFY(dialog.running());
        dialog.cancelButton->click();
        QVERIFY(done.wait(60000));
        QCOMPARE(done.at(0).at(0).toBool(), false);
        QCOMPARE(done.at(0).at(1).toString(), QStringLiteral("中止しました"));
        QCOMPARE(QDir(pictures.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::Hidden),
                 QStringList());
    }

    // Smooth on the first gradient unless chosen otherwise; the gradient only
    // where the colouring has one; the choice reaches the keyframes' options.
    void offersTheColouring() {
        QTemporaryDir pictures;
        mandel_ui::ZoomMovieDialog dialog(location("-0.745", "0.113", "0.001", 300), pictures.path());
        QCOMPARE(dialog.colouringBox->currentData().toInt(), static_cast<int>(mandel::ColouringMode::Smooth));
        QCOMPARE(dialog.paletteBox->currentData().toString(), QStringLiteral("classic"));
        QCOMPARE(dialog.paletteBox->count(), static_cast<int>(mandel::builtInGradients().size()));
        QVERIFY(dialog.paletteBox->isEnabled());
        dialog.colouringBox->setCurrentIndex(
            dialog.colouringBox->findData(static_cast<int>(mandel::ColouringMode::Bands)));
        QVERIFY(!dialog.paletteBox->isEnabled());
        dialog.colouringBox->setCurrentIndex(
            dialog.colouringBox->findData(static_cast<int>(mandel::ColouringMode::Distance)));
        QVERIFY(dialog.paletteBox->isEnabled());

        mandel::Colouring colouring = mandel_ui::ZoomMovieJob::smoothColouring();
        colouring.palette = "ocean";
        QCOMPARE(mandel_ui::colouringOptions(colouring),
                 (std::vector<std::string>{"--colouring", "smooth", "--palette", "ocean"}));
        colouring.mode = mandel::ColouringMode::Bands;
        QCOMPARE(mandel_ui::colouringOptions(colouring), (std::vector<std::string>{"--colouring", "bands"}));
    }

    void theExplorersFileMenuOpensIt() {
        mandel_ui::ExplorerWindow window(location("-0.75", "0", "3", 200));
        QAction* action = window.findChild<QAction*>(QStringLiteral("zoomMovie"));
        QVERIFY(action);
        action->trigger();
        auto* dialog = window.findChild<mandel_ui::ZoomMovieDialog*>();
        QVERIFY(dialog);
        QVERIFY(dialog->isVisible());
        dialog->close();
    }
};

QTEST_MAIN(ZoomMovieDialogTest)
#include "zoom_movie_dialog_test.moc"
