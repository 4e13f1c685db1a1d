// Exporting the explorer's view: the dialog's shape and format rows, and the
// files, against the renderer's drawing of the same view and the engine's
// counts; the PNG's recorded location leads back to the view.

#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QSpinBox>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>
#include <cstring>
#include <sstream>

#include "deep/count_map_file.h"
#include "deep/deep_drawing.h"
#include "deep/picture_location.h"
#include "explorer_export.h"
#include "export_command.h"
#include "export_dialog.h"
#include "render_run.h"
#include "test_support.h"

using mandel_ui::ExportRequest;

namespace {

// Near a minibrot at 1e-29, beyond double precision, with a base above 0.
mandel::ExploreLocation deepLocation() {
    const mandel::LocationReading reading = mandel::parseLocationLine(
        "--deep --size 300x200 --base 40 -3.9910576953851210527409664882010367081081379167612e-16 "
        "1.0000000000000011940928087727606164826078652832736343466698172e0 1e-29 3000");
    return reading.location;
}

// Exports the view through the explorer's command, answering the dialog with
// the size, shape and file; returns the messages shown.
QStringList exportView(QWidget& window, const mandel::ExploreLocation& where, QSize view, int size, bool square,
                       const QString& path) {
    QStringList messages;
    mandel_ui::ExportCommand* command = mandel_ui::explorerExportCommand(&window);
    command->setPresenter([&](const mandel_ui::MessageRequest& m) { messages << m.text; });
    command->setAsker([&](const ExportRequest& proposal) -> std::optional<ExportRequest> {
        ExportRequest request = proposal;
        request.size = size;
        request.path = path;
        request.explorer->square = square;
        return request;
    });
    mandel_ui::startExplorerExport(&window, where, view);
    while (command->isRunning()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    QCoreApplication::processEvents();
    return messages;
}

// The renderer's --deep BMP of a view with a base.
QImage rendered(const mandel::DeepView& view, std::int64_t base, const QString& path) {
    const std::string file = path.toStdString(), size = std::to_string(view.width) + "x" + std::to_string(view.height);
    const std::string baseText = std::to_string(base), limit = std::to_string(view.location.limit);
    const std::vector<std::string_view> args = {"--deep",
                                                "--size",
                                                size,
                                                "--base",
                                                baseText,
                                                "--bmp",
                                                file,
                                                view.location.realMin,
                                                view.location.imagMin,
                                                view.location.side,
                                                limit};
    std::ostringstream out, err;
    if (mandel::tool::runRenderTool(args, out, err) != 0) return {};
    return QImage(path, "BMP");
}

}  // namespace

class ExplorerExportTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    // A 300 × 200 view exported at 450: a 450 × 300 PNG with the renderer's
    // pixels of that view in the view's colours and its closing field of
    // uncertified pixels, whose recorded location, read back, is the view's
    // location.
    void pngInTheViewsShapeIsTheRenderersAndLeadsBack() {
        QWidget window;
        QTemporaryDir folder;
        const mandel::ExploreLocation where = deepLocation();
        const QString path = folder.filePath("view.png");
        const QStringList messages = exportView(window, where, {300, 200}, 450, false, path);
        QCOMPARE(messages, QStringList{QStringLiteral("画像を書き出しました。\n\n") + path});
        const QImage png(path, "PNG");
        QCOMPARE(png.size(), QSize(450, 300));
        QCOMPARE(png.text(QStringLiteral("Uncertified pixels")), QStringLiteral("0"));  // after the image data
        const QImage bmp = rendered(mandel::toDeepView(where, 450, 300), 40, folder.filePath("renderer.bmp"));
        QVERIFY(!bmp.isNull());
        QCOMPARE(test::rgb(png), test::rgb(bmp));

        const mandel::PictureLocationRead read = mandel::readPictureLocation(path.toStdString());
        QVERIFY2(read.location, read.problem.c_str());
        const mandel::DeepView& v = read.location->view;
        const mandel::LocationReading back = mandel::parseLocationLine(
            "--size " + std::to_string(v.width) + "x" + std::to_string(v.height) + " --base " +
            std::to_string(read.location->base) + " " + v.location.realMin + " " + v.location.imagMin + " " +
            v.location.side + " " + std::to_string(v.location.limit));
        QVERIFY2(back.ok, back.problem.c_str());
        QVERIFY(back.location == where);
    }

    // Square, as a count map: the engine's counts of the square view.
    void squareCountMapHoldsTheCounts() {
        QWidget window;
        QTemporaryDir folder;
        const mandel::ExploreLocation where = deepLocation();
        const QString path = folder.filePath("counts.npy");
        exportView(window, where, {300, 200}, 64, true, path);
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        const std::vector<std::uint8_t> header = mandel::countMapHeader(64, 64);
        QCOMPARE(bytes.size(), qsizetype(header.size() + 64 * 64 * 4));
        QVERIFY(std::memcmp(bytes.data(), header.data(), header.size()) == 0);
        mandel::DeepDrawing drawing(mandel::toDeepView(where, 64, 64));
        std::vector<std::int32_t> counts(64 * 64);
        drawing.computeRows(0, 64, counts);
        QVERIFY(std::memcmp(bytes.data() + header.size(), counts.data(), counts.size() * 4) == 0);
        QVERIFY2(counts.front() != counts.back() || counts[2080] != counts.front(), "a view of one count");
    }

    // The explorer's rows: the pixels follow size and shape, the file's
    // suffix follows the format and the format the typed suffix; .npy is
    // accepted here.
    void dialogTakesShapeAndFormat() {
        QTemporaryDir folder;
        mandel_ui::ExportDialog dialog({{}, 1000, folder.filePath("view.png"), {{deepLocation(), {1600, 900}, false}}});
        const QString place = dialog.regionText->text();
        QVERIFY2(place.contains(QStringLiteral("-0.00000000000000039910576953850460527409664882010367081081379167612")),
                 qPrintable(place));
        QVERIFY2(place.contains(QStringLiteral("1e-29")) && place.contains(QStringLiteral("40")), qPrintable(place));
        QCOMPARE(dialog.pixelsText->text(), QStringLiteral("1000 × 563 ピクセル"));
        dialog.sizeBox->setValue(32000);
        QCOMPARE(dialog.pixelsText->text(), QStringLiteral("32000 × 18000 ピクセル"));
        dialog.squareButton->setChecked(true);
        QCOMPARE(dialog.pixelsText->text(), QStringLiteral("32000 × 32000 ピクセル"));
        dialog.formatBox->setCurrentIndex(2);
        QCOMPARE(dialog.pathEdit->text(), QDir::toNativeSeparators(folder.filePath("view.npy")));
        dialog.pathEdit->setText(folder.filePath("other.BMP"));
        QCOMPARE(dialog.formatBox->currentIndex(), 1);
        dialog.pathEdit->setText(folder.filePath("noSuffix"));
        dialog.formatBox->setCurrentIndex(2);
        dialog.pathEdit->setText(folder.filePath("noSuffix"));
        const ExportRequest request = dialog.request();
        QCOMPARE(request.path, folder.filePath("noSuffix.npy"));
        QVERIFY(request.explorer && request.explorer->square);
        dialog.exportButton->click();
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
    }
};

QTEST_MAIN(ExplorerExportTest)
#include "explorer_export_test.moc"
