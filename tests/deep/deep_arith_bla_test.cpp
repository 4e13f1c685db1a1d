// The bilinear steps against the exact perturbation: pixels follow their
// exact δz (MPFR, far more bits than the view needs) and take every step the
// table offers; after each one the exact δz must lie within the carried bound,
// and the bound must stay far below |δz| so that escape tests stay decided.
// Also: a reference keeps its table for smaller offsets, and a drawing zoomed
// in about the same point takes the reference and its table as they are.
#include <gtest/gtest.h>
#include <mpfr.h>

#include <algorithm>
#include <array>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "deep/bla_table.h"
#include "deep/deep_drawing.h"
#include "deep/deep_geometry.h"
#include "deep/deep_reference.h"
#include "deep/perturbation.h"
#include "deep/rescaled_perturbation.h"
#include "deep_test_locations.h"
#include "mpfr_text.h"

namespace {

using mandel::ExtReal;
using mandel::MpfrValue;

constexpr int kExactBits = 3000;

struct StepCheck {
    int steps = 0;
    std::int64_t longest = 0;
    double worstRatio = 0;  // largest bound / |δz| after a step
    int unaligned = 0;      // steps from an index that is not a multiple of their length (after 1)
    int rescaled = 0;       // steps taken in rescaled doubles
};

// x as a number of type R (rounded to nearest).
template <class R>
R fromMpfr(mpfr_srcptr x) {
    if constexpr (std::is_same_v<R, double>)
        return mpfr_get_d(x, MPFR_RNDN);
    else
        return mandel::toExtReal(x);
}

double log2Abs(mpfr_srcptr re, mpfr_srcptr im) {
    MpfrValue h(64);
    mpfr_hypot(h.get(), re, im, MPFR_RNDN);
    if (mpfr_zero_p(h.get())) return -1e18;
    mpfr_log2(h.get(), h.get(), MPFR_RNDN);
    return mpfr_get_d(h.get(), MPFR_RNDN);
}
double log2Abs(double x) { return std::log2(x); }
double log2Abs(const ExtReal& x) { return std::log2(x.mantissa) + static_cast<double>(x.exponent); }

void setMpfr(mpfr_ptr out, double x) { mpfr_set_d(out, x, MPFR_RNDN); }
void setMpfr(mpfr_ptr out, const ExtReal& x) {
    mpfr_set_d(out, x.mantissa, MPFR_RNDN);
    if (!x.isZero()) mpfr_mul_2si(out, out, x.exponent, MPFR_RNDN);
}

// The exact δz_j = z_j − Z_j, j = 1 .. until the pixel escapes or the
// reference ends (index 0 unused), of the pixel C + δc.
std::vector<std::pair<MpfrValue, MpfrValue>> exactOffsets(const mandel::DeepReference& reference, mpfr_srcptr dcr,
                                                          mpfr_srcptr dci) {
    MpfrValue zr(kExactBits), zi(kExactBits), pr(kExactBits), pi(kExactBits), t(kExactBits), u(kExactBits);
    const MpfrValue& cr = reference.centreRe();
    const MpfrValue& ci = reference.centreIm();
    MpfrValue pcr(kExactBits), pci(kExactBits);
    mpfr_add(pcr.get(), cr.get(), dcr, MPFR_RNDN);
    mpfr_add(pci.get(), ci.get(), dci, MPFR_RNDN);
    const auto square = [&](MpfrValue& a, MpfrValue& b, const MpfrValue& addRe, const MpfrValue& addIm) {
        mpfr_mul(t.get(), a.get(), b.get(), MPFR_RNDN);
        mpfr_sqr(u.get(), b.get(), MPFR_RNDN);
        mpfr_sqr(a.get(), a.get(), MPFR_RNDN);
        mpfr_sub(a.get(), a.get(), u.get(), MPFR_RNDN);
        mpfr_add(a.get(), a.get(), addRe.get(), MPFR_RNDN);
        mpfr_mul_2ui(b.get(), t.get(), 1, MPFR_RNDN);
        mpfr_add(b.get(), b.get(), addIm.get(), MPFR_RNDN);
    };
    mpfr_set(zr.get(), cr.get(), MPFR_RNDN);
    mpfr_set(zi.get(), ci.get(), MPFR_RNDN);
    mpfr_set(pr.get(), pcr.get(), MPFR_RNDN);
    mpfr_set(pi.get(), pci.get(), MPFR_RNDN);
    std::vector<std::pair<MpfrValue, MpfrValue>> out;
    out.emplace_back(MpfrValue(64), MpfrValue(64));
    for (std::size_t j = 1; j < reference.orbit().size() && log2Abs(pr.get(), pi.get()) <= 1; ++j) {
        out.emplace_back(MpfrValue(kExactBits), MpfrValue(kExactBits));
        mpfr_sub(out.back().first.get(), pr.get(), zr.get(), MPFR_RNDN);
        mpfr_sub(out.back().second.get(), pi.get(), zi.get(), MPFR_RNDN);
        square(zr, zi, cr, ci);
        square(pr, pi, pcr, pci);
    }
    return out;
}

// blaStep as the rescaled iteration takes it: δz and its bound in doubles in
// units of 2^k, and back; false (nothing changed) where the step's
// coefficients do not fit a double.
bool rescaledStep(const mandel::BlaLevels<ExtReal>& table, std::int64_t m, int k,
                  const mandel::PixelOffset<ExtReal>& dc, const ExtReal& fromOffset, ExtReal& dzr, ExtReal& dzi,
                  ExtReal& e) {
    mandel::RescaledState s = mandel::rescaledState({dzr, dzi, e, m, m}, dc.abs.exponent);
    const mandel::RescaledOffset d = mandel::rescaledOffset(dc, s.k);
    if (!mandel::rescaledBlaStep(table, m, k, s, d, mandel::magnitudeUp(s.wr, s.wi), mandel::upperDouble(fromOffset)))
        return false;
    const mandel::PerturbState<ExtReal> back = mandel::extendedState(s);
    dzr = back.dzr;
    dzi = back.dzi;
    e = back.e;
    return true;
}

// The pixel C + (dr + i·di)·2^scale against the reference at C: walks the
// orbit, taking a table step wherever one is valid (else the exact δz one
// iteration on), and checks each step's bound against the exact δz. Steps
// are taken from reference index `from` on; with kRescaled, as the rescaled
// iteration takes them.
template <class R, bool kRescaled = false>
StepCheck walk(const mandel::DeepReference& reference, const mandel::BlaLevels<R>& table, double dr, double di,
               long scale, std::size_t from = 1) {
    MpfrValue dcr(64), dci(64), dcAbs(64);
    mpfr_set_d(dcr.get(), dr, MPFR_RNDN);
    mpfr_mul_2si(dcr.get(), dcr.get(), scale, MPFR_RNDN);
    mpfr_set_d(dci.get(), di, MPFR_RNDN);
    mpfr_mul_2si(dci.get(), dci.get(), scale, MPFR_RNDN);
    mpfr_hypot(dcAbs.get(), dcr.get(), dci.get(), MPFR_RNDU);
    const auto exact = exactOffsets(reference, dcr.get(), dci.get());
    const mandel::PixelOffset<R> dc{fromMpfr<R>(dcr.get()), fromMpfr<R>(dci.get()), R{},
                                    mandel::roundUp(fromMpfr<R>(dcAbs.get()))};
    const R cBound = mandel::roundUp(dc.abs + dc.err);
    EXPECT_TRUE(cBound <= table.cMax);
    const R fromOffset = mandel::offsetShare(cBound, table.cMax);
    StepCheck check;
    R dzr = dc.re, dzi = dc.im, e{};
    MpfrValue er(kExactBits), ei(kExactBits);
    for (std::size_t m = 1; m + 1 < exact.size();) {
        const R dAbs = sqrt(dzr * dzr + dzi * dzi);
        const int k = m < from ? 0
                               : table.longest(static_cast<std::int64_t>(m), mandel::roundUp(dAbs + e),
                                               static_cast<std::int64_t>(exact.size() - 1 - m));
        if (k == 0) {  // one iteration on, exactly (to the rounding of R)
            ++m;
            dzr = fromMpfr<R>(exact[m].first.get());
            dzi = fromMpfr<R>(exact[m].second.get());
            e = mandel::roundUp(sqrt(dzr * dzr + dzi * dzi) * R(0x1p-52));
            continue;
        }
        bool stepped = false;
        const auto at = static_cast<std::int64_t>(m);
        if constexpr (kRescaled) stepped = rescaledStep(table, at, k, dc, fromOffset, dzr, dzi, e);
        check.rescaled += stepped;
        if (!stepped)
            mandel::blaStep(table, table.step(at, k), k, dc, cBound, fromOffset, dAbs, dzr, dzi, e);
        if (((m - 1) & ((std::size_t{1} << k) - 1)) != 0) ++check.unaligned;
        m += std::size_t{1} << k;
        setMpfr(er.get(), dzr);
        setMpfr(ei.get(), dzi);
        mpfr_sub(er.get(), er.get(), exact[m].first.get(), MPFR_RNDN);
        mpfr_sub(ei.get(), ei.get(), exact[m].second.get(), MPFR_RNDN);
        EXPECT_LE(log2Abs(er.get(), ei.get()), log2Abs(e)) << "step of 2^" << k << " ending at " << m;
        const double ratio = std::exp2(log2Abs(e) - log2Abs(exact[m].first.get(), exact[m].second.get()));
        check.worstRatio = std::max(check.worstRatio, ratio);
        check.longest = std::max<std::int64_t>(check.longest, std::int64_t{1} << k);
        ++check.steps;
    }
    return check;
}

// The view of side `side` (a decimal) whose centre is the 1e-29 minibrot
// view's centre moved by `shift` of that view's side along both axes.
mandel::DeepView minibrotView(const std::string& side, double shift) {
    MpfrValue corner(300), half(300), big(300);
    mandel::DeepLocation where{"", "", side, 3000};
    std::string* texts[] = {&where.realMin, &where.imagMin};
    const char* corners[] = {mandel::test::kMinibrot1e29.realMin, mandel::test::kMinibrot1e29.imagMin};
    for (int axis = 0; axis < 2; ++axis) {
        mpfr_set_str(big.get(), "1e-29", 10, MPFR_RNDN);
        mpfr_mul_d(big.get(), big.get(), 0.5 + shift, MPFR_RNDN);
        mpfr_set_str(corner.get(), corners[axis], 10, MPFR_RNDN);
        mpfr_add(corner.get(), corner.get(), big.get(), MPFR_RNDN);  // the centre
        mpfr_set_str(half.get(), side.c_str(), 10, MPFR_RNDN);
        mpfr_div_2ui(half.get(), half.get(), 1, MPFR_RNDN);
        mpfr_sub(corner.get(), corner.get(), half.get(), MPFR_RNDN);
        *texts[axis] = mandel::test::decimalText(corner.get());
    }
    return {where, 16, 16};
}

TEST(DeepArithBla, DoubleStepsKeepTheExactOffsetWithinTheirBound) {
    const mandel::DeepView view = minibrotView("1e-29", 0);
    mandel::DeepDrawing drawing(view);
    ASSERT_TRUE(drawing.prepare());
    const mandel::DeepReference& reference = *drawing.reference();
    // Steps from two iterations long up, to walk through many of them.
    const mandel::BlaTable table(reference.orbit(), ExtReal(1e-29), false, mandel::kBlaTolerance, nullptr, 1);
    // With a tolerance of 2^-12 the dropped squares outweigh every rounding:
    // the bound must cover them.
    const mandel::BlaTable coarse(reference.orbit(), ExtReal(1e-29), false, 0x1p-12, nullptr, 1);
    // Its long steps start at every even index: the walks take some that are
    // not aligned to their length.
    ASSERT_EQ(table.doubles()->spreadLevel, 1);
    int unaligned = 0;
    // Offsets up to 0.64 of 2^-97 (the side is about 2^-96.3).
    for (auto [dr, di] : {std::pair{0.3, 0.1}, {-0.45, 0.2}, {0.05, -0.49}, {0.4, 0.5}}) {
        const StepCheck rough = walk(reference, *coarse.doubles(), dr, di, -97);
        EXPECT_GT(rough.steps, 5);
        const StepCheck c = walk(reference, *table.doubles(), dr, di, -97);
        EXPECT_GT(c.steps, 10) << dr << "," << di;
        EXPECT_GE(c.longest, 32);  // the period is 41
        EXPECT_LT(c.worstRatio, 0x1p-30);
        unaligned += rough.unaligned + c.unaligned;
    }
    EXPECT_GT(unaligned, 0);
}

// |Ã − A| and |B̃ − B| of table steps (every 97th of each level) against A
// and B of the exact reference orbit: each within its bound. With `merged`
// (the same table merged in double), no bound is larger than that table's,
// and the long steps' far smaller; the number of those far smaller.
template <class R>
int checkCoefficients(const mandel::DeepReference& reference, const mandel::BlaLevels<R>& table,
                      const mandel::BlaLevels<R>* merged = nullptr) {
    constexpr int kBits = 1000;
    std::vector<std::pair<MpfrValue, MpfrValue>> z;
    MpfrValue t(kBits), u(kBits), ar(kBits), ai(kBits), br(kBits), bi(kBits);
    z.emplace_back(MpfrValue(kBits), MpfrValue(kBits));  // Z_0 = 0
    mpfr_set_zero(z.back().first.get(), 1), mpfr_set_zero(z.back().second.get(), 1);
    for (std::size_t j = 1; j < reference.orbit().size(); ++j) {
        const auto& [pr, pi] = z.back();
        MpfrValue nr(kBits), ni(kBits);
        mpfr_sqr(nr.get(), pr.get(), MPFR_RNDN);
        mpfr_sqr(t.get(), pi.get(), MPFR_RNDN);
        mpfr_sub(nr.get(), nr.get(), t.get(), MPFR_RNDN);
        mpfr_add(nr.get(), nr.get(), reference.centreRe().get(), MPFR_RNDN);
        mpfr_mul(ni.get(), pr.get(), pi.get(), MPFR_RNDN);
        mpfr_mul_2ui(ni.get(), ni.get(), 1, MPFR_RNDN);
        mpfr_add(ni.get(), ni.get(), reference.centreIm().get(), MPFR_RNDN);
        z.emplace_back(std::move(nr), std::move(ni));
    }
    // (x, y) ← 2Z·(x, y) (+ add): one exact complex step of A or B.
    const auto times2Z = [&](MpfrValue& x, MpfrValue& y, const std::pair<MpfrValue, MpfrValue>& zj, double add) {
        mpfr_mul(t.get(), zj.first.get(), x.get(), MPFR_RNDN);
        mpfr_mul(u.get(), zj.second.get(), y.get(), MPFR_RNDN);
        mpfr_sub(t.get(), t.get(), u.get(), MPFR_RNDN);
        mpfr_mul(u.get(), zj.first.get(), y.get(), MPFR_RNDN);
        mpfr_fma(y.get(), zj.second.get(), x.get(), u.get(), MPFR_RNDN);
        mpfr_mul_2ui(x.get(), t.get(), 1, MPFR_RNDN);
        mpfr_add_d(x.get(), x.get(), add, MPFR_RNDN);
        mpfr_mul_2ui(y.get(), y.get(), 1, MPFR_RNDN);
    };
    int checked = 0, tighter = 0;
    for (int k = table.firstLevel; k < table.firstLevel + static_cast<int>(table.levels.size()); ++k) {
        const auto& level = table.levels[table.slot(k)];
        for (std::size_t index = 0; index < level.size(); index += 97) {
            const std::int64_t m = 1 + (static_cast<std::int64_t>(index) << std::min(k, table.spreadLevel));
            mpfr_set_d(ar.get(), 1, MPFR_RNDN), mpfr_set_d(ai.get(), 0, MPFR_RNDN);
            mpfr_set_d(br.get(), 0, MPFR_RNDN), mpfr_set_d(bi.get(), 0, MPFR_RNDN);
            // |A_{m→j}|, the bound β_j = Σ|A_{i+1→j}| ≥ |B_{m→j}| and |A_{m→j+1}|
            // of each iterate j, for P, Q and S.
            std::vector<std::array<double, 3>> partial;
            double beta = 0;
            for (std::int64_t j = m; j < m + (std::int64_t{1} << k); ++j) {
                const double a = std::exp2(log2Abs(ar.get(), ai.get()));
                times2Z(ar, ai, z[static_cast<std::size_t>(j)], 0);
                times2Z(br, bi, z[static_cast<std::size_t>(j)], 1);
                const double next = std::exp2(log2Abs(ar.get(), ai.get()));
                partial.push_back({a, beta, next});
                beta = next / a * beta + 1;
            }
            const mandel::BlaStep<R>& s = table.step(m, k);
            // P, Q and S of the exact orbit: the table's at least these, and close.
            double p = 0, q = 0, sc = 0;
            for (const auto& [a, b, next] : partial) {
                const double after = partial.back()[2] / next;  // |A_{j+1→m+l}|
                p += after * a * a, q += after * a * b, sc += after * b * b;
            }
            using mandel::plainDouble;
            const std::pair<double, double> squares[] = {
                {plainDouble(s.sqU), p}, {plainDouble(s.sqUC), q}, {plainDouble(s.sqC), sc}};
            for (const auto& [kept, exactSum] : squares) {
                EXPECT_GE(kept, exactSum * (1 - 0x1p-40)) << "squares of 2^" << k << " from " << m;
                EXPECT_LE(kept, exactSum * (1 + 0x1p-20)) << "squares of 2^" << k << " from " << m;
            }
            for (auto [exact, kept] : {std::pair{&ar, &s.ar}, {&ai, &s.ai}, {&br, &s.br}, {&bi, &s.bi}}) {
                setMpfr(t.get(), *kept);
                mpfr_sub(exact->get(), exact->get(), t.get(), MPFR_RNDN);
            }
            EXPECT_LE(log2Abs(ar.get(), ai.get()), log2Abs(s.aErr)) << "A of 2^" << k << " from " << m;
            EXPECT_LE(log2Abs(br.get(), bi.get()), log2Abs(s.bErr)) << "B of 2^" << k << " from " << m;
            if (merged) {
                const mandel::BlaStep<R>& other = merged->step(m, k);
                EXPECT_FALSE(other.aErr < s.aErr) << "A of 2^" << k << " from " << m;
                EXPECT_FALSE(other.bErr < s.bErr) << "B of 2^" << k << " from " << m;
                tighter += s.aErr * R(16.0) < other.aErr;
            }
            ++checked;
        }
    }
    EXPECT_GT(checked, 40);
    return tighter;
}

TEST(DeepArithBla, StepCoefficientsAreWithinTheirErrorBounds) {
    // The centre's own orbit, walked whole in MPFR (a drawing of this view
    // takes the minibrot's nucleus, whose repeated periods carry wider bounds).
    const mandel::DeepView view = minibrotView("1e-29", 0);
    const mandel::DeepGeometry geometry = mandel::deepGeometry(view);
    const mandel::DeepReference reference(*geometry.centreRe, *geometry.centreIm, view.location.limit, false,
                                          geometry.spacing * ExtReal(0x1p-60), nullptr);
    const mandel::BlaTable merged(reference.orbit(), ExtReal(1e-29), false, mandel::kBlaTolerance, nullptr, 1);
    const mandel::BlaTable rounded(reference.orbit(), ExtReal(1e-29), false, mandel::kBlaTolerance, nullptr, 1,
                                   &reference.orbitLow());
    checkCoefficients(reference, *merged.doubles());
    EXPECT_GT(checkCoefficients(reference, *rounded.doubles(), merged.doubles()), 10);
    // The extended-range tables (steps from every index), merged in the
    // extended range and rounded from double-double.
    const mandel::BlaTable mergedExt(reference.orbit(), ExtReal(1e-29), true, mandel::kBlaTolerance);
    const mandel::BlaTable roundedExt(reference.orbit(), ExtReal(1e-29), true, mandel::kBlaTolerance, nullptr, 1,
                                      &reference.orbitLow());
    checkCoefficients(reference, *mergedExt.extendedRange());
    EXPECT_GT(checkCoefficients(reference, *roundedExt.extendedRange(), mergedExt.extendedRange()), 10);
}

TEST(DeepArithBla, ExtendedStepsKeepTheExactOffsetWithinTheirBound) {
    // Around the Misiurewicz point i at offsets of 2^-2165 (about 1e-652):
    // the pixels follow the repelling 2-cycle for about 1,750 iterations.
    MpfrValue re(2300), im(2300);
    mpfr_set_ui(re.get(), 0, MPFR_RNDN);
    mpfr_set_ui(im.get(), 1, MPFR_RNDN);
    const mandel::DeepReference reference(re, im, 2000, true, ExtReal(1.0, -2165 - 60), nullptr);
    const mandel::BlaTable table(reference.orbit(), ExtReal(1.0, -2164), true, mandel::kBlaTolerance);
    const mandel::BlaTable coarse(reference.orbit(), ExtReal(1.0, -2164), true, 0x1p-12);
    ASSERT_NE(table.extendedRange(), nullptr);
    // A short orbit: its steps start from every index. Walks that start at
    // an even index take steps the aligned layout does not have.
    ASSERT_EQ(table.extendedRange()->spreadLevel, 0);
    for (auto [dr, di] : {std::pair{0.3, 0.1}, {-0.45, 0.2}, {0.05, -0.49}}) {
        EXPECT_GT(walk(reference, *coarse.extendedRange(), dr, di, -2165).steps, 5);
        // From index 1600 on, where the pixel nears escape: no huge first
        // step's bound hides the rescaled steps' own dropped squares.
        EXPECT_GE((walk<ExtReal, true>(reference, *coarse.extendedRange(), dr, di, -2165, 1600).rescaled), 4);
        EXPECT_GT(walk(reference, *table.extendedRange(), dr, di, -2165, 2).unaligned, 0) << dr << "," << di;
        const StepCheck c = walk(reference, *table.extendedRange(), dr, di, -2165);
        EXPECT_GE(c.steps, 3) << dr << "," << di;
        EXPECT_GE(c.longest, 256);
        EXPECT_LT(c.worstRatio, 0x1p-30);
    }
}

TEST(DeepArithBla, ReferenceAndTableServeAZoomAndASmallPan) {
    mandel::DeepDrawing first(minibrotView("1e-29", 0));
    mandel::DeepOptions bla;
    bla.bla = true;
    ASSERT_TRUE(first.prepare(bla));
    const auto reference = first.reference();
    const auto table = reference->blaTable(ExtReal{});
    EXPECT_GT(first.referenceInfo().blaBytes, 0u);
    for (auto [side, shift] : {std::pair{"2.5e-30", 0.0}, {"1e-29", 0.125}, {"1e-33", 0.0}}) {
        mandel::DeepDrawing next(minibrotView(side, shift), reference);
        ASSERT_TRUE(next.prepare(bla));
        EXPECT_EQ(next.reference(), reference) << side << " " << shift;
        EXPECT_EQ(reference->blaTable(ExtReal{}), table) << side << " " << shift;
    }
    // Offsets beyond the table's room need a new table.
    EXPECT_NE(reference->blaTable(ExtReal(1e-27)), table);
}

}  // namespace
