#include "deep/newton_orbit.h"

#include <thread>
#include <vector>

#include "deep/orbit_ahead.h"

namespace mandel {

namespace {

// Orbit values in flight between the two threads.
constexpr std::int64_t kRingSlots = 64;

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

bool serialOrbit(mpfr_srcptr cr, mpfr_srcptr ci, std::int64_t period, MpfrValue& zr, MpfrValue& zi, MpfrValue& dr,
                 MpfrValue& di, const std::atomic<bool>* cancel) {
    const mpfr_prec_t bits = mpfr_get_prec(zr.get()), derivativeBits = mpfr_get_prec(dr.get());
    MpfrValue sr(bits), si(bits), t(bits);
    MpfrValue roundedRe(derivativeBits), roundedIm(derivativeBits), dt(derivativeBits), du(derivativeBits);
    const std::int64_t poll = mpfrPollInterval(bits);
    for (std::int64_t n = 0; n < period; ++n) {
        if (n % poll == 0 && cancelled(cancel)) return false;
        mpfr_set(roundedRe.get(), zr.get(), MPFR_RNDN);
        mpfr_set(roundedIm.get(), zi.get(), MPFR_RNDN);
        derivativeStep(roundedRe.get(), roundedIm.get(), dr, di, dt, du);
        squareAdd(zr, zi, cr, ci, sr, si, t);
    }
    return true;
}

// The orbit on this thread, the derivative on a helper reading z_n from a
// ring of slots: slot n mod kRingSlots is written once the helper has
// consumed iteration n − kRingSlots, and read once the orbit has written n.
bool pipelinedOrbit(mpfr_srcptr cr, mpfr_srcptr ci, std::int64_t period, MpfrValue& zr, MpfrValue& zi, MpfrValue& dr,
                    MpfrValue& di, const std::atomic<bool>* cancel) {
    const mpfr_prec_t bits = mpfr_get_prec(zr.get()), derivativeBits = mpfr_get_prec(dr.get());
    std::vector<MpfrValue> ringRe, ringIm;
    ringRe.reserve(kRingSlots);
    ringIm.reserve(kRingSlots);
    for (std::int64_t k = 0; k < kRingSlots; ++k) {
        ringRe.emplace_back(derivativeBits);
        ringIm.emplace_back(derivativeBits);
    }
    std::atomic<std::int64_t> written{0}, consumed{0};
    std::atomic<bool> abandon{false};
    std::thread helper([&] {
        MpfrValue t(derivativeBits), u(derivativeBits);
        for (std::int64_t n = 0; n < period; ++n) {
            while (written.load(std::memory_order_acquire) <= n) {
                if (abandon.load(std::memory_order_relaxed)) return;
                std::this_thread::yield();
            }
            const std::size_t slot = static_cast<std::size_t>(n % kRingSlots);
            derivativeStep(ringRe[slot].get(), ringIm[slot].get(), dr, di, t, u);
            consumed.store(n + 1, std::memory_order_release);
        }
    });
    MpfrValue sr(bits), si(bits), t(bits);
    const std::int64_t poll = mpfrPollInterval(bits);
    bool finished = true;
    for (std::int64_t n = 0; n < period; ++n) {
        if (n % poll == 0 && cancelled(cancel)) {
            finished = false;
            break;
        }
        while (n - consumed.load(std::memory_order_acquire) >= kRingSlots) std::this_thread::yield();
        const std::size_t slot = static_cast<std::size_t>(n % kRingSlots);
        mpfr_set(ringRe[slot].get(), zr.get(), MPFR_RNDN);
        mpfr_set(ringIm[slot].get(), zi.get(), MPFR_RNDN);
        written.store(n + 1, std::memory_order_release);
        squareAdd(zr, zi, cr, ci, sr, si, t);
    }
    if (!finished) abandon.store(true, std::memory_order_relaxed);
    helper.join();
    return finished;
}

void startAtZero(MpfrValue& zr, MpfrValue& zi, MpfrValue& dr, MpfrValue& di) {
    for (MpfrValue* v : {&zr, &zi, &dr, &di}) mpfr_set_zero(v->get(), 1);
}

}  // namespace

bool newtonOrbit(mpfr_srcptr cr, mpfr_srcptr ci, std::int64_t period, MpfrValue& zr, MpfrValue& zi, MpfrValue& dr,
                 MpfrValue& di, const std::atomic<bool>* cancel) {
    static const bool pipelined = twoProcessors();
    if (!pipelined) return newtonOrbitOnOneThread(cr, ci, period, zr, zi, dr, di, cancel);
    startAtZero(zr, zi, dr, di);
    return pipelinedOrbit(cr, ci, period, zr, zi, dr, di, cancel);
}

bool newtonOrbitOnOneThread(mpfr_srcptr cr, mpfr_srcptr ci, std::int64_t period, MpfrValue& zr, MpfrValue& zi,
                            MpfrValue& dr, MpfrValue& di, const std::atomic<bool>* cancel) {
    startAtZero(zr, zi, dr, di);
    return serialOrbit(cr, ci, period, zr, zi, dr, di, cancel);
}

}  // namespace mandel
