// Times a whole drawing in the window (clear, computation, plotting every
// point onto the surface) against the computation alone, on the offscreen
// platform. Prints one line per region with both medians and their ratio.
#include <QApplication>
#include <QLabel>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "bench_support.h"
#include "escape_counts.h"
#include "form1.h"
#include "render_settings.h"
#include "scan_plan.h"

int main(int argc, char* argv[]) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const unsigned repeats = argc > 1 ? static_cast<unsigned>(std::max(1, std::atoi(argv[1]))) : 5;
    mandel_ui::Form1 form;
    form.Form_Load();

    std::printf("%-34s %12s %12s %7s\n", "region", "compute ms", "window ms", "ratio");
    for (const bench::Region& r : bench::kRegions) {
        mandel::RenderSettings s;
        s.load(r.real, r.imag, r.side, r.limit, 500.0f);
        const mandel::ScanPlan plan = mandel::planScan(s.amin, s.bmin, s.side, s.cside, 500.0f);
        std::vector<std::int16_t> counts(plan.pointCount());
        const double compute = bench::medianMs(repeats, [&] { mandel::escapeCountsFast(plan, s.cmax, counts); });

        form.lbl1->setText(r.real);
        form.lbl2->setText(r.imag);
        form.lbl3->setText(r.side);
        form.lbl4->setText(r.limit);
        const double window = bench::medianMs(repeats, [&] { form.btnstart_Click(); });

        char name[64];
        std::snprintf(name, sizeof name, "%s %s %s %s", r.real, r.imag, r.side, r.limit);
        std::printf("%-34s %12.3f %12.3f %7.2f\n", name, compute, window, window / compute);
    }
    return 0;
}
