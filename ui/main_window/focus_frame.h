#pragma once

#include <QRect>

class QPainter;
class QPalette;

namespace mandel_ui {

// The frame a control of ours draws along its edges while it has the
// keyboard focus: the highlight colour outside and a dotted light line
// inside, so that it shows on any background, a picture included.
void paintFocusFrame(QPainter& painter, const QRect& area, const QPalette& palette);

}  // namespace mandel_ui
