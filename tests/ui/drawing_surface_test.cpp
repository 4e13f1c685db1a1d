// The drawing surface Pic1: logical scale, where points land, clearing,
// painting, and the save command writing its image.

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtEndian>
#include <QPainter>
#include <QTemporaryDir>
#include <QtTest>

#include <cerrno>
#include <cstring>
#include <vector>

#include "drawing_surface.h"
#include "files/safe_file.h"
#include "picture_save.h"

using mandel_ui::DrawingSurface;

namespace {

// A surface of the given pixel size with the 500 × 500 scale the window sets.
void prepare(DrawingSurface& surface, QSize pixels) {
    surface.resize(pixels);
    surface.setPixelScaleMode();
    surface.setScaleWidth(500);
    surface.setScaleHeight(500);
}

// A colour that tells the logical point it was plotted for.
std::uint32_t colourOf(int x, int y) {
    return static_cast<std::uint32_t>(x % 256) + 256u * static_cast<std::uint32_t>(y % 256) +
           65536u * static_cast<std::uint32_t>(x / 256 + 2 * (y / 256) + 1);
}
QRgb rgbOf(int x, int y) {
    const std::uint32_t c = colourOf(x, y);
    return qRgb(c & 0xff, (c >> 8) & 0xff, c >> 16);
}

const QRgb kWhite = qRgb(255, 255, 255);

bool allBackground(const QImage& image) {
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixel(x, y) != kWhite) return false;
    return true;
}

}  // namespace

class DrawingSurfaceTest : public QObject {
    Q_OBJECT

private slots:
    void scaleIsFiveHundredWhateverThePixelSize() {
        for (const QSize size : {QSize(453, 453), QSize(449, 449), QSize(700, 300)}) {
            DrawingSurface surface;
            prepare(surface, size);
            QCOMPARE(surface.ScaleWidth(), 500.0f);
            QCOMPARE(surface.ScaleHeight(), 500.0f);
            QCOMPARE(surface.image().size(), size);
        }
    }

    // Every logical point 0..499 plotted: each pixel holds the last point
    // whose position x·W/500 falls inside it, i.e. x = ((px + 1)·500 − 1) / W.
    void pointsLandInTheirPixelsAndTheLaterOneWins_data() {
        QTest::addColumn<QSize>("size");
        QTest::newRow("453 px, the window's surface") << QSize(453, 453);
        QTest::newRow("449 px, with a sunken border") << QSize(449, 449);
        QTest::newRow("500 px, one to one") << QSize(500, 500);
        QTest::newRow("250 x 333") << QSize(250, 333);
    }
    void pointsLandInTheirPixelsAndTheLaterOneWins() {
        QFETCH(QSize, size);
        DrawingSurface surface;
        prepare(surface, size);
        for (int y = 0; y <= 500; ++y)
            for (int x = 0; x <= 500; ++x) surface.PSet(static_cast<float>(x), static_cast<float>(y), colourOf(x, y));
        const QImage& image = surface.image();
        for (int py = 0; py < size.height(); ++py) {
            const int y = ((py + 1) * 500 - 1) / size.height();
            for (int px = 0; px < size.width(); ++px) {
                const int x = ((px + 1) * 500 - 1) / size.width();
                if (image.pixel(px, py) != rgbOf(x, y))
                    QFAIL(qPrintable(
                        QStringLiteral("pixel (%1, %2) does not hold point (%3, %4)").arg(px).arg(py).arg(x).arg(y)));
            }
        }
    }

    void cornersFarEdgesAndOnePixelPerPoint() {
        DrawingSurface surface;
        prepare(surface, QSize(453, 453));
        surface.PSet(0, 0, 0x0000ff);      // red
        surface.PSet(499, 499, 0xff0000);  // blue
        surface.PSet(10, 10, 0x123456);
        const QImage& image = surface.image();
        QCOMPARE(image.pixel(0, 0), qRgb(255, 0, 0));
        QCOMPARE(image.pixel(452, 452), qRgb(0, 0, 255));
        QCOMPARE(image.pixel(9, 9), qRgb(0x56, 0x34, 0x12));
        for (const QPoint n : {QPoint(8, 9), QPoint(10, 9), QPoint(9, 8), QPoint(9, 10)})
            QCOMPARE(image.pixel(n), kWhite);

        const QImage before = image.copy();
        for (int i = 0; i <= 500; ++i) {
            surface.PSet(500, static_cast<float>(i), 0x00ff00);
            surface.PSet(static_cast<float>(i), 500, 0x00ff00);
        }
        for (const auto& [x, y] : {std::pair{-1.0f, 10.0f}, {10.0f, -0.5f}, {1e9f, 10.0f}, {NAN, 10.0f}})
            surface.PSet(x, y, 0x00ff00);
        QCOMPARE(surface.image(), before);
    }

    void largerThan500PixelsLeavesGaps() {
        DrawingSurface surface;
        prepare(surface, QSize(700, 700));
        for (int y = 0; y < 500; ++y)
            for (int x = 0; x < 500; ++x) surface.PSet(static_cast<float>(x), static_cast<float>(y), 0);
        // x = 0 lands on pixel 0, x = 1 on pixel 1.4 → 1, x = 2 on 2.8 → 2, x = 3 on 4.2 → 4.
        QCOMPARE(surface.image().pixel(3, 0), kWhite);
        QCOMPARE(surface.image().pixel(4, 0), qRgb(0, 0, 0));
        QCOMPARE(surface.image().pixel(0, 3), kWhite);
    }

    void wholeRowsPlotAsTheirPointsOneByOne_data() {
        QTest::addColumn<QSize>("pixels");
        QTest::newRow("smaller than 500") << QSize(453, 449);
        QTest::newRow("larger than 500") << QSize(640, 520);
    }
    void wholeRowsPlotAsTheirPointsOneByOne() {
        QFETCH(QSize, pixels);
        DrawingSurface byPoint;
        DrawingSurface byRow;
        prepare(byPoint, pixels);
        prepare(byRow, pixels);
        std::vector<std::uint32_t> colours(501);
        for (int y = 0; y <= 500; y += 7) {  // row 500 lies on the far edge
            for (int x = 0; x <= 500; ++x) {
                colours[static_cast<std::size_t>(x)] = colourOf(x, y);
                byPoint.PSet(static_cast<float>(x), static_cast<float>(y), colourOf(x, y));
            }
            byRow.PSetRow(static_cast<float>(y), colours.data(), colours.size());
        }
        QCOMPARE(byRow.image(), byPoint.image());
        QVERIFY(!allBackground(byRow.image()));
    }

    void clearRestoresTheBackground() {
        DrawingSurface surface;
        prepare(surface, QSize(453, 453));
        QVERIFY(allBackground(surface.image()));
        for (int i = 0; i < 500; ++i) surface.PSet(static_cast<float>(i), static_cast<float>(i), 0x0);
        QVERIFY(!allBackground(surface.image()));
        surface.Cls();
        QVERIFY(allBackground(surface.image()));
        QCOMPARE(surface.ScaleWidth(), 500.0f);
    }

    // What the widget paints is the persistent image, also on a screen with
    // two device pixels per pixel, where each image pixel is a sharp block.
    void paintingShowsThePersistentImage() {
        DrawingSurface surface;
        prepare(surface, QSize(453, 453));
        for (int y = 0; y < 500; y += 3)
            for (int x = 0; x < 500; x += 7) surface.PSet(static_cast<float>(x), static_cast<float>(y), colourOf(x, y));
        QCOMPARE(surface.grab().toImage().convertToFormat(QImage::Format_RGB32), surface.image());

        QImage doubled(906, 906, QImage::Format_RGB32);
        doubled.setDevicePixelRatio(2);
        doubled.fill(Qt::black);
        surface.render(&doubled);
        const QImage& image = surface.image();
        for (int py = 0; py < 453; ++py)
            for (int px = 0; px < 453; ++px)
                for (int d = 0; d < 4; ++d)
                    if (doubled.pixel(2 * px + d % 2, 2 * py + d / 2) != image.pixel(px, py))
                        QFAIL(qPrintable(QStringLiteral("device pixel block of (%1, %2) differs").arg(px).arg(py)));
    }

    void saveWritesA24BitBitmapThatReadsBackEqual() {
        QTemporaryDir folder;
        DrawingSurface surface;
        prepare(surface, QSize(453, 453));
        for (int y = 0; y < 500; ++y)
            for (int x = 0; x < 500; x += 2) surface.PSet(static_cast<float>(x), static_cast<float>(y), colourOf(x, y));
        // An existing, larger file of that name is replaced.
        const QString path = folder.filePath(QStringLiteral("picture.bmp"));
        QFile old(path);
        QVERIFY(old.open(QIODevice::WriteOnly) && old.write(QByteArray(2'000'000, 'x')) > 0);
        old.close();
        const auto result = mandel_ui::savePicture(surface.image(), path);
        QVERIFY2(result.ok, qPrintable(result.error));
        QVERIFY(result.error.isEmpty());

        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray header = file.read(54);
        QCOMPARE(header.left(2), QByteArray("BM"));
        const auto le32 = [&](int at) { return qFromLittleEndian<qint32>(header.constData() + at); };
        QCOMPARE(le32(18), 453);                                                     // width
        QCOMPARE(std::abs(le32(22)), 453);                                           // height
        QCOMPARE(qFromLittleEndian<quint16>(header.constData() + 28), quint16(24));  // bits per pixel
        file.close();

        QCOMPARE(QFileInfo(path).size(), 54 + 453 * 1360);  // rows padded to 4 bytes
        const QImage back(path, "BMP");
        QCOMPARE(back.convertToFormat(QImage::Format_RGB32), surface.image());
    }

    // A write that fails part way, as on a full disk, leaves the old file
    // whole and no other file beside it.
    void aFailedSaveLeavesTheOldFile() {
        QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("picture.bmp"));
        QFile old(path);
        QVERIFY(old.open(QIODevice::WriteOnly) && old.write("older picture") > 0);
        old.close();
        DrawingSurface surface;
        prepare(surface, QSize(453, 453));
        const mandel::SafeFileCalls saved = mandel::safeFileCalls();
        mandel::safeFileCalls().pwrite = [](int, const void*, std::size_t, off_t) -> ssize_t {
            errno = ENOSPC;
            return -1;
        };
        mandel::safeFileCalls().write = [](int, const void*, std::size_t) -> ssize_t {
            errno = ENOSPC;
            return -1;
        };
        const auto result = mandel_ui::savePicture(surface.image(), path);
        mandel::safeFileCalls() = saved;
        QVERIFY(!result.ok);
        QCOMPARE(result.error, QString::fromLocal8Bit(std::strerror(ENOSPC)));
        QVERIFY(old.open(QIODevice::ReadOnly));
        QCOMPARE(old.readAll(), QByteArray("older picture"));
        QCOMPARE(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("picture.bmp")});
    }

    void saveIntoAMissingFolderFailsWithAReason() {
        QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("gone/picture.bmp"));
        DrawingSurface surface;
        prepare(surface, QSize(453, 453));
        surface.PSet(1, 1, 0);
        const auto result = mandel_ui::savePicture(surface.image(), path);
        QVERIFY(!result.ok);
        QVERIFY(!result.error.isEmpty());
        QVERIFY(!QFile::exists(path));
        QCOMPARE(surface.image().pixel(0, 0), qRgb(0, 0, 0));
    }
};

QTEST_MAIN(DrawingSurfaceTest)
#include "drawing_surface_test.moc"
