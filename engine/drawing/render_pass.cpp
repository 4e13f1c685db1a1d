#include "drawing/render_pass.h"

#include <vector>

#include "colour/banding.h"
#include "kernel/escape_counts.h"
#include "kernel/mandel.h"
#include "kernel/scan_plan.h"

namespace mandel {

namespace {

constexpr PassButton kPassButtons[] = {PassButton::Start, PassButton::Clear, PassButton::End};

void setPassButtons(PassControls& controls, bool enabled) {
    for (const PassButton button : kPassButtons) controls.setButtonEnabled(button, enabled);
}

// Enables the buttons again if the scan is left by an exception.
class ButtonsReenabler {
public:
    explicit ButtonsReenabler(PassControls& controls) : controls_(controls) {}
    ~ButtonsReenabler() {
        if (armed_) setPassButtons(controls_, true);
    }
    void disarm() { armed_ = false; }

private:
    PassControls& controls_;
    bool armed_ = true;
};

// The scan written out point by point: every count from mandel, every colour
// from cstepcol, amin and the remaining width re-read from the texts per row.
void scanPointByPoint(RenderSettings& s, PassControls& controls, PassSurface& surface) {
    float remaining = s.side;
    short column = 0;
    short row = 0;
    while (static_cast<float>(row) <= surface.ScaleHeight()) {
        while (remaining > 0.0f) {
            if (column == kMaxScanExtent)
                throw SettingsError("a row would have more points than the column counter holds");
            const short count = mandel(s.amin, s.bmin, s.cmax);
            s.cnow = static_cast<float>(count);
            const short index = cstepcol(s.cnow, s.cmax, s.cstep);
            surface.PSet(static_cast<float>(column), static_cast<float>(row), packColour(Palette[index]));
            s.amin = s.amin + s.cside;
            ++column;
            remaining = remaining - s.cside;
        }
        s.bmin = s.bmin + s.cside;
        if (row == kMaxScanExtent) throw SettingsError("the surface is taller than the row counter holds");
        ++row;
        s.amin = parseReadout(controls.shownReadout(Readout::Real));
        column = 0;
        remaining = parseReadout(controls.shownReadout(Readout::Side));
    }
}

// All counts first (SIMD, all cores), then every point plotted in scan order.
void scanFromCounts(RenderSettings& s, PassSurface& surface, unsigned threads) {
    const ScanPlan plan = planScan(s.amin, s.bmin, s.side, s.cside, surface.ScaleHeight());
    std::vector<std::int16_t> counts(plan.pointCount());
    escapeCountsFast(plan, s.cmax, counts, threads);
    const std::vector<std::uint32_t> colours = colourTableByCount(s.cmax, s.cstep, s.limit());

    std::vector<std::uint32_t> rowColours(plan.pointsPerRow());
    const std::int16_t* count = counts.data();
    for (std::size_t y = 0; y < plan.rows(); ++y) {
        for (std::uint32_t& colour : rowColours) colour = colours[*count++];
        surface.PSetRow(static_cast<float>(y), rowColours.data(), rowColours.size());
    }

    // Leave the settings as the point-by-point scan leaves them.
    if (!counts.empty()) s.cnow = static_cast<float>(counts.back());
    s.bmin = plan.imagAfterLastRow;
}

}  // namespace

void runRenderPass(RenderSettings& settings, PassControls& controls, PassSurface& surface, const Clock& clock,
                   const PassOptions& options) {
    controls.runClearCommand();
    controls.setStartTimeText(clock.dateTimeText());
    controls.setEndTimeText("");
    settings.load({controls.shownReadout(Readout::Real), controls.shownReadout(Readout::Imag),
                   controls.shownReadout(Readout::Side), controls.shownReadout(Readout::Limit)},
                  surface.ScaleWidth());

    setPassButtons(controls, false);
    ButtonsReenabler reenabler(controls);
    if (options.engine == PassEngine::Reference)
        scanPointByPoint(settings, controls, surface);
    else
        scanFromCounts(settings, surface, options.threads);
    reenabler.disarm();
    setPassButtons(controls, true);

    controls.setEndTimeText(clock.dateTimeText());
}

}  // namespace mandel
