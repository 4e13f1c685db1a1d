// Exporting the picture on the surface at any size: the menu item, the region
// it draws, the dialog, the files (read back with Qt), cancel and failure.

#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <QStandardPaths>
#include <QTimer>
#include <QtTest>
#include <cerrno>
#include <algorithm>
#include <optional>
#include <set>
#include <sstream>

#include "colour/banding.h"
#include "deep/deep_colour.h"
#include "deep/deep_drawing.h"
#include "export_command.h"
#include "export_dialog.h"
#include "save_location.h"
#include "form1.h"
#include "parameter_scroll_bar.h"
#include "render_run.h"
#include "files/safe_file.h"
#include "test_support.h"

using mandel_ui::ExportRequest;
using mandel_ui::MessageRequest;

namespace {

const mandel::RegionTexts kSample1{"-0.75", "-0.275", "0.05", "106"};

// Runs the event loop until the export has finished (no time limit: a test
// must not depend on the machine's speed).
void waitForTheExport(mandel_ui::ExportCommand& command) {
    while (command.isRunning()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    QCoreApplication::processEvents();
}

// Exports region at size into path, answering the dialog with them.
void exportThrough(test::Harness& h, int size, const QString& path) {
    h.form.exportCommand()->setAsker([&](const ExportRequest& proposal) -> std::optional<ExportRequest> {
        ExportRequest request = proposal;
        request.size = size;
        request.path = path;
        return request;
    });
    h.ui.mnuexport->trigger();
    waitForTheExport(*h.form.exportCommand());
}

// The renderer's deep drawing of the region, as the export draws it.
QByteArray renderedBmp(const mandel::RegionTexts& r, int size, const QString& path) {
    const std::string file = path.toStdString();
    const std::string sizeText = std::to_string(size);
    const std::vector<std::string_view> args = {"--deep", "--size", sizeText, "--bmp", file,
                                                r.real,   r.imag,   r.side,   r.limit};
    std::ostringstream out, err;
    if (mandel::tool::runRenderTool(args, out, err) != 0) return {};
    QFile bmp(path);
    return bmp.open(QIODevice::ReadOnly) ? bmp.readAll() : QByteArray();
}

// The counts of a view's first column (or first row).
std::vector<std::int32_t> edgeCounts(const mandel::DeepView& view, bool column) {
    mandel::DeepDrawing drawing(view);
    std::vector<std::int32_t> counts(static_cast<std::size_t>(view.width) * view.height);
    drawing.computeRows(0, view.height, counts);
    std::vector<std::int32_t> edge;
    for (int i = 0; i < (column ? view.height : view.width); ++i)
        edge.push_back(counts[static_cast<std::size_t>(column ? i * view.width : i)]);
    return edge;
}

QByteArray contents(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

ssize_t diskFull(int, const void*, std::size_t) {
    errno = ENOSPC;
    return -1;
}

}  // namespace

class ExportTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    // After the save item; only while the surface shows a picture.
    void menuItemFollowsThePictureOnTheSurface() {
        test::Harness h;
        QCOMPARE(h.ui.mnufile->actions(),
                 (QList<QAction*>{h.ui.mnuprint, h.ui.mnuexport, h.ui.mnuexplore, h.ui.mnuend}));
        QCOMPARE(h.ui.mnuexport->text(), QStringLiteral("画像エクスポート(&X)..."));
        QCOMPARE(h.ui.mnuexport->objectName(), QStringLiteral("mnuexport"));
        QVERIFY(!h.ui.mnuexport->isEnabled());
        h.ui.btnstart->click();
        QVERIFY(h.ui.mnuexport->isEnabled());
        h.ui.btncls->click();
        QVERIFY(!h.ui.mnuexport->isEnabled());
        h.ui.btbsa1->click();
        h.ui.btnstart->click();
        QVERIFY(h.ui.mnuexport->isEnabled());
        h.ui.Command1->click();  // a preset clears the picture first
        QVERIFY(!h.ui.mnuexport->isEnabled());
    }

    // The read-outs of the drawing, not those of bars moved since.
    void theDialogProposesTheDrawnRegion() {
        test::Harness h;
        h.ui.btbsa1->click();
        h.ui.btnstart->click();
        h.ui.Hbar1->setValue(h.ui.Hbar1->value() + 1234);
        h.ui.Hbar4->setValue(1500);
        std::optional<ExportRequest> proposal;
        h.form.exportCommand()->setAsker([&](const ExportRequest& p) {
            proposal = p;
            return std::nullopt;
        });
        h.ui.mnuexport->trigger();
        QVERIFY(proposal.has_value());
        QCOMPARE(proposal->region.real, kSample1.real);
        QCOMPARE(proposal->region.imag, kSample1.imag);
        QCOMPARE(proposal->region.side, kSample1.side);
        QCOMPARE(proposal->region.limit, kSample1.limit);
        QCOMPARE(proposal->size, 2000);
        QCOMPARE(QFileInfo(proposal->path).absolutePath(), QDir(mandel_ui::picturesFolder()).absolutePath());
        QVERIFY(proposal->path.endsWith(QStringLiteral(".png")));
        QVERIFY(!h.form.exportCommand()->isRunning());
        QVERIFY(h.messages.empty());
    }

    // At 500 the export is the renderer's deep BMP byte for byte, and the
    // user is told where the file went.
    void bmpAt500IsTheRenderersBmp() {
        test::Harness h;
        h.ui.btbsa1->click();
        h.ui.btnstart->click();
        const QString path = h.folder.filePath("export.bmp");
        exportThrough(h, 500, path);
        QCOMPARE(h.messages.size(), std::size_t(1));
        QCOMPARE(h.messages[0].kind, MessageRequest::Kind::Information);
        QCOMPARE(h.messages[0].text, QStringLiteral("画像を書き出しました。\n\n") + QDir::toNativeSeparators(path));
        const QByteArray exported = contents(path);
        QCOMPARE(exported.size(), 54 + 500 * 1500);
        QVERIFY(exported == renderedBmp(kSample1, 500, h.folder.filePath("renderer.bmp")));
    }

    // Qt reads the PNG as a 17-colour palette image with the pixels of the
    // renderer's deep BMP of the same size, and the fields of a deep picture.
    void pngReadsBackAsThePaletteAndThePixels() {
        test::Harness h;
        h.ui.btnsa3->click();
        h.ui.btnstart->click();
        const QString path = h.folder.filePath("export.png");
        exportThrough(h, 777, path);
        const QImage png(path, "PNG");
        QCOMPARE(png.size(), QSize(777, 777));
        QCOMPARE(png.format(), QImage::Format_Indexed8);
        QList<QRgb> palette;
        for (const mandel::Rgb& c : mandel::Palette) palette.push_back(qRgb(c.red, c.green, c.blue));
        QCOMPARE(png.colorTable(), palette);
        const QImage bmp = QImage::fromData(
            renderedBmp({"-0.775", "0.107", "0.01", "180"}, 777, h.folder.filePath("renderer.bmp")), "BMP");
        QCOMPARE(test::rgb(png), test::rgb(bmp));
        QCOMPARE(png.text(QStringLiteral("Size")), QStringLiteral("777"));
        QCOMPARE(png.text(QStringLiteral("Iteration limit")), QStringLiteral("180"));
        QCOMPARE(png.text(QStringLiteral("Base count")), QStringLiteral("0"));
        QCOMPARE(png.text(QStringLiteral("Arithmetic")), QStringLiteral("deep"));
    }

    // A region at the window's smallest side, sample4 at 4000 pixels, shows
    // that region: no row is a stripe of one colour, and the right-hand
    // column and the bottom row are the points at a + 3999·s/4000 and
    // b + 3999·s/4000, drawn here on their own as views 16 pixels wide (or
    // high) with the export's pixel spacing.
    void largeExportShowsTheRegion() {
        test::Harness h;
        h.ui.Command1->click();
        h.ui.Hbar4->setValue(100);  // the lowest limit: the same positions, less to compute
        h.ui.btnstart->click();
        const QString path = h.folder.filePath("sample4.png");
        exportThrough(h, 4000, path);
        const QImage png(path, "PNG");
        QCOMPARE(png.size(), QSize(4000, 4000));
        const mandel::RegionTexts region{"-0.7717", "0.1165", "0.0001", "100"};
        QCOMPARE(png.text(QStringLiteral("Real-part minimum")), QString::fromStdString(region.real));
        QCOMPARE(png.text(QStringLiteral("Side length")), QString::fromStdString(region.side));
        for (int y = 0; y < png.height(); ++y) {
            const uchar* row = png.constScanLine(y);
            QVERIFY2(std::any_of(row, row + png.width(), [&](uchar index) { return index != row[0]; }),
                     qPrintable(QStringLiteral("row %1 is one colour").arg(y)));
        }
        // -0.7717 + 3999 · 0.0001 / 4000 and 0.1165 + 3999 · 0.0001 / 4000; a
        // side of 16 pixels of 0.0001 / 4000 over the short edge.
        const std::vector<std::int32_t> rightColumn =
            edgeCounts({{"-0.771600025", "0.1165", "4e-7", 100}, 16, 4000}, true);
        const std::vector<std::int32_t> bottomRow =
            edgeCounts({{"-0.7717", "0.116599975", "4e-7", 100}, 4000, 16}, false);
        for (int i = 0; i < 4000; ++i) {
            QCOMPARE(png.pixelIndex(3999, i), int(mandel::deepColourIndex(rightColumn[i], 100, 0)));
            QCOMPARE(png.pixelIndex(i, 3999), int(mandel::deepColourIndex(bottomRow[i], 100, 0)));
        }
        QVERIFY(std::set<std::int32_t>(rightColumn.begin(), rightColumn.end()).size() > 10);
        QVERIFY(std::set<std::int32_t>(bottomRow.begin(), bottomRow.end()).size() > 10);
    }

    void cancelLeavesNoFileAndNoMessage() {
        test::Harness h;
        h.ui.btnstart->click();
        const QString path = h.folder.filePath("large.png");
        auto& command = *h.form.exportCommand();
        command.setAsker([&](const ExportRequest& proposal) -> std::optional<ExportRequest> {
            ExportRequest request = proposal;
            request.size = 32000;
            request.path = path;
            return request;
        });
        h.ui.mnuexport->trigger();
        QVERIFY(command.isRunning());
        QVERIFY2(!h.ui.mnuexport->isEnabled(), "one export at a time");
        QVERIFY(command.progressDialog() && command.progressDialog()->isVisible());
        QVERIFY2(!command.progressDialog()->isModal(), "the window stays usable");
        QPushButton* cancel = command.progressDialog()->findChild<QPushButton*>();
        QVERIFY(cancel);
        QCOMPARE(cancel->text(), QStringLiteral("キャンセル"));
        cancel->click();
        waitForTheExport(command);
        QVERIFY2(h.messages.empty(), h.messages.empty() ? "" : qPrintable(h.messages[0].text));
        QCOMPARE(QDir(h.folder.path()).entryList(QDir::Files | QDir::Hidden), QStringList{});
        QVERIFY(h.ui.mnuexport->isEnabled());
    }

    void aFailedWriteIsReportedAndLeavesNoFile() {
        test::Harness h;
        h.ui.btnstart->click();
        const QString path = h.folder.filePath("full.png");
        const mandel::SafeFileCalls normal = mandel::safeFileCalls();
        mandel::safeFileCalls().write = diskFull;
        exportThrough(h, 100, path);
        mandel::safeFileCalls() = normal;
        QCOMPARE(h.messages.size(), std::size_t(1));
        QCOMPARE(h.messages[0].kind, MessageRequest::Kind::Error);
        QVERIFY2(h.messages[0].text.startsWith(QStringLiteral("画像を書き出せませんでした。\n\n") + path + "\n\n"),
                 qPrintable(h.messages[0].text));
        QVERIFY2(h.messages[0].text.contains(QStringLiteral("No space left on device")),
                 qPrintable(h.messages[0].text));
        QCOMPARE(QDir(h.folder.path()).entryList(QDir::Files | QDir::Hidden), QStringList{});
    }

    // Closing the window during an export stops it; nothing is left.
    void closingTheWindowStopsTheExport() {
        QTemporaryDir folder;
        const QString path = folder.filePath("large.png");
        {
            test::Harness h;
            h.ui.btnstart->click();
            h.form.exportCommand()->setAsker([&](const ExportRequest& proposal) -> std::optional<ExportRequest> {
                return ExportRequest{proposal.region, 32000, path};
            });
            h.ui.mnuexport->trigger();
            QVERIFY(h.form.exportCommand()->isRunning());
        }
        QCOMPARE(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden), QStringList{});
    }

    void dialogShowsTheRegionAndTakesSizeAndFile() {
        const QString pictures = mandel_ui::picturesFolder();
        mandel_ui::ExportDialog dialog({kSample1, 2000, pictures + "/mandelbrot-1.png"});
        const QString region = dialog.regionText->text();
        for (const char* text : {"-0.75", "-0.275", "0.05", "106"}) QVERIFY2(region.contains(text), qPrintable(region));
        QVERIFY(dialog.arithmeticNote->text().contains(QStringLiteral("任意精度")));
        QCOMPARE(dialog.sizeBox->value(), 2000);
        QCOMPARE(dialog.sizeBox->minimum(), 16);
        QCOMPARE(dialog.sizeBox->maximum(), 32000);
        dialog.sizeBox->setValue(12345);
        dialog.pathEdit->clear();
        QVERIFY(!dialog.exportButton->isEnabled());
        dialog.pathEdit->setText(QDir::toNativeSeparators(pictures + "/big.bmp"));
        QVERIFY(dialog.exportButton->isEnabled());
        const ExportRequest request = dialog.request();
        QCOMPARE(request.size, 12345);
        QCOMPARE(request.path, pictures + "/big.bmp");
        QCOMPARE(request.region.limit, kSample1.limit);
    }

    // A relative name lands in the folder the dialog showed, a name without a
    // suffix gets ".png", and a suffix that cannot be written is refused.
    void dialogResolvesNamesAndRefusesUnwritableSuffixes() {
        QTemporaryDir folder;
        const QString shown = QDir(folder.path()).absolutePath();
        mandel_ui::ExportDialog dialog({kSample1, 2000, shown + "/mandelbrot-1.png"});
        const QList<QPair<QString, QString>> names = {
            {"picture.bmp", shown + "/picture.bmp"},
            {"sub/picture", shown + "/sub/picture.png"},
            {"Picture.PNG", shown + "/Picture.PNG"},
            {"/elsewhere/x.png", "/elsewhere/x.png"},
        };
        for (const auto& [typed, resolved] : names) {
            dialog.pathEdit->setText(typed);
            QCOMPARE(dialog.request().path, resolved);
        }
        dialog.pathEdit->setText("photo.jpg");
        QString refusal;
        QTimer::singleShot(0, [&] {
            auto* box = dialog.findChild<QMessageBox*>(QStringLiteral("suffixRefusal"));
            if (!box) return;
            refusal = box->text();
            box->button(QMessageBox::Ok)->click();
        });
        dialog.exportButton->click();
        QVERIFY2(refusal.contains(QDir::toNativeSeparators(shown + "/photo.jpg")), qPrintable(refusal));
        QVERIFY2(refusal.contains(".jpg"), qPrintable(refusal));
        QCOMPARE(dialog.result(), int(QDialog::Rejected));  // still open: not accepted
        QVERIFY(!QFileInfo::exists(shown + "/photo.jpg"));
    }

    // A partly typed size is neither exported nor replaced by the previous
    // size: Return and leaving the box keep it, and Export stays off.
    void aPartlyTypedSizeIsNeverReplaced() {
        mandel_ui::ExportDialog dialog({kSample1, 9999, mandel_ui::picturesFolder() + "/mandelbrot-1.png"});
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QVERIFY(dialog.sizeRange->text().contains("16") && dialog.sizeRange->text().contains("32000"));
        dialog.sizeBox->setFocus();
        dialog.sizeBox->selectAll();
        QTest::keyClick(dialog.sizeBox, Qt::Key_5);
        QVERIFY(!dialog.exportButton->isEnabled());
        bool warned = false;
        QTimer::singleShot(0, [&] {
            for (auto* box : dialog.findChildren<QMessageBox*>()) {
                warned = box->text().contains("32000");
                box->button(QMessageBox::Ok)->click();
            }
        });
        QTest::keyClick(dialog.sizeBox, Qt::Key_Return);
        QVERIFY(warned);
        QVERIFY(dialog.isVisible());
        dialog.pathEdit->setFocus();  // leaving the box
        QCOMPARE(dialog.sizeBox->text(), QStringLiteral("5 ピクセル四方"));
        QVERIFY(!dialog.exportButton->isEnabled());
        dialog.sizeBox->setFocus();
        QTest::keyClick(dialog.sizeBox, Qt::Key_0);
        QVERIFY(dialog.exportButton->isEnabled());
        QCOMPARE(dialog.request().size, 50);
    }

    // A file typed over an existing one is replaced only when the user says so.
    void anExistingFileIsReplacedOnlyAfterAsking() {
        QTemporaryDir folder;
        const QString existing = folder.filePath("old.png");
        QFile(existing).open(QIODevice::WriteOnly);
        for (const auto answer : {QMessageBox::No, QMessageBox::Yes}) {
            mandel_ui::ExportDialog dialog({kSample1, 2000, existing});
            bool asked = false;
            QTimer::singleShot(0, [&] {
                auto* question = dialog.findChild<QMessageBox*>(QStringLiteral("replaceQuestion"));
                if (!question) return;
                asked = true;
                question->button(answer)->click();
            });
            dialog.exportButton->click();
            QVERIFY(asked);
            QCOMPARE(dialog.result(), answer == QMessageBox::Yes ? int(QDialog::Accepted) : int(QDialog::Rejected));
        }
        mandel_ui::ExportDialog fresh({kSample1, 2000, folder.filePath("new.png")});
        fresh.exportButton->click();
        QCOMPARE(fresh.result(), int(QDialog::Accepted));
    }

    // The file dialog starts in the folder of the proposed file (the Pictures
    // folder) and offers PNG first; the chosen name comes back into the field.
    void browseStartsInThePicturesFolder() {
        const QString pictures = mandel_ui::picturesFolder();
        QDir().mkpath(pictures);
        mandel_ui::ExportDialog dialog({kSample1, 2000, pictures + "/mandelbrot-1.png"});
        QString startFolder, filter;
        QTimer::singleShot(0, [&] {
            auto* files = dialog.findChild<QFileDialog*>(QStringLiteral("exportFileDialog"));
            if (!files) return;
            startFolder = files->directory().absolutePath();
            filter = files->selectedNameFilter();
            files->selectFile(QStringLiteral("chosen"));
            QMetaObject::invokeMethod(files, "accept");
        });
        dialog.browse();
        QCOMPARE(startFolder, QDir(pictures).absolutePath());
        QCOMPARE(filter, QStringLiteral("PNG 画像 (*.png)"));
        QCOMPARE(dialog.request().path, QDir(pictures).absolutePath() + "/chosen.png");  // PNG by default
    }
};

QTEST_MAIN(ExportTest)
#include "export_test.moc"
