#pragma once

// The main window as designed: every control's object name, caption and
// place. Form1 builds its controls from these tables (form1_controls.cpp).

#include <QString>
#include <array>

#include "region/presets.h"
#include "readout_format.h"
#include "region/region.h"
#include "twips.h"

namespace mandel_ui {

struct LabelDesign {
    const char* name;  // nullptr: no label
    const char* text;  // UTF-8
    TwipsRect rect;
};

struct ButtonDesign {
    const char* name;
    const char* caption;
    TwipsRect rect;
    double points;  // a font of its own, or 0 for the window's font
};

inline constexpr TwipsRect kClientArea{0, 0, 11340, 6975};     // below the menu bar
inline constexpr TwipsRect kPictureRect{135, 45, 6795, 6795};  // Pic1

// A drawing parameter: its caption and read-out above its scroll bar, and
// under the bar the words that say which way the picture goes when the thumb
// moves towards either end.
struct ParameterGroup {
    LabelDesign caption;
    LabelDesign readout;
    const char* bar;
    TwipsRect barRect;
    int start;     // the bar's value at start-up
    int pageStep;  // a click in the track; an arrow steps by 1
    LabelDesign wordAtMinimum;
    LabelDesign wordAtMaximum;
    mandel::BarRange range;
    int mandel::Region::*position;  // which parameter of a region the bar holds
    QString (*text)(int position);  // the read-out text of a bar position
};

// In the order of the render pass's read-outs, lbl1 to lbl4.
inline constexpr std::array<ParameterGroup, 4> kParameterGroups = {{
    {{"Label1", "実部最小値", {7170, 120, 1425, 255}},
     {"lbl1", "", {8610, 120, 1995, 255}},
     "Hbar1",
     {7170, 510, 3915, 252},
     mandel::kStartRegion.real,
     100,
     {"Label8", "right", {7185, 795, 390, 255}},
     {"Label9", "left", {10830, 795, 240, 255}},
     mandel::kRealRange,
     &mandel::Region::real,
     &positionQString},
    {{"Label3", "虚部最小値", {7185, 1065, 1425, 255}},
     {"lbl2", "", {8610, 1065, 1995, 255}},
     "Hbar2",
     {7185, 1455, 3915, 252},
     mandel::kStartRegion.imag,
     100,
     {"Label10", "down", {7185, 1725, 390, 255}},
     {"Label11", "up", {10890, 1725, 300, 255}},
     mandel::kImagRange,
     &mandel::Region::imag,
     &positionQString},
    {{"Label5", "描画領域", {7185, 1995, 1230, 255}},
     {"lbl3", "", {8610, 1995, 1995, 255}},
     "Hbar3",
     {7185, 2370, 3915, 252},
     mandel::kStartRegion.side,
     100,
     {"Label12", "large", {7185, 2655, 390, 255}},
     {"Label13", "small", {10695, 2655, 390, 255}},
     mandel::kSideRange,
     &mandel::Region::side,
     &positionQString},
    {{"Label6", "計算回数", {7215, 2925, 1230, 255}},
     {"lbl4", "   ", {8610, 2910, 1995, 270}},
     "Hbar4",
     {7215, 3315, 3915, 252},
     mandel::kStartRegion.limit,
     10,
     {nullptr, nullptr, {}},
     {nullptr, nullptr, {}},
     mandel::kLimitRange,
     &mandel::Region::limit,
     &iterationText},
}};

// The start and end time of the last drawing, caption and read-out.
inline constexpr LabelDesign kStartTimeCaption{"Label2", "開始時刻", {7215, 3855, 1035, 255}};
inline constexpr LabelDesign kStartTimeReadout{"lblstart", "", {8250, 3855, 2340, 255}};
inline constexpr LabelDesign kEndTimeCaption{"Label4", "終了時刻", {7215, 4335, 1035, 255}};
inline constexpr LabelDesign kEndTimeReadout{"lblend", "", {8250, 4335, 2355, 255}};

// A button that sets the four bars to a preset; its caption is the preset's name.
struct PresetButton {
    const char* name;
    TwipsRect rect;
    const mandel::Preset* preset;
    const char* toolTip;  // nullptr: none
};

inline constexpr std::array<PresetButton, 6> kPresetButtons = {{
    {"btbsa1", {7170, 4845, 1260, 396}, &mandel::kPresets[0], nullptr},
    {"btnsa2", {8505, 4845, 1260, 396}, &mandel::kPresets[1], "約２分"},  // the widest region
    {"btnsa3", {9840, 4845, 1260, 396}, &mandel::kPresets[2], nullptr},
    {"Command1", {7185, 5370, 1260, 396}, &mandel::kPresets[3], nullptr},
    {"Command2", {8512, 5370, 1260, 396}, &mandel::kPresets[4], nullptr},
    {"sample6", {9840, 5370, 1260, 390}, &mandel::kPresets[5], nullptr},
}};

// The command row and the note under it.
inline constexpr ButtonDesign kStartButton{"btnstart", "描画開始", {7170, 5985, 1275, 855}, 9.75};
inline constexpr ButtonDesign kClearButton{"btncls", "画像消去", {8497, 5985, 1275, 444}, 0};
inline constexpr ButtonDesign kEndButton{"btnend", "終 了", {9825, 5985, 1275, 444}, 9.75};
inline constexpr LabelDesign kNote{"Label7", "※描画中は、反応がなくなります", {8580, 6570, 2520, 390}};

// The controls that take the keyboard focus, in the order of the design's
// tab indexes.
inline constexpr const char* kFocusOrder[] = {"Pic1",   "btnstart", "btncls",   "btnend", "Hbar1",
                                              "Hbar2",  "Hbar3",    "Hbar4",    "btbsa1", "btnsa2",
                                              "btnsa3", "Command1", "Command2", "sample6"};

}  // namespace mandel_ui
