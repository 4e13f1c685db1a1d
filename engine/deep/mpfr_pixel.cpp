#include "deep/mpfr_pixel.h"

#include <algorithm>

#include "deep/error_bound.h"
#include "deep/mpfr_value.h"
#include "deep/escape_test.h"
#include "deep/pixel_point.h"

namespace mandel {

namespace {

ExtReal magnitudeUp(mpfr_srcptr re, mpfr_srcptr im) { return magnitudeUp(toExtReal(re), toExtReal(im)); }

struct Attempt {
    std::int64_t count = kUndecidedCount;
    bool decided = true;  // every test was decided by the bound
};

// Iterates at `bits`. An undecided test ends the attempt, unless `guess`:
// then it is taken as computed (|z̃| > 2) and the attempt goes on.
Attempt countAtPrecision(const DeepLocation& location, int span, int x, int y, mpfr_prec_t bits, bool guess,
                         const std::function<bool()>& stop, std::int64_t& iterations) {
    MpfrValue cr(bits), ci(bits), zr(bits), zi(bits), sr(bits), si(bits), t(bits);
    const bool exactPoint = pixelPoint(location, span, x, y, cr, ci);
    const ExtReal unit(1.0, -static_cast<std::int64_t>(bits));
    ExtReal cErr;
    if (!exactPoint) {
        // Parsing a, b and s, the division, and the products and sums.
        MpfrValue a(bits), b(bits), h(bits);
        setDecimal(a.get(), location.realMin);
        setDecimal(b.get(), location.imagMin);
        setDecimal(h.get(), location.side);
        mpfr_div_si(h.get(), h.get(), span, MPFR_RNDN);
        cErr = roundUp(ExtReal(8.0) * unit *
                       (abs(toExtReal(a.get())) + abs(toExtReal(b.get())) +
                        ExtReal(static_cast<double>(x + y + 2)) * abs(toExtReal(h.get()))));
    }
    const ExtReal cAbs = magnitudeUp(cr.get(), ci.get());
    const ExtReal stepRounding = ExtReal(8.0) * unit;
    const std::int64_t poll = mpfrPollInterval(bits);
    Attempt attempt;
    ExtReal e = cErr;
    mpfr_set(zr.get(), cr.get(), MPFR_RNDN);
    mpfr_set(zi.get(), ci.get(), MPFR_RNDN);
    for (std::int64_t i = 1;; ++i) {
        const EscapeTest test = exactEscapeTest(zr.get(), zi.get(), e);
        if (test == EscapeTest::Undecided) {
            attempt.decided = false;
            if (!guess) return attempt;
            if (toExtReal(zr.get()) * toExtReal(zr.get()) + toExtReal(zi.get()) * toExtReal(zi.get()) > ExtReal(4.0))
                return attempt.count = i, attempt;
        }
        if (test == EscapeTest::Escaped) return attempt.count = i, attempt;
        if (i == location.limit) return attempt.count = location.limit, attempt;
        if (i % poll == 0 && stop()) return attempt.count = kCancelledCount, attempt;
        const ExtReal zAbs = magnitudeUp(zr.get(), zi.get());
        // A step that rounded nothing adds nothing to the bound: an orbit of
        // dyadic points stays exact (e = 0) as long as the bits hold it.
        const bool exact = squareAdd(zr, zi, cr.get(), ci.get(), sr, si, t);
        const ExtReal rounding = exact ? ExtReal() : stepRounding * (zAbs * zAbs + cAbs);
        e = roundUp(e * (ExtReal(2.0) * zAbs + e) + cErr + rounding);
        ++iterations;
    }
}

}  // namespace

MpfrPixel mpfrPixelCount(const DeepLocation& location, int span, int x, int y, int startBits, int maxBits,
                         const std::function<bool()>& stop) {
    MpfrPixel result;
    for (int bits = std::min(startBits, maxBits);; bits *= 2) {
        const bool last = bits > maxBits / 2;
        result.finalBits = bits;
        const Attempt attempt = countAtPrecision(location, span, x, y, bits, last, stop, result.iterations);
        result.count = attempt.count;
        if (attempt.count == kCancelledCount) return result;
        if (attempt.decided) return result;
        if (last) {
            result.certified = false;
            return result;
        }
    }
}

}  // namespace mandel
