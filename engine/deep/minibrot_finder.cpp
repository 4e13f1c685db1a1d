#include "deep/minibrot_finder.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <vector>

#include "deep/ball_period.h"
#include "deep/deep_geometry.h"
#include "deep/deep_view.h"
#include "deep/newton_orbit.h"

namespace mandel {

namespace {

// Newton's method by perturbation ends when a step is this small beside the
// distance from the reference point (its numbers carry 53 bits).
constexpr int kPerturbedStepBits = 44;
constexpr int kMaxPerturbedSteps = 60;
constexpr int kMaxMpfrSteps = 12;
// Bits of the Newton steps' derivative beyond what a step's size needs.
constexpr std::int64_t kDerivativeGuardBits = 64;
// An MPFR Newton step this far below the searched disc's radius refines the
// nucleus Newton's method in double has converged to (its steps end near
// 2^-52 of the radius).
constexpr double kConvergedStepBelowRadius = 0x1p-40;
constexpr int kDiscAttempts = 4;
constexpr double kDiscShrink = 0.25;
// A nucleus further than this many radii from the point is not the one the
// disc found (Newton's method went elsewhere).
constexpr double kReachRadii = 4;
// The searched point's orbit: its precision below the radius, and how far
// its error may grow beside the radius (times |dZ/dC|) before it ends; the
// period and a first nucleus need far less than a drawing's pixels.
constexpr std::int64_t kSearchMinBits = 128;
constexpr std::int64_t kSearchGuardBits = 128;
constexpr double kSearchErrorCeiling = 0x1p-32;
// Bits of the MPFR orbit beyond those the accuracy asks for.
constexpr int kGuardBits = 32;

struct Complex {
    ExtReal re, im;
};

Complex operator+(const Complex& a, const Complex& b) { return {a.re + b.re, a.im + b.im}; }
Complex operator-(const Complex& a, const Complex& b) { return {a.re - b.re, a.im - b.im}; }
Complex operator*(const Complex& a, const Complex& b) { return {a.re * b.re - a.im * b.im, a.re * b.im + a.im * b.re}; }
ExtReal magnitude(const Complex& a) { return sqrt(a.re * a.re + a.im * a.im); }
Complex reciprocal(const Complex& a) {
    const ExtReal n = a.re * a.re + a.im * a.im;
    const ExtReal inverse(1.0 / n.mantissa, -n.exponent);
    return {a.re * inverse, -(a.im * inverse)};
}
Complex twice(const Complex& a) { return {a.re * ExtReal(2.0), a.im * ExtReal(2.0)}; }

Complex point(const OrbitPoint& p) { return {ExtReal(p.re, p.exponent), ExtReal(p.im, p.exponent)}; }

// The first n at which the disc of the given radius around the reference
// point may hold 0 after n iterations (BallPeriodScan); 0 when none up to
// maxPeriod.
std::int64_t ballPeriod(const std::vector<OrbitPoint>& orbit, const ExtReal& radius, std::int64_t maxPeriod) {
    BallPeriodScan scan(radius);
    const std::int64_t last = std::min<std::int64_t>(maxPeriod, static_cast<std::int64_t>(orbit.size()) - 1);
    for (std::int64_t n = 1; n <= last; ++n)
        if (scan.holdsZero(orbit[static_cast<std::size_t>(n - 1)], orbit[static_cast<std::size_t>(n)])) return n;
    return 0;
}

// z_p(C + δc) as Z_p + δz_p, its derivative in c, and the size
// estimate 1/|b·l²| of the minibrot (l the product of 2z_j, b the sum of
// 1/(2z_1 ⋯ 2z_j)), by perturbation against the reference orbit.
struct PerturbedValue {
    Complex value, derivative;
    ExtReal size;
};

PerturbedValue perturbedValue(const std::vector<OrbitPoint>& orbit, std::int64_t period, const Complex& dc) {
    Complex dz{}, d{}, l{ExtReal(1.0), ExtReal()}, b{ExtReal(1.0), ExtReal()};
    for (std::int64_t n = 0; n < period; ++n) {
        const Complex z = point(orbit[static_cast<std::size_t>(n)]);
        const Complex full = z + dz;
        d = twice(full) * d + Complex{ExtReal(1.0), ExtReal()};
        if (n > 0) {
            l = twice(full) * l;
            b = b + reciprocal(l);
        }
        dz = twice(z) * dz + dz * dz + dc;
    }
    const Complex value = point(orbit[static_cast<std::size_t>(period)]) + dz;
    const ExtReal scale = magnitude(b * l * l);
    return {value, d, scale.isZero() ? ExtReal() : ExtReal(1.0 / scale.mantissa, -scale.exponent)};
}

// Newton's method on z_p(C + δc) = 0 by perturbation: δc, or nothing when it
// wanders off or does not settle.
std::optional<PerturbedValue> perturbedNewton(const std::vector<OrbitPoint>& orbit, std::int64_t period,
                                              const ExtReal& radius, Complex& dc, const std::atomic<bool>* cancel) {
    const ExtReal reach = radius * ExtReal(kReachRadii);
    for (int step = 0; step < kMaxPerturbedSteps; ++step) {
        if (cancel && cancel->load(std::memory_order_relaxed)) return std::nullopt;
        const PerturbedValue v = perturbedValue(orbit, period, dc);
        if (v.derivative.re.isZero() && v.derivative.im.isZero()) return std::nullopt;
        Complex move = v.value * reciprocal(v.derivative);
        // A step longer than the radius is cut to it: far from the root,
        // Newton's full step tends to leave the disc for another nucleus.
        const ExtReal moveAbs = magnitude(move);
        if (radius < moveAbs) {
            const ExtReal shrink = radius * ExtReal(1.0 / moveAbs.mantissa, -moveAbs.exponent);
            move = {move.re * shrink, move.im * shrink};
        }
        dc = dc - move;
        if (reach < magnitude(dc)) return std::nullopt;
        const ExtReal settled =
            std::max(magnitude(dc), radius * ExtReal(0x1p-8)) * ExtReal(std::ldexp(1.0, -kPerturbedStepBits));
        if (magnitude(move) < settled) return perturbedValue(orbit, period, dc);
    }
    return std::nullopt;
}

void setExtRealNearest(mpfr_ptr x, const ExtReal& v) {
    if (v.isZero()) {
        mpfr_set_zero(x, 1);
        return;
    }
    mpfr_set_d(x, v.mantissa, MPFR_RNDN);
    mpfr_mul_2si(x, x, static_cast<long>(v.exponent), MPFR_RNDN);
}

// The size of one Newton step, and |z_p'(c)| where it was taken.
struct NewtonMove {
    ExtReal size;
    ExtReal derivative;
};

// One Newton step in MPFR: c ← c − z_p(c)/z_p'(c), the derivative carried
// at derivativeBits. Nothing if cancelled or the derivative vanished.
std::optional<NewtonMove> mpfrNewtonStep(MpfrValue& cr, MpfrValue& ci, std::int64_t period,
                                         mpfr_prec_t derivativeBits, const std::atomic<bool>* cancel) {
    const mpfr_prec_t bits = mpfr_get_prec(cr.get());
    MpfrValue zr(bits), zi(bits), dr(derivativeBits), di(derivativeBits), sr(bits), si(bits), t(bits), u(bits);
    if (!newtonOrbit(cr.get(), ci.get(), period, zr, zi, dr, di, cancel)) return std::nullopt;
    // step = z / d = z·conj(d) / |d|²
    mpfr_sqr(t.get(), dr.get(), MPFR_RNDN);
    mpfr_sqr(u.get(), di.get(), MPFR_RNDN);
    mpfr_add(t.get(), t.get(), u.get(), MPFR_RNDN);
    if (mpfr_zero_p(t.get())) return std::nullopt;
    mpfr_mul(sr.get(), zr.get(), dr.get(), MPFR_RNDN);
    mpfr_mul(u.get(), zi.get(), di.get(), MPFR_RNDN);
    mpfr_add(sr.get(), sr.get(), u.get(), MPFR_RNDN);
    mpfr_mul(si.get(), zi.get(), dr.get(), MPFR_RNDN);
    mpfr_mul(u.get(), zr.get(), di.get(), MPFR_RNDN);
    mpfr_sub(si.get(), si.get(), u.get(), MPFR_RNDN);
    mpfr_div(sr.get(), sr.get(), t.get(), MPFR_RNDN);
    mpfr_div(si.get(), si.get(), t.get(), MPFR_RNDN);
    mpfr_sub(cr.get(), cr.get(), sr.get(), MPFR_RNDN);
    mpfr_sub(ci.get(), ci.get(), si.get(), MPFR_RNDN);
    return NewtonMove{sqrt(toExtReal(sr.get()) * toExtReal(sr.get()) + toExtReal(si.get()) * toExtReal(si.get())),
                      sqrt(toExtReal(t.get()))};
}

// |z_p(c)| / derivative: the next Newton step's size where the derivative has
// hardly changed since the last step (near the nucleus), at a third of a
// step's work (no derivative is carried). Nothing if cancelled.
std::optional<ExtReal> mpfrNextStepSize(const MpfrValue& cr, const MpfrValue& ci, std::int64_t period,
                                        const ExtReal& derivative, const std::atomic<bool>* cancel) {
    const mpfr_prec_t bits = mpfr_get_prec(cr.get());
    MpfrValue zr(bits), zi(bits), sr(bits), si(bits), t(bits);
    mpfr_set_zero(zr.get(), 1);
    mpfr_set_zero(zi.get(), 1);
    const std::int64_t poll = mpfrPollInterval(bits);
    for (std::int64_t n = 0; n < period; ++n) {
        if (n % poll == 0 && cancel && cancel->load(std::memory_order_relaxed)) return std::nullopt;
        squareAdd(zr, zi, cr.get(), ci.get(), sr, si, t);
    }
    const ExtReal z = sqrt(toExtReal(zr.get()) * toExtReal(zr.get()) + toExtReal(zi.get()) * toExtReal(zi.get()));
    return z * ExtReal(1.0 / derivative.mantissa, -derivative.exponent);
}

// log2 of a positive ExtReal, roughly.
std::int64_t binaryExponent(const ExtReal& v) { return v.exponent; }

}  // namespace

bool BallPeriodScan::holdsZero(const OrbitPoint& previous, const OrbitPoint& current) {
    // The disc's image is about the derivative times the disc.
    const Complex d = twice(point(previous)) * Complex{derivativeRe_, derivativeIm_} + Complex{ExtReal(1.0), ExtReal()};
    derivativeRe_ = d.re;
    derivativeIm_ = d.im;
    return magnitude(point(current)) < radius_ * magnitude(d);
}

std::optional<MinibrotNucleus> findMinibrotNear(const DeepReference& reference, const ExtReal& radius,
                                                std::int64_t maxPeriod, int precisionBelow,
                                                const std::atomic<bool>* cancel, NucleusCheck check) {
    const std::vector<OrbitPoint>& orbit = reference.orbit();
    // Where Newton's method finds no nucleus for the disc's period (a wide
    // disc over a tangle of minibrots), smaller discs are tried.
    std::int64_t period = 0;
    Complex dc{};
    std::optional<PerturbedValue> found;
    ExtReal disc = radius;
    for (int attempt = 0; attempt < kDiscAttempts && !(found && !found->size.isZero()); ++attempt) {
        period = ballPeriod(orbit, disc, maxPeriod);
        if (period == 0) return std::nullopt;
        dc = Complex{};
        found = perturbedNewton(orbit, period, disc, dc, cancel);
        if (cancel && cancel->load(std::memory_order_relaxed)) return std::nullopt;
        disc = disc * ExtReal(kDiscShrink);
    }
    if (!found || found->size.isZero()) return std::nullopt;
    const ExtReal wanted = found->size * ExtReal(std::ldexp(1.0, -precisionBelow));
    ExtReal accuracy =
        std::max(magnitude(dc), radius * ExtReal(0x1p-8)) * ExtReal(std::ldexp(1.0, -kPerturbedStepBits + 4));
    // Enough bits for the reference point and for the accuracy wanted.
    const std::int64_t bits =
        std::max<std::int64_t>(reference.precisionBits(), -binaryExponent(std::min(wanted, accuracy)) + kGuardBits);
    MinibrotNucleus nucleus;
    nucleus.re = std::make_unique<MpfrValue>(static_cast<mpfr_prec_t>(bits));
    nucleus.im = std::make_unique<MpfrValue>(static_cast<mpfr_prec_t>(bits));
    MpfrValue offset(bits);
    setExtRealNearest(offset.get(), dc.re);
    mpfr_add(nucleus.re->get(), reference.centreRe().get(), offset.get(), MPFR_RNDN);
    setExtRealNearest(offset.get(), dc.im);
    mpfr_add(nucleus.im->get(), reference.centreIm().get(), offset.get(), MPFR_RNDN);
    // The derivative only scales a step: its relative error need only stay
    // far below the step's size over the nucleus's last bit, with what a
    // period's products lose (steps are at most about the radius).
    const std::int64_t derivativeBits =
        std::clamp<std::int64_t>(bits + binaryExponent(radius) + std::bit_width(static_cast<std::uint64_t>(period)) +
                                     kDerivativeGuardBits,
                                 kDerivativeGuardBits, bits);
    for (int step = 0; wanted < accuracy; ++step) {
        if (step == kMaxMpfrSteps) return std::nullopt;
        const std::optional<NewtonMove> moved =
            mpfrNewtonStep(*nucleus.re, *nucleus.im, period, static_cast<mpfr_prec_t>(derivativeBits), cancel);
        if (!moved) return std::nullopt;
        // Newton's method converges quadratically here: the next step is far
        // below this one, so this step bounds the distance left.
        accuracy = moved->size;
        if (!(wanted < accuracy) || moved->derivative.isZero()) break;
        // A step this far below the disc follows Newton's method in double,
        // which has converged: it has squared the distance left.
        if (check == NucleusCheck::Estimated && moved->size < radius * ExtReal(kConvergedStepBelowRadius)) break;
        // The next step's size bounds the distance left far more tightly;
        // where it is already small enough, that step is not taken.
        const std::optional<ExtReal> next =
            mpfrNextStepSize(*nucleus.re, *nucleus.im, period, moved->derivative, cancel);
        if (!next) return std::nullopt;
        if (*next < accuracy) accuracy = *next;
    }
    nucleus.period = period;
    nucleus.size = found->size;
    nucleus.accuracy = accuracy;
    return nucleus;
}

namespace {

// x as a decimal text with the digits down to 10^-decimals.
std::string decimalText(mpfr_srcptr x, std::int64_t decimals) {
    char* text = nullptr;
    mpfr_asprintf(&text, "%.*RNf", static_cast<int>(decimals), x);
    std::string out(text ? text : "0");
    mpfr_free_str(text);
    return out;
}

}  // namespace

std::optional<Minibrot> findMinibrot(const MinibrotSearch& search, const std::atomic<bool>* cancel) {
    if (!decimalTextProblem(search.re).empty() || !decimalTextProblem(search.im).empty() ||
        !decimalTextProblem(search.radius).empty() || search.maxPeriod < 1)
        return std::nullopt;
    MpfrValue probe(64);
    setDecimal(probe.get(), search.radius);
    if (mpfr_sgn(probe.get()) <= 0) return std::nullopt;
    const ExtReal radius = toExtReal(probe.get());
    const std::int64_t bits = std::max<std::int64_t>(kSearchMinBits, -radius.exponent + kSearchGuardBits);
    MpfrValue re(bits), im(bits);
    setDecimal(re.get(), search.re);
    setDecimal(im.get(), search.im);
    const bool extended = viewNumberType(radius.exponent) == NumberType::ExtendedRange;
    const DeepReference reference(re, im, search.maxPeriod, extended, radius * ExtReal(kSearchErrorCeiling), cancel);
    if (reference.cancelled()) return std::nullopt;
    std::optional<MinibrotNucleus> nucleus =
        findMinibrotNear(reference, radius, search.maxPeriod, search.precisionBelow, cancel);
    if (!nucleus) return std::nullopt;
    // Decimal digits down to the accuracy reached (log10 2 < 0.30103).
    const std::int64_t decimals = std::max<std::int64_t>(1, (-nucleus->accuracy.exponent) * 30103 / 100000 + 2);
    Minibrot out;
    out.re = decimalText(nucleus->re->get(), decimals);
    out.im = decimalText(nucleus->im->get(), decimals);
    out.period = nucleus->period;
    out.size = nucleus->size;
    out.bits = static_cast<int>(mpfr_get_prec(nucleus->re->get()));
    return out;
}

}  // namespace mandel
