#pragma once

// The number types a pixel's count climbs through, cheapest first, and every
// limit of range that moves a pixel (or a view) from one to another, each with
// its reason. A pixel starts in the view's type (viewNumberType), goes on in
// rescaled doubles or extended range where its values leave double's range,
// and where a type's error bound cannot decide an escape test it is settled
// in the next: double-double perturbation, then MPFR.

#include <cstdint>

namespace mandel {

enum class NumberType { Double, RescaledDouble, ExtendedRange, DoubleDouble, Mpfr };

// "double", "rescaled", "extended", "double-double", "mpfr".
const char* numberTypeName(NumberType type);

// Below a pixel spacing of 2^-960 (about 1e-289) offsets and their squares
// leave double's range: such views iterate in extended range (with rescaled
// doubles and plain doubles where a pixel's values allow).
inline constexpr long kExtendedBelowExponent = -960;

// Double or ExtendedRange: the type a view's pixels start in, from its
// spacing's binary exponent.
NumberType viewNumberType(std::int64_t spacingExponent);

// Magnitudes from 2^kPlainExponentLow up are stored as plain doubles (an
// orbit point's exponent is 0 there); a pixel whose offset is below it
// iterates in rescaled doubles.
inline constexpr std::int64_t kPlainExponentLow = -1000;

// |x + iy| is taken as the square root of x² + y² where those squares are at
// least this; below it they may have lost digits to underflow, and |x| + |y|
// (within √2) is taken instead.
inline constexpr double kSquaresFloor = 0x1p-960;

// Rescaled doubles: below a unit of 2^kRescaledSumUnit the sum Z + δz is not
// formed in double; there Z must exceed kRescaledZFloor for w's step (δz is
// then below 2^-900 and cannot matter beside it).
inline constexpr double kRescaledZFloor = 0x1p-900;
inline constexpr std::int64_t kRescaledSumUnit = -1000;
// Rescaled doubles keep their bounds' arithmetic out of double's subnormal
// range, where each operation costs about a hundred cycles on x86 (which
// took most of a drawing below 1e-290). A term added to a bound that would
// fall below 2^-1022 is taken at kRescaledTinyBound, above it. A bound that
// multiplies others is taken at kRescaledFactorFloor at least: a pixel's
// share of a step's remainder, δc's error and bound in the unit, and the
// squares' coefficients of the closer bound, where δc in the unit counts at
// least kRescaledOffsetFloor. Each is far below anything its sum could round.
inline constexpr double kRescaledTinyBound = 0x1p-1021;
inline constexpr int kRescaledFactorFloorExponent = -900;
inline constexpr double kRescaledFactorFloor = 0x1p-900;  // 2^kRescaledFactorFloorExponent
inline constexpr double kRescaledOffsetFloor = 0x1p-60;

// Double-double: a plain step is safe where δz and the larger of its terms
// stay above 2^floor (nothing underflows): the scaled loop hands over from
// 2^kDdPlainFromExponent up, the plain loop back below 2^kDdScaledBelowExponent.
inline constexpr int kDdPlainFromExponent = -900;
inline constexpr int kDdScaledBelowExponent = -950;
// The SIMD lanes stop a pixel of a scaled offset for that test wherever the
// larger part of δz is below 2^(kDdScaledBelowExponent + 1), or its product
// with the larger of itself and Z's larger part below 2^(that + 3): a test
// that holds wherever the plain loop's holds (it compares exponents, each
// within a factor 2 of its value).
inline constexpr double kDdLaneScaledPart = 0x1p-949;
inline constexpr double kDdLaneScaledTerm = 0x1p-947;
static_assert(kDdScaledBelowExponent == -950, "the two lane thresholds above follow it");
// Below this the double-double loop's values lose precision to underflow (no
// approximation step takes δz there); above the ceiling a scaled step's terms
// could overflow.
inline constexpr double kDdApproximationFloor = 0x1p-890;
inline constexpr double kDdScaledTermCeiling = 0x1p900;

}  // namespace mandel
