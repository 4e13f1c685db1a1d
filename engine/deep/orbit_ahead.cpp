#include "deep/orbit_ahead.h"

#include <sched.h>

namespace mandel {

namespace {

// Points in flight between the two threads making them ahead.
constexpr std::size_t kAheadSlots = 64;
// Sharing a step: Z_m is read while Z_{m+1} is made, and Z_{m-1} may still be
// in the walk's hands when the helper starts on Z_{m+1}.
constexpr std::size_t kSplitSlots = 3;

}  // namespace

bool twoProcessors() {
    cpu_set_t set;
    CPU_ZERO(&set);
    return sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) >= 2;
}

OrbitAhead::OrbitAhead(mpfr_srcptr cr, mpfr_srcptr ci, std::int64_t last) : cr_(cr), ci_(ci), last_(last) {
    const mpfr_prec_t bits = mpfr_get_prec(cr);
    static const bool helped = twoProcessors();
    if (helped) mode_ = bits >= kSplitBits ? Mode::Split : Mode::Ahead;
    const std::size_t slots = mode_ == Mode::Split ? kSplitSlots : kAheadSlots;
    slots_.reserve(slots);
    for (std::size_t k = 0; k < slots; ++k) slots_.push_back(Slot{MpfrValue(bits), MpfrValue(bits)});
    scratch_ = std::make_unique<Scratch>(
        Scratch{MpfrValue(bits), MpfrValue(bits), MpfrValue(bits), MpfrValue(bits), MpfrValue(bits)});
    mpfr_set(scratch_->zr.get(), cr, MPFR_RNDN);
    mpfr_set(scratch_->zi.get(), ci, MPFR_RNDN);
    if (mode_ == Mode::Split) {
        mpfr_set(slot(1).re.get(), cr, MPFR_RNDN);
        mpfr_set(slot(1).im.get(), ci, MPFR_RNDN);
        written_.store(1, std::memory_order_relaxed);
        released_.store(1, std::memory_order_relaxed);
        helper_ = std::thread([this] { runImaginary(); });
    } else if (mode_ == Mode::Ahead) {
        helper_ = std::thread([this] { runAhead(); });
    }
}

OrbitAhead::~OrbitAhead() {
    abandon_.store(true, std::memory_order_relaxed);
    if (helper_.joinable()) helper_.join();
}

// Spins (yielding) until ready() holds; false if abandoned meanwhile.
template <class Ready>
bool OrbitAhead::spinUntil(Ready ready) {
    while (!ready()) {
        if (abandon_.load(std::memory_order_relaxed)) return false;
        std::this_thread::yield();
    }
    return true;
}

// Z_m into its slot, and the chain on to Z_{m+1}.
void OrbitAhead::makePoint(std::int64_t m) {
    Slot& s = slot(m);
    Scratch& c = *scratch_;
    mpfr_set(s.re.get(), c.zr.get(), MPFR_RNDN);
    mpfr_set(s.im.get(), c.zi.get(), MPFR_RNDN);
    s.exactRe = m < last_ && squareAdd(c.zr, c.zi, cr_, ci_, c.sr, c.si, c.t);
    written_.store(m, std::memory_order_release);
}

void OrbitAhead::runAhead() {
    const auto slots = static_cast<std::int64_t>(slots_.size());
    for (std::int64_t m = 1; m <= last_; ++m) {
        // The slot is free once the walk has released the point it held.
        if (!spinUntil([&] { return m - released_.load(std::memory_order_acquire) <= slots; })) return;
        makePoint(m);
    }
}

// Re Z_{m+1} = (Re Z_m)² − (Im Z_m)² + Re C, squareAdd's operations for it.
void OrbitAhead::stepRe(std::int64_t m) {
    const Slot& from = slot(m);
    Slot& to = slot(m + 1);
    Scratch& c = *scratch_;
    int inexact = mpfr_sqr(c.sr.get(), from.re.get(), MPFR_RNDN);
    inexact |= mpfr_sqr(c.si.get(), from.im.get(), MPFR_RNDN);
    inexact |= mpfr_sub(to.re.get(), c.sr.get(), c.si.get(), MPFR_RNDN);
    inexact |= mpfr_add(to.re.get(), to.re.get(), cr_, MPFR_RNDN);
    slot(m).exactRe = inexact == 0;
    released_.store(m + 1, std::memory_order_release);  // Split: Re Z_{m+1} is made
}

// The helper's share: Im Z_{m+1} = 2·Re Z_m·Im Z_m + Im C, once Re Z_m is made.
void OrbitAhead::runImaginary() {
    MpfrValue t(mpfr_get_prec(cr_));
    for (std::int64_t m = 1; m < last_; ++m) {
        if (!spinUntil([&] { return released_.load(std::memory_order_acquire) >= m; })) return;
        const Slot& from = slot(m);
        int inexact = mpfr_mul(t.get(), from.re.get(), from.im.get(), MPFR_RNDN);
        Slot& to = slot(m + 1);
        inexact |= mpfr_mul_2ui(to.im.get(), t.get(), 1, MPFR_RNDN);
        inexact |= mpfr_add(to.im.get(), to.im.get(), ci_, MPFR_RNDN);
        slot(m).exactIm = inexact == 0;
        written_.store(m + 1, std::memory_order_release);
    }
}

OrbitAhead::Point OrbitAhead::wait(std::int64_t m) {
    if (mode_ == Mode::Alone) {
        makePoint(m);
    } else {
        while (written_.load(std::memory_order_acquire) < m) std::this_thread::yield();
        if (mode_ == Mode::Split && m < last_) stepRe(m);
    }
    const Slot& s = slot(m);
    return {s.re.get(), s.im.get()};
}

bool OrbitAhead::exactStep(std::int64_t m) {
    if (m >= last_) return false;
    if (mode_ == Mode::Split) {
        while (written_.load(std::memory_order_acquire) < m + 1) std::this_thread::yield();
    }
    const Slot& s = slot(m);
    return s.exactRe && s.exactIm;
}

void OrbitAhead::release(std::int64_t m) {
    if (mode_ == Mode::Ahead) released_.store(m, std::memory_order_release);
}

}  // namespace mandel
