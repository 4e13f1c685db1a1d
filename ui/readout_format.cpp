#include "readout_format.h"

#include <charconv>
#include <system_error>

namespace mandel_ui {

QString readoutText(int tenThousandths) {
    const double value = static_cast<double>(tenThousandths) / 10000.0;
    // Fixed notation with no precision given is the shortest text that
    // round-trips to value; std::to_chars never consults the C locale.
    char buffer[64];
    const auto [end, error] =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed);
    if (error != std::errc{}) return QString();  // cannot happen for a finite 16-bit quotient
    return QString::fromLatin1(buffer, static_cast<qsizetype>(end - buffer));
}

QString iterationText(int iterations) {
    return QString::number(iterations);
}

}  // namespace mandel_ui
