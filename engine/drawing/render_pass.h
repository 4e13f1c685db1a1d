#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "region/render_settings.h"

namespace mandel {

// What the render pass needs of the drawing surface: a square of kLogicalSize
// logical units across and down.
class PassSurface {
public:
    virtual ~PassSurface() = default;
    virtual void Cls() = 0;
    // Plots one point at logical (x, y) in a packed colour red + 256·green + 65536·blue.
    virtual void PSet(float x, float y, std::uint32_t colour) = 0;
    // Plots the points (0, y), (1, y), ..., (count − 1, y) in this order, point
    // x in colours[x]: exactly count calls of PSet. A surface may do it faster.
    virtual void PSetRow(float y, const std::uint32_t* colours, std::size_t count) {
        for (std::size_t x = 0; x < count; ++x) PSet(static_cast<float>(x), y, colours[x]);
    }
    virtual float ScaleWidth() const = 0;
    virtual float ScaleHeight() const = 0;
};

enum class Readout { Real = 1, Imag = 2, Side = 3, Limit = 4 };  // lbl1 .. lbl4
enum class PassButton { Start, Clear, End };                     // btnstart, btncls, btnend

// What the render pass needs of the window's controls.
class PassControls {
public:
    virtual ~PassControls() = default;
    // Runs the clear command, exactly as its button does.
    virtual void runClearCommand() = 0;
    // The text the read-out label shows now.
    virtual std::string shownReadout(Readout which) const = 0;
    virtual void setStartTimeText(const std::string& text) = 0;
    virtual void setEndTimeText(const std::string& text) = 0;
    virtual void setButtonEnabled(PassButton button, bool enabled) = 0;
};

class Clock {
public:
    virtual ~Clock() = default;
    // The current local date and time as the user reads them.
    virtual std::string dateTimeText() const = 0;
};

enum class PassEngine {
    Reference,  // mandel and cstepcol per point, in scan order, on this thread
    Fast,       // all counts computed first in SIMD lanes on all cores, then plotted in scan order
};

struct PassOptions {
    PassEngine engine = PassEngine::Fast;
    unsigned threads = 0;  // Fast only; 0 = every core
};

// One drawing: clear, start time, empty end time, load the settings from the
// read-outs, disable start/clear/end, plot every point of the scan in order,
// enable the buttons, end time. Both engines make the same calls on the
// surface with the same colours and leave the same settings behind.
// A failing load (bad read-out text) throws before any button is disabled;
// a failure after that re-enables the buttons before it propagates.
void runRenderPass(RenderSettings& settings, PassControls& controls, PassSurface& surface, const Clock& clock,
                   const PassOptions& options = {});

}  // namespace mandel
