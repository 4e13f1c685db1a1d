#include "deep/deep_geometry.h"

#include <algorithm>
#include <cmath>

#include "deep/error_bound.h"

namespace mandel {

namespace {

int minSide(const DeepView& view) { return std::min(view.width, view.height); }

// exponent e with |x| < 2^e (0 for zero).
long magnitudeExponent(mpfr_srcptr x) { return mpfr_zero_p(x) ? 0 : mpfr_get_exp(x); }

// One axis: offsets of start + k·step − reference for k = 0 .. count − 1
// (also, times 2^-ddScale, as double-doubles).
std::vector<AxisOffset> axisOffsets(mpfr_srcptr start, mpfr_srcptr step, mpfr_srcptr reference, int count, int bits,
                                    std::int64_t ddScale) {
    MpfrValue v(bits);
    const ExtReal unit(1.0, -static_cast<std::int64_t>(bits));
    const ExtReal fixed = abs(toExtReal(start)) + abs(toExtReal(reference));
    const ExtReal stepAbs = abs(toExtReal(step));
    std::vector<AxisOffset> out(static_cast<std::size_t>(count));
    for (int k = 0; k < count; ++k) {
        mpfr_mul_si(v.get(), step, k, MPFR_RNDN);
        mpfr_add(v.get(), v.get(), start, MPFR_RNDN);
        mpfr_sub(v.get(), v.get(), reference, MPFR_RNDN);
        AxisOffset& o = out[static_cast<std::size_t>(k)];
        o.value = toExtReal(v.get());
        o.valueDouble = o.value.toDouble();
        // start and step carry the parse and division rounding; then three
        // operations; then the rounding to a double mantissa.
        const ExtReal mpfrErr = ExtReal(8.0) * unit * (fixed + ExtReal(static_cast<double>(k + 1)) * stepAbs);
        o.err = roundUp(mpfrErr + ExtReal(0x1p-52) * abs(o.value));
        o.errUp = upperDouble(o.err);
        // Scaling by a power of two is exact in MPFR.
        mpfr_mul_2si(v.get(), v.get(), -ddScale, MPFR_RNDN);
        o.dd = toDoubleDouble(v.get());
        const ExtReal scale(1.0, -ddScale);
        o.ddErr = upperDouble(roundUp(scale * (mpfrErr + ExtReal(0x1p-104) * abs(o.value)))) + 0x1p-1070;
    }
    return out;
}

}  // namespace

DeepGeometry deepGeometry(const DeepView& view) {
    DeepGeometry g;
    const int span = minSide(view);
    MpfrValue s(128), a(128), b(128), far(128);
    setDecimal(s.get(), view.location.side);
    setDecimal(a.get(), view.location.realMin);
    setDecimal(b.get(), view.location.imagMin);
    mpfr_div_si(s.get(), s.get(), span, MPFR_RNDN);
    g.spacing = toExtReal(s.get());
    const long spacingExponent = mpfr_get_exp(s.get());
    long magnitude = std::max({0L, magnitudeExponent(a.get()), magnitudeExponent(b.get())});
    mpfr_mul_si(far.get(), s.get(), std::max(view.width, view.height), MPFR_RNDN);
    mpfr_add(far.get(), far.get(), a.get(), MPFR_RNDN);
    magnitude = std::max(magnitude, magnitudeExponent(far.get()));
    mpfr_mul_si(far.get(), s.get(), std::max(view.width, view.height), MPFR_RNDN);
    mpfr_add(far.get(), far.get(), b.get(), MPFR_RNDN);
    magnitude = std::max(magnitude, magnitudeExponent(far.get()));
    g.pixelBits = static_cast<int>(kDefinitionGuardBits - spacingExponent + 1 + magnitude);
    g.referenceBits = g.pixelBits + kReferenceGuardBits;
    g.coordinateBits = g.referenceBits + kCoordinateGuardBits;
    g.spacingExponent = spacingExponent;
    if (viewNumberType(spacingExponent) == NumberType::ExtendedRange) g.useExtendedRange();

    const int bits = g.coordinateBits;
    MpfrValue h(bits), ca(bits), cb(bits);
    setDecimal(h.get(), view.location.side);
    mpfr_div_si(h.get(), h.get(), span, MPFR_RNDN);
    setDecimal(ca.get(), view.location.realMin);
    setDecimal(cb.get(), view.location.imagMin);
    g.centreRe = std::make_unique<MpfrValue>(g.referenceBits);
    g.centreIm = std::make_unique<MpfrValue>(g.referenceBits);
    MpfrValue t(bits);
    mpfr_mul_si(t.get(), h.get(), view.width / 2, MPFR_RNDN);
    mpfr_add(g.centreRe->get(), t.get(), ca.get(), MPFR_RNDN);
    mpfr_mul_si(t.get(), h.get(), view.height / 2, MPFR_RNDN);
    mpfr_add(g.centreIm->get(), t.get(), cb.get(), MPFR_RNDN);
    return g;
}

PixelOffsets pixelOffsets(const DeepView& view, const DeepGeometry& geometry, mpfr_srcptr referenceRe,
                          mpfr_srcptr referenceIm) {
    const int bits = geometry.coordinateBits;
    MpfrValue h(bits), a(bits), b(bits);
    setDecimal(h.get(), view.location.side);
    mpfr_div_si(h.get(), h.get(), minSide(view), MPFR_RNDN);
    setDecimal(a.get(), view.location.realMin);
    setDecimal(b.get(), view.location.imagMin);
    PixelOffsets out;
    out.columns = axisOffsets(a.get(), h.get(), referenceRe, view.width, bits, geometry.ddScaleExponent);
    out.rows = axisOffsets(b.get(), h.get(), referenceIm, view.height, bits, geometry.ddScaleExponent);
    out.centreRe = toDoubleDouble(referenceRe);
    out.centreIm = toDoubleDouble(referenceIm);
    // Each part within 2^-105 of it, plus 2^-1074 where its low part underflows.
    out.centreErr = 0x1p-104 * (std::fabs(out.centreRe.hi) + std::fabs(out.centreIm.hi)) + 0x1p-1072;
    return out;
}

bool withinDistance(mpfr_srcptr x, mpfr_srcptr y, const ExtReal& limit) {
    MpfrValue d(std::max(mpfr_get_prec(x), mpfr_get_prec(y)) + 8);
    mpfr_sub(d.get(), x, y, MPFR_RNDN);
    return !(limit < abs(toExtReal(d.get())));
}

}  // namespace mandel
