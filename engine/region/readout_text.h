#pragma once

#include <string>

#include "region/region.h"

namespace mandel {

// Text of the read-outs lbl1..lbl3: the bar position (in ten-thousandths)
// divided by 10000 in double precision and written as the shortest decimal
// that reads back as that double, in plain notation: '-' when negative, a
// single 0 before the point below 1, no trailing zeros, no point for whole
// values ("-1.1507", "0.5", "0.0001", "-2"). Always the C notation, whatever
// the locale, because the render pass parses it back with the locale-free
// parseReadout.
std::string positionText(int tenThousandths);

// Text of lbl4: the iteration limit as a bare decimal integer.
std::string iterationText(int iterations);

// The four read-out texts of a region, lbl1 to lbl4.
RegionTexts regionTexts(const Region& region);

}  // namespace mandel
