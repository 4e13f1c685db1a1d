#include "colour/colouring.h"

#include <charconv>
#include <cmath>
#include <cstdlib>

namespace mandel {

std::string_view colouringModeName(ColouringMode mode) {
    switch (mode) {
        case ColouringMode::Smooth: return "smooth";
        case ColouringMode::Distance: return "distance";
        case ColouringMode::Bands: break;
    }
    return "bands";
}

std::optional<ColouringMode> parseColouringMode(std::string_view text) {
    if (text == "bands") return ColouringMode::Bands;
    if (text == "smooth") return ColouringMode::Smooth;
    if (text == "distance") return ColouringMode::Distance;
    return std::nullopt;
}

std::string_view densityScaleName(DensityScale scale) { return scale == DensityScale::Log ? "log" : "linear"; }

std::optional<DensityScale> parseDensityScale(std::string_view text) {
    if (text == "linear") return DensityScale::Linear;
    if (text == "log") return DensityScale::Log;
    return std::nullopt;
}

std::optional<double> parseFiniteNumber(std::string_view text) {
    // Digits, sign, point and exponent only: no "inf", "nan", hexadecimal or spaces.
    if (text.empty() || text.size() > 64 || text.find_first_not_of("0123456789+-.eE") != std::string_view::npos)
        return std::nullopt;
    const std::string copy(text);
    char* end = nullptr;
    const double value = std::strtod(copy.c_str(), &end);
    if (end != copy.c_str() + copy.size() || !std::isfinite(value)) return std::nullopt;
    return value;
}

std::optional<double> parseDensity(std::string_view text) {
    const std::optional<double> value = parseFiniteNumber(text);
    if (!value || !(*value > 0) || *value > kMaxDensity) return std::nullopt;
    return value;
}

std::string exactNumberText(double value) {
    char buffer[64];
    const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value);
    return error == std::errc() ? std::string(buffer, end) : std::string("0");
}

bool usesGradient(const Colouring& colouring) { return colouring.mode != ColouringMode::Bands; }

bool isColouringOption(std::string_view option) {
    return option == "--colouring" || option == "--palette" || option == "--density" || option == "--density-scale" ||
           option == "--offset" || option == "--supersample";
}

std::string applyColouringOption(Colouring& colouring, std::string_view option, std::string_view value) {
    std::string quoted(1, '\'');
    quoted.append(value.substr(0, 40));
    quoted += '\'';
    if (option == "--colouring") {
        const std::optional<ColouringMode> mode = parseColouringMode(value);
        if (!mode) return "--colouring must be bands, smooth or distance, not " + quoted;
        colouring.mode = *mode;
    } else if (option == "--palette") {
        if (findGradient(value) == nullptr) return "--palette must be one of " + gradientNames() + ", not " + quoted;
        colouring.palette = std::string(value);
    } else if (option == "--density") {
        const std::optional<double> density = value == "auto" ? std::optional<double>(0) : parseDensity(value);
        if (!density) return "--density must be auto or a number above 0 up to 1e6, not " + quoted;
        colouring.automaticDensity = value == "auto";
        colouring.scale.density = *density;
    } else if (option == "--density-scale") {
        const std::optional<DensityScale> scale = parseDensityScale(value);
        if (!scale) return "--density-scale must be linear or log, not " + quoted;
        colouring.scale.scale = *scale;
    } else if (option == "--offset") {
        const std::optional<double> offset = parseFiniteNumber(value);
        if (!offset) return "--offset must be a finite number, not " + quoted;
        colouring.scale.offset = *offset;
    } else if (option == "--supersample") {
        const bool digit = value.size() == 1 && value[0] >= '1' && value[0] <= '0' + kMaxSupersample;
        if (!digit) return "--supersample must be a whole number from 1 to 8, not " + quoted;
        colouring.supersample = value[0] - '0';
    } else {
        return "unknown colouring option '" + std::string(option.substr(0, 40)) + "'";
    }
    return "";
}

std::optional<Colouring> parseColouringArguments(std::string_view text, std::string& problem) {
    Colouring colouring;
    while (!text.empty()) {
        const std::size_t space = text.find(' ');
        const std::string_view option = text.substr(0, space);
        if (space == std::string_view::npos || !isColouringOption(option)) {
            problem = "not a colouring: '" + std::string(text.substr(0, 40)) + "'";
            return std::nullopt;
        }
        text.remove_prefix(space + 1);
        const std::size_t end = text.find(' ');
        problem = applyColouringOption(colouring, option, text.substr(0, end));
        if (!problem.empty()) return std::nullopt;
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    }
    return colouring;
}

std::string colouringArguments(const Colouring& colouring) {
    std::string text = "--colouring " + std::string(colouringModeName(colouring.mode));
    if (colouring.mode != ColouringMode::Bands) {
        text += " --palette " + colouring.palette;
        text += " --density " + exactNumberText(colouring.scale.density);
        text += " --density-scale " + std::string(densityScaleName(colouring.scale.scale));
        text += " --offset " + exactNumberText(colouring.scale.offset);
    }
    if (colouring.supersample > 1) text += " --supersample " + std::to_string(colouring.supersample);
    return text;
}

}  // namespace mandel
