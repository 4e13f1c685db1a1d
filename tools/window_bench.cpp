// Times a whole drawing in the window (clear, computation, plotting every
// point onto the surface) against the computation alone, on the offscreen
// platform. Prints one line per region with both medians and their ratio.
//
//   mandelbrot-window-bench [REPEAT]
#include <QApplication>
#include <QLabel>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "bench_support.h"
#include "kernel/escape_counts.h"
#include "form1.h"
#include "render_options.h"

namespace {

constexpr unsigned kDefaultRepeat = 5;
constexpr unsigned kMaxRepeat = 10000;

// The number of timed runs from the command line; a usage message and exit
// status 2 for anything but one whole number in range.
unsigned repeatCount(int argc, char* argv[]) {
    if (argc == 1) return kDefaultRepeat;
    try {
        if (argc > 2) throw mandel::tool::UsageError("too many arguments");
        return mandel::tool::parseCount("REPEAT", argv[1], kMaxRepeat);
    } catch (const mandel::tool::UsageError& e) {
        std::fprintf(stderr, "mandelbrot-window-bench: %s\nusage: mandelbrot-window-bench [REPEAT]\n", e.what());
        std::exit(2);
    }
}

// The window's read-outs, which a drawing reads.
void setReadouts(const mandel_ui::Form1& form, const bench::Region& r) {
    const char* const names[] = {"lbl1", "lbl2", "lbl3", "lbl4"};
    const std::string* const texts[] = {&r.texts.real, &r.texts.imag, &r.texts.side, &r.texts.limit};
    for (int i = 0; i < 4; ++i)
        form.findChild<QLabel*>(QLatin1String(names[i]))->setText(QString::fromStdString(*texts[i]));
}

}  // namespace

int main(int argc, char* argv[]) {
    const unsigned repeats = repeatCount(argc, argv);
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    mandel_ui::Form1 form;
    form.Form_Load();

    std::printf("%-34s %12s %12s %7s\n", "region", "compute ms", "window ms", "ratio");
    for (const bench::Region& r : bench::regions()) {
        const mandel::PictureScan drawing = bench::windowDrawing(r);
        std::vector<std::int16_t> counts(drawing.plan.pointCount());
        const double compute =
            bench::medianMs(repeats, [&] { mandel::escapeCountsFast(drawing.plan, drawing.settings.cmax, counts); });

        setReadouts(form, r);
        const double window = bench::medianMs(repeats, [&] { form.btnstart_Click(); });

        std::printf("%-34s %12.3f %12.3f %7.2f\n", r.label().c_str(), compute, window, window / compute);
    }
    return 0;
}
