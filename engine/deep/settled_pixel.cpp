#include "deep/settled_pixel.h"

#include "deep/error_bound.h"
#include "deep/mpfr_value.h"
#include "deep/perturbation.h"

namespace mandel {

namespace {

constexpr int kMaxSettleBits = 1 << 24;

ExtReal magnitudeUp(mpfr_srcptr re, mpfr_srcptr im)
{
    const ExtReal r = toExtReal(re), i = toExtReal(im);
    return roundUp(sqrt(r * r + i * i));
}

// Iterates at `bits`; kUndecidedCount when the bound cannot decide a test.
std::int64_t countAtPrecision(const DeepLocation& location, int span, int x, int y, mpfr_prec_t bits,
                              const std::function<bool()>& stop, std::int64_t& iterations)
{
    MpfrValue a(bits), b(bits), h(bits), cr(bits), ci(bits), zr(bits), zi(bits), sr(bits), si(bits), t(bits);
    setDecimal(a.get(), location.realMin);
    setDecimal(b.get(), location.imagMin);
    setDecimal(h.get(), location.side);
    mpfr_div_si(h.get(), h.get(), span, MPFR_RNDN);
    mpfr_mul_si(cr.get(), h.get(), x, MPFR_RNDN);
    mpfr_add(cr.get(), cr.get(), a.get(), MPFR_RNDN);
    mpfr_mul_si(ci.get(), h.get(), y, MPFR_RNDN);
    mpfr_add(ci.get(), ci.get(), b.get(), MPFR_RNDN);
    const ExtReal unit(1.0, -static_cast<std::int64_t>(bits));
    const ExtReal hAbs = abs(toExtReal(h.get()));
    // Parsing a, b and s, the division and the products and sums.
    const ExtReal cErr = roundUp(ExtReal(8.0) * unit *
                                 (abs(toExtReal(a.get())) + abs(toExtReal(b.get())) +
                                  ExtReal(static_cast<double>(x + y + 2)) * hAbs));
    const ExtReal cAbs = magnitudeUp(cr.get(), ci.get());
    const ExtReal stepRounding = ExtReal(8.0) * unit;
    ExtReal e = cErr;
    mpfr_set(zr.get(), cr.get(), MPFR_RNDN);
    mpfr_set(zi.get(), ci.get(), MPFR_RNDN);
    for (std::int64_t i = 1;; ++i) {
        const ExtReal zAbs = magnitudeUp(zr.get(), zi.get());
        const EscapeTest test = escapeTest(zAbs, e);
        if (test == EscapeTest::Escaped) return i;
        if (test == EscapeTest::Undecided) return kUndecidedCount;
        if (i == location.limit) return location.limit;
        if (i % kPollInterval == 0 && stop()) return kCancelledCount;
        mpfr_sqr(sr.get(), zr.get(), MPFR_RNDN);
        mpfr_sqr(si.get(), zi.get(), MPFR_RNDN);
        mpfr_mul(t.get(), zr.get(), zi.get(), MPFR_RNDN);
        mpfr_sub(zr.get(), sr.get(), si.get(), MPFR_RNDN);
        mpfr_add(zr.get(), zr.get(), cr.get(), MPFR_RNDN);
        mpfr_mul_2ui(zi.get(), t.get(), 1, MPFR_RNDN);
        mpfr_add(zi.get(), zi.get(), ci.get(), MPFR_RNDN);
        e = roundUp(e * (ExtReal(2.0) * zAbs + e) + cErr + stepRounding * (zAbs * zAbs + cAbs));
        ++iterations;
    }
}

}  // namespace

SettledPixel settledCount(const DeepLocation& location, int span, int x, int y, int startBits,
                          const std::function<bool()>& stop)
{
    SettledPixel result;
    for (int bits = startBits; bits <= kMaxSettleBits; bits *= 2) {
        result.finalBits = bits;
        result.count = countAtPrecision(location, span, x, y, bits, stop, result.iterations);
        if (result.count != kUndecidedCount) return result;
    }
    result.count = kCancelledCount;
    return result;
}

}  // namespace mandel
