// Perturbation against a reference that escapes long before the pixels (every
// pixel must rebase onto Z_0 = 0 to continue) and against a reference near 0
// in extended range: every count it decides is the MPFR-settled count.
#include <gtest/gtest.h>

#include <atomic>
#include <string>

#include "deep/deep_drawing.h"
#include "deep/deep_reference.h"
#include "deep/perturbation.h"
#include "deep/mpfr_pixel.h"

namespace {

using mandel::DeepLocation;
using mandel::ExtReal;
using mandel::MpfrValue;
using mandel::PixelOffset;

struct Probe {
    std::int64_t perturbed;
    std::int64_t settled;
};

// Pixel (x, y) of a view of `span` pixels at the location, against the
// reference point (cr, ci), in the number type R.
template <class R>
Probe probe(const DeepLocation& where, int span, int x, int y, const char* cr, const char* ci, int bits,
            std::int64_t ceilingExponent) {
    MpfrValue re(bits), im(bits), d(bits * 2), h(bits * 2), a(bits * 2);
    mpfr_set_str(re.get(), cr, 10, MPFR_RNDN);
    mpfr_set_str(im.get(), ci, 10, MPFR_RNDN);
    const mandel::DeepReference reference(re, im, where.limit, std::is_same_v<R, ExtReal>,
                                          ExtReal(1.0, ceilingExponent), nullptr);
    PixelOffset<ExtReal> dc;
    mpfr_set_str(h.get(), where.side.c_str(), 10, MPFR_RNDN);
    mpfr_div_si(h.get(), h.get(), span, MPFR_RNDN);
    for (int axis = 0; axis < 2; ++axis) {
        mpfr_set_str(a.get(), axis ? where.imagMin.c_str() : where.realMin.c_str(), 10, MPFR_RNDN);
        mpfr_mul_si(d.get(), h.get(), axis ? y : x, MPFR_RNDN);
        mpfr_add(d.get(), d.get(), a.get(), MPFR_RNDN);
        mpfr_sub(d.get(), d.get(), axis ? im.get() : re.get(), MPFR_RNDN);
        (axis ? dc.im : dc.re) = mandel::toExtReal(d.get());
    }
    // Far more than the rounding of the offsets at twice the bits.
    dc.err = ExtReal(0x1p-50) * (abs(dc.re) + abs(dc.im)) + ExtReal(1.0, -bits);
    dc.abs = abs(dc.re) + abs(dc.im);
    auto never = [] { return false; };
    std::int64_t made = 0;
    Probe result{};
    if constexpr (std::is_same_v<R, double>) {
        const PixelOffset<double> d2{dc.re.toDouble(), dc.im.toDouble(), dc.err.toDouble(), dc.abs.toDouble()};
        result.perturbed = mandel::perturbedCount(reference.orbit(), d2, where.limit, never, made);
    } else {
        result.perturbed = mandel::perturbedCount(reference.orbit(), dc, where.limit, never, made);
    }
    result.settled = mandel::mpfrPixelCount(where, span, x, y, bits, mandel::kMaxSettleBits, never).count;
    return result;
}

TEST(DeepArithRebase, ReferenceEscapingEarlyServesInteriorAndLateEscapes) {
    // The reference 0.3 escapes after a few dozen iterations; the pixels lie
    // in the main cardioid (never escape) or on the boundary near 0.25.
    const DeepLocation where{"-0.5", "-0.5", "0.75", 3000};
    for (int y : {0, 5, 8, 15})
        for (int x : {0, 4, 8, 15}) {
            const Probe p = probe<double>(where, 16, x, y, "0.3", "0", 120, -70);
            if (p.perturbed == mandel::kUndecidedCount) continue;
            EXPECT_EQ(p.perturbed, p.settled) << x << "," << y;
        }
    const Probe interior = probe<double>(where, 16, 8, 8, "0.3", "0", 120, -70);  // c = −0.125 − 0.125i
    EXPECT_EQ(interior.perturbed, 3000);
}

TEST(DeepArithRebase, ExtendedRangeAroundTheMisiurewiczPointI) {
    // Side 1e-700 around i (spacing about 2^-2329): offsets and the bound far
    // below double's range; the reference i never escapes.
    const std::string nines(700, '9');
    const DeepLocation where{"-5e-701", "0." + nines + "5", "1e-700", 5000};
    int decided = 0;
    for (int y : {0, 3, 8, 12})
        for (int x : {0, 7, 8, 15}) {
            const Probe p = probe<ExtReal>(where, 16, x, y, "0", "1", 2500, -2329 - 60);
            if (p.perturbed == mandel::kUndecidedCount) continue;
            ++decided;
            EXPECT_EQ(p.perturbed, p.settled) << x << "," << y;
        }
    EXPECT_GT(decided, 8);
}

}  // namespace
