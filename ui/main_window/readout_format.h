#pragma once

#include <QString>

namespace mandel_ui {

// The read-out texts of mandel::positionText and mandel::iterationText, as
// the window's labels take them.
QString positionQString(int tenThousandths);
QString iterationText(int iterations);

}  // namespace mandel_ui
