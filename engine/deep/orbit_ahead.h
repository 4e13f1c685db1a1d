#pragma once

// The MPFR orbit of C with a second thread's help, so that a walk's own work
// on each point (conversions, bounds, storing it) no longer adds to the
// squares' time. Below kSplitBits the helper makes the points ahead and
// passes them through a ring of slots, the walk reading them in order and
// releasing each when done with it. From kSplitBits up, where the products
// dominate, the two threads share each step in lockstep: the walk makes
// Re Z² + C (two squares), the helper Im Z² + C (one product). Either way the
// points are those of one loop. On a single processor the walk makes them alone.

#include <atomic>
#include <cstdint>
#include <memory>
#include <thread>
#include <vector>

#include "deep/mpfr_value.h"

namespace mandel {

// Whether this process may run on two processors at once.
bool twoProcessors();

class OrbitAhead {
public:
    // From this precision up the threads share each step.
    static constexpr mpfr_prec_t kSplitBits = 2048;

    struct Point {
        mpfr_srcptr re, im;
    };

    // Z_1 = C .. Z_last, at the precision of cr.
    OrbitAhead(mpfr_srcptr cr, mpfr_srcptr ci, std::int64_t last);
    ~OrbitAhead();
    OrbitAhead(const OrbitAhead&) = delete;
    OrbitAhead& operator=(const OrbitAhead&) = delete;

    // Z_m once it is made; m = 1, 2, … in turn, each released before the next.
    Point wait(std::int64_t m);
    // After wait(m): whether Z_{m+1} = Z_m² + C rounded nothing.
    bool exactStep(std::int64_t m);
    void release(std::int64_t m);

private:
    enum class Mode { Alone, Ahead, Split };
    // Z_m, and whether the two parts of the step from it were exact.
    struct Slot {
        MpfrValue re, im;
        bool exactRe = false, exactIm = true;
    };
    struct Scratch {
        MpfrValue zr, zi, sr, si, t;
    };
    Slot& slot(std::int64_t m) { return slots_[static_cast<std::size_t>(m) % slots_.size()]; }
    void makePoint(std::int64_t m);
    void runAhead();
    void stepRe(std::int64_t m);
    void runImaginary();
    template <class Ready>
    bool spinUntil(Ready ready);

    mpfr_srcptr cr_, ci_;
    std::int64_t last_;
    Mode mode_ = Mode::Alone;
    std::vector<Slot> slots_;
    std::unique_ptr<Scratch> scratch_;
    // Ahead: points written and released. Split: real and imaginary parts made up to.
    std::atomic<std::int64_t> written_{0}, released_{0};
    std::atomic<bool> abandon_{false};
    std::thread helper_;
};

}  // namespace mandel
