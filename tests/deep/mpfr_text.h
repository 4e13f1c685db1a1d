#pragma once

// A number in MPFR as the decimal text the deep views take.

#include <mpfr.h>

#include <string>

namespace mandel::test {

// x as "0.ddd…e±x" (or "-0.…"), every digit MPFR gives.
inline std::string decimalText(mpfr_srcptr x) {
    mpfr_exp_t exponent = 0;
    char* digits = mpfr_get_str(nullptr, &exponent, 10, 0, x, MPFR_RNDN);
    std::string text = digits;
    mpfr_free_str(digits);
    const bool negative = text[0] == '-';
    return (negative ? "-0." + text.substr(1) : "0." + text) + "e" + std::to_string(exponent);
}

}  // namespace mandel::test
