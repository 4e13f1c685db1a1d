// Small helper for the real-window test:
//   e2e_helper compare SAVED.bmp REFERENCE.bmp
//     SAVED is the surface's image (W × H pixels), REFERENCE the headless
//     renderer's 500 × 500 image where logical point (x, y) is pixel (x, y).
//     The surface shows logical x at pixel floor(x·W/500); where several points
//     share a pixel the one plotted last (the largest x, the largest y) shows.
//     Exit 0 when every pixel agrees, 1 otherwise (with the first difference).
//   e2e_helper grab OUT.png [X Y WIDTH HEIGHT]
//     Saves a screenshot of the screen of $DISPLAY, or of that rectangle.
//   e2e_helper location PICTURE.png
//     Prints the renderer's arguments for the deep picture whose location the
//     PNG records: --deep --size WxH --base B REAL_MIN IMAG_MIN SIDE LIMIT,
//     then the colouring options it records (if any).
//   e2e_helper same A.png B.png
//     Exit 0 when the two pictures have the same size and pixels (printing
//     how many colours they show), 1 otherwise (with the first difference).
//   e2e_helper settle WINDOW_ID OUT.png [BEFORE.png]
//     Saves a grab of the X window once its picture has stopped changing
//     (and differs from BEFORE).
//   e2e_helper boundary PICTURE.png
//     Prints "X Y", the boundary pixel nearest the picture's centre.
//   e2e_helper clipboard
//     Prints the text on the clipboard (another program's, on $DISPLAY).
//   e2e_helper margins
//     Prints the distances "LEFT RIGHT TOP BOTTOM" in pixels between the
//     screen's edges and what is drawn on its plain background (the window
//     with its frame, on a screen with nothing else on it).
#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QRect>
#include <QScreen>
#include <QSet>
#include <QStringList>
#include <cstdio>

#include "e2e_steering.h"

namespace {

// The last logical coordinate (< 500) that lands in pixel p of an n-pixel axis.
int lastLogicalIn(int p, int n) {
    int last = -1;
    for (int logical = 0; logical < 500; ++logical)
        if (logical * n / 500 == p) last = logical;
    return last;
}

int compare(const char* savedPath, const char* referencePath) {
    const QImage saved(savedPath);
    const QImage reference(referencePath);
    if (saved.isNull() || reference.isNull()) {
        std::fprintf(stderr, "cannot read %s or %s\n", savedPath, referencePath);
        return 1;
    }
    if (reference.width() != 500 || reference.height() != 500 || saved.width() > 500 || saved.height() > 500) {
        std::fprintf(stderr, "unexpected sizes %dx%d and %dx%d\n", saved.width(), saved.height(), reference.width(),
                     reference.height());
        return 1;
    }
    for (int py = 0; py < saved.height(); ++py) {
        const int y = lastLogicalIn(py, saved.height());
        for (int px = 0; px < saved.width(); ++px) {
            const int x = lastLogicalIn(px, saved.width());
            const QRgb got = saved.pixel(px, py);
            const QRgb want = reference.pixel(x, y);
            if (qRed(got) != qRed(want) || qGreen(got) != qGreen(want) || qBlue(got) != qBlue(want)) {
                std::fprintf(stderr, "pixel (%d, %d) is #%06x, logical point (%d, %d) is #%06x\n", px, py,
                             got & 0xffffff, x, y, want & 0xffffff);
                return 1;
            }
        }
    }
    std::printf("%dx%d surface image matches the headless renderer\n", saved.width(), saved.height());
    return 0;
}

int location(const char* path) {
    const QImage png(path, "PNG");
    QStringList words{QStringLiteral("--deep"), QStringLiteral("--size"), png.text(QStringLiteral("Size")),
                      QStringLiteral("--base"), png.text(QStringLiteral("Base count"))};
    for (const char* key : {"Real-part minimum", "Imaginary-part minimum", "Side length", "Iteration limit"})
        words << png.text(QString::fromLatin1(key));
    if (png.isNull() || words.contains(QString())) {
        std::fprintf(stderr, "%s records no deep location\n", path);
        return 1;
    }
    // The colouring (and anti-aliasing) the picture was drawn with, as options.
    const QString colouring = png.text(QStringLiteral("Colouring"));
    if (!colouring.isEmpty()) words << colouring;
    std::printf("%s\n", qPrintable(words.join(' ')));
    return 0;
}

int same(const char* pathA, const char* pathB) {
    const QImage a = QImage(pathA).convertToFormat(QImage::Format_RGB32);
    const QImage b = QImage(pathB).convertToFormat(QImage::Format_RGB32);
    if (a.isNull() || a.size() != b.size()) {
        std::fprintf(stderr, "%s and %s are not pictures of one size\n", pathA, pathB);
        return 1;
    }
    QSet<QRgb> colours;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            if (a.pixel(x, y) != b.pixel(x, y)) {
                std::fprintf(stderr, "pixel (%d, %d): #%06x and #%06x\n", x, y, a.pixel(x, y) & 0xffffff,
                             b.pixel(x, y) & 0xffffff);
                return 1;
            }
            colours.insert(a.pixel(x, y));
        }
    std::printf("%dx%d pictures agree, %lld colours\n", a.width(), a.height(), static_cast<long long>(colours.size()));
    return 0;
}

int grab(const char* outPath, const QRect& area) {
    QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen || !screen->grabWindow(0, area.x(), area.y(), area.width(), area.height()).save(outPath)) {
        std::fprintf(stderr, "cannot grab the screen into %s\n", outPath);
        return 1;
    }
    return 0;
}

int margins() {
    QScreen* screen = QGuiApplication::primaryScreen();
    const QImage shot = screen ? screen->grabWindow(0).toImage() : QImage();
    if (shot.isNull()) {
        std::fprintf(stderr, "cannot grab the screen\n");
        return 1;
    }
    const QRgb background = shot.pixel(0, 0);
    QRect drawn;
    for (int y = 0; y < shot.height(); ++y)
        for (int x = 0; x < shot.width(); ++x)
            if (shot.pixel(x, y) != background) drawn |= QRect(x, y, 1, 1);
    if (drawn.isEmpty()) {
        std::fprintf(stderr, "nothing on the screen\n");
        return 1;
    }
    std::printf("%d %d %d %d\n", drawn.left(), shot.width() - 1 - drawn.right(), drawn.top(),
                shot.height() - 1 - drawn.bottom());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() == 4 && args[1] == "compare") return compare(argv[2], argv[3]);
    if (args.size() == 2 && args[1] == "margins") return margins();
    if (args.size() == 3 && args[1] == "location") return location(argv[2]);
    if (args.size() == 4 && args[1] == "same") return same(argv[2], argv[3]);
    if (args.size() == 3 && args[1] == "grab") return grab(argv[2], QRect(0, 0, -1, -1));
    if (args.size() == 7 && args[1] == "grab")
        return grab(argv[2], QRect(args[3].toInt(), args[4].toInt(), args[5].toInt(), args[6].toInt()));
    if ((args.size() == 4 || args.size() == 5) && args[1] == "settle")
        return settleWindow(argv[2], argv[3], args.size() == 5 ? argv[4] : nullptr);
    if (args.size() == 3 && args[1] == "boundary") return boundaryPixel(argv[2]);
    if (args.size() == 2 && args[1] == "clipboard") {
        std::printf("%s\n", qPrintable(QGuiApplication::clipboard()->text()));
        return 0;
    }
    std::fprintf(stderr,
                 "usage: e2e_helper compare SAVED.bmp REFERENCE.bmp | grab OUT.png [X Y W H] | margins\n"
                 "       | location PICTURE.png | same A.png B.png\n"
                 "       | settle WINDOW_ID OUT.png [BEFORE.png] | boundary PICTURE.png | clipboard\n");
    return 2;
}
