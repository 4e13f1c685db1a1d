#include "explore/interior_check.h"

#include <cmath>
#include <limits>
#include <vector>

#include "explore/mpfr_complex.h"

namespace mandel {
namespace {

constexpr int kNewtonSteps = 40;
// Cycles longer than this are not followed by Newton's method (each step
// iterates a whole period in MPFR).
constexpr std::int64_t kLongestNewtonPeriod = std::int64_t{1} << 20;
// The candidate periods tried at most (new lows of |z_n|, last ones first).
constexpr std::size_t kMaxCandidates = 12;
// Bits beyond the side's that the arithmetic carries.
constexpr long kGuardBits = 64;
// Past this |z|² the point escapes: it is not inside.
constexpr double kEscapeRadiusSquared = 4;

bool cancelled(const std::atomic<bool>* cancel) { return cancel != nullptr && cancel->load(std::memory_order_relaxed); }

// One period from w: f^p(w) − w into residual, its derivative
// ∏ 2·f^j(w) − 1 into derivative; returns log2 of the multiplier |∏ 2·f^j(w)|.
double cycleFrom(const MpfrComplex& w, const MpfrComplex& c, std::int64_t period, MpfrComplex& residual,
                 MpfrComplex& derivative, MpfrScratch& s) {
    MpfrComplex z = w, two(w.bits());
    mpfr_set_ui(derivative.re.get(), 1, MPFR_RNDN);
    mpfr_set_zero(derivative.im.get(), 1);
    double log2Multiplier = 0;
    for (std::int64_t j = 0; j < period; ++j) {
        mpfr_mul_2ui(two.re.get(), z.re.get(), 1, MPFR_RNDN);
        mpfr_mul_2ui(two.im.get(), z.im.get(), 1, MPFR_RNDN);
        log2Multiplier += log2Magnitude(two, s);
        multiply(derivative, derivative, two, s);
        squareAdd(z, c, s);
    }
    subtract(residual, z, w);
    mpfr_sub_ui(derivative.re.get(), derivative.re.get(), 1, MPFR_RNDN);
    return log2Multiplier;
}

// Newton's method for the cycle point near `start`; true when the cycle found attracts.
bool attractingCycleNear(const MpfrComplex& start, const MpfrComplex& c, std::int64_t period,
                         const std::atomic<bool>* cancel) {
    const long bits = c.bits();
    MpfrScratch s(bits);
    MpfrComplex w = start, residual(bits), derivative(bits), step(bits);
    for (int i = 0; i < kNewtonSteps && !cancelled(cancel); ++i) {
        cycleFrom(w, c, period, residual, derivative, s);
        if (mpfr_zero_p(derivative.re.get()) && mpfr_zero_p(derivative.im.get())) return false;
        divide(step, residual, derivative, s);
        subtract(w, w, step);
        const double stepSize = log2Magnitude(step, s);
        // Newton's steps square the error: half the bits are enough.
        if (stepSize < -static_cast<double>(bits) / 2) return cycleFrom(w, c, period, residual, derivative, s) < 0;
        if (!(stepSize < 4)) return false;  // diverging
    }
    return false;
}

}  // namespace

long bitsForSide(std::int64_t sideLeadingExponent) {
    const double bits = -static_cast<double>(sideLeadingExponent) * std::log2(10.0);
    return static_cast<long>(std::max(0.0, bits)) + kGuardBits;
}

std::optional<std::int64_t> attractingCyclePeriod(const InteriorQuestion& question, const std::atomic<bool>* cancel) {
    const long bits = std::max<long>(question.bits, kGuardBits);
    MpfrScratch s(bits);
    MpfrComplex c(bits), z(bits);
    setDecimals(c, question.re, question.im);
    MpfrValue norm(53);
    // The iterations where |z_n| reaches a new low, with z_n there.
    std::vector<std::pair<std::int64_t, MpfrComplex>> lows;
    double lowest = std::numeric_limits<double>::infinity();
    const std::int64_t poll = mpfrPollInterval(bits);
    for (std::int64_t n = 1; n <= question.maxPeriod; ++n) {
        squareAdd(z, c, s);
        normSquared(norm.get(), z, s);
        const double size = mpfr_get_d(norm.get(), MPFR_RNDN);
        if (size > kEscapeRadiusSquared) return std::nullopt;
        if (size < lowest) {
            lowest = size;
            lows.emplace_back(n, z);
            if (lows.size() > kMaxCandidates) lows.erase(lows.begin());
        }
        if (n % poll == 0 && cancelled(cancel)) return std::nullopt;
    }
    // The shortest period whose cycle attracts: the lows come in increasing n.
    for (const auto& [period, at] : lows) {
        if (cancelled(cancel)) return std::nullopt;
        if (period <= kLongestNewtonPeriod && attractingCycleNear(at, c, period, cancel)) return period;
    }
    return std::nullopt;
}

}  // namespace mandel
