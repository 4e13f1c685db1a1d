#include "explore/misiurewicz_finder.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "explore/mpfr_complex.h"

namespace mandel {
namespace {

// Bits beyond the radius and the precision asked that the arithmetic carries.
constexpr long kGuardBits = 64;
// Two orbit points closer than 2^-kSameBits count as the same point.
constexpr long kSameBits = 48;
constexpr int kNewtonSteps = 64;
// A root counts as near when it lies within this many radii of the point.
constexpr double kNearRadii = 4;
// Pairs whose estimate lies within this many radii are tried: past the point's
// own orbit's horizon the first-order estimate is off by the cycle's multiplier.
constexpr double kCandidateRadii = 64;
// Pairs looked at in MPFR at most (the rest of the scan is in double).
constexpr std::int64_t kMaxExactLooks = 200000;
// Estimates closer than this (in log2) are taken for the same root.
constexpr double kSameEstimate = 0.01;
// The pairs followed by Newton's method at most.
constexpr std::size_t kMaxTries = 16;
// Differences of orbit points above this (in double) are far from a root.
constexpr double kDoubleFilter = 1e-9;
// A root where the derivative is below 2^-(bits·this) is a multiple one.
constexpr double kMultipleRootShare = 0.25;

bool cancelled(const std::atomic<bool>* cancel) { return cancel != nullptr && cancel->load(std::memory_order_relaxed); }

double log2Of(mpfr_srcptr x) {
    if (mpfr_zero_p(x)) return -INFINITY;
    long exponent = 0;
    const double mantissa = mpfr_get_d_2exp(&exponent, x, MPFR_RNDN);
    return std::log2(std::abs(mantissa)) + static_cast<double>(exponent);
}

// The orbit of c, z_0 .. z_last (fewer when it escapes), and the derivatives
// dz_n/dc at 64 bits.
struct Orbit {
    std::vector<MpfrComplex> z;
    std::vector<MpfrComplex> derivative;
};

Orbit orbitOf(const MpfrComplex& c, std::int64_t last, const std::atomic<bool>* cancel) {
    const long bits = c.bits();
    MpfrScratch s(bits), low(64);
    Orbit orbit;
    orbit.z.emplace_back(bits);
    orbit.derivative.emplace_back(64);
    MpfrComplex z(bits), d(64), two(64);
    MpfrValue norm(53);
    for (std::int64_t n = 1; n <= last; ++n) {
        // d ← 2·z·d + 1, then z ← z² + c.
        mpfr_mul_2ui(two.re.get(), z.re.get(), 1, MPFR_RNDN);
        mpfr_mul_2ui(two.im.get(), z.im.get(), 1, MPFR_RNDN);
        multiply(d, d, two, low);
        mpfr_add_ui(d.re.get(), d.re.get(), 1, MPFR_RNDN);
        squareAdd(z, c, s);
        orbit.z.push_back(z);
        orbit.derivative.push_back(d);
        normSquared(norm.get(), z, s);
        if (mpfr_cmp_ui(norm.get(), 16) > 0 || (n % 64 == 0 && cancelled(cancel))) break;
    }
    return orbit;
}

struct Pair {
    std::int64_t preperiod = 0;
    std::int64_t period = 0;
    double log2Distance = 0;  // Newton's estimate of the distance to the root
};

// log2 |x − y| in MPFR at x's precision.
double log2Difference(const MpfrComplex& x, const MpfrComplex& y, MpfrComplex& scratch, MpfrScratch& s) {
    subtract(scratch, x, y);
    return log2Magnitude(scratch, s);
}

// The pairs whose root Newton's estimate puts within kCandidateRadii radii,
// one for each root estimated (multiples of a pair, (k + j, p·i), estimate the
// same root), in the order of k + p: those within kNearRadii first. The scan
// ends once kMaxTries near ones are found or after kMaxExactLooks looks in MPFR.
std::vector<Pair> nearPairs(const Orbit& orbit, const MisiurewiczSearch& search, double log2Radius) {
    const long bits = orbit.z.front().bits();
    MpfrScratch s(bits), low(64);
    MpfrComplex difference(bits), lowDifference(64);
    const double limit = log2Radius + std::log2(kCandidateRadii), near = log2Radius + std::log2(kNearRadii);
    std::vector<double> log2Slopes, re, im;
    for (std::size_t n = 0; n < orbit.z.size(); ++n) {
        log2Slopes.push_back(log2Magnitude(orbit.derivative[n], low));
        re.push_back(mpfr_get_d(orbit.z[n].re.get(), MPFR_RNDN));
        im.push_back(mpfr_get_d(orbit.z[n].im.get(), MPFR_RNDN));
    }
    std::vector<Pair> nearOnes, farOnes;
    const auto seen = [&](double estimate) {
        const auto same = [estimate](const Pair& p) { return std::abs(p.log2Distance - estimate) < kSameEstimate; };
        return std::any_of(nearOnes.begin(), nearOnes.end(), same) || std::any_of(farOnes.begin(), farOnes.end(), same);
    };
    std::int64_t exactLooks = 0;
    const auto last = static_cast<std::int64_t>(orbit.z.size()) - 1;
    for (std::int64_t n = 2; n <= last && nearOnes.size() < kMaxTries && exactLooks < kMaxExactLooks; ++n) {
        for (std::int64_t k = std::max<std::int64_t>(1, n - search.maxPeriod); k < n && k <= search.maxPreperiod; ++k) {
            // Far apart in double already: |z'_n − z'_k| ≤ 2·max(|z'_n|, |z'_k|)
            // bounds how near the root can be.
            const double apartInDouble = std::hypot(re[n] - re[k], im[n] - im[k]);
            if (apartInDouble > kDoubleFilter &&
                std::log2(apartInDouble) > limit + std::max(log2Slopes[n], log2Slopes[k]) + 2)
                continue;
            ++exactLooks;
            const double apart = log2Difference(orbit.z[n], orbit.z[k], difference, s);
            const double slope = log2Difference(orbit.derivative[n], orbit.derivative[k], lowDifference, low);
            const double estimate = apart - slope;
            if (estimate < limit && !seen(estimate))
                (estimate < near ? nearOnes : farOnes).push_back({k, n - k, estimate});
        }
    }
    nearOnes.insert(nearOnes.end(), farOnes.begin(), farOnes.end());
    return nearOnes;
}

// z_{k+p}(c) − z_k(c) and its derivative in c, at c's precision.
void rootFunction(const MpfrComplex& c, const Pair& pair, MpfrComplex& value, MpfrComplex& slope, MpfrScratch& s) {
    const long bits = c.bits();
    MpfrComplex z(bits), d(bits), two(bits), zk(bits), dk(bits);
    for (std::int64_t n = 1; n <= pair.preperiod + pair.period; ++n) {
        mpfr_mul_2ui(two.re.get(), z.re.get(), 1, MPFR_RNDN);
        mpfr_mul_2ui(two.im.get(), z.im.get(), 1, MPFR_RNDN);
        multiply(d, d, two, s);
        mpfr_add_ui(d.re.get(), d.re.get(), 1, MPFR_RNDN);
        squareAdd(z, c, s);
        if (n == pair.preperiod) {
            zk = z;
            dk = d;
        }
    }
    subtract(value, z, zk);
    subtract(slope, d, dk);
}

// c, unless the derivative of z_{k+p} − z_k is below 2^-(bits/4) there: a
// multiple root. A Misiurewicz point is a simple root (the derivative grows
// with the repelling cycle's multiplier), while at a nucleus whose period
// divides p the orbit returns to 0 and the root is double: there Newton's
// steps only halve, until the rounding hides the function's value about
// 2^-(bits/2) from the nucleus, where the derivative is as small, and the
// orbit seems to repeat after k.
std::optional<MpfrComplex> simpleRoot(const MpfrComplex& c, const Pair& pair, MpfrScratch& s) {
    const long bits = c.bits();
    MpfrComplex value(bits), slope(bits);
    rootFunction(c, pair, value, slope, s);
    if (log2Magnitude(slope, s) < -static_cast<double>(bits) * kMultipleRootShare) return std::nullopt;
    return c;
}

// Newton's method from the search point; the root, or nothing when it leaves
// the near disc or does not settle.
std::optional<MpfrComplex> newtonRoot(const MpfrComplex& start, const Pair& pair, double log2Radius, int precisionBelow,
                                      const std::atomic<bool>* cancel) {
    const long bits = start.bits();
    MpfrScratch s(bits);
    MpfrComplex c = start, value(bits), slope(bits), step(bits), moved(bits);
    const double wanted = log2Radius - precisionBelow;
    for (int i = 0; i < kNewtonSteps && !cancelled(cancel); ++i) {
        rootFunction(c, pair, value, slope, s);
        if (mpfr_zero_p(slope.re.get()) && mpfr_zero_p(slope.im.get())) return std::nullopt;
        divide(step, value, slope, s);
        subtract(c, c, step);
        if (log2Difference(c, start, moved, s) > log2Radius + std::log2(kNearRadii)) return std::nullopt;
        // Newton's steps square the error: one more step past the wanted size.
        if (log2Magnitude(step, s) < wanted - kGuardBits / 2) return simpleRoot(c, pair, s);
    }
    return std::nullopt;
}

}  // namespace

std::optional<PreperiodAndPeriod> orbitPreperiodAndPeriod(const std::string& re, const std::string& im, long bits,
                                                          long tolerance, std::int64_t maxPreperiod,
                                                          std::int64_t maxPeriod) {
    MpfrComplex c(bits);
    setDecimals(c, re, im);
    const Orbit orbit = orbitOf(c, maxPreperiod + 2 * maxPeriod, nullptr);
    if (static_cast<std::int64_t>(orbit.z.size()) <= maxPreperiod + 2 * maxPeriod) return std::nullopt;
    MpfrScratch s(bits);
    MpfrComplex scratch(bits);
    const auto same = [&](std::int64_t a, std::int64_t b) {
        const double size = std::max(0.0, log2Magnitude(orbit.z[b], s));
        return log2Difference(orbit.z[a], orbit.z[b], scratch, s) < size - static_cast<double>(tolerance);
    };
    PreperiodAndPeriod found;
    for (found.period = 1; found.period <= maxPeriod; ++found.period)
        if (same(maxPreperiod + found.period, maxPreperiod)) break;
    if (found.period > maxPeriod) return std::nullopt;
    while (found.preperiod < maxPreperiod && !same(found.preperiod + found.period, found.preperiod)) ++found.preperiod;
    return found;
}

std::optional<MisiurewiczPoint> findMisiurewicz(const MisiurewiczSearch& search, const std::atomic<bool>* cancel) {
    MpfrValue radius(64);
    setDecimal(radius.get(), search.radius);
    const double log2Radius = log2Of(radius.get());
    const long bits = static_cast<long>(std::max(0.0, -log2Radius)) + search.precisionBelow + kGuardBits;
    MpfrComplex start(bits);
    setDecimals(start, search.re, search.im);
    const Orbit orbit = orbitOf(start, search.maxPreperiod + search.maxPeriod, cancel);
    const std::vector<Pair> pairs = nearPairs(orbit, search, log2Radius);
    for (std::size_t i = 0; i < pairs.size() && i < kMaxTries && !cancelled(cancel); ++i) {
        const auto root = newtonRoot(start, pairs[i], log2Radius, search.precisionBelow, cancel);
        if (!root) continue;
        const int digits = static_cast<int>(std::ceil((search.precisionBelow - log2Radius) * std::log10(2.0))) + 3;
        MisiurewiczPoint point;
        point.re = significantText(root->re.get(), digits);
        point.im = significantText(root->im.get(), digits);
        point.bits = static_cast<int>(bits);
        const auto found =
            orbitPreperiodAndPeriod(point.re, point.im, bits, kSameBits, pairs[i].preperiod, pairs[i].period);
        // A nucleus (the orbit returns to 0) is a minibrot's, not a Misiurewicz point.
        if (!found || found->preperiod == 0) continue;
        point.preperiod = found->preperiod;
        point.period = found->period;
        const Orbit at = orbitOf(*root, point.preperiod, nullptr);
        MpfrScratch s(64);
        const double log2Slope = log2Magnitude(at.derivative.back(), s);
        point.size =
            ExtReal(std::exp2(-log2Slope - std::floor(-log2Slope)), static_cast<std::int64_t>(std::floor(-log2Slope)));
        return point;
    }
    return std::nullopt;
}

}  // namespace mandel
