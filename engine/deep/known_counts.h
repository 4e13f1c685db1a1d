#pragma once

// Pixels whose count follows without iterating, with a proof as strong as
// the iteration's:
// - a point certainly outside |c| ≤ 2 escapes at once: count 1;
// - a point exactly on the real axis with −2 ≤ c ≤ 1/4 never escapes (its
//   orbit stays in [−β, β], β = (1 + √(1 − 4c))/2 ≤ 2): count the limit;
// - a point inside the main cardioid or the disk |c + 1| < 1/4 is attracted
//   to a fixed point or a 2-cycle and never escapes: count the limit.
// Each column's real part and each row's imaginary part are enclosed in MPFR
// with directed rounding; "exactly 0" is decided in exact decimal arithmetic.

#include <cstdint>
#include <vector>

#include "deep/deep_view.h"
#include "deep/ext_real.h"

namespace mandel {

// True when every point within (reRadius, imRadius) of (re, im) lies inside
// the main cardioid or the period-2 disk, with margins for the rounding.
bool insideBulbs(double re, double reRadius, double im, double imRadius);

class KnownCounts {
public:
    // `bits`: the precision of the enclosures (the view's pixel precision).
    KnownCounts(const DeepView& view, int bits);

    // The count of pixel (x, y), or 0 when it must be iterated.
    std::int64_t count(int x, int y) const {
        const auto ix = static_cast<std::size_t>(x), iy = static_cast<std::size_t>(y);
        if (realAxis_[iy] && realInSet_[ix]) return limit_;
        if (nearBulbs_ && insideBulbs(reMid_[ix], reRadius_[ix], imMid_[iy], imRadius_[iy])) return limit_;
        return reLowSquare_[ix] + imLowSquare_[iy] > kOutsideSquares ? 1 : 0;
    }
    // True when every pixel's count is known.
    bool all() const { return all_; }
    // False when no pixel of row y has a known count.
    bool rowHasKnown(int y) const {
        const auto iy = static_cast<std::size_t>(y);
        return nearBulbs_ || realAxis_[iy] || highestReSquare_ + imLowSquare_[iy] > kOutsideSquares;
    }

private:
    // Lower bounds of (Re c)² + (Im c)² above this put c outside |c| ≤ 2
    // (their sum rounds by at most 2^-53 of it).
    static constexpr double kOutsideSquares = 4 * (1 + 0x1p-50);
    std::int64_t limit_;
    // Per column and row: a lower bound of (Re c)² and (Im c)² in double
    // (infinite where it is beyond double's range).
    std::vector<double> reLowSquare_, imLowSquare_;
    double highestReSquare_ = 0;  // the largest of reLowSquare_
    std::vector<char> realInSet_;  // per column: −2 ≤ Re c ≤ 1/4 certainly
    std::vector<char> realAxis_;   // per row: Im c = 0 exactly
    // Per column and row: the middle of the enclosure and its half width
    // (rounded up), in double.
    std::vector<double> reMid_, reRadius_, imMid_, imRadius_;
    bool all_ = false;
    // False where no pixel of the view can lie inside the main cardioid or
    // the period-2 disk (the per-pixel test is then left out).
    bool nearBulbs_ = true;
};

// False when no point of the box [reLow, reHigh] × [imLow, imHigh] lies inside
// the main cardioid or the period-2 disk; true when some may.
bool boxMayMeetBulbs(double reLow, double reHigh, double imLow, double imHigh);

// True when b + y·s/m = 0 exactly, for the decimal texts b and s.
bool exactlyZero(const std::string& b, const std::string& s, int m, int y);

}  // namespace mandel
