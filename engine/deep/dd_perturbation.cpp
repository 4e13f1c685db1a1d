#include "deep/dd_perturbation.h"

#include <cmath>

#include "deep/error_bound.h"
#include "deep/perturbation.h"

namespace mandel {

namespace {

// A double-double sum errs by at most a few 2^-106 of its operands'
// magnitudes; one step (about ten sums and products) by at most 2^-96 of its
// terms' magnitudes 2|Z||δz| + |δz|² + |δc|.
constexpr double kSumRounding = 0x1p-100;
constexpr double kStepRounding = 0x1p-96;
// Low parts that underflow lose up to a few 2^-1074 in each operation.
constexpr double kStepAbsoluteError = 0x1p-1060;

// ≥ |x| + |y| of two complex double-doubles, from their high parts.
double sizeUp(const DoubleDouble& xr, const DoubleDouble& xi, const DoubleDouble& yr, const DoubleDouble& yi)
{
    return (std::fabs(xr.hi) + std::fabs(xi.hi) + std::fabs(yr.hi) + std::fabs(yi.hi)) * (1 + 0x1p-50);
}

DoubleDouble twice(const DoubleDouble& x) { return {x.hi + x.hi, x.lo + x.lo}; }

}  // namespace

DoubleDoubleOffset doubleDoubleOffset(const AxisOffset& column, const AxisOffset& row)
{
    DoubleDoubleOffset dc;
    dc.re = column.dd;
    dc.im = row.dd;
    dc.err = roundUp(column.ddErr + row.ddErr);
    dc.abs = magnitudeUp(dc.re, dc.im);
    return dc;
}

DoubleDoubleState startState(const DoubleDoubleOffset& dc) { return {dc.re, dc.im, dc.err, 1, 1}; }

std::int64_t doubleDoubleStep(const std::vector<OrbitPoint>& orbit, const std::vector<OrbitLow>& low,
                              const DoubleDoubleOffset& dc, std::int64_t limit, DoubleDoubleState& st)
{
    const auto index = static_cast<std::size_t>(st.m);
    double hiRe, hiIm, unused;
    NumberTraits<double>::load(orbit[index], hiRe, hiIm, unused);
    DoubleDouble zr{hiRe, low[index].re}, zi{hiIm, low[index].im};
    double zErr = low[index].err;
    const DoubleDouble wr = zr + st.dzr, wi = zi + st.dzi;
    const double wAbs = magnitudeUp(wr, wi);
    const double sumRounding = kSumRounding * sizeUp(zr, zi, st.dzr, st.dzi);
    const double wErr = roundUp(zErr + st.e + sumRounding);
    const double wBound = wAbs + sumRounding;  // ≥ |Z̃ + δz̃|
    const EscapeTest test = escapeTest(wAbs, wErr);
    if (test == EscapeTest::Escaped) return st.i;
    if (test == EscapeTest::Undecided) return kUndecidedCount;
    if (st.i == limit) return limit;
    double dAbs = magnitudeUp(st.dzr, st.dzi);
    if (st.m == static_cast<std::int64_t>(orbit.size()) - 1 || wAbs < dAbs) {
        // Continue from the pixel's own value against Z_0 = 0.
        st = DoubleDoubleState{wr, wi, wErr, 0, st.i};
        dAbs = wAbs;
        zr = zi = DoubleDouble{};
        zErr = 0;
    }
    const DoubleDouble& dzr = st.dzr;
    const DoubleDouble& dzi = st.dzi;
    const double zAbs = magnitudeUp(zr, zi);
    const DoubleDouble twoZr = twice(zr), twoZi = twice(zi);
    const DoubleDouble nr = ((twoZr * dzr - twoZi * dzi) + (dzr * dzr - dzi * dzi)) + dc.re;
    const DoubleDouble ni = ((twoZr * dzi + twoZi * dzr) + twice(dzr) * dzi) + dc.im;
    const double terms = 2 * zAbs * dAbs + dAbs * dAbs + dc.abs;
    const double e = st.e;
    // With ε = δz̃ − δz: 2Z̃δz̃ + δz̃² − (2Zδz + δz²) = ε·(2(Z̃ + δz̃) − ε) + 2(Z̃ − Z)·δz, and
    // |Z̃ + δz̃| ≤ wBound: the error grows with the pixel's own |2z|, not with 2|Z| + 2|δz|.
    st.e = roundUp(e * (2 * wBound + e) + 2 * (dAbs + e) * zErr + dc.err + kStepRounding * terms + kStepAbsoluteError);
    st.dzr = nr;
    st.dzi = ni;
    ++st.m;
    ++st.i;
    return 0;
}

std::int64_t doubleDoublePerturbedCount(const std::vector<OrbitPoint>& orbit, const std::vector<OrbitLow>& low,
                                        const DoubleDoubleOffset& dc, std::int64_t limit,
                                        const std::function<bool()>& stop, std::int64_t& iterations)
{
    DoubleDoubleState st = startState(dc);
    for (;;) {
        const std::int64_t result = doubleDoubleStep(orbit, low, dc, limit, st);
        if (result != 0) return result;
        ++iterations;
        if (st.i % kPollInterval == 0 && stop()) return kCancelledCount;
    }
}

}  // namespace mandel
