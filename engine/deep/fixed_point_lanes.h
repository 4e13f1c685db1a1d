#pragma once

// Eight orbits z ← z² + c side by side in binary fixed point, with the
// arithmetic of FixedPointOrbit (each part ±M·2^-F, each of the two products
// a step truncated toward zero once, c added exactly), on AVX-512's 52-bit
// integer multiply-add: the magnitudes are held in limbs of 52 bits, one
// orbit per lane, and the products are three squares (a², b², (a + b)²) of
// the parts' magnitudes, formed from one column below the truncation up (and
// whole where those columns cannot tell the truncated value). Given the same
// F and the same points, each lane's z is FixedPointOrbit's bit for bit.
//
// It runs only on processors with that instruction (available()); elsewhere
// the orbits are made one at a time in FixedPointOrbit.

#include <mpfr.h>

#include <array>
#include <cstdint>

#include "deep/fixed_point_orbit.h"

namespace mandel {

class FixedPointLanes {
public:
    static constexpr int kLanes = 8;
    static constexpr long kLimbBits = 52;
    // Bits before the point, as in FixedPointOrbit: |x| < 16.
    static constexpr long kIntegerBits = 4;
    static constexpr int kMaxLimbs = 20;

    // Whether this processor has the instructions (x86-64 with AVX-512 IFMA).
    static bool available();
    // Whether lanes can hold a fraction of F bits.
    static bool fits(long fraction) { return fraction > 0 && fraction + kIntegerBits <= kMaxLimbs * kLimbBits; }

    // Room for F bits after the point (fits(F)); every lane holds z = c = 0.
    explicit FixedPointLanes(long fraction);

    // Lane `lane`'s orbit as FixedPointOrbit's at `fraction` (at most the
    // lanes' own, and 64n − 4 as FixedPointOrbit makes it): c and z = c from
    // MPFR values with |c| < 8; true when c was held exactly (else rounded to
    // nearest, within half a unit of 2^-fraction).
    bool start(int lane, long fraction, mpfr_srcptr cr, mpfr_srcptr ci);
    // z ← z² + c in every lane (|z| ≤ 2 + a little in the lanes of `live`
    // (bit k: lane k); the others compute garbage without harm); bit k set
    // when lane k truncated nothing.
    unsigned step(unsigned live = 0xFFu);

    // Lane `lane`'s parts as FixedPointOrbit::reNear and imNear give them
    // (its fraction at most FixedPointOrbit::kDoubleFraction).
    double reNear(int lane) const { return near(zr_, lane); }
    double imNear(int lane) const { return near(zi_, lane); }
    // reNear and imNear of the lanes of `wanted` (bit k: lane k) at once.
    void nearAll(unsigned wanted, std::array<double, kLanes>& re, std::array<double, kLanes>& im) const;
    // Lane `lane`'s FixedPointOrbit::dropLowestLimb: its fraction falls by
    // 64, its z and c cut toward 0 there; the lanes' own limbs follow when
    // every lane in `live` has left the lowest one.
    FixedPointOrbit::Dropped dropLowestLimb(int lane, unsigned live);
    // Lane `lane`'s z exactly, in MPFR numbers of at least limbs()·52 bits.
    void exact(int lane, mpfr_ptr re, mpfr_ptr im) const;
    // The lanes' own limbs and fraction, and lane `lane`'s fraction and
    // limbs as FixedPointOrbit counts them (64 bits each).
    long limbs() const { return limbs_; }
    long fraction() const { return fraction_; }
    long fraction(int lane) const { return laneFraction_[static_cast<std::size_t>(lane)]; }
    long orbitLimbs(int lane) const { return (fraction(lane) + kIntegerBits) / 64; }

    // Magnitudes limb by limb (least significant first), each limb one word
    // per lane; signs one bit per lane.
    struct Part {
        // Two limbs of zeros beyond the last, for reads of 64 bits from any bit.
        alignas(64) std::array<std::array<std::uint64_t, kLanes>, kMaxLimbs + 2> m{};
        unsigned negative = 0;
    };

private:
    double near(const Part& x, int lane) const;
    // The 64 bits of lane `lane`'s magnitude from bit `from` up.
    std::uint64_t bitsAt(const Part& x, int lane, long from) const;
    // Clears lane `lane`'s bits below `from`; true where any was set.
    bool cutBelow(Part& x, int lane, long from);
    void placeLane(int lane);
    void nearAll(unsigned wanted, const Part& x, std::array<double, kLanes>& out) const;
    void setPlace(int lane, long top);

    long limbs_;
    long fraction_;
    std::array<long, kLanes> laneFraction_{};
    Part zr_, zi_, cr_, ci_;
    Part keep_;  // the bits each lane keeps (those from 2^-fraction(lane) up)
    int maskedLimbs_ = 0;  // keep_'s limbs from this one up keep every bit of every lane
    static constexpr std::size_t kOrbitLimbs = (kMaxLimbs * kLimbBits) / 64 + 1;
    std::array<std::array<double, kOrbitLimbs>, kLanes> scale_{};  // see placeLane
    // Per lane, for nearAll: where its top two 64-bit limbs start among the
    // lanes' words (word index, bit offset; the lower one's at 0 where it has
    // one limb, and masked out), and the top one's scale.
    struct NearPlaces {
        alignas(64) std::array<std::int64_t, kLanes> topWord{}, topOffset{}, nextWord{}, nextOffset{}, hasNext{};
        alignas(64) std::array<double, kLanes> topScale{};
        // Every lane's two limbs at the same limb index and offsets: the
        // lanes' words are then read by whole vectors instead of gathers.
        bool sameLimbs = false;
    };
    NearPlaces places_;
};

// The error bounds of the lanes' orbits, kept as iterateOrbit keeps one
// orbit's in double, side by side (the same operations in the same order, so
// the same bounds).
struct LaneBounds {
    static constexpr int kLanes = FixedPointLanes::kLanes;
    alignas(64) std::array<double, kLanes> e{}, cErr{}, zAbs{}, stepRounding{};
};

struct LaneTests {
    unsigned escaped = 0;    // lanes whose bound says z escaped
    unsigned undecided = 0;  // lanes whose bound decides nothing
};

// For the lanes of `live`, from z̃ ≈ re + i·im: with `test`, the escape test
// against the bound e; and |z̃| rounded up, into zAbs. Like growBounds, only
// where FixedPointLanes::available().
LaneTests testLanes(const std::array<double, LaneBounds::kLanes>& re, const std::array<double, LaneBounds::kLanes>& im,
                    unsigned live, bool test, LaneBounds& bounds);

// e ← roundUp(e·(2|z̃| + e) + cErr + rounding) in the lanes of `live`, the
// rounding stepRounding but 0 in the lanes of `exact`. Returns the lanes of
// `live` where 2^63·stepRounding (the unit one limb up) < e·keptBelowBound.
unsigned growBounds(unsigned live, unsigned exact, LaneBounds& bounds, double keptBelowBound);

}  // namespace mandel
