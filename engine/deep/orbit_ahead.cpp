#include "deep/orbit_ahead.h"

#include <sched.h>

namespace mandel {

namespace {

// Points in flight between the two threads.
constexpr std::int64_t kSlots = 64;

}  // namespace

bool twoProcessors() {
    cpu_set_t set;
    CPU_ZERO(&set);
    return sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) >= 2;
}

OrbitAhead::OrbitAhead(mpfr_srcptr cr, mpfr_srcptr ci, std::int64_t last) : cr_(cr), ci_(ci), last_(last) {
    const mpfr_prec_t bits = mpfr_get_prec(cr);
    slots_.reserve(kSlots);
    for (std::int64_t k = 0; k < kSlots; ++k) slots_.push_back(Slot{MpfrValue(bits), MpfrValue(bits)});
    chain_ = std::make_unique<Chain>(Chain{MpfrValue(bits), MpfrValue(bits), MpfrValue(bits), MpfrValue(bits),
                                           MpfrValue(bits)});
    mpfr_set(chain_->zr.get(), cr, MPFR_RNDN);
    mpfr_set(chain_->zi.get(), ci, MPFR_RNDN);
    static const bool ahead = twoProcessors();
    if (ahead) helper_ = std::thread([this] { runAhead(); });
}

OrbitAhead::~OrbitAhead() {
    abandon_.store(true, std::memory_order_relaxed);
    if (helper_.joinable()) helper_.join();
}

// Z_m into its slot, and the chain on to Z_{m+1}.
void OrbitAhead::makePoint(std::int64_t m) {
    Slot& slot = slots_[static_cast<std::size_t>(m % kSlots)];
    Chain& c = *chain_;
    mpfr_set(slot.re.get(), c.zr.get(), MPFR_RNDN);
    mpfr_set(slot.im.get(), c.zi.get(), MPFR_RNDN);
    slot.exactStep = m < last_ && squareAdd(c.zr, c.zi, cr_, ci_, c.sr, c.si, c.t);
    written_.store(m, std::memory_order_release);
}

void OrbitAhead::runAhead() {
    for (std::int64_t m = 1; m <= last_; ++m) {
        // Slot m % kSlots is free once the walk has released m − kSlots.
        while (m - released_.load(std::memory_order_acquire) > kSlots) {
            if (abandon_.load(std::memory_order_relaxed)) return;
            std::this_thread::yield();
        }
        if (abandon_.load(std::memory_order_relaxed)) return;
        makePoint(m);
    }
}

OrbitAhead::Point OrbitAhead::wait(std::int64_t m) {
    if (!helper_.joinable()) {
        makePoint(m);
    } else {
        while (written_.load(std::memory_order_acquire) < m) std::this_thread::yield();
    }
    const Slot& slot = slots_[static_cast<std::size_t>(m % kSlots)];
    return {slot.re.get(), slot.im.get(), slot.exactStep};
}

void OrbitAhead::release(std::int64_t m) { released_.store(m, std::memory_order_release); }

}  // namespace mandel
