#pragma once

// A decimal text of the checked grammar (deep_view.h) as an exact integer
// times a power of ten, for the few places that need its exact value.

#include <gmp.h>

#include <algorithm>
#include <cstdint>
#include <string>

namespace mandel {

// A decimal text (of the checked grammar) as digits · 10^exponent.
struct DecimalValue {
    DecimalValue() { mpz_init(digits); }
    ~DecimalValue() { mpz_clear(digits); }
    DecimalValue(const DecimalValue&) = delete;
    DecimalValue& operator=(const DecimalValue&) = delete;
    mpz_t digits;
    std::int64_t exponent = 0;
    std::size_t length = 0;  // digits written
};

inline void readDecimal(const std::string& text, DecimalValue& out) {
    std::string digits;
    std::size_t at = 0;
    const bool negative = !text.empty() && text[0] == '-';
    if (!text.empty() && (text[0] == '-' || text[0] == '+')) ++at;
    std::int64_t fraction = 0;
    bool point = false;
    for (; at < text.size() && text[at] != 'e' && text[at] != 'E'; ++at) {
        if (text[at] == '.') {
            point = true;
            continue;
        }
        digits += text[at];
        fraction += point ? 1 : 0;
    }
    std::int64_t written = 0;
    if (at < text.size()) {
        const bool negativeExponent = at + 1 < text.size() && text[at + 1] == '-';
        for (std::size_t i = at + 1; i < text.size(); ++i)
            if (text[i] >= '0' && text[i] <= '9')
                written = std::min<std::int64_t>(written * 10 + (text[i] - '0'), 1'000'000'000'000);
        if (negativeExponent) written = -written;
    }
    mpz_set_str(out.digits, digits.empty() ? "0" : digits.c_str(), 10);
    if (negative) mpz_neg(out.digits, out.digits);
    out.exponent = written - fraction;
    out.length = digits.size();
}

}  // namespace mandel
