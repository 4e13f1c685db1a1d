// Times the explorer window offscreen with an 800 × 800 view at scale 1, over
// the deep benchmark's locations: from going there to the first preview and
// to the full picture, from a wheel notch at the view's centre to the first
// new picture (the preview) and to the full one, and the longest gap between
// the ticks of a 5 ms timer while those drawings run (how long the event
// loop was kept from running).
// Usage: mandelbrot-explorer-bench [--auto] [NAME ...]
//   --auto: the limit and the colours chosen as the view goes (the window's
//   default); otherwise each location's own limit is kept.
// mandelbrot-explorer-bench --find: from the find gesture (移動 → 中心に近い
//   ミニブロへ) to the full picture of the minibrot found, at three depths.
// mandelbrot-explorer-bench --zoom-out: the whole set's full picture with the
//   automatic limit after a view at 1e-30 settled its own, against the same
//   picture at a limit chosen by hand.

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <QWheelEvent>
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "deep_bench_locations.h"
#include "explore/explore_location.h"
#include "explorer_view.h"
#include "explorer_window.h"

namespace {

constexpr int kViewSide = 800;
constexpr int kTickMs = 5;
constexpr int kGiveUpMs = 600000;  // a drawing that takes longer is reported as "> 600000"

// The longest interval between the ticks of a fast timer, since reset().
class GapMeter {
public:
    GapMeter() {
        timer_.setTimerType(Qt::PreciseTimer);
        timer_.setInterval(kTickMs);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            const double now = clock_.nsecsElapsed() / 1e6;
            longest_ = std::max(longest_, now - last_);
            last_ = now;
        });
        clock_.start();
        timer_.start();
    }
    void reset() {
        last_ = clock_.nsecsElapsed() / 1e6;
        longest_ = 0;
    }
    double longest() const { return longest_; }

private:
    QTimer timer_;
    QElapsedTimer clock_;
    double last_ = 0;
    double longest_ = 0;
};

struct Phase {
    double previewMs = -1;  // -1: not seen
    double fullMs = -1;
    double longestGapMs = 0;
};

// Runs `trigger`, then the event loop until the window's full picture is shown.
template <typename Trigger>
Phase timeDrawing(mandel_ui::ExplorerWindow& window, GapMeter& gaps, Trigger trigger) {
    Phase phase;
    QEventLoop loop;
    QElapsedTimer clock;
    auto preview = QObject::connect(&window, &mandel_ui::ExplorerWindow::previewShown, &loop, [&] {
        if (phase.previewMs < 0) phase.previewMs = clock.nsecsElapsed() / 1e6;
    });
    auto full = QObject::connect(&window, &mandel_ui::ExplorerWindow::drawingFinished, &loop, [&] {
        phase.fullMs = clock.nsecsElapsed() / 1e6;
        loop.quit();
    });
    QTimer::singleShot(kGiveUpMs, &loop, &QEventLoop::quit);
    gaps.reset();
    clock.start();
    trigger();
    loop.exec();
    phase.longestGapMs = gaps.longest();
    QObject::disconnect(preview);
    QObject::disconnect(full);
    return phase;
}

// A wheel notch towards the picture (zooming in) at the view's centre.
void wheelNotch(mandel_ui::ExplorerWindow& window) {
    mandel_ui::ExplorerView* view = window.view();
    const QPointF centre(view->width() / 2.0, view->height() / 2.0);
    QWheelEvent notch(centre, view->mapToGlobal(centre), QPoint(), QPoint(0, 120), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(view, &notch);
}

// Grows or shrinks the window until its view is side × side device pixels.
bool fitView(mandel_ui::ExplorerWindow& window, int side) {
    for (int attempt = 0; attempt < 5 && window.viewPixels() != QSize(side, side); ++attempt) {
        window.resize(window.size() + QSize(side, side) - window.viewPixels());
        QCoreApplication::processEvents();
    }
    return window.viewPixels() == QSize(side, side);
}

QString ms(double value) { return value < 0 ? QStringLiteral("> %1").arg(kGiveUpMs) : QString::number(value, 'f', 0); }

mandel::ExploreLocation centred(const char* re, const char* im, const char* side, std::int64_t limit) {
    return mandel::parseEditedTexts({re, im, side, std::to_string(limit)}, 0).location;
}

// Views about i at three depths: the find gesture at the view's centre goes
// to a minibrot tens of orders of magnitude deeper each time.
struct FindStart {
    const char* name;
    const char* re;
    const char* im;
    const char* side;
};
constexpr FindStart kFindStarts[] = {
    {"i at 1e-12", "0", "1", "1e-12"},
    {"i at 1e-40", "0", "1", "1e-40"},
    {"i at 1e-100", "0", "1", "1e-100"},
};

void timeFinds(mandel_ui::ExplorerWindow& window, GapMeter& gaps) {
    std::printf(
        "| start | minibrot found (status line) | side | limit | find → full picture ms |\n|---|---|---|---|---|\n");
    QAction* find = window.findChild<QAction*>(QStringLiteral("findMinibrot"));
    for (const FindStart& start : kFindStarts) {
        timeDrawing(window, gaps, [&] { window.goTo(centred(start.re, start.im, start.side, 1000)); });
        const mandel::ExploreLocation before = window.location();
        const Phase found = timeDrawing(window, gaps, [&] { find->trigger(); });
        const bool moved = !(window.location() == before);
        const std::string side = moved ? window.location().side.scientificText() : "-";
        std::printf("| %s | %s | %s | %lld | %s |\n", start.name, qPrintable(window.statusMessage()), side.c_str(),
                    static_cast<long long>(window.location().limit), qPrintable(ms(found.fullMs)));
        std::fflush(stdout);
    }
}

void timeZoomOut(mandel_ui::ExplorerWindow& window, GapMeter& gaps) {
    const mandel::ExploreLocation deep = centred("-0.7436438870371587", "0.131825904205312", "1e-30", 1000);
    timeDrawing(window, gaps, [&] { window.goTo(deep); });
    const std::int64_t deepLimit = window.location().limit;
    mandel::ExploreLocation whole = centred("-0.75", "0", "3", window.location().limit);
    const Phase automatic = timeDrawing(window, gaps, [&] { window.goTo(whole); });
    const std::int64_t settled = window.location().limit;
    window.findChild<QAction*>(QStringLiteral("automaticLimit"))->setChecked(false);
    constexpr std::int64_t kByHand = 256;
    whole.limit = kByHand;
    const Phase byHand = timeDrawing(window, gaps, [&] { window.goTo(whole); });
    std::printf(
        "| whole set after 1e-30 | view | limit there | automatic limit | automatic ms | limit by hand | "
        "by hand ms |\n|---|---|---|---|---|---|---|\n");
    std::printf("| | %dx%d | %lld | %lld | %s | %lld | %s |\n", window.viewPixels().width(),
                window.viewPixels().height(), static_cast<long long>(deepLimit), static_cast<long long>(settled),
                qPrintable(ms(automatic.fullMs)), static_cast<long long>(kByHand), qPrintable(ms(byHand.fullMs)));
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("QT_SCALE_FACTOR", "1");
    QApplication app(argc, argv);
    bool automatic = false, finds = false, zoomOut = false;
    std::vector<std::string> names;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--auto")
            automatic = true;
        else if (arg == "--find")
            finds = automatic = true;
        else if (arg == "--zoom-out")
            zoomOut = automatic = true;
        else
            names.emplace_back(arg);
    }

    const auto& first = bench::kDeepBenchLocations[0];
    const mandel::LocationReading start =
        mandel::parseLocationLine(std::string(first.realMin) + " " + first.imagMin + " " + first.side + " 100");
    mandel_ui::ExplorerWindow window(start.location);
    window.findChild<QAction*>(QStringLiteral("automaticLimit"))->setChecked(automatic);
    GapMeter gaps;
    timeDrawing(window, gaps, [&] { window.show(); });
    if (!fitView(window, kViewSide)) {
        std::fprintf(stderr, "the view is %dx%d, not %dx%d\n", window.viewPixels().width(),
                     window.viewPixels().height(), kViewSide, kViewSide);
        return 1;
    }

    if (finds || zoomOut) {
        if (finds) timeFinds(window, gaps);
        if (zoomOut) timeZoomOut(window, gaps);
        return 0;
    }
    std::printf(
        "| location | limit | first preview ms | full picture ms | notch → first new picture ms | "
        "notch → full picture ms | longest event-loop gap ms |\n|---|---|---|---|---|---|---|\n");
    for (const auto& where : bench::kDeepBenchLocations) {
        if (!names.empty() && std::find(names.begin(), names.end(), where.name) == names.end()) continue;
        const mandel::LocationReading reading = mandel::parseLocationLine(
            std::string(where.realMin) + " " + where.imagMin + " " + where.side + " " + std::to_string(where.limit));
        const Phase going = timeDrawing(window, gaps, [&] { window.goTo(reading.location); });
        const Phase notch = timeDrawing(window, gaps, [&] { wheelNotch(window); });
        std::printf("| %s | %lld | %s | %s | %s | %s | %.0f |\n", where.name,
                    static_cast<long long>(window.location().limit), qPrintable(ms(going.previewMs)),
                    qPrintable(ms(going.fullMs)), qPrintable(ms(notch.previewMs)), qPrintable(ms(notch.fullMs)),
                    std::max(going.longestGapMs, notch.longestGapMs));
        std::fflush(stdout);
    }
    return 0;
}
