#include "deep/mpfr_pixel.h"

#include <algorithm>
#include <climits>
#include <cmath>

#include "deep/error_bound.h"
#include "deep/mpfr_value.h"
#include "deep/escape_test.h"
#include "deep/fixed_point_orbit.h"
#include "deep/pixel_point.h"

namespace mandel {

namespace {

struct Attempt {
    std::int64_t count = kUndecidedCount;
    EscapePoint escape;    // where it escaped (a count below the limit)
    bool decided = true;   // every test was decided by the bound
    bool dropped = false;  // the precision fell on the way (dropSpareLimbs)
};

// The bound on the rounding of c̃ from the decimal texts at `bits`: the
// parsing of a, b and s, the division, and the products and sums.
ExtReal pointError(const DeepLocation& location, int span, int x, int y, mpfr_prec_t bits) {
    const ExtReal unit(1.0, -static_cast<std::int64_t>(bits));
    MpfrValue a(bits), b(bits), h(bits);
    setDecimal(a.get(), location.realMin);
    setDecimal(b.get(), location.imagMin);
    setDecimal(h.get(), location.side);
    mpfr_div_si(h.get(), h.get(), span, MPFR_RNDN);
    return roundUp(ExtReal(8.0) * unit *
                   (abs(toExtReal(a.get())) + abs(toExtReal(b.get())) +
                    ExtReal(static_cast<double>(x + y + 2)) * abs(toExtReal(h.get()))));
}

// Bits after the point for an orbit at least as precise as MPFR's at
// `bits`: MPFR's rounding of a step is relative to |z|² + |c| (at least
// 8·2^-bits·|c|), the fixed point's absolute (2·2^-F), so a small c asks for
// as many more bits as it has leading zeros.
long fractionBits(mpfr_prec_t bits, mpfr_srcptr cr, mpfr_srcptr ci) {
    long exponent = 1;
    if (!mpfr_zero_p(cr) || !mpfr_zero_p(ci))
        exponent =
            std::max(mpfr_zero_p(cr) ? LONG_MIN : mpfr_get_exp(cr), mpfr_zero_p(ci) ? LONG_MIN : mpfr_get_exp(ci));
    return static_cast<long>(bits) + std::max(0L, -exponent) + 2;
}

// The bound in R: double while the orbit's unit and every part are normal
// doubles (a few times cheaper), else the extended range.
ExtReal toExtended(double x) { return ExtReal(x); }
ExtReal toExtended(const ExtReal& x) { return x; }
double unitIn(const FixedPointOrbit& orbit, double) { return std::ldexp(1.0, static_cast<int>(-orbit.fraction())); }
ExtReal unitIn(const FixedPointOrbit& orbit, const ExtReal&) { return orbit.unit(); }
void partsOf(const FixedPointOrbit& orbit, double& re, double& im) {
    re = orbit.reNear();
    im = orbit.imNear();
}
void partsOf(const FixedPointOrbit& orbit, ExtReal& re, ExtReal& im) {
    re = orbit.re();
    im = orbit.im();
}

// The escape test of the orbit's z̃ with the bound e, given size, |z̃| from
// the parts' approximations (their error is added to the bound); where that
// is too close to call, exactly from z̃ itself (re and im are scratch
// numbers wide enough).
template <class R>
EscapeTest orbitEscapeTest(const FixedPointOrbit& orbit, const R& size, const R& e, MpfrValue& re, MpfrValue& im) {
    const EscapeTest quick = escapeTest(size, roundUp(e + R(0x1p-49) * size));
    if (quick != EscapeTest::Undecided) return quick;
    orbit.exact(re.get(), im.get());
    return exactEscapeTest(re.get(), im.get(), toExtended(e));
}

// Bits kept below the error bound's size: where the orbit's bound has grown
// this far above the last limb's unit, that limb is dropped. The bound also
// shrinks where the orbit passes near 0 (by more than 180 bits within 50,000
// iterations at 5e-227), and bits dropped too early stop it there: an
// attempt that fails after dropping is made again with every bit kept.
constexpr double kKeptBelowBound = 0x1p-256;

// Drops the orbit's lowest limbs while the unit one limb up stays far below
// the bound e, adding what each drop truncates to e (z) and to cErr (c).
template <class R>
void dropSpareLimbs(FixedPointOrbit& orbit, R& e, R& cErr, R& stepRounding, bool& anyDropped) {
    while (orbit.limbs() > 1) {
        const R unitUp = R(0x1p63) * stepRounding;  // 2^64 units: stepRounding is two
        if (!(unitUp < e * R(kKeptBelowBound))) return;
        const FixedPointOrbit::Dropped dropped = orbit.dropLowestLimb();
        const R truncation = R(2.0) * unitUp;  // |truncation| < √2 units
        if (dropped.z) e = roundUp(e + truncation);
        if (dropped.c) cErr = roundUp(cErr + truncation);
        stepRounding = truncation;
        anyDropped = true;
    }
}

// The orbit from z₁ = c̃ (tested already), with c's error bound cErr. An
// undecided test ends the attempt, unless `guess`: then it is taken as
// computed (|z̃| > 2) and the attempt goes on. With `mayDrop`, the precision
// falls as the bound grows (dropSpareLimbs).
template <class R>
Attempt iterateOrbit(FixedPointOrbit& orbit, R cErr, std::int64_t limit, bool guess, bool mayDrop, std::int64_t poll,
                     const std::function<bool()>& stop, std::int64_t& iterations) {
    R stepRounding = R(2.0) * unitIn(orbit, R());  // |truncation| < √2 units
    MpfrValue exactRe(orbit.limbs() * 64), exactIm(orbit.limbs() * 64);
    Attempt attempt;
    R e = cErr;
    for (std::int64_t i = 1;; ++i) {
        R r, m;
        partsOf(orbit, r, m);
        const R squares = r * r + m * m, root = sqrt(squares);
        if (i > 1) {
            const EscapeTest test = orbitEscapeTest(orbit, root, e, exactRe, exactIm);
            const auto escaped = [&] {
                return attempt.count = i, attempt.escape = {plainDouble(r), plainDouble(m), true}, attempt;
            };
            if (test == EscapeTest::Undecided) {
                attempt.decided = false;
                if (!guess) return attempt;
                if (squares > R(4.0)) return escaped();
            }
            if (test == EscapeTest::Escaped) return escaped();
            if (i == limit) return attempt.count = limit, attempt;
        }
        if (i % poll == 0 && stop()) return attempt.count = kCancelledCount, attempt;
        const R size = magnitudeUp(r, m, squares, root);
        const R zAbs = roundUp(size + R(0x1p-48) * size);  // ≥ |z̃|
        // A step that truncated nothing adds nothing to the bound: an orbit of
        // dyadic points stays exact (e = 0) as long as the bits hold it.
        const R rounding = orbit.step() ? R() : stepRounding;
        e = roundUp(e * (R(2.0) * zAbs + e) + cErr + rounding);
        if (mayDrop) dropSpareLimbs(orbit, e, cErr, stepRounding, attempt.dropped);
        ++iterations;
    }
}

// Iterates at `bits` (z in fixed point; c, the first test and the close
// calls in MPFR). An undecided test ends the attempt, unless `guess`: then
// it is taken as computed (|z̃| > 2) and the attempt goes on.
Attempt countAtPrecision(const DeepLocation& location, int span, int x, int y, mpfr_prec_t bits, bool guess,
                         bool mayDrop, const std::function<bool()>& stop, std::int64_t& iterations) {
    MpfrValue cr(bits), ci(bits);
    const bool exactPoint = pixelPoint(location, span, x, y, cr, ci);
    ExtReal cErr = exactPoint ? ExtReal() : pointError(location, span, x, y, bits);
    Attempt attempt;
    // z₁ = c: decided in MPFR, so that only |c| ≤ 2 goes into the fixed point.
    const EscapeTest first = exactEscapeTest(cr.get(), ci.get(), cErr);
    const EscapePoint atC{mpfr_get_d(cr.get(), MPFR_RNDN), mpfr_get_d(ci.get(), MPFR_RNDN), true};
    if (first == EscapeTest::Undecided) {
        attempt.decided = false;
        if (!guess) return attempt;
        if (toExtReal(cr.get()) * toExtReal(cr.get()) + toExtReal(ci.get()) * toExtReal(ci.get()) > ExtReal(4.0))
            return attempt.count = 1, attempt.escape = atC, attempt;
    }
    if (first == EscapeTest::Escaped) return attempt.count = 1, attempt.escape = atC, attempt;
    if (location.limit == 1) return attempt.count = 1, attempt;
    FixedPointOrbit orbit(fractionBits(bits, cr.get(), ci.get()));
    if (!orbit.start(cr.get(), ci.get())) cErr = roundUp(cErr + orbit.unit());
    const std::int64_t poll = mpfrPollInterval(bits);
    const Attempt rest =
        orbit.fraction() <= FixedPointOrbit::kDoubleFraction
            ? iterateOrbit(orbit, boundUp(cErr), location.limit, guess, mayDrop, poll, stop, iterations)
            : iterateOrbit(orbit, cErr, location.limit, guess, mayDrop, poll, stop, iterations);
    if (!rest.decided) attempt.decided = false;
    attempt.count = rest.count;
    attempt.escape = rest.escape;
    attempt.dropped = rest.dropped;
    return attempt;
}

}  // namespace

MpfrPixel mpfrPixelCount(const DeepLocation& location, int span, int x, int y, int startBits, int maxBits,
                         const std::function<bool()>& stop) {
    MpfrPixel result;
    for (int bits = std::min(startBits, maxBits);; bits *= 2) {
        const bool last = bits > maxBits / 2;
        result.finalBits = bits;
        // The last attempt (whose undecided tests are taken as computed)
        // keeps every bit.
        Attempt attempt = countAtPrecision(location, span, x, y, bits, last, !last, stop, result.iterations);
        if (!attempt.decided && attempt.dropped && attempt.count != kCancelledCount)
            attempt = countAtPrecision(location, span, x, y, bits, last, false, stop, result.iterations);
        result.count = attempt.count;
        result.escape = attempt.escape;
        if (attempt.count == kCancelledCount) return result;
        if (attempt.decided) return result;
        if (last) {
            result.certified = false;
            return result;
        }
    }
}

}  // namespace mandel
