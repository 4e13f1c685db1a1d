// The derivative dz/dc the distance estimate carries, against a finite
// difference of two orbits in MPFR: through approximation steps (a view at a
// minibrot whose table skips most iterations) and through rebasing (a view
// whose reference escapes long before its pixels).
#include <gtest/gtest.h>
#include <mpfr.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <utility>

#include "deep/bla_table.h"
#include "deep/deep_drawing.h"
#include "deep/deep_geometry.h"
#include "deep/deep_reference.h"
#include "deep/perturbation.h"
#include "deep_test_locations.h"

namespace {

using mandel::MpfrValue;

constexpr int kBits = 1200;

struct Orbit {
    std::int64_t count = 0;
    MpfrValue zr{kBits}, zi{kBits};
};

// z_n of c = C + δc + h (δc = (dr + i·di)·2^scale exactly, h real), n the
// first iteration with |z| > 2, or z_until when given.
Orbit exactOrbit(const mandel::DeepReference& reference, double dr, double di, long scale, std::int64_t until = 0,
                 mpfr_srcptr h = nullptr) {
    MpfrValue cr(kBits), ci(kBits), t(kBits), u(kBits), r(kBits);
    mpfr_set_d(cr.get(), dr, MPFR_RNDN);
    mpfr_mul_2si(cr.get(), cr.get(), scale, MPFR_RNDN);
    mpfr_add(cr.get(), cr.get(), reference.centreRe().get(), MPFR_RNDN);
    if (h != nullptr) mpfr_add(cr.get(), cr.get(), h, MPFR_RNDN);
    mpfr_set_d(ci.get(), di, MPFR_RNDN);
    mpfr_mul_2si(ci.get(), ci.get(), scale, MPFR_RNDN);
    mpfr_add(ci.get(), ci.get(), reference.centreIm().get(), MPFR_RNDN);
    Orbit o;
    mpfr_set(o.zr.get(), cr.get(), MPFR_RNDN);
    mpfr_set(o.zi.get(), ci.get(), MPFR_RNDN);
    for (o.count = 1;; ++o.count) {
        mpfr_hypot(r.get(), o.zr.get(), o.zi.get(), MPFR_RNDN);
        if (until == 0 ? mpfr_cmp_ui(r.get(), 2) > 0 : o.count == until) return o;
        mpfr_mul(t.get(), o.zr.get(), o.zi.get(), MPFR_RNDN);
        mpfr_sqr(u.get(), o.zi.get(), MPFR_RNDN);
        mpfr_sqr(o.zr.get(), o.zr.get(), MPFR_RNDN);
        mpfr_sub(o.zr.get(), o.zr.get(), u.get(), MPFR_RNDN);
        mpfr_add(o.zr.get(), o.zr.get(), cr.get(), MPFR_RNDN);
        mpfr_mul_2ui(o.zi.get(), t.get(), 1, MPFR_RNDN);
        mpfr_add(o.zi.get(), o.zi.get(), ci.get(), MPFR_RNDN);
    }
}

struct Checked {
    std::int64_t count = 0;
    std::int64_t skipped = 0;
    double relativeError = 0;
};

// The engine's dz/dc at the pixel's escape against (z_n(c + h) − z_n(c))/h.
Checked checkPixel(const mandel::DeepReference& reference, const mandel::BlaTable& table, double dr, double di,
                   long scale) {
    const auto never = [] { return false; };
    std::int64_t made = 0, skipped = 0;
    const double dcAbs = std::ldexp(std::hypot(dr, di), static_cast<int>(scale)) * (1 + 0x1p-50);
    const mandel::PixelOffset<double> dc{std::ldexp(dr, static_cast<int>(scale)),
                                         std::ldexp(di, static_cast<int>(scale)), 0, dcAbs};
    mandel::PixelTrace trace;
    trace.carryDerivative = true;
    const std::int64_t count = mandel::perturbedCount(reference.orbit(), dc, reference.limit(), never, made, false,
                                                      mandel::BlaUse<double>{table.doubles(), &skipped}, &trace);
    const Orbit at = exactOrbit(reference, dr, di, scale);
    EXPECT_EQ(count, at.count);
    // A central difference with a step of 2^-36 of the offset: its error
    // (the step squared) is far below the derivative's rounding, and the
    // step far above the 1200 bits' rounding.
    MpfrValue h(kBits), fr(kBits), fi(kBits), back(kBits);
    mpfr_set_d(h.get(), std::fabs(dr), MPFR_RNDN);
    mpfr_mul_2si(h.get(), h.get(), scale - 36, MPFR_RNDN);
    mpfr_neg(back.get(), h.get(), MPFR_RNDN);
    const Orbit ahead = exactOrbit(reference, dr, di, scale, at.count, h.get());
    const Orbit behind = exactOrbit(reference, dr, di, scale, at.count, back.get());
    mpfr_sub(fr.get(), ahead.zr.get(), behind.zr.get(), MPFR_RNDN);
    mpfr_sub(fi.get(), ahead.zi.get(), behind.zi.get(), MPFR_RNDN);
    mpfr_mul_2ui(h.get(), h.get(), 1, MPFR_RNDN);
    mpfr_div(fr.get(), fr.get(), h.get(), MPFR_RNDN);
    mpfr_div(fi.get(), fi.get(), h.get(), MPFR_RNDN);
    // |engine − difference| / |difference|, in the extended range.
    const mandel::ExtReal er = trace.derivative.realPart() - mandel::toExtReal(fr.get());
    const mandel::ExtReal ei = trace.derivative.imagPart() - mandel::toExtReal(fi.get());
    const mandel::ExtReal fr2 = mandel::toExtReal(fr.get()), fi2 = mandel::toExtReal(fi.get());
    const mandel::ExtReal error = sqrt(er * er + ei * ei), size = sqrt(fr2 * fr2 + fi2 * fi2);
    return {count, skipped,
            std::ldexp(error.mantissa / size.mantissa, static_cast<int>(error.exponent - size.exponent))};
}

TEST(DeepArithDerivative, ThroughApproximationStepsAndRebasing) {
    using namespace mandel::test;
    // At the minibrot the table skips most iterations; at the early-escape
    // view's own centre the reference escapes long before the pixels, which
    // then rebase (their counts pass its length).
    const mandel::DeepView minibrot{{kMinibrot1e29.realMin, kMinibrot1e29.imagMin, "1e-29", 3000}, 16, 16};
    const mandel::DeepView early{{kEarlyEscape1e29.realMin, kEarlyEscape1e29.imagMin, "1e-29", 3000}, 16, 16};
    mandel::DeepDrawing drawing(minibrot);
    ASSERT_TRUE(drawing.prepare());
    const mandel::DeepGeometry g = mandel::deepGeometry(early);
    const mandel::DeepReference escaping(*g.centreRe, *g.centreIm, 3000, false, g.spacing * mandel::ExtReal(0x1p-60),
                                         nullptr);
    for (const mandel::DeepReference* reference : {drawing.reference().get(), &escaping}) {
        const mandel::BlaTable table(reference->orbit(), mandel::ExtReal(1e-29), false, mandel::kBlaTolerance);
        std::int64_t skipped = 0, longest = 0;
        for (auto [dr, di] : {std::pair{0.3, 0.1}, {-0.45, 0.2}, {0.05, -0.49}, {0.4, 0.45}}) {
            const Checked c = checkPixel(*reference, table, dr, di, -97);
            EXPECT_LT(c.relativeError, 1e-9) << reference->orbit().size() << " " << dr << "," << di;
            skipped += c.skipped;
            longest = std::max(longest, c.count);
        }
        EXPECT_GT(skipped, 0) << "the approximation steps were taken";
        if (reference == &escaping) {
            EXPECT_GT(longest, static_cast<std::int64_t>(reference->orbit().size()));
        }
    }
}

}  // namespace
