#pragma once

#include <QString>

namespace mandel_ui {

// The read-out texts of mandel::readoutText and mandel::iterationText, as
// the window's labels take them.
QString readoutText(int tenThousandths);
QString iterationText(int iterations);

}  // namespace mandel_ui
