#pragma once

// The MPFR orbit of C computed ahead on a second thread, so that what a walk
// does with each point (conversions, bounds, storing it) overlaps the next
// squares instead of following them. Points pass through a ring of slots:
// the helper writes Z_m and whether the step from it rounded nothing, the
// walk reads them in order and releases each when it is done with it. On a
// single processor the points are made on the calling thread, one per wait.

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
    struct Point {
        mpfr_srcptr re, im;
        bool exactStep;  // Z_{m+1} = Z_m² + C rounded nothing
    };

    // Z_1 = C .. Z_last, at the precision of cr.
    OrbitAhead(mpfr_srcptr cr, mpfr_srcptr ci, std::int64_t last);
    ~OrbitAhead();
    OrbitAhead(const OrbitAhead&) = delete;
    OrbitAhead& operator=(const OrbitAhead&) = delete;

    // Z_m once it is made; m = 1, 2, … in turn, each released before the next.
    Point wait(std::int64_t m);
    void release(std::int64_t m);

private:
    struct Slot {
        MpfrValue re, im;
        bool exactStep = false;
    };
    struct Chain {
        MpfrValue zr, zi, sr, si, t;
    };
    void makePoint(std::int64_t m);
    void runAhead();

    mpfr_srcptr cr_, ci_;
    std::int64_t last_;
    std::vector<Slot> slots_;
    std::unique_ptr<Chain> chain_;
    std::atomic<std::int64_t> written_{0}, released_{0};
    std::atomic<bool> abandon_{false};
    std::thread helper_;
};

}  // namespace mandel
