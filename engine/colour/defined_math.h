#pragma once

// Logarithms and powers of two from IEEE basic operations only (+, −, ×, ÷,
// frexp, ldexp): the platform's log and exp may differ in their last bit from
// one library or instruction set to the next, and the colours computed from
// them must be the same bytes everywhere. Accurate to a few units in 1e-13.

namespace mandel {

// ln x for finite x > 0; −infinity for 0, NaN for x < 0 or NaN.
double definedLn(double x);

// log2 x, as definedLn.
double definedLog2(double x);

// 2^y for finite y (0 below 2^-1074, infinity above 2^1024).
double definedExp2(double y);

}  // namespace mandel
