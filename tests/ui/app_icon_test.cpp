// The icon files the build writes for the desktop's icon theme hold the same
// picture as the window's icon.

#include <QColorSpace>
#include <QIcon>
#include <QtTest>

#include "app_icon.h"
#include "form1.h"
#include "test_support.h"

namespace {

QString iconFile(int size) { return QStringLiteral(MANDEL_ICON_DIR "/%1x%1/apps/" MANDEL_APP_ID ".png").arg(size); }

// The pixels alone: the PNG files are marked sRGB, the window's picture
// carries no colour space, and QImage compares that mark too.
QImage pixels(const QImage& image) {
    QImage rgb = test::rgb(image);
    rgb.setColorSpace(QColorSpace());
    return rgb;
}

}  // namespace

class AppIconTest : public QObject {
    Q_OBJECT

private slots:
    void theThemeFilesAreTheWindowsPicture_data() {
        QTest::addColumn<int>("size");
        for (const int size : {16, 32, 48, 128, 256}) QTest::addRow("%d px", size) << size;
    }
    void theThemeFilesAreTheWindowsPicture() {
        QFETCH(int, size);
        const QImage file(iconFile(size), "PNG");
        QVERIFY2(!file.isNull(), qPrintable(iconFile(size)));
        QCOMPARE(file.size(), QSize(size, size));
        QCOMPARE(pixels(file), pixels(mandel_ui::mandelbrotIconImage(size)));
    }

    // The icon the window shows is the picture of those files.
    void theWindowShowsTheSamePicture() {
        mandel_ui::Form1 form;
        for (const int size : {16, 32}) {
            const QImage shown = form.windowIcon().pixmap(size).toImage();
            QCOMPARE(pixels(shown), pixels(QImage(iconFile(size), "PNG")));
        }
    }
};

QTEST_MAIN(AppIconTest)
#include "app_icon_test.moc"
