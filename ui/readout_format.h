#pragma once

#include <QString>

namespace mandel_ui {

// Text of the read-outs lbl1..lbl3: the bar value v (in ten-thousandths)
// divided by 10000 in double precision and written as the shortest decimal
// that reads back as that double, in plain notation: '-' when negative, a
// single 0 before the point below 1, no trailing zeros, no point for whole
// values ("-1.1507", "0.5", "0.0001", "-2"). Always the C notation, whatever
// the user's locale, because the render pass parses it back with the
// engine's locale-free parse.
QString readoutText(int tenThousandths);

// Text of lbl4: the iteration limit as a bare decimal integer.
QString iterationText(int iterations);

}  // namespace mandel_ui
