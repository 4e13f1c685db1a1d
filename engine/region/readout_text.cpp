#include "region/readout_text.h"

#include <charconv>
#include <system_error>

namespace mandel {

std::string positionText(int tenThousandths) {
    const double value = static_cast<double>(tenThousandths) / kPositionsPerUnit;
    // Fixed notation with no precision given is the shortest text that
    // round-trips to value; std::to_chars never consults the C locale.
    char buffer[64];
    const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed);
    if (error != std::errc{}) return std::string();  // cannot happen for a finite 16-bit quotient
    return std::string(buffer, end);
}

std::string iterationText(int iterations) { return std::to_string(iterations); }

RegionTexts regionTexts(const Region& region) {
    return {positionText(region.real), positionText(region.imag), positionText(region.side),
            iterationText(region.limit)};
}

}  // namespace mandel
