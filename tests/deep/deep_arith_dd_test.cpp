// The perturbation steps, in double (the drawing's loop) and in double-double
// (its settling), one by one against exact orbits (MPFR, far more bits than
// needed): after every step the exact δz = z_i − Z_m must lie within the
// carried bound, through rebases, and the count must be the exact orbit's
// escape iteration. Also the double-double counts below double's range.
#include <gtest/gtest.h>
#include <mpfr.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <random>
#include <type_traits>
#include <vector>

#include "deep/dd_bla_table.h"
#include "deep/deep_drawing.h"
#include "deep/double_double_perturbation.h"
#include "deep/deep_geometry.h"
#include "deep/deep_reference.h"
#include "deep/perturbation.h"
#include "deep/rescaled_perturbation.h"
#include "deep/minibrot_finder.h"
#include "deep/mpfr_pixel.h"
#include "deep/product_error.h"
#include "deep_test_locations.h"

namespace {

using mandel::DoubleDouble;
using mandel::ExtReal;
using mandel::MpfrValue;

constexpr int kExactBits = 2000;

struct Complex {
    MpfrValue re{kExactBits}, im{kExactBits};
};

void squarePlus(Complex& z, const Complex& c, MpfrValue& t, MpfrValue& u) {
    mpfr_mul(t.get(), z.re.get(), z.im.get(), MPFR_RNDN);
    mpfr_sqr(u.get(), z.im.get(), MPFR_RNDN);
    mpfr_sqr(z.re.get(), z.re.get(), MPFR_RNDN);
    mpfr_sub(z.re.get(), z.re.get(), u.get(), MPFR_RNDN);
    mpfr_add(z.re.get(), z.re.get(), c.re.get(), MPFR_RNDN);
    mpfr_mul_2ui(z.im.get(), t.get(), 1, MPFR_RNDN);
    mpfr_add(z.im.get(), z.im.get(), c.im.get(), MPFR_RNDN);
}

void setDoubleDouble(mpfr_ptr out, const DoubleDouble& x) {
    mpfr_set_d(out, x.hi, MPFR_RNDN);
    mpfr_add_d(out, out, x.lo, MPFR_RNDN);
}

// |a − (b − c)| for the real parts and the imaginary parts together.
double distance(const DoubleDouble& ar, const DoubleDouble& ai, const Complex& b, const Complex& c) {
    MpfrValue x(kExactBits), y(kExactBits), d(kExactBits);
    setDoubleDouble(d.get(), ar);
    mpfr_sub(x.get(), b.re.get(), c.re.get(), MPFR_RNDN);
    mpfr_sub(x.get(), x.get(), d.get(), MPFR_RNDN);
    setDoubleDouble(d.get(), ai);
    mpfr_sub(y.get(), b.im.get(), c.im.get(), MPFR_RNDN);
    mpfr_sub(y.get(), y.get(), d.get(), MPFR_RNDN);
    mpfr_hypot(d.get(), x.get(), y.get(), MPFR_RNDU);
    return mpfr_get_d(d.get(), MPFR_RNDU);
}

struct Walk {
    std::int64_t count = 0;
    std::int64_t exactCount = 0;
    int rebases = 0;
    int violations = 0;
    double worstRatio = 0;  // largest bound / |δz|
    std::int64_t longestStep = 0;
};

// The drawing's own loop (double) and its settling (double-double), one
// iteration at a time, for the walk below.
struct DoubleSteps {
    DoubleSteps(const mandel::DeepReference& reference, DoubleDouble dcr, DoubleDouble dci, std::int64_t limit)
        : dc{dcr.hi, dci.hi, 0, mandel::magnitudeUp(dcr, dci)},
          run(reference.orbit(), dc, limit, {}),
          st{dc.re, dc.im, 0, 1, 1} {}
    static constexpr double kRounding = 0x1p-52;  // of one sum, relative to |δc|
    std::int64_t step() { return mandel::perturbStep(run, st, made); }
    void offsetBy(double off) { st.dzr += off; }
    DoubleDouble dzr() const { return {st.dzr, 0}; }
    DoubleDouble dzi() const { return {st.dzi, 0}; }
    mandel::PixelOffset<double> dc;
    mandel::PerturbRun<double> run;
    mandel::PerturbState<double> st;
    std::int64_t made = 0;
};

struct DoubleDoubleSteps {
    DoubleDoubleSteps(const mandel::DeepReference& reference, DoubleDouble dcr, DoubleDouble dci, std::int64_t limit)
        : reference(reference),
          dc{dcr, dci, 0, mandel::magnitudeUp(dcr, dci), 0, false, {}},
          limit(limit),
          st(mandel::startState(dc)) {}
    static constexpr double kRounding = 0x1p-100;
    std::int64_t step() { return mandel::doubleDoubleStep(reference.orbit(), reference.orbitLow(), dc, limit, st); }
    void offsetBy(double off) { st.dzr = st.dzr + DoubleDouble{off, 0}; }
    DoubleDouble dzr() const { return st.dzr; }
    DoubleDouble dzi() const { return st.dzi; }
    const mandel::DeepReference& reference;
    mandel::DoubleDoubleOffset dc;
    std::int64_t limit;
    mandel::DoubleDoubleState st;
};

// Where a walk of a loop that keeps its state in its own form stands: the
// bound (absolute) and the indices, as the walk reads and sets them.
struct StepPosition {
    double e = 0;
    std::int64_t m = 1, i = 1;
};

// The double-double steps up to the first rebase, then the double steps from
// the state the settling hands over there.
struct HandedOffSteps {
    HandedOffSteps(const mandel::DeepReference& reference, DoubleDouble dcr, DoubleDouble dci, std::int64_t limit)
        : dd(reference, dcr, dci, limit), plain(reference, dcr, dci, limit) {}
    static constexpr double kRounding = 0x1p-100;
    StepPosition st;
    std::int64_t step() {
        std::int64_t r;
        if (handed) {
            plain.st.e = st.e;
            r = plain.step();
        } else {
            dd.st.e = st.e;
            r = mandel::doubleDoubleStep(dd.reference.orbit(), dd.reference.orbitLow(), dd.dc, dd.limit, dd.st, true);
            if (r == mandel::kSwitchCount) {
                plain.st = mandel::handedToDouble(dd.st);
                handed = true;
                r = 0;
            }
        }
        st = handed ? StepPosition{plain.st.e, plain.st.m, plain.st.i} : StepPosition{dd.st.e, dd.st.m, dd.st.i};
        return r;
    }
    void offsetBy(double off) { dd.offsetBy(off); }
    DoubleDouble dzr() const { return handed ? plain.dzr() : dd.dzr(); }
    DoubleDouble dzi() const { return handed ? plain.dzi() : dd.dzi(); }
    DoubleDoubleSteps dd;
    DoubleSteps plain;
    bool handed = false;
};

// The rescaled double steps (δz = w·2^k), with the extended-range step where
// they hand an iteration over. The walk reads and sets the bound absolutely.
struct RescaledSteps {
    RescaledSteps(const mandel::DeepReference& reference, DoubleDouble dcr, DoubleDouble dci, std::int64_t limit,
                  const mandel::BlaLevels<ExtReal>* table = nullptr)
        : dc{ExtReal(dcr.hi), ExtReal(dci.hi), ExtReal(), ExtReal(mandel::magnitudeUp(dcr, dci))},
          run(reference.orbit(), dc, limit, {table, &skipped}),
          points(reference.lanePoints().data()),
          s(mandel::rescaledState(mandel::PerturbState<ExtReal>{dc.re, dc.im, {}, 1, 1}, dc.abs.exponent)),
          d(mandel::rescaledOffset(dc, s.k)) {}
    static constexpr double kRounding = 0x1p-52;
    StepPosition st;
    std::int64_t step() {
        s.e = std::ldexp(st.e, static_cast<int>(-s.k)) * (1 + 0x1p-50);
        std::int64_t r = mandel::rescaledStep(run, points, s, d, dc.abs.exponent, made);
        if (r == mandel::kSwitchCount) {
            mandel::PerturbState<ExtReal> x = mandel::extendedState(s);
            r = mandel::perturbStep(run, x, made);
            s = mandel::rescaledState(x, dc.abs.exponent);
        } else if (r == 0) {
            s = mandel::rescaledState(mandel::extendedState(s), dc.abs.exponent);
        }
        d = mandel::rescaledOffset(dc, s.k);
        st = {mandel::upperDouble(ExtReal(s.e, s.k)), s.m, s.i};
        return r;
    }
    void offsetBy(double off) { s.wr += std::ldexp(off, static_cast<int>(-s.k)); }
    DoubleDouble dzr() const { return {std::ldexp(s.wr, static_cast<int>(s.k)), 0}; }
    DoubleDouble dzi() const { return {std::ldexp(s.wi, static_cast<int>(s.k)), 0}; }
    std::int64_t skipped = 0;
    mandel::PixelOffset<ExtReal> dc;
    mandel::PerturbRun<ExtReal> run;
    const mandel::LanePoint* points;
    mandel::RescaledState s;
    mandel::RescaledOffset d;
    std::int64_t made = 0;
};

// The rescaled steps with the extended-range approximation table (built
// first, for offsets up to 1e-39).
struct ExtendedTable {
    explicit ExtendedTable(const mandel::DeepReference& reference)
        : table(reference.orbit(), ExtReal(1e-39), true, mandel::kBlaTolerance) {}
    mandel::BlaTable table;
};
struct RescaledTableSteps : ExtendedTable, RescaledSteps {
    RescaledTableSteps(const mandel::DeepReference& reference, DoubleDouble dcr, DoubleDouble dci, std::int64_t limit)
        : ExtendedTable(reference), RescaledSteps(reference, dcr, dci, limit, table.extendedRange()) {}
};

// The double-double steps with the approximation table: a step may move on
// by many iterations.
struct DoubleDoubleTableSteps : DoubleDoubleSteps {
    DoubleDoubleTableSteps(const mandel::DeepReference& reference, DoubleDouble dcr, DoubleDouble dci,
                           std::int64_t limit)
        : DoubleDoubleSteps(reference, dcr, dci, limit) {
        bool cancelled = false;
        table =
            mandel::buildDdBlaLevels(reference.orbit(), reference.orbitLow(), ExtReal(2 * dc.abs), nullptr, cancelled);
    }
    std::int64_t step() {
        return mandel::doubleDoubleStep(reference.orbit(), reference.orbitLow(), dc, limit, st, false, &table);
    }
    mandel::DdBlaLevels table;
};

// The pixel C + δc (δc exactly the values given; double takes the high
// parts) against the reference at C, every step checked against the exact
// orbits. The walk may start with δz off by `offBy` (relative to |δc|, in
// its real part) and a bound that says so: an error carried from the start
// grows with the exact orbit's derivative, and the bound must grow at least
// as fast.
template <class Steps>
Walk walk(const mandel::DeepReference& reference, const std::vector<Complex>& exactReference, DoubleDouble dcr,
          DoubleDouble dci, std::int64_t limit, double offBy = 0) {
    if constexpr (std::is_same_v<Steps, DoubleSteps> || std::is_same_v<Steps, HandedOffSteps> ||
                  std::is_base_of_v<RescaledSteps, Steps>)
        dcr.lo = dci.lo = 0;
    Complex c, z;
    MpfrValue t(kExactBits), u(kExactBits);
    setDoubleDouble(c.re.get(), dcr);
    setDoubleDouble(c.im.get(), dci);
    mpfr_add(c.re.get(), c.re.get(), reference.centreRe().get(), MPFR_RNDN);
    mpfr_add(c.im.get(), c.im.get(), reference.centreIm().get(), MPFR_RNDN);
    mpfr_set(z.re.get(), c.re.get(), MPFR_RNDN);
    mpfr_set(z.im.get(), c.im.get(), MPFR_RNDN);
    Walk w;
    Steps steps(reference, dcr, dci, limit);
    const double dcAbs = mandel::magnitudeUp(dcr, dci);
    const double off = offBy * dcAbs;
    steps.offsetBy(off);
    steps.st.e = off * (1 + 0x1p-40) + dcAbs * Steps::kRounding;
    for (;;) {
        const std::size_t m = static_cast<std::size_t>(steps.st.m);
        const double actual = distance(steps.dzr(), steps.dzi(), z, exactReference[m]);
        if (!(actual <= steps.st.e)) ++w.violations;
        w.worstRatio = std::max(w.worstRatio, steps.st.e / mandel::magnitudeUp(steps.dzr(), steps.dzi()));
        if (w.exactCount == 0 && mpfr_get_d(z.re.get(), MPFR_RNDN) * mpfr_get_d(z.re.get(), MPFR_RNDN) +
                                         mpfr_get_d(z.im.get(), MPFR_RNDN) * mpfr_get_d(z.im.get(), MPFR_RNDN) >
                                     4)
            w.exactCount = steps.st.i;
        const std::int64_t previousM = steps.st.m, previousI = steps.st.i;
        w.count = steps.step();
        if (w.count != 0) break;
        const std::int64_t moved = steps.st.i - previousI;
        w.rebases += steps.st.m != previousM + moved;
        w.longestStep = std::max(w.longestStep, moved);
        for (std::int64_t j = 0; j < moved; ++j) squarePlus(z, c, t, u);
    }
    if (w.exactCount == 0) w.exactCount = limit;
    return w;
}

std::vector<Complex> exactOrbit(const mandel::DeepReference& reference) {
    std::vector<Complex> orbit(reference.orbit().size());
    MpfrValue t(kExactBits), u(kExactBits);
    Complex c;
    mpfr_set(c.re.get(), reference.centreRe().get(), MPFR_RNDN);
    mpfr_set(c.im.get(), reference.centreIm().get(), MPFR_RNDN);
    mpfr_set_zero(orbit[0].re.get(), 1);
    mpfr_set_zero(orbit[0].im.get(), 1);
    for (std::size_t m = 1; m < orbit.size(); ++m) {
        mpfr_set(orbit[m].re.get(), orbit[m - 1].re.get(), MPFR_RNDN);
        mpfr_set(orbit[m].im.get(), orbit[m - 1].im.get(), MPFR_RNDN);
        squarePlus(orbit[m], c, t, u);
    }
    return orbit;
}

mandel::DeepReference referenceAt(const char* re, const char* im, int bits, std::int64_t limit) {
    MpfrValue cr(bits), ci(bits);
    mpfr_set_str(cr.get(), re, 10, MPFR_RNDN);
    mpfr_set_str(ci.get(), im, 10, MPFR_RNDN);
    return mandel::DeepReference(cr, ci, limit, false, ExtReal(1.0, -bits + 40), nullptr);
}

template <class Steps>
void expectBoundThroughRebases() {
    // The reference 0.3 escapes after a few dozen iterations; the pixels lie
    // in the cardioid, on its boundary near 0.25 or escape.
    const auto reference = referenceAt("0.3", "0", 200, 400);
    const auto exact = exactOrbit(reference);
    int rebases = 0;
    for (double dr : {-0.4375, -0.3125, -0.05, -0.0498046875})
        for (double di : {-0.25, 0.0, 0.001953125}) {
            const Walk w = walk<Steps>(reference, exact, {dr, dr * 0x1p-60}, {di, 0}, 400, di == 0 ? 0x1p-20 : 0);
            EXPECT_EQ(w.violations, 0) << dr << " " << di;
            EXPECT_EQ(w.count, w.exactCount) << dr << " " << di;
            rebases += w.rebases;
        }
    EXPECT_GT(rebases, 12);
}

// `smallRatio`: how far below |δz| the bound of a pixel started exactly
// must stay.
template <class Steps>
void expectBoundNearADeepMinibrot(double smallRatio) {
    // A 1e-29 view around a period-41 nucleus near i, reference at its centre.
    const auto reference = referenceAt("-3.99105769538512105274096648820103670810813791676121839829615e-16",
                                       "1.00000000000000119409280877276061648260786528327363434666981720", 220, 1500);
    const auto exact = exactOrbit(reference);
    int decided = 0;
    for (int k = -3; k <= 3; ++k) {
        const double dr = k * 1.5e-30, di = (3 - k) * 1.1e-30;
        const Walk w = walk<Steps>(reference, exact, {dr, dr * 0x1p-70}, {di, 0}, 1500, k % 2 ? 0x1p-30 : 0);
        EXPECT_EQ(w.violations, 0) << k;
        if (k % 2 == 0) {
            EXPECT_LT(w.worstRatio, smallRatio) << k;
        }
        if (w.count == mandel::kUndecidedCount) continue;
        ++decided;
        EXPECT_EQ(w.count, w.exactCount) << k;
    }
    EXPECT_EQ(decided, 7);
}

TEST(DeepArithSteps, BoundHoldsThroughRebasesAgainstAnEarlyEscapingReference) {
    expectBoundThroughRebases<DoubleSteps>();
    expectBoundThroughRebases<RescaledSteps>();
    expectBoundThroughRebases<DoubleDoubleSteps>();
    expectBoundThroughRebases<HandedOffSteps>();
}

TEST(DeepArithSteps, BoundHoldsAndStaysSmallNearADeepMinibrot) {
    expectBoundNearADeepMinibrot<DoubleSteps>(0x1p-30);
    expectBoundNearADeepMinibrot<RescaledSteps>(0x1p-30);
    expectBoundNearADeepMinibrot<DoubleDoubleSteps>(0x1p-60);
}

// Pixels 1e-40 from the period-41 nucleus's reference: δz stays tiny beside
// Z for hundreds of iterations, where the table's steps are valid.
template <class Steps>
void expectBoundThroughApproximationSteps() {
    const auto reference = referenceAt("-3.99105769538512105274096648820103670810813791676121839829615e-16",
                                       "1.00000000000000119409280877276061648260786528327363434666981720", 220, 1500);
    const auto exact = exactOrbit(reference);
    std::int64_t longest = 0;
    for (int k = -3; k <= 3; ++k) {
        const double dr = k * 1.5e-40, di = (3 - k) * 1.1e-40;
        const Walk w = walk<Steps>(reference, exact, {dr, dr * 0x1p-70}, {di, 0}, 1500, k % 2 ? 0x1p-30 : 0);
        EXPECT_EQ(w.violations, 0) << k;
        EXPECT_EQ(w.count, w.exactCount) << k;
        longest = std::max(longest, w.longestStep);
    }
    EXPECT_GE(longest, 16);
}

TEST(DeepArithSteps, BoundHoldsThroughApproximationSteps) {
    expectBoundThroughApproximationSteps<DoubleDoubleTableSteps>();
    expectBoundThroughApproximationSteps<RescaledTableSteps>();
}

// A 4 × 4 grid of pixels of a 16-pixel view: the double-double count
// (scaled below double's range), with and without the approximation table,
// against the MPFR-settled count. Deep enough (δc far below 2^-110·|Z|), the
// table must save most of the steps.
void expectSettledCounts(const mandel::DeepView& view, bool deep) {
    const mandel::DeepGeometry geometry = mandel::deepGeometry(view);
    const mandel::DeepReference reference(*geometry.centreRe, *geometry.centreIm, view.location.limit,
                                          geometry.extended(), geometry.spacing * ExtReal(0x1p-60), nullptr);
    const mandel::PixelOffsets offsets =
        mandel::pixelOffsets(view, geometry, geometry.centreRe->get(), geometry.centreIm->get());
    const auto strict = reference.ddBlaTable(geometry.spacing * ExtReal(64.0), mandel::DdTableTolerance::Strict);
    const auto loose = reference.ddBlaTable(geometry.spacing * ExtReal(64.0), mandel::DdTableTolerance::Loose);
    const std::function<bool()> never = [] { return false; };
    std::int64_t stepped = 0, approximated = 0, looseSteps = 0;
    for (int y = 1; y < 16; y += 4)
        for (int x = 1; x < 16; x += 4) {
            const auto dc =
                mandel::doubleDoubleOffset(offsets.columns[static_cast<std::size_t>(x)],
                                           offsets.rows[static_cast<std::size_t>(y)], geometry.ddScaleExponent);
            const std::int64_t exact =
                mandel::mpfrPixelCount(view.location, 16, x, y, geometry.pixelBits, mandel::kMaxSettleBits, never)
                    .count;
            const std::int64_t count = mandel::doubleDoublePerturbedCount(reference.orbit(), reference.orbitLow(), dc,
                                                                          view.location.limit, never, stepped);
            EXPECT_EQ(count, exact) << x << "," << y;
            const std::int64_t withTable = mandel::doubleDoublePerturbedCount(
                reference.orbit(), reference.orbitLow(), dc, view.location.limit, never, approximated, strict.get());
            EXPECT_EQ(withTable, exact) << x << "," << y << " with the table";
            const std::int64_t withLoose = mandel::doubleDoublePerturbedCount(
                reference.orbit(), reference.orbitLow(), dc, view.location.limit, never, looseSteps, loose.get());
            EXPECT_EQ(withLoose, exact) << x << "," << y << " with the loose table";
        }
    if (deep) {
        EXPECT_LT(approximated * 2, stepped);
        EXPECT_LE(looseSteps, approximated);
    }
}

TEST(DeepArithDoubleDouble, CountsAreTheSettledCountsInAndBelowDoublesRange) {
    using namespace mandel::test;
    expectSettledCounts({{kMinibrot1e29.realMin, kMinibrot1e29.imagMin, "1e-29", 3000}, 16, 16}, false);
    // The reference passes within 1e-600 of 0 once per period (831).
    expectSettledCounts({{kMinibrot3e624.realMin, kMinibrot3e624.imagMin, "3e-624", 14000}, 16, 16}, true);
    expectSettledCounts({{kEarlyEscape3e624.realMin, kEarlyEscape3e624.imagMin, "3e-624", 14000}, 16, 16}, true);
}

// Processors without a fused multiply-add take a product's error by Dekker's
// split (the one template the scalar loop and the lanes share): it must be
// the exact error the instruction gives, over the sizes double-double numbers
// take.
TEST(DeepArithDoubleDouble, TheSplitProductErrorIsTheFusedOne) {
    std::mt19937_64 random(20261211);
    std::uniform_real_distribution<double> mantissa(-1.0, 1.0);
    std::uniform_int_distribution<int> exponent(-400, 8);
    for (int k = 0; k < 200000; ++k) {
        const double a = std::ldexp(mantissa(random), exponent(random));
        const double b = std::ldexp(mantissa(random), exponent(random));
        const double p = a * b;
        ASSERT_EQ(mandel::splitProductError(a, b, p, mandel::kDekkerSplitter), std::fma(a, b, -p)) << a << " * " << b;
    }
}

}  // namespace

namespace {

// The exact Z_m within a stored point's bound, and its low part's.
void expectWithinBounds(const mandel::OrbitPoint& p, const mandel::OrbitLow& low, const Complex& exact,
                        std::size_t m, int& violations) {
    Complex zero;
    mpfr_set_zero(zero.re.get(), 1);
    mpfr_set_zero(zero.im.get(), 1);
    const double hi = distance({p.re, 0}, {p.im, 0}, exact, zero);
    const double both = distance({p.re, low.re}, {p.im, low.im}, exact, zero);
    if (!(hi <= ExtReal(p.err, p.errExponent).toDouble()) || !(both <= low.err)) {
        ++violations;
        ADD_FAILURE() << "at " << m << ": " << hi << " > " << p.err << " or " << both << " > " << low.err;
    }
}

}  // namespace

// A nucleus's orbit walked for one period and then repeated: every point and
// low part holds the exact orbit within its bounds, which stay within twice
// those of the orbit walked whole. The period-41 nucleus near i is found to
// far more digits than the drawing asks for, so that Z_41 is near enough to 0.
TEST(DeepReferencePeriod, RepeatedOrbitHoldsTheExactOrbitWithinItsBounds) {
    const auto near = referenceAt("-3.99105769538512105274096648820103670810813791676121839829615e-16",
                                  "1.00000000000000119409280877276061648260786528327363434666981720", 220, 1500);
    const auto found = mandel::findMinibrotNear(near, ExtReal(1e-28), 100, 150);
    ASSERT_TRUE(found);
    ASSERT_EQ(found->period, 41);
    MpfrValue airshipRe(300), airshipIm(300);
    mpfr_set_str(airshipRe.get(), "-1.754877666246692760049508896358528691894606617772793143989283970646080655128081090738",
                 10, MPFR_RNDN);
    mpfr_set_zero(airshipIm.get(), 1);
    struct Nucleus {
        const MpfrValue& re;
        const MpfrValue& im;
        std::int64_t period, limit;
    };
    const Nucleus nuclei[] = {{airshipRe, airshipIm, 3, 2000}, {*found->re, *found->im, 41, 1500}};
    for (const Nucleus& n : nuclei) {
        const ExtReal ceiling(1.0, -static_cast<std::int64_t>(mpfr_get_prec(n.re.get())) + 40);
        const mandel::DeepReference walked(n.re, n.im, n.limit, false, ceiling, nullptr);
        const mandel::DeepReference repeated(n.re, n.im, n.limit, false, ceiling, nullptr, {}, n.period);
        const auto exact = exactOrbit(walked);
        ASSERT_EQ(repeated.orbit().size(), walked.orbit().size()) << n.period;
        int violations = 0, repeatedBounds = 0;
        for (std::size_t m = 0; m < exact.size() && violations <= 3; ++m) {
            const mandel::OrbitPoint &p = repeated.orbit()[m], &w = walked.orbit()[m];
            expectWithinBounds(p, repeated.orbitLow()[m], exact[m], m, violations);
            const double bound = ExtReal(p.err, p.errExponent).toDouble();
            const double walkedBound = ExtReal(w.err, w.errExponent).toDouble();
            EXPECT_LE(bound, 2 * walkedBound) << n.period << " at " << m;
            EXPECT_LE(repeated.orbitLow()[m].err, 2 * walked.orbitLow()[m].err + 0x1p-1060) << n.period << " at " << m;
            if (bound != walkedBound) ++repeatedBounds;
        }
        EXPECT_EQ(violations, 0) << n.period;
        // The repetition took place: its bounds are its own.
        EXPECT_GT(repeatedBounds, n.limit / 2) << n.period;
    }
}
