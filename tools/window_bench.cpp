// Times a whole drawing in the window (clear, computation, plotting every
// point onto the surface) against the computation alone, on the offscreen
// platform. Prints one line per region with both medians and their ratio.
#include <QApplication>
#include <QLabel>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "escape_counts.h"
#include "form1.h"
#include "render_settings.h"
#include "scan_plan.h"

namespace {

struct Region {
    const char* real;
    const char* imag;
    const char* side;
    const char* limit;
};

constexpr Region kRegions[] = {
    {"-1.1507", "-0.4793", "0.5", "100"},   {"-0.75", "-0.275", "0.05", "106"},
    {"-1.8558", "-1.173", "2.4232", "100"}, {"-0.775", "0.107", "0.01", "180"},
    {"-0.7717", "0.1165", "0.0001", "180"}, {"-0.772", "0.1163", "0.0005", "180"},
    {"-0.7612", "0.0664", "1.3015", "100"}, {"-0.3", "-0.3", "0.2", "1500"},
};

template <typename F>
double medianMs(int repeats, F&& run) {
    std::vector<double> times;
    for (int i = 0; i < repeats; ++i) {
        const auto start = std::chrono::steady_clock::now();
        run();
        times.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

}  // namespace

int main(int argc, char* argv[]) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int repeats = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    mandel_ui::Form1 form;
    form.Form_Load();

    std::printf("%-34s %12s %12s %7s\n", "region", "compute ms", "window ms", "ratio");
    for (const Region& r : kRegions) {
        mandel::RenderSettings s;
        s.load(r.real, r.imag, r.side, r.limit, 500.0f);
        const mandel::ScanPlan plan = mandel::planScan(s.amin, s.bmin, s.side, s.cside, 500.0f);
        std::vector<std::int16_t> counts(plan.pointCount());
        const double compute = medianMs(repeats, [&] { mandel::escapeCountsFast(plan, s.cmax, counts); });

        form.lbl1->setText(r.real);
        form.lbl2->setText(r.imag);
        form.lbl3->setText(r.side);
        form.lbl4->setText(r.limit);
        const double window = medianMs(repeats, [&] { form.btnstart_Click(); });

        char name[64];
        std::snprintf(name, sizeof name, "%s %s %s %s", r.real, r.imag, r.side, r.limit);
        std::printf("%-34s %12.3f %12.3f %7.2f\n", name, compute, window, window / compute);
    }
    return 0;
}
