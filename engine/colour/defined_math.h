#pragma once

// Logarithms and powers of two from IEEE basic operations only (+, −, ×, ÷,
// frexp, ldexp): the platform's log and exp may differ in their last bit from
// one library or instruction set to the next, and the colours computed from
// them must be the same bytes everywhere. Accurate to a few units in 1e-13.

#include <array>

namespace mandel {

inline constexpr double kLn2 = 0x1.62e42fefa39efp-1;
inline constexpr double kSqrtHalf = 0x1.6a09e667f3bcdp-1;

// 1/17, 1/15, …, 1/1, each the correctly rounded quotient (as dividing at
// run time would give), so that definedLn's series needs no division.
inline constexpr std::array<double, 9> kOddReciprocals = {1.0 / 17, 1.0 / 15, 1.0 / 13, 1.0 / 11, 1.0 / 9,
                                                          1.0 / 7,  1.0 / 5,  1.0 / 3,  1.0 / 1};

// ln x for finite x > 0; −infinity for 0, NaN for x < 0 or NaN.
double definedLn(double x);

// log2 x, as definedLn.
double definedLog2(double x);

// 2^y for finite y (0 below 2^-1074, infinity above 2^1024).
double definedExp2(double y);

}  // namespace mandel
