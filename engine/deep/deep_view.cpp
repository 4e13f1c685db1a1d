#include "deep/deep_view.h"

#include <cctype>
#include <cstddef>

namespace mandel {

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

std::size_t skipDigits(std::string_view text, std::size_t at) {
    while (at < text.size() && isDigit(text[at])) ++at;
    return at;
}

// The written exponent, saturated just beyond kMaxDecimalExponent.
std::int64_t exponentValue(std::string_view digits, bool negative) {
    std::int64_t value = 0;
    for (char c : digits) {
        value = value * 10 + (c - '0');
        if (value > kMaxDecimalExponent) {
            value = kMaxDecimalExponent + 1;
            break;
        }
    }
    return negative ? -value : value;
}

// The text for a message: at most 40 characters, printable ones only.
std::string shown(std::string_view text) {
    constexpr std::size_t kShownLength = 40;
    std::string out;
    for (std::size_t i = 0; i < text.size() && i < kShownLength; ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        out += std::isprint(c) ? static_cast<char>(c) : '?';
    }
    if (text.size() > kShownLength) out += "...";
    return "\"" + out + "\"";
}

// Parts of a decimal text whose shape is already checked.
struct DecimalParts {
    std::string_view integer;
    std::string_view fraction;
    std::int64_t exponent = 0;
    bool negative = false;
};

DecimalParts splitDecimal(std::string_view text) {
    DecimalParts parts;
    std::size_t at = 0;
    if (text[0] == '+' || text[0] == '-') parts.negative = text[at++] == '-';
    const std::size_t integerEnd = skipDigits(text, at);
    parts.integer = text.substr(at, integerEnd - at);
    at = integerEnd;
    if (at < text.size() && text[at] == '.') {
        const std::size_t fractionEnd = skipDigits(text, at + 1);
        parts.fraction = text.substr(at + 1, fractionEnd - at - 1);
        at = fractionEnd;
    }
    if (at < text.size()) {
        ++at;  // 'e' or 'E'
        bool negative = false;
        if (text[at] == '+' || text[at] == '-') negative = text[at++] == '-';
        parts.exponent = exponentValue(text.substr(at), negative);
    }
    return parts;
}

// Where the digits and the point end: no digits at all is "has no digits"
// when only a sign, point or exponent is there, otherwise no decimal at all.
std::string shapeProblem(std::string_view text) {
    if (text.empty()) return "is empty";
    std::size_t at = 0;
    if (text[at] == '+' || text[at] == '-') ++at;
    std::size_t end = skipDigits(text, at);
    std::size_t digits = end - at;
    if (end < text.size() && text[end] == '.') {
        at = end + 1;
        end = skipDigits(text, at);
        digits += end - at;
    }
    const bool exponent = end < text.size() && (text[end] == 'e' || text[end] == 'E');
    if (digits == 0) return exponent || end == text.size() ? "has no digits" : "is not a decimal number";
    if (exponent) {
        at = end + 1;
        if (at < text.size() && (text[at] == '+' || text[at] == '-')) ++at;
        end = skipDigits(text, at);
        if (end == at) return "has no digits in its exponent";
    }
    if (end != text.size()) return "is not a decimal number";
    return "";
}

// True when every digit is 0.
bool isZero(const DecimalParts& parts) {
    return parts.integer.find_first_not_of('0') == std::string_view::npos &&
           parts.fraction.find_first_not_of('0') == std::string_view::npos;
}

// Decimal exponent of the first non-zero digit (the value lies in
// [10^e, 10^(e+1))); only for non-zero values.
std::int64_t leadingExponent(const DecimalParts& parts) {
    const std::size_t firstInteger = parts.integer.find_first_not_of('0');
    if (firstInteger != std::string_view::npos)
        return parts.exponent + static_cast<std::int64_t>(parts.integer.size() - firstInteger) - 1;
    const std::size_t firstFraction = parts.fraction.find_first_not_of('0');
    return parts.exponent - static_cast<std::int64_t>(firstFraction) - 1;
}

std::string rangeProblem(std::string_view name, std::int64_t value, std::int64_t low, std::int64_t high) {
    if (value >= low && value <= high) return "";
    return std::string(name) + " " + std::to_string(value) + " outside " + std::to_string(low) + ".." +
           std::to_string(high);
}

}  // namespace

std::string decimalTextProblem(std::string_view text) {
    // First, before any scan: a text of megabytes costs nothing to refuse.
    if (text.size() > kMaxDecimalTextLength)
        return "is longer than " + std::to_string(kMaxDecimalTextLength) + " characters";
    const std::string shape = shapeProblem(text);
    if (!shape.empty()) return shape;
    const DecimalParts parts = splitDecimal(text);
    const std::string range = std::to_string(kMaxDecimalExponent);
    if (parts.exponent > kMaxDecimalExponent || parts.exponent < -kMaxDecimalExponent)
        return "has an exponent beyond ±" + range;
    if (isZero(parts)) return "";
    const std::int64_t magnitude = leadingExponent(parts);
    if (magnitude > kMaxDecimalExponent || magnitude < -kMaxDecimalExponent)
        return "has a magnitude beyond 1e±" + range;
    return "";
}

std::string deepViewProblem(const DeepView& view) {
    const DeepLocation& where = view.location;
    const std::pair<const char*, const std::string*> texts[] = {
        {"real minimum", &where.realMin}, {"imaginary minimum", &where.imagMin}, {"side", &where.side}};
    for (const auto& [name, text] : texts) {
        const std::string problem = decimalTextProblem(*text);
        if (!problem.empty()) return std::string(name) + " " + shown(*text) + " " + problem;
    }
    const DecimalParts side = splitDecimal(where.side);
    if (side.negative || isZero(side)) return "side " + shown(where.side) + " must be > 0";
    std::string problem = rangeProblem("limit", where.limit, 1, kMaxDeepLimit);
    if (!problem.empty()) return problem;
    if (view.width == view.height) return pictureSizeProblem(view.width);
    problem = pictureSizeProblem(view.width, "width");
    if (!problem.empty()) return problem;
    return pictureSizeProblem(view.height, "height");
}

}  // namespace mandel
