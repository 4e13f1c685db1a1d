#include "explore/explore_location.h"

#include <algorithm>
#include <charconv>
#include <optional>
#include <vector>

namespace mandel {
namespace {

LocationReading failure(std::string problem) {
    LocationReading reading;
    reading.problem = std::move(problem);
    return reading;
}

// A limit text: digits only, 1 .. kMaxDeepLimit.
std::optional<std::int64_t> parseLimit(std::string_view text, std::string* problem) {
    std::int64_t value = 0;
    const bool digitsOnly = !text.empty() && text.size() <= 12 &&
                            std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
    if (digitsOnly) std::from_chars(text.data(), text.data() + text.size(), value);
    if (!digitsOnly || value < 1 || value > kMaxDeepLimit) {
        *problem = "limit \"" + std::string(text) + "\" must be a whole number in 1..2147483647";
        return std::nullopt;
    }
    return value;
}

// Parses the named decimal; on failure the problem names it.
std::optional<Decimal> parseNamed(std::string_view name, std::string_view text, std::string* problem) {
    std::string why;
    auto value = Decimal::parse(text, &why);
    if (!value) *problem = std::string(name) + " " + why;
    return value;
}

std::vector<std::string_view> splitSpaces(std::string_view line) {
    std::vector<std::string_view> words;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\n' || line[i] == '\r')) ++i;
        std::size_t start = i;
        while (i < line.size() && !(line[i] == ' ' || line[i] == '\t' || line[i] == '\n' || line[i] == '\r')) ++i;
        if (i > start) words.push_back(line.substr(start, i - start));
    }
    return words;
}

// "WxH", or "S" for S × S as the renderer takes it, each in
// kMinPictureSize .. kMaxPictureSize.
bool parseSize(std::string_view text, int& width, int& height) {
    const auto x = text.find('x');
    auto number = [](std::string_view t, int& out) {
        auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), out);
        return ec == std::errc() && end == t.data() + t.size() && !t.empty() && t[0] != '-' && out >= kMinPictureSize &&
               out <= kMaxPictureSize;
    };
    if (x == std::string_view::npos) return number(text, width) && number(text, height);
    return number(text.substr(0, x), width) && number(text.substr(x + 1), height);
}

// Half of an edge of `pixels` pixels, side·pixels/(2·shorter): exactly half
// the side along the shorter edge, otherwise (not always a finite decimal)
// rounded onto the grid 10^q. The one rounding between corner and centre.
Decimal halfView(const Decimal& side, std::int64_t pixels, std::int64_t shorter, std::int64_t q) {
    if (pixels == shorter) return side * Decimal(5).timesPowerOfTen(-1);
    return (side * Decimal(pixels)).dividedRounded(2 * shorter, q);
}

// The four positional words of a line: a corner, a side and a limit; the
// centre is the corner plus (W/2, H/2)·side/min(W, H).
LocationReading locationFromCorner(const std::vector<std::string_view>& words, int width, int height) {
    std::string problem;
    auto realMin = parseNamed("real minimum", words[0], &problem);
    auto imagMin = realMin ? parseNamed("imaginary minimum", words[1], &problem) : std::nullopt;
    auto side = imagMin ? parseNamed("side", words[2], &problem) : std::nullopt;
    if (side && side->sign() <= 0) problem = "side \"" + std::string(words[2]) + "\" must be > 0";
    if (!side || side->sign() <= 0) return failure(problem);
    auto limit = parseLimit(words[3], &problem);
    if (!limit) return failure(problem);
    LocationReading reading;
    reading.ok = true;
    const std::int64_t q = locationQuantumExponent(*side);
    const std::int64_t shorter = std::min(width, height);
    // The corner's digits are all kept, and the corner toDeepView makes of a
    // location reads back as that location.
    reading.location.centreReal = *realMin + halfView(*side, width, shorter, q);
    reading.location.centreImag = *imagMin + halfView(*side, height, shorter, q);
    reading.location.side = *side;
    reading.location.limit = *limit;
    return reading;
}

}  // namespace

std::int64_t locationQuantumExponent(const Decimal& side) { return side.leadingExponent() - kDigitsBelowSide; }

LocationReading locationFromReadouts(std::string_view realMin, std::string_view imagMin, std::string_view side,
                                     std::string_view limit) {
    return locationFromCorner({realMin, imagMin, side, limit}, 2, 2);
}

DeepView toDeepView(const ExploreLocation& location, int width, int height) {
    const std::int64_t q = locationQuantumExponent(location.side);
    const std::int64_t shorter = std::min(width, height);
    // The corner keeps the centre's digits, and a corner read back
    // (locationFromCorner) gives the centre exactly.
    auto corner = [&](const Decimal& centre, int pixels) {
        return centre - halfView(location.side, pixels, shorter, q);
    };
    DeepView view;
    view.width = width;
    view.height = height;
    view.location.realMin = corner(location.centreReal, width).plainText();
    view.location.imagMin = corner(location.centreImag, height).plainText();
    view.location.side = location.side.scientificText();
    view.location.limit = location.limit;
    return view;
}

LocationTexts displayTexts(const ExploreLocation& location) {
    return {location.centreReal.plainText(), location.centreImag.plainText(), location.side.scientificText(),
            std::to_string(location.limit)};
}

LocationReading parseEditedTexts(const LocationTexts& texts, std::int64_t base) {
    std::string problem;
    auto real = parseNamed("centre real", texts.centreReal, &problem);
    auto imag = real ? parseNamed("centre imaginary", texts.centreImag, &problem) : std::nullopt;
    auto side = imag ? parseNamed("side", texts.side, &problem) : std::nullopt;
    if (side && side->sign() <= 0) problem = "side \"" + texts.side + "\" must be > 0";
    if (!side || side->sign() <= 0) return failure(problem);
    auto limit = parseLimit(texts.limit, &problem);
    if (!limit) return failure(problem);
    LocationReading reading;
    reading.ok = true;
    reading.location = {*real, *imag, *side, *limit, std::clamp<std::int64_t>(base, 0, *limit - 1)};
    return reading;
}

std::string clipboardText(const ExploreLocation& location, int width, int height) {
    const DeepView view = toDeepView(location, width, height);
    std::string text = "--deep --size " + std::to_string(width) + "x" + std::to_string(height);
    if (location.base > 0) text += " --base " + std::to_string(location.base);
    return text + " " + view.location.realMin + " " + view.location.imagMin + " " + view.location.side + " " +
           std::to_string(view.location.limit);
}

LocationReading locationFromView(const DeepView& view, std::int64_t base) {
    const std::string limit = std::to_string(view.location.limit);
    const std::vector<std::string_view> words{view.location.realMin, view.location.imagMin, view.location.side, limit};
    LocationReading reading = locationFromCorner(words, view.width, view.height);
    if (!reading.ok) return reading;
    if (base >= reading.location.limit) return failure("base " + std::to_string(base) + " must be below the limit");
    reading.location.base = base;
    reading.width = view.width;
    reading.height = view.height;
    return reading;
}

LocationReading parseLocationLine(std::string_view line) {
    const auto words = splitSpaces(line);
    std::vector<std::string_view> positional;
    bool deep = false, sized = false, based = false;
    int width = 0, height = 0;
    std::int64_t base = 0;
    for (std::size_t i = 0; i < words.size(); ++i) {
        const std::string_view word = words[i];
        const bool hasValue = i + 1 < words.size();
        if (word == "--deep" && !deep) {
            deep = true;
        } else if (word == "--size" && !sized) {
            if (!hasValue || !parseSize(words[++i], width, height))
                return failure("--size needs S or WxH, each 16..32000");
            sized = true;
        } else if (word == "--base" && !based) {
            std::string ignored;
            auto value = hasValue ? parseLimit(words[++i], &ignored) : std::nullopt;
            if (!value) return failure("--base needs a whole number in 1..2147483647");
            base = *value;
            based = true;
        } else if (word.size() > 2 && word.substr(0, 2) == "--") {
            return failure("unknown or repeated option \"" + std::string(word) + "\"");
        } else {
            positional.push_back(word);
        }
    }
    if (positional.size() != 4)
        return failure("expected REAL_MIN IMAG_MIN SIDE LIMIT, found " + std::to_string(positional.size()) + " values");
    LocationReading reading = locationFromCorner(positional, sized ? width : 2, sized ? height : 2);
    if (!reading.ok) return reading;
    if (base >= reading.location.limit) return failure("--base " + std::to_string(base) + " must be below the limit");
    reading.location.base = base;
    reading.width = width;
    reading.height = height;
    return reading;
}

}  // namespace mandel
