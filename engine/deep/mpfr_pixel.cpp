#include "deep/mpfr_pixel.h"

#include <algorithm>
#include <array>
#include <climits>
#include <memory>
#include <cmath>

#include "deep/error_bound.h"
#include "deep/mpfr_value.h"
#include "deep/escape_test.h"
#include "deep/fixed_point_lanes.h"
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

// A pixel's point at `bits` and everything before its orbit's first step:
// c̃ and its error bound, and the test of z₁ = c̃ (in MPFR, so that only
// |c| ≤ 2 goes into the fixed point). `ended` when that test (or a limit of
// 1) ended the attempt.
struct Start {
    explicit Start(mpfr_prec_t bits) : cr(bits), ci(bits) {}
    MpfrValue cr, ci;
    ExtReal cErr;
    Attempt attempt;
    bool ended = false;
    long fraction() const { return fractionBits(mpfr_get_prec(cr.get()), cr.get(), ci.get()); }
};

void startAttempt(const DeepLocation& location, int span, int x, int y, bool guess, Start& start) {
    const mpfr_prec_t bits = mpfr_get_prec(start.cr.get());
    const bool exactPoint = pixelPoint(location, span, x, y, start.cr, start.ci);
    start.cErr = exactPoint ? ExtReal() : pointError(location, span, x, y, bits);
    Attempt& attempt = start.attempt;
    const EscapeTest first = exactEscapeTest(start.cr.get(), start.ci.get(), start.cErr);
    const EscapePoint atC{mpfr_get_d(start.cr.get(), MPFR_RNDN), mpfr_get_d(start.ci.get(), MPFR_RNDN), true};
    start.ended = true;
    if (first == EscapeTest::Undecided) {
        attempt.decided = false;
        if (!guess) return;
        const ExtReal re = toExtReal(start.cr.get()), im = toExtReal(start.ci.get());
        if (re * re + im * im > ExtReal(4.0)) {
            attempt.count = 1, attempt.escape = atC;
            return;
        }
    }
    if (first == EscapeTest::Escaped) {
        attempt.count = 1, attempt.escape = atC;
        return;
    }
    if (location.limit == 1) {
        attempt.count = 1;
        return;
    }
    start.ended = false;
}

// Iterates at `bits` (z in fixed point; c, the first test and the close
// calls in MPFR). An undecided test ends the attempt, unless `guess`: then
// it is taken as computed (|z̃| > 2) and the attempt goes on.
Attempt countAtPrecision(const DeepLocation& location, int span, int x, int y, mpfr_prec_t bits, bool guess,
                         bool mayDrop, const std::function<bool()>& stop, std::int64_t& iterations) {
    Start start(bits);
    startAttempt(location, span, x, y, guess, start);
    if (start.ended) return start.attempt;
    FixedPointOrbit orbit(start.fraction());
    ExtReal cErr = start.cErr;
    if (!orbit.start(start.cr.get(), start.ci.get())) cErr = roundUp(cErr + orbit.unit());
    const std::int64_t poll = mpfrPollInterval(bits);
    Attempt attempt =
        orbit.fraction() <= FixedPointOrbit::kDoubleFraction
            ? iterateOrbit(orbit, boundUp(cErr), location.limit, guess, mayDrop, poll, stop, iterations)
            : iterateOrbit(orbit, cErr, location.limit, guess, mayDrop, poll, stop, iterations);
    if (!start.attempt.decided) attempt.decided = false;
    return attempt;
}

// The attempts after a first one at `bits` (guessing only where it was the
// last, dropping limbs where it was not): at the same bits again without
// dropping where the first one dropped limbs and failed, then at twice the
// bits, up to maxBits.
void continueAttempts(const DeepLocation& location, int span, int x, int y, int bits, int maxBits,
                      const std::function<bool()>& stop, Attempt attempt, MpfrPixel& result) {
    for (;; bits *= 2) {
        const bool last = bits > maxBits / 2;
        result.finalBits = bits;
        if (!attempt.decided && attempt.dropped && attempt.count != kCancelledCount)
            attempt = countAtPrecision(location, span, x, y, bits, last, false, stop, result.iterations);
        result.count = attempt.count;
        result.escape = attempt.escape;
        if (attempt.count == kCancelledCount || attempt.decided) return;
        if (last) {
            result.certified = false;
            return;
        }
        const int next = bits * 2;
        attempt = countAtPrecision(location, span, x, y, next, next > maxBits / 2, next <= maxBits / 2, stop,
                                   result.iterations);
    }
}

// Up to eight first attempts side by side (FixedPointLanes), each lane
// exactly as iterateOrbit without guessing, with dropping, its bound in
// double: the same tests, bounds, counts and escape points.
class LaneAttempts {
public:
    static constexpr int kLanes = FixedPointLanes::kLanes;

    LaneAttempts(FixedPointLanes& lanes, unsigned live, const std::array<double, kLanes>& cErr)
        : lanes_(lanes), live_(live) {
        bounds_.cErr = bounds_.e = cErr;
        for (int lane = 0; lane < kLanes; ++lane)  // |truncation| < √2 units
            bounds_.stepRounding[lane] = 2.0 * std::ldexp(1.0, static_cast<int>(-lanes.fraction(lane)));
    }

    void run(std::int64_t limit, std::int64_t poll, const std::function<bool()>& stop) {
        const long bits = lanes_.limbs() * FixedPointLanes::kLimbBits;
        MpfrValue exactRe(bits), exactIm(bits);
        std::array<double, kLanes> re{}, im{};
        for (std::int64_t i = 1;; ++i) {
            lanes_.nearAll(live_, re, im);
            const LaneTests tests = testLanes(re, im, live_, i > 1, bounds_);
            // Most iterations every lane stays and none is at the limit.
            if (i > 1 && ((tests.escaped | tests.undecided) != 0 || i == limit)) {
                for (int lane = 0; lane < kLanes; ++lane)
                    if (live(lane)) decide(lane, tests, re[lane], im[lane], i, limit, exactRe, exactIm);
            }
            if (live_ == 0) return;
            if (i % poll == 0 && stop()) {
                for (int lane = 0; lane < kLanes; ++lane)
                    if (live(lane)) attempts[lane].count = kCancelledCount;
                return;
            }
            const unsigned exact = lanes_.step(live_);
            const unsigned spare = growBounds(live_, exact, bounds_, kKeptBelowBound);
            for (int lane = 0; lane < kLanes; ++lane) iterations[lane] += live(lane) ? 1 : 0;
            // Only the lanes whose lowest limb is below what the bound keeps
            // (the first test of dropSpareLimbs) may drop one.
            for (int lane = 0; lane < kLanes; ++lane)
                if ((spare >> lane) & 1u) dropSpareLimbs(lane);
        }
    }

    std::array<Attempt, kLanes> attempts{};
    std::array<std::int64_t, kLanes> iterations{};

private:
    bool live(int lane) const { return (live_ >> lane) & 1u; }
    void end(int lane) { live_ &= ~(1u << lane); }

    // Iteration i's escape test of a lane with its z̃ ≈ r + i·m: the bound's
    // result, else the test of z̃ itself.
    void decide(int lane, const LaneTests& tests, double r, double m, std::int64_t i, std::int64_t limit,
                MpfrValue& exactRe, MpfrValue& exactIm) {
        Attempt& attempt = attempts[lane];
        EscapeTest result = (tests.escaped >> lane) & 1u ? EscapeTest::Escaped : EscapeTest::Stays;
        if ((tests.undecided >> lane) & 1u) {
            lanes_.exact(lane, exactRe.get(), exactIm.get());
            result = exactEscapeTest(exactRe.get(), exactIm.get(), ExtReal(bounds_.e[lane]));
        }
        if (result == EscapeTest::Undecided) return attempt.decided = false, end(lane);
        if (result == EscapeTest::Escaped) return attempt.count = i, attempt.escape = {r, m, true}, end(lane);
        if (i == limit) return attempt.count = limit, end(lane);
    }

    // dropSpareLimbs for one lane.
    void dropSpareLimbs(int lane) {
        double& e = bounds_.e[lane];
        double& stepRounding = bounds_.stepRounding[lane];
        while (lanes_.orbitLimbs(lane) > 1) {
            const double unitUp = 0x1p63 * stepRounding;  // 2^64 units: stepRounding is two
            if (!(unitUp < e * kKeptBelowBound)) return;
            const FixedPointOrbit::Dropped dropped = lanes_.dropLowestLimb(lane, live_);
            const double truncation = 2.0 * unitUp;  // |truncation| < √2 units
            if (dropped.z) e = roundUp(e + truncation);
            if (dropped.c) bounds_.cErr[lane] = roundUp(bounds_.cErr[lane] + truncation);
            stepRounding = truncation;
            attempts[lane].dropped = true;
        }
    }

    FixedPointLanes& lanes_;
    unsigned live_;
    LaneBounds bounds_;
};

// The first attempts at `bits` (no guessing, with dropping) of up to eight
// pixels in lanes; false where their fractions do not suit the lanes (the
// attempts are then to be made one at a time).
bool firstAttemptsInLanes(const DeepLocation& location, int span, std::span<const PixelPlace> pixels, int bits,
                          const std::function<bool()>& stop, std::span<Attempt> attempts,
                          std::span<std::int64_t> iterations) {
    std::vector<std::unique_ptr<Start>> starts;
    long fraction = 0;
    for (const PixelPlace& p : pixels) {
        starts.push_back(std::make_unique<Start>(bits));
        startAttempt(location, span, p.x, p.y, false, *starts.back());
        if (!starts.back()->ended) fraction = std::max(fraction, FixedPointOrbit::fractionFor(starts.back()->fraction()));
    }
    // The bound in double, as iterateOrbit keeps it at these fractions.
    if (!FixedPointLanes::fits(fraction) || fraction > FixedPointOrbit::kDoubleFraction) return false;
    FixedPointLanes lanes(fraction);
    std::array<double, FixedPointLanes::kLanes> cErr{};
    unsigned live = 0;
    for (std::size_t k = 0; k < starts.size(); ++k) {
        const int lane = static_cast<int>(k);
        attempts[k] = starts[k]->attempt;
        if (starts[k]->ended) continue;
        const long laneFraction = FixedPointOrbit::fractionFor(starts[k]->fraction());
        ExtReal err = starts[k]->cErr;
        if (!lanes.start(lane, laneFraction, starts[k]->cr.get(), starts[k]->ci.get()))
            err = roundUp(err + ExtReal(1.0, -laneFraction));
        cErr[k] = boundUp(err);
        live |= 1u << lane;
    }
    LaneAttempts run(lanes, live, cErr);
    run.run(location.limit, std::max<std::int64_t>(1, mpfrPollInterval(bits) / FixedPointLanes::kLanes), stop);
    for (std::size_t k = 0; k < starts.size(); ++k) {
        if (!((live >> k) & 1u)) continue;
        attempts[k] = run.attempts[k];
        iterations[k] += run.iterations[k];
    }
    return true;
}

}  // namespace

MpfrPixel mpfrPixelCount(const DeepLocation& location, int span, int x, int y, int startBits, int maxBits,
                         const std::function<bool()>& stop) {
    MpfrPixel result;
    const int bits = std::min(startBits, maxBits);
    // The last attempt (whose undecided tests are taken as computed) keeps
    // every bit.
    const bool last = bits > maxBits / 2;
    const Attempt first = countAtPrecision(location, span, x, y, bits, last, !last, stop, result.iterations);
    continueAttempts(location, span, x, y, bits, maxBits, stop, first, result);
    return result;
}

}  // namespace mandel

namespace mandel {

std::vector<MpfrPixel> mpfrPixelCounts(const DeepLocation& location, int span, std::span<const PixelPlace> pixels,
                                       int startBits, int maxBits, const std::function<bool()>& stop) {
    std::vector<MpfrPixel> results(pixels.size());
    const int bits = std::min(startBits, maxBits);
    const bool last = bits > maxBits / 2;
    constexpr std::size_t kLanes = FixedPointLanes::kLanes;
    const bool lanes = !last && FixedPointLanes::available();
    for (std::size_t first = 0; first < pixels.size(); first += kLanes) {
        const std::size_t n = std::min(kLanes, pixels.size() - first);
        std::array<Attempt, kLanes> attempts{};
        std::array<std::int64_t, kLanes> iterations{};
        const std::span<const PixelPlace> group = pixels.subspan(first, n);
        const bool inLanes =
            lanes && n >= kMinLanePixels && firstAttemptsInLanes(location, span, group, bits, stop, attempts, iterations);
        for (std::size_t k = 0; k < n; ++k) {
            MpfrPixel& result = results[first + k];
            if (!inLanes) {
                result = mpfrPixelCount(location, span, group[k].x, group[k].y, startBits, maxBits, stop);
                continue;
            }
            result.iterations = iterations[k];
            continueAttempts(location, span, group[k].x, group[k].y, bits, maxBits, stop, attempts[k], result);
        }
    }
    return results;
}

}  // namespace mandel
