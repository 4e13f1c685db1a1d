#include "deep/newton_orbit.h"

#include "deep/orbit_ahead.h"

namespace mandel {

namespace {

bool cancelled(const std::atomic<bool>* cancel) { return cancel && cancel->load(std::memory_order_relaxed); }

// d ← 2·z·d + 1, with t and u for scratch.
void derivativeStep(mpfr_srcptr zr, mpfr_srcptr zi, MpfrValue& dr, MpfrValue& di, MpfrValue& t, MpfrValue& u) {
    mpfr_mul(t.get(), zr, dr.get(), MPFR_RNDN);
    mpfr_mul(u.get(), zi, di.get(), MPFR_RNDN);
    mpfr_sub(t.get(), t.get(), u.get(), MPFR_RNDN);
    mpfr_mul(u.get(), zr, di.get(), MPFR_RNDN);
    mpfr_mul(di.get(), zi, dr.get(), MPFR_RNDN);
    mpfr_add(di.get(), di.get(), u.get(), MPFR_RNDN);
    mpfr_mul_2ui(di.get(), di.get(), 1, MPFR_RNDN);
    mpfr_mul_2ui(dr.get(), t.get(), 1, MPFR_RNDN);
    mpfr_add_ui(dr.get(), dr.get(), 1, MPFR_RNDN);
}

// The derivative's step from z rounded to the derivative's precision, with
// its scratch at that precision.
struct DerivativeChain {
    explicit DerivativeChain(mpfr_prec_t bits) : zr(bits), zi(bits), t(bits), u(bits) {}
    void step(mpfr_srcptr fromRe, mpfr_srcptr fromIm, MpfrValue& dr, MpfrValue& di) {
        mpfr_set(zr.get(), fromRe, MPFR_RNDN);
        mpfr_set(zi.get(), fromIm, MPFR_RNDN);
        derivativeStep(zr.get(), zi.get(), dr, di, t, u);
    }
    MpfrValue zr, zi, t, u;
};

bool serialOrbit(mpfr_srcptr cr, mpfr_srcptr ci, std::int64_t period, MpfrValue& zr, MpfrValue& zi, MpfrValue& dr,
                 MpfrValue& di, const std::atomic<bool>* cancel) {
    const mpfr_prec_t bits = mpfr_get_prec(zr.get());
    MpfrValue sr(bits), si(bits), t(bits);
    DerivativeChain derivative(mpfr_get_prec(dr.get()));
    const std::int64_t poll = mpfrPollInterval(bits);
    for (std::int64_t n = 0; n < period; ++n) {
        if (n % poll == 0 && cancelled(cancel)) return false;
        derivative.step(zr.get(), zi.get(), dr, di);
        squareAdd(zr, zi, cr, ci, sr, si, t);
    }
    return true;
}

// The orbit made with OrbitAhead's helper (ahead of this thread, or sharing
// each step), the derivative on this thread from each z_n as it comes.
bool helpedOrbit(mpfr_srcptr cr, mpfr_srcptr ci, std::int64_t period, MpfrValue& zr, MpfrValue& zi, MpfrValue& dr,
                 MpfrValue& di, const std::atomic<bool>* cancel) {
    DerivativeChain derivative(mpfr_get_prec(dr.get()));
    const std::int64_t poll = mpfrPollInterval(mpfr_get_prec(zr.get()));
    if (period < 1) return true;
    if (cancelled(cancel)) return false;
    derivative.step(zr.get(), zi.get(), dr, di);  // from z_0 = 0
    OrbitAhead orbit(cr, ci, period);
    for (std::int64_t n = 1; n < period; ++n) {
        if (n % poll == 0 && cancelled(cancel)) return false;
        const OrbitAhead::Point z = orbit.wait(n);
        derivative.step(z.re, z.im, dr, di);
        orbit.release(n);
    }
    const OrbitAhead::Point last = orbit.wait(period);
    mpfr_set(zr.get(), last.re, MPFR_RNDN);
    mpfr_set(zi.get(), last.im, MPFR_RNDN);
    return true;
}

void startAtZero(MpfrValue& zr, MpfrValue& zi, MpfrValue& dr, MpfrValue& di) {
    for (MpfrValue* v : {&zr, &zi, &dr, &di}) mpfr_set_zero(v->get(), 1);
}

}  // namespace

bool newtonOrbit(mpfr_srcptr cr, mpfr_srcptr ci, std::int64_t period, MpfrValue& zr, MpfrValue& zi, MpfrValue& dr,
                 MpfrValue& di, const std::atomic<bool>* cancel) {
    startAtZero(zr, zi, dr, di);
    return helpedOrbit(cr, ci, period, zr, zi, dr, di, cancel);
}

bool newtonOrbitOnOneThread(mpfr_srcptr cr, mpfr_srcptr ci, std::int64_t period, MpfrValue& zr, MpfrValue& zi,
                            MpfrValue& dr, MpfrValue& di, const std::atomic<bool>* cancel) {
    startAtZero(zr, zi, dr, di);
    return serialOrbit(cr, ci, period, zr, zi, dr, di, cancel);
}

}  // namespace mandel
