#include "deep/fixed_point_orbit.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <utility>

namespace mandel {

namespace {

// Bits before the point: |x| < 16 holds z² + c for |z| ≤ 2 + a little and |c| < 8.
constexpr long kIntegerBits = 4;
constexpr long kLimbBits = 64;

}  // namespace

FixedPointOrbit::FixedPointOrbit(long fractionBits)
    : limbs_((fractionBits + kIntegerBits + kLimbBits - 1) / kLimbBits),
      fraction_(limbs_ * kLimbBits - kIntegerBits),
      scratch_(static_cast<std::size_t>(2 * limbs_)) {
    // One limb more than the value needs: the shift out of a product writes it (as 0).
    for (Part* p : {&zr_, &zi_, &cr_, &ci_, &sum_, &difference_}) p->m.assign(static_cast<std::size_t>(limbs_ + 1), 0);
    scaleLimbs();
}

bool scaledToInteger(mpz_ptr whole, mpfr_srcptr value, long fraction) {
    mpfr_t scaled;
    mpfr_init2(scaled, mpfr_get_prec(value));
    mpfr_mul_2si(scaled, value, fraction, MPFR_RNDN);  // exact: a power of two
    const bool exact = mpfr_get_z(whole, scaled, MPFR_RNDN) == 0;
    mpfr_clear(scaled);
    return exact;
}

void FixedPointOrbit::set(Part& x, mpfr_srcptr value, bool& exact) {
    mpz_t whole;
    mpz_init(whole);
    exact = scaledToInteger(whole, value, fraction_) && exact;
    x.negative = mpz_sgn(whole) < 0;
    std::fill(x.m.begin(), x.m.end(), 0);
    const std::size_t size = mpz_size(whole);  // below 2^(64n) for |value| < 8
    for (std::size_t i = 0; i < size && i < static_cast<std::size_t>(limbs_); ++i)
        x.m[i] = mpz_getlimbn(whole, static_cast<mp_size_t>(i));
    mpz_clear(whole);
}

bool FixedPointOrbit::start(mpfr_srcptr cr, mpfr_srcptr ci) {
    bool exact = true;
    set(cr_, cr, exact);
    set(ci_, ci, exact);
    zr_ = cr_;
    zi_ = ci_;
    return exact;
}

bool FixedPointOrbit::takeTop(Part& out, bool doubled) {
    const unsigned shift = doubled ? kLimbBits - kIntegerBits - 1 : kLimbBits - kIntegerBits;
    const std::size_t n = static_cast<std::size_t>(limbs_);
    bool exact = (scratch_[n - 1] & ((mp_limb_t{1} << shift) - 1)) == 0;
    for (std::size_t i = 0; exact && i + 1 < n; ++i) exact = scratch_[i] == 0;
    mpn_rshift(out.m.data(), scratch_.data() + (n - 1), limbs_ + 1, shift);
    return exact;
}

void FixedPointOrbit::addSigned(Part& x, const Part& y) {
    if (x.negative == y.negative) {
        mpn_add_n(x.m.data(), x.m.data(), y.m.data(), limbs_);  // no carry: the sum stays below 16
    } else if (mpn_cmp(x.m.data(), y.m.data(), limbs_) >= 0) {
        mpn_sub_n(x.m.data(), x.m.data(), y.m.data(), limbs_);
    } else {
        mpn_sub_n(x.m.data(), y.m.data(), x.m.data(), limbs_);
        x.negative = y.negative;
    }
}

bool FixedPointOrbit::step() {
    // Re z² = (Re z + Im z)(Re z − Im z) = (a + b)·(a − b) with a = |Re z|
    // and b = |Im z|, and Im z² = 2·Re z·Im z: two products, each truncated
    // once.
    bool exact = true;
    const mp_limb_t* a = zr_.m.data();
    const mp_limb_t* b = zi_.m.data();
    mpn_add_n(sum_.m.data(), a, b, limbs_);  // no carry: the sum stays below 16
    difference_.negative = mpn_cmp(a, b, limbs_) < 0;
    if (difference_.negative)
        mpn_sub_n(difference_.m.data(), b, a, limbs_);
    else
        mpn_sub_n(difference_.m.data(), a, b, limbs_);
    mpn_mul_n(scratch_.data(), zr_.m.data(), zi_.m.data(), limbs_);
    const bool productNegative = zr_.negative != zi_.negative;
    exact = takeTop(zi_, true) && exact;
    zi_.negative = productNegative;
    addSigned(zi_, ci_);
    mpn_mul_n(scratch_.data(), sum_.m.data(), difference_.m.data(), limbs_);
    exact = takeTop(zr_, false) && exact;
    zr_.negative = difference_.negative;
    addSigned(zr_, cr_);
    return exact;
}

double FixedPointOrbit::topLimbs(const Part& x, long& top) const {
    top = limbs_ - 1;
    while (top >= 0 && x.m[static_cast<std::size_t>(top)] == 0) --top;
    if (top < 0) return 0.0;
    const double high = static_cast<double>(x.m[static_cast<std::size_t>(top)]);
    const double low = top > 0 ? static_cast<double>(x.m[static_cast<std::size_t>(top - 1)]) * 0x1p-64 : 0.0;
    return x.negative ? -(high + low) : high + low;
}

ExtReal FixedPointOrbit::approximate(const Part& x) const {
    long top = 0;
    const double value = topLimbs(x, top);
    return top < 0 ? ExtReal() : ExtReal(value, top * kLimbBits - fraction_);
}

double FixedPointOrbit::approximateNear(const Part& x) const {
    long top = 0;
    const double value = topLimbs(x, top);
    return top < 0 ? 0.0 : value * limbScale_[static_cast<std::size_t>(top)];
}

// 2^(64k − F) for each limb k where those are normal doubles, so that
// approximateNear scales by a product (exact) instead of a call.
void FixedPointOrbit::scaleLimbs() {
    limbScale_.assign(static_cast<std::size_t>(limbs_), 0.0);
    if (fraction_ > kDoubleFraction) return;
    for (long k = 0; k < limbs_; ++k)
        limbScale_[static_cast<std::size_t>(k)] = std::ldexp(1.0, static_cast<int>(k * kLimbBits - fraction_));
}

FixedPointOrbit::Dropped FixedPointOrbit::dropLowestLimb() {
    Dropped dropped;
    dropped.z = zr_.m[0] != 0 || zi_.m[0] != 0;
    dropped.c = cr_.m[0] != 0 || ci_.m[0] != 0;
    for (Part* p : {&zr_, &zi_, &cr_, &ci_, &sum_, &difference_}) p->m.erase(p->m.begin());
    --limbs_;
    fraction_ -= kLimbBits;
    scratch_.resize(static_cast<std::size_t>(2 * limbs_));
    scaleLimbs();
    return dropped;
}

void FixedPointOrbit::exact(mpfr_ptr re, mpfr_ptr im) const {
    for (auto [out, part] : {std::pair{re, &zr_}, std::pair{im, &zi_}}) {
        mpz_t whole;
        mpz_roinit_n(whole, part->m.data(), limbs_);
        mpfr_set_z_2exp(out, whole, -fraction_, MPFR_RNDN);  // exact with 64n bits
        if (part->negative) mpfr_neg(out, out, MPFR_RNDN);
    }
}

}  // namespace mandel
