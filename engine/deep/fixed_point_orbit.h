#pragma once

// A point's orbit z ← z² + c in binary fixed point on GMP's limb routines:
// each part is ±M·2^-F with M held in n limbs and F = 64n − 4 (|x| < 16).
// A step truncates each of its two products once, so it errs by less than
// 2^-F in each part whatever z's size, and it says when it truncated
// nothing. Without MPFR's normalisation and rounding per operation it is a
// few times cheaper at the same number of bits.

#include <gmp.h>
#include <mpfr.h>

#include <vector>

#include "deep/ext_real.h"

namespace mandel {

// value·2^fraction rounded to the nearest integer, into `whole`; true when
// that was exact.
bool scaledToInteger(mpz_ptr whole, mpfr_srcptr value, long fraction);

class FixedPointOrbit {
public:
    // Room for at least `fractionBits` bits after the point.
    explicit FixedPointOrbit(long fractionBits);
    // The fraction F such an orbit has: 64n − 4 for the fewest limbs n.
    static long fractionFor(long fractionBits) { return (fractionBits + 4 + 63) / 64 * 64 - 4; }

    // c and z = c from MPFR values with |c| < 8; true when c was held exactly
    // (else it was rounded to nearest, within half a unit).
    bool start(mpfr_srcptr cr, mpfr_srcptr ci);
    // z ← z² + c for |z| ≤ 2 + a little; true when nothing was truncated.
    bool step();

    // The parts of z, each within a relative 2^-51 (0 where zero); as doubles
    // while fraction() ≤ kDoubleFraction (every nonzero part is then a normal
    // double).
    ExtReal re() const { return approximate(zr_); }
    ExtReal im() const { return approximate(zi_); }
    static constexpr long kDoubleFraction = 1000;
    double reNear() const { return approximateNear(zr_); }
    double imNear() const { return approximateNear(zi_); }
    // Drops the lowest limb of z and c (F falls by 64; at least two limbs):
    // each part is truncated by less than one unit of the new 2^-F. Says
    // whether z, and whether c, lost anything.
    struct Dropped {
        bool z = false;
        bool c = false;
    };
    Dropped dropLowestLimb();
    // z exactly, in MPFR numbers of at least limbs()·64 bits.
    void exact(mpfr_ptr re, mpfr_ptr im) const;
    // The unit of the last place, 2^-F.
    ExtReal unit() const { return ExtReal(1.0, -fraction_); }
    long limbs() const { return limbs_; }
    long fraction() const { return fraction_; }

private:
    struct Part {
        std::vector<mp_limb_t> m;  // magnitude, least significant limb first
        bool negative = false;
    };
    // The top two nonzero limbs of x as a double, and the top one's index
    // (−1 for zero).
    double topLimbs(const Part& x, long& top) const;
    ExtReal approximate(const Part& x) const;
    double approximateNear(const Part& x) const;
    void set(Part& x, mpfr_srcptr value, bool& exact);
    // out = top of the 2n-limb product in scratch_, shifted so that it is
    // back in units of 2^-F (times 2 with `doubled`); true when exact.
    bool takeTop(Part& out, bool doubled);
    void addSigned(Part& x, const Part& y);
    void scaleLimbs();

    long limbs_;
    long fraction_;
    Part zr_, zi_, cr_, ci_, sum_, difference_;
    std::vector<mp_limb_t> scratch_;
    std::vector<double> limbScale_;  // see scaleLimbs
};

}  // namespace mandel
