#include "e2e_steering.h"

#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <QSet>
#include <QThread>
#include <cstdio>
#include <limits>

#include "colour/banding.h"

namespace {

// The status line's clock moves every quarter second while a drawing runs,
// so three equal grabs this far apart mean the drawing has finished.
constexpr int kGrabIntervalMs = 300;
constexpr int kEqualGrabs = 3;
// Only a window that never settles meets this bound (ten minutes).
constexpr int kMaxGrabs = 2000;
constexpr int kReach = 2;  // the neighbourhood is (2·kReach + 1)² pixels
constexpr int kMinColours = 3;

QImage grabWindow(WId window) {
    QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->grabWindow(window).toImage().convertToFormat(QImage::Format_RGB32) : QImage();
}

bool isPaletteColour(QRgb pixel) {
    for (const mandel::Rgb& c : mandel::Palette)
        if (qRed(pixel) == c.red && qGreen(pixel) == c.green && qBlue(pixel) == c.blue) return true;
    return false;
}

// Text, frames and the window's background hold colours outside the palette;
// a neighbourhood of palette colours lies inside the picture.
bool isStructure(const QImage& picture, int x, int y, bool needHeld) {
    const mandel::Rgb held = mandel::Palette[0];
    const QRgb heldPixel = qRgb(held.red, held.green, held.blue);
    QSet<QRgb> colours;
    for (int dy = -kReach; dy <= kReach; ++dy)
        for (int dx = -kReach; dx <= kReach; ++dx) {
            const QRgb pixel = picture.pixel(x + dx, y + dy) & RGB_MASK;
            if (!isPaletteColour(pixel)) return false;
            colours.insert(pixel);
        }
    return colours.size() >= kMinColours && (!needHeld || colours.contains(heldPixel & RGB_MASK));
}

}  // namespace

int settleWindow(const char* windowId, const char* outPath, const char* beforePath) {
    bool ok = false;
    const WId window = QString::fromLatin1(windowId).toULongLong(&ok, 0);
    if (!ok) {
        std::fprintf(stderr, "%s is not a window id\n", windowId);
        return 1;
    }
    const QImage before = beforePath ? QImage(beforePath).convertToFormat(QImage::Format_RGB32) : QImage();
    QImage last = grabWindow(window);
    int equal = 1;
    for (int grabs = 1; grabs < kMaxGrabs; ++grabs) {
        QThread::msleep(kGrabIntervalMs);
        const QImage next = grabWindow(window);
        if (next.isNull()) break;
        equal = (next == last && next != before) ? equal + 1 : 1;
        last = next;
        if (equal == kEqualGrabs) {
            if (last.save(outPath)) return 0;
            std::fprintf(stderr, "cannot save %s\n", outPath);
            return 1;
        }
    }
    std::fprintf(stderr, "window %s did not settle\n", windowId);
    return 1;
}

int boundaryPixel(const char* picturePath) {
    const QImage picture = QImage(picturePath).convertToFormat(QImage::Format_RGB32);
    if (picture.isNull()) {
        std::fprintf(stderr, "cannot read %s\n", picturePath);
        return 1;
    }
    const int cx = picture.width() / 2;
    const int cy = picture.height() / 2;
    // Near held points first; any varied neighbourhood only if none has them.
    for (bool needHeld : {true, false}) {
        long long best = std::numeric_limits<long long>::max();
        int bestX = -1, bestY = -1;
        for (int y = kReach; y < picture.height() - kReach; ++y)
            for (int x = kReach; x < picture.width() - kReach; ++x) {
                const long long d = 1LL * (x - cx) * (x - cx) + 1LL * (y - cy) * (y - cy);
                if (d < best && isStructure(picture, x, y, needHeld)) {
                    best = d;
                    bestX = x;
                    bestY = y;
                }
            }
        if (bestX >= 0) {
            std::printf("%d %d\n", bestX, bestY);
            return 0;
        }
    }
    std::fprintf(stderr, "%s shows no boundary\n", picturePath);
    return 1;
}
