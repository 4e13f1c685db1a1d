#pragma once

#include <QFont>
#include <span>

class QColor;
class QLabel;
class QWidget;

namespace mandel_ui {

// The Japanese Gothic face of the design, with the free IPA face as the
// stand-in where it is missing (fontconfig has no alias between them, and its
// default Japanese face is the monospaced one).
QFont gothicFont(double points);

// Gives the labels one size of `font`: the largest, up to the font's own, at
// which every label's text fits its label, so that none is cut off.
void fitTogether(std::span<QLabel* const> labels, QFont font);

// Kinds of label in the window, each with its font, alignment and colours.
enum class LabelStyle {
    Caption,        // a parameter's name above its bar: 10.5 points, centred
    Readout,        // a parameter's value: 10.5 points on white
    TimeCaption,    // "開始時刻", "終了時刻": 10.5 points
    TimeReadout,    // the start and end time: 10.5 points, black on the title-text colour
    DirectionWord,  // "right", "left", ... under a bar: the window's font (see fitTogether)
    Note,           // the note under the commands: 8.25 points, dark red, wrapped
};

// Sets the style's font, alignment and colours. Call it with the label
// already in its window, whose palette gives the time read-outs' background.
void applyLabelStyle(QLabel* label, LabelStyle style);

}  // namespace mandel_ui
