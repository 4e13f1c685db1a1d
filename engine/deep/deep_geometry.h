#pragma once

// What a view needs from MPFR before any pixel: the precisions (the pixel
// precision of the exact-count definition and the reference's, with guard
// bits), whether offsets leave double's range, the centre point, and each
// column's and row's offset from the reference point with its error bound.

#include <memory>
#include <vector>

#include "deep/deep_view.h"
#include "deep/ext_real.h"
#include "deep/double_double.h"
#include "deep/mpfr_value.h"
#include "deep/number_ladder.h"

namespace mandel {

inline constexpr int kDefinitionGuardBits = 64;  // bits below the pixel spacing in the definition
inline constexpr int kReferenceGuardBits = 64;   // further bits for the reference orbit
inline constexpr int kCoordinateGuardBits = 64;  // further bits for pixel offsets

struct DeepGeometry {
    int pixelBits = 0;       // P of the definition
    int referenceBits = 0;   // reference orbit's precision
    int coordinateBits = 0;  // precision of the offsets' computation
    // Extended-range views give their offsets' double-doubles in units of
    // 2^ddScaleExponent (about the spacing), plain views in units of 1.
    std::int64_t ddScaleExponent = 0;
    NumberType numberType = NumberType::Double;  // the pixels': Double or ExtendedRange
    bool extended() const { return numberType == NumberType::ExtendedRange; }
    std::int64_t spacingExponent = 0;  // the spacing's binary exponent (MPFR's)
    // The pixels iterate in the extended range (rescaled doubles) whatever the
    // spacing, their double-double offsets in units of about the spacing.
    void useExtendedRange() {
        numberType = NumberType::ExtendedRange;
        ddScaleExponent = spacingExponent;
    }
    ExtReal spacing;                      // s / min(W, H), rounded
    std::unique_ptr<MpfrValue> centreRe;  // view's centre at referenceBits
    std::unique_ptr<MpfrValue> centreIm;
};

DeepGeometry deepGeometry(const DeepView& view);

// δc of one column (real part) or row (imaginary part) from the reference
// point, and a bound on its error.
struct AxisOffset {
    ExtReal value;
    double valueDouble = 0;  // value.toDouble(), kept: each pixel's colour outputs read it
    ExtReal err;
    double errUp = 0;  // upperDouble(err), kept: each pixel of the direct stage reads it
    // The same offset times 2^-ddScaleExponent (see DeepGeometry) as a
    // double-double (hi + lo), and its error bound in the same unit.
    DoubleDouble dd;
    double ddErr = 0;
};

struct PixelOffsets {
    std::vector<AxisOffset> columns;
    std::vector<AxisOffset> rows;
    // The reference point the offsets are taken from, as double-doubles,
    // and a bound on the error of each part.
    DoubleDouble centreRe, centreIm;
    double centreErr = 0;
};

PixelOffsets pixelOffsets(const DeepView& view, const DeepGeometry& geometry, mpfr_srcptr referenceRe,
                          mpfr_srcptr referenceIm);

// |x − y| ≤ limit, in MPFR.
bool withinDistance(mpfr_srcptr x, mpfr_srcptr y, const ExtReal& limit);

}  // namespace mandel
