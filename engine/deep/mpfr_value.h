#pragma once

// Owning wrappers around MPFR numbers, and the conversions the deep engine
// needs between MPFR and its double / extended-range numbers.

#include <mpfr.h>

#include <algorithm>
#include <cstdint>
#include <string>

#include "deep/ext_real.h"

namespace mandel {

class MpfrValue {
public:
    explicit MpfrValue(mpfr_prec_t bits) { mpfr_init2(value_, bits); }
    ~MpfrValue() { mpfr_clear(value_); }
    MpfrValue(const MpfrValue& other) : MpfrValue(mpfr_get_prec(other.value_)) {
        mpfr_set(value_, other.value_, MPFR_RNDN);
    }
    MpfrValue& operator=(const MpfrValue&) = delete;

    mpfr_ptr get() { return value_; }
    mpfr_srcptr get() const { return value_; }

private:
    mpfr_t value_;
};

// The value rounded to the nearest extended-range number (relative error at
// most 2^-53).
inline ExtReal toExtReal(mpfr_srcptr x) {
    if (mpfr_zero_p(x)) return {};
    long exponent = 0;
    const double mantissa = mpfr_get_d_2exp(&exponent, x, MPFR_RNDN);
    return ExtReal(mantissa, exponent);
}

// Sets x to the decimal text (checked by decimalTextProblem beforehand),
// rounded to x's precision in the direction `rounding`. Returns MPFR's
// ternary value: 0 when x is the text's value exactly.
inline int setDecimal(mpfr_ptr x, const std::string& text, mpfr_rnd_t rounding = MPFR_RNDN) {
    return mpfr_strtofr(x, text.c_str(), nullptr, 10, rounding);
}

// An ExtReal bound as an MPFR number (exact: x has at least 53 bits), rounded
// upward where it leaves MPFR's exponent range.
inline void setExtReal(mpfr_ptr x, const ExtReal& value) {
    if (value.isZero()) {
        mpfr_set_zero(x, 1);
        return;
    }
    mpfr_set_d(x, value.mantissa, MPFR_RNDU);
    mpfr_mul_2si(x, x, static_cast<long>(value.exponent), MPFR_RNDU);
}

// z ← z² + c in MPFR, each operation rounded to nearest at the precision of
// its result (sr, si and t are scratch numbers of z's precision). Returns
// true when no operation rounded: z is then the exact square plus c.
inline bool squareAdd(MpfrValue& zr, MpfrValue& zi, mpfr_srcptr cr, mpfr_srcptr ci, MpfrValue& sr, MpfrValue& si,
                      MpfrValue& t) {
    int inexact = mpfr_sqr(sr.get(), zr.get(), MPFR_RNDN);
    inexact |= mpfr_sqr(si.get(), zi.get(), MPFR_RNDN);
    inexact |= mpfr_mul(t.get(), zr.get(), zi.get(), MPFR_RNDN);
    inexact |= mpfr_sub(zr.get(), sr.get(), si.get(), MPFR_RNDN);
    inexact |= mpfr_add(zr.get(), zr.get(), cr, MPFR_RNDN);
    inexact |= mpfr_mul_2ui(zi.get(), t.get(), 1, MPFR_RNDN);
    inexact |= mpfr_add(zi.get(), zi.get(), ci, MPFR_RNDN);
    return inexact == 0;
}

// Iterations between two looks at cancel in an MPFR loop at `bits`: about
// 2^18 bit-iterations, at most a millisecond or two at any precision (an
// MPFR step costs roughly bits^1.6 / 10 ns and up).
inline std::int64_t mpfrPollInterval(std::int64_t bits) {
    constexpr std::int64_t kBitIterationsPerPoll = std::int64_t{1} << 18;
    return std::max<std::int64_t>(1, kBitIterationsPerPoll / std::max<std::int64_t>(bits, 1));
}

}  // namespace mandel
