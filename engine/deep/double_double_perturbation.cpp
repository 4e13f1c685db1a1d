#include "deep/double_double_perturbation.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "deep/error_bound.h"
#include "deep/perturbation.h"

namespace mandel {

namespace {

constexpr double kSumRounding = kDdSumRounding;
constexpr double kStepRounding = kDdStepRounding;
constexpr double kStepAbsoluteError = kDdStepAbsoluteError;

// ≥ |x| + |y| of two complex double-doubles, from their high parts.
double sizeUp(const DoubleDouble& xr, const DoubleDouble& xi, const DoubleDouble& yr, const DoubleDouble& yi) {
    return (std::fabs(xr.hi) + std::fabs(xi.hi) + std::fabs(yr.hi) + std::fabs(yi.hi)) * kDdSizeSlack;
}

// x·2^k; parts that fall below double's range lose at most 2^-1074 each.
DoubleDouble scaled(const DoubleDouble& x, std::int64_t k) {
    const int e = static_cast<int>(std::clamp<std::int64_t>(k, -3000, 3000));
    return {std::ldexp(x.hi, e), std::ldexp(x.lo, e)};
}

// Z_m in units of 2^unit, and a bound on its error.
void loadPoint(const std::vector<OrbitPoint>& orbit, const std::vector<OrbitLow>& low, std::int64_t m,
               std::int64_t unit, DoubleDouble& zr, DoubleDouble& zi, double& zErr) {
    const OrbitPoint& p = orbit[static_cast<std::size_t>(m)];
    const OrbitLow& q = low[static_cast<std::size_t>(m)];
    zr = {p.re, q.re};
    zi = {p.im, q.im};
    zErr = q.err;
    const std::int64_t shift = p.exponent - unit;
    if (shift == 0) return;
    zr = scaled(zr, shift);
    zi = scaled(zi, shift);
    zErr = roundUp(std::ldexp(zErr, static_cast<int>(std::clamp<std::int64_t>(shift, -3000, 3000))) + 0x1p-1072);
}

// The longest valid approximation step from st, taken; false if none.
bool approximationStep(const DdBlaLevels& table, const DoubleDoubleOffset& dc, std::int64_t limit, double dAbs,
                       DoubleDoubleState& st) {
    if (!ddTableServes(table, dc)) return false;
    const double cBound = roundUp(dc.abs + dc.err);
    const int k = table.longest(st.m, roundUp(dAbs + st.e), limit - st.i);
    if (k == 0) return false;
    const DdBlaStep& s = table.step(st.m, k);
    // A step that takes δz (of an offset below double's range) down to
    // where double-doubles underflow is left to the single steps, which move
    // such a pixel into scaled units first.
    if (dc.lost && s.aBound * dAbs < kDdApproximationFloor) return false;
    const DdStepSlack slack =
        ddStepSlack(table, s, k, roundUp(dAbs + st.e), dc.lost ? dc.wholeBound : ExtReal(cBound));
    // The bound's share from δc: B̃'s error and the rounding times |δc|, and
    // |B̃| times δc's error (or, where δc was lost to underflow, times all of it).
    const double offsetTerms =
        dc.lost ? upperDouble(roundUp(ExtReal(roundUp(s.bErr + slack.slack * s.bBound + s.bBound)) * dc.wholeBound))
                : roundUp((s.bErr + slack.slack * s.bBound) * cBound + s.bBound * dc.err);
    ddBlaStep(slack, s, dc.re, dc.im, offsetTerms, dAbs, st.dzr, st.dzi, st.e);
    const std::int64_t length = std::int64_t{1} << k;
    st.m += length;
    st.i += length;
    return true;
}

}  // namespace

bool ddApproximationStep(const DdBlaLevels& table, const DoubleDoubleOffset& dc, std::int64_t limit,
                         DoubleDoubleState& st) {
    return approximationStep(table, dc, limit, magnitudeUp(st.dzr, st.dzi), st);
}

DoubleDoubleOffset doubleDoubleOffset(const AxisOffset& column, const AxisOffset& row, std::int64_t scale) {
    DoubleDoubleOffset dc;
    dc.scale = scale;
    dc.re = column.dd;
    dc.im = row.dd;
    dc.err = roundUp(column.ddErr + row.ddErr);
    dc.abs = magnitudeUp(dc.re, dc.im);
    dc.wholeBound = roundUp(ExtReal(roundUp(dc.abs + dc.err), scale));
    return dc;
}

DoubleDoubleState startState(const DoubleDoubleOffset& dc) { return {dc.re, dc.im, dc.err, 1, 1}; }

PerturbState<double> handedToDouble(const DoubleDoubleState& st) {
    return {st.dzr.hi, st.dzi.hi, roundUp(st.e + std::fabs(st.dzr.lo) + std::fabs(st.dzi.lo)), st.m, st.i};
}

PerturbState<ExtReal> handedToRescaled(const DoubleDoubleState& st) {
    const PerturbState<double> handed = handedToDouble(st);
    return {ExtReal(handed.dzr), ExtReal(handed.dzi), ExtReal(handed.e), handed.m, handed.i};
}

std::int64_t doubleDoubleStep(const std::vector<OrbitPoint>& orbit, const std::vector<OrbitLow>& low,
                              const DoubleDoubleOffset& dc, std::int64_t limit, DoubleDoubleState& st,
                              bool pauseAfterRebase, const DdBlaLevels* table) {
    DoubleDouble zr, zi;
    double zErr;
    loadPoint(orbit, low, st.m, 0, zr, zi, zErr);
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
    if (st.m == static_cast<std::int64_t>(orbit.size()) - 1 || closerToZero(wAbs, dAbs)) {
        // Continue from the pixel's own value against Z_0 = 0.
        st = DoubleDoubleState{wr, wi, wErr, 0, st.i};
        if (pauseAfterRebase) return kSwitchCount;
        dAbs = wAbs;
        zr = zi = DoubleDouble{};
        zErr = 0;
    }
    if (table && approximationStep(*table, dc, limit, dAbs, st)) return 0;
    const DoubleDouble& dzr = st.dzr;
    const DoubleDouble& dzi = st.dzi;
    const double zAbs = magnitudeUp(zr, zi);
    const StepOffset<DoubleDouble> next = nextOffset(zr, zi, dzr, dzi, dc.re, dc.im);
    const double terms = stepTerms(2.0, zAbs, dAbs, dAbs * dAbs, dc.abs);
    st.e = roundUp(stepBound(2.0, st.e, wBound, dAbs, zErr, dc.err, kStepRounding, terms, kStepAbsoluteError));
    st.dzr = next.re;
    st.dzi = next.im;
    ++st.m;
    ++st.i;
    return 0;
}

namespace {

// δz = u·2^k while δz is below double's range; e bounds the error of u in
// the same unit. k follows |δz|, so that |u| stays near 1.
struct ScaledState {
    DoubleDouble ur, ui;
    double e = 0;
    std::int64_t k = 0;
    std::int64_t m = 1;
    std::int64_t i = 1;
};

// δc in units of 2^k, taken each time from the pixel's offset (so that
// precision lost while k is large comes back when k falls again).
struct ScaledOffset {
    DoubleDouble vr, vi;
    double vErr = 0, vAbs = 0;
};

ScaledOffset offsetIn(const DoubleDoubleOffset& dc, std::int64_t k) {
    const std::int64_t shift = dc.scale - k;
    const int clamped = static_cast<int>(std::clamp<std::int64_t>(shift, -3000, 3000));
    return {scaled(dc.re, shift), scaled(dc.im, shift), roundUp(std::ldexp(dc.err, clamped) + 0x1p-1072),
            roundUp(std::ldexp(dc.abs, clamped) + 0x1p-1072)};
}

// A plain step is safe where δz and the larger of its terms 2Z·δz and δz²
// stay above 2^floor (nothing underflows; number_ladder.h).

bool plainStepSafe(double zLargest, std::int64_t dzExponent, int floor) {
    if (dzExponent < floor) return false;
    const std::int64_t linear = zLargest > 0 ? std::ilogb(zLargest) + dzExponent + 1 : dzExponent * 2;
    return std::max(2 * dzExponent, linear) >= floor;
}

double largestPart(const DoubleDouble& re, const DoubleDouble& im) { return largerMagnitude(re.hi, im.hi); }

// Keeps |u| near 1 by moving powers of two into k. Parts that fall below
// double's range lose at most 2^-1074 each, which the bound takes up.
void renormalise(ScaledState& s) {
    const double largest = largestPart(s.ur, s.ui);
    if (largest == 0) return;
    const int shift = std::ilogb(largest);
    if (shift > -16 && shift < 16) return;
    s.ur = scaled(s.ur, -shift);
    s.ui = scaled(s.ui, -shift);
    s.e = roundUp(std::ldexp(s.e, -shift) + 0x1p-1072);
    s.k += shift;
}

// The step's new u, at the next iteration.
void moveOn(ScaledState& s, const DoubleDouble& nr, const DoubleDouble& ni) {
    s.ur = nr;
    s.ui = ni;
    ++s.m;
    ++s.i;
    renormalise(s);
}

// The scaled step where Z is zero or below double's range (exponent ≠ 0):
// with Z = Zs·2^k, δz' = 2^2k·(2Zs + u)·u + δc, rebasing as in the plain
// step. Z + δz is then far below 2, so the pixel stays. δz' may be far
// smaller than δz (δc at most): it is computed in a unit of its own size.
std::int64_t scaledStepNearZero(const std::vector<OrbitPoint>& orbit, const std::vector<OrbitLow>& low,
                                const DoubleDoubleOffset& dc, std::int64_t limit, ScaledState& s) {
    DoubleDouble zr, zi;
    double zErr;
    loadPoint(orbit, low, s.m, s.k, zr, zi, zErr);
    double uAbs = magnitudeUp(s.ur, s.ui);
    if (std::ldexp(magnitudeUp(zr, zi) + zErr + uAbs + s.e, static_cast<int>(s.k)) >= 1) return kUndecidedCount;
    if (s.i == limit) return limit;
    const DoubleDouble wr = zr + s.ur, wi = zi + s.ui;
    const double wAbs = magnitudeUp(wr, wi);
    const double sumRounding = kSumRounding * sizeUp(zr, zi, s.ur, s.ui);
    const double wBound = wAbs + sumRounding;  // ≥ |Z̃s + ũ|
    if (s.m == static_cast<std::int64_t>(orbit.size()) - 1 || closerToZero(wAbs, uAbs)) {
        s.ur = wr;
        s.ui = wi;
        s.e = roundUp(zErr + s.e + sumRounding);
        s.m = 0;
        zr = zi = DoubleDouble{};
        zErr = 0;
        uAbs = wAbs;
    }
    const double zAbs = magnitudeUp(zr, zi);
    const double product = (2 * zAbs + uAbs) * uAbs;
    // The new unit 2^next: that of the larger of the two terms.
    std::int64_t next = s.k;
    if (product > 0) next = 2 * s.k + std::ilogb(product);
    if (dc.abs > 0) next = product > 0 ? std::max(next, dc.scale + std::ilogb(dc.abs)) : dc.scale + std::ilogb(dc.abs);
    const ScaledOffset v = offsetIn(dc, next);
    const std::int64_t shift = 2 * s.k - next;
    const int f = static_cast<int>(std::clamp<std::int64_t>(shift, -3000, 3000));
    const DoubleDouble tr = twice(zr) + s.ur, ti = twice(zi) + s.ui;
    const DoubleDouble nr = scaled(tr * s.ur - ti * s.ui, shift) + v.vr;
    const DoubleDouble ni = scaled(tr * s.ui + ti * s.ur, shift) + v.vi;
    const double terms = std::ldexp(product, f) + v.vAbs;
    // 2^2k·(2Z̃sũ + ũ² − 2Zs·u − u²) = 2^2k·(ε·(2(Z̃s + ũ) − ε) + 2(Z̃s − Zs)·u)
    s.e = roundUp(std::ldexp(s.e * (2 * wBound + s.e) + 2 * (uAbs + s.e) * zErr, f) + 0x1p-1073 + v.vErr +
                  kStepRounding * terms + kStepAbsoluteError);
    s.k = next;
    moveOn(s, nr, ni);
    return 0;
}

// The longest valid approximation step from s in units of 2^k, taken; false
// if none, or if its terms would leave double's range in that unit.
bool scaledApproximationStep(const DdBlaLevels& table, const DoubleDoubleOffset& dc, std::int64_t limit,
                             ScaledState& s) {
    if (table.cMax < dc.wholeBound) return false;
    const double uAbs = magnitudeUp(s.ur, s.ui);
    const double reach = upperDouble(ExtReal(roundUp(uAbs + s.e), s.k));
    const int k = table.longest(s.m, reach, limit - s.i);
    if (k == 0) return false;
    const DdBlaStep& step = table.step(s.m, k);
    const ScaledOffset v = offsetIn(dc, s.k);
    const double linear = step.aBound * uAbs, offset = step.bBound * v.vAbs;
    if (!(linear < kDdScaledTermCeiling && offset < kDdScaledTermCeiling && linear + offset > kDdApproximationFloor))
        return false;
    const DdStepSlack slack = ddStepSlack(table, step, k, reach, dc.wholeBound);
    const double offsetTerms = roundUp((step.bErr + slack.slack * step.bBound) * v.vAbs + step.bBound * v.vErr);
    ddBlaStep(slack, step, v.vr, v.vi, offsetTerms, uAbs, s.ur, s.ui, s.e);
    const std::int64_t length = std::int64_t{1} << k;
    s.m += length - 1;
    s.i += length - 1;
    moveOn(s, s.ur, s.ui);  // the last iteration, and |u| back near 1
    return true;
}

// One iteration of the scaled loop: the count, kUndecidedCount, 0 to go on,
// or kSwitchCount where the plain loop must take over (δz in double's range
// against a Z in double's range, or the rebase at the reference's end onto
// Z + δz, which is then in double's range).
std::int64_t scaledStep(const std::vector<OrbitPoint>& orbit, const std::vector<OrbitLow>& low,
                        const DoubleDoubleOffset& dc, std::int64_t limit, ScaledState& s, const DdBlaLevels* table) {
    const auto index = static_cast<std::size_t>(s.m);
    const OrbitPoint& point = orbit[index];
    const bool tinyZ = point.exponent != 0;
    const double uAbs = magnitudeUp(s.ur, s.ui);
    const double uLargest = largestPart(s.ur, s.ui);
    const std::int64_t dzExponent =
        uLargest > 0 ? std::ilogb(uLargest) + s.k : std::numeric_limits<std::int32_t>::min();
    if (!tinyZ && (s.m == static_cast<std::int64_t>(orbit.size()) - 1 ||
                   plainStepSafe(largerMagnitude(point.re, point.im), dzExponent, kDdPlainFromExponent)))
        return kSwitchCount;
    if (tinyZ || s.m == 0) return scaledStepNearZero(orbit, low, dc, limit, s);
    const DoubleDouble zr{point.re, low[index].re}, zi{point.im, low[index].im};
    const double zErr = low[index].err;
    const double zAbs = magnitudeUp(zr, zi);
    // |Z̃ + δz̃ − (Z + δz)| ≤ zErr + |δz̃| + |ε|, and |δz̃| + |ε| is tiny.
    const double offsetUp = std::ldexp(uAbs + s.e, static_cast<int>(s.k)) + 0x1p-1074;
    if (zAbs <= 2 * offsetUp) return scaledStepNearZero(orbit, low, dc, limit, s);  // Z + δz may be below δz
    const EscapeTest test = escapeTest(zAbs, roundUp(zErr + offsetUp));
    if (test == EscapeTest::Escaped) return s.i;
    if (test == EscapeTest::Undecided) return kUndecidedCount;
    if (s.i == limit) return limit;
    if (table && scaledApproximationStep(*table, dc, limit, s)) return 0;
    // u ← 2Z·u + v + 2^k·u²
    const ScaledOffset v = offsetIn(dc, s.k);
    const DoubleDouble twoZr = twice(zr), twoZi = twice(zi);
    const DoubleDouble qr = scaled(s.ur * s.ur - s.ui * s.ui, s.k), qi = scaled(twice(s.ur) * s.ui, s.k);
    const DoubleDouble nr = ((twoZr * s.ur - twoZi * s.ui) + v.vr) + qr;
    const DoubleDouble ni = ((twoZr * s.ui + twoZi * s.ur) + v.vi) + qi;
    const int k = static_cast<int>(s.k);
    const double terms = 2 * zAbs * uAbs + std::ldexp(uAbs * uAbs, k) + v.vAbs;
    // As in the plain step, with 2^k·(2ũ − ε) in place of 2δz̃.
    const double square = std::ldexp(2 * uAbs + s.e, k) + 0x1p-1074;
    s.e = roundUp(s.e * (2 * zAbs + square) + 2 * (uAbs + s.e) * zErr + v.vErr + kStepRounding * terms +
                  kStepAbsoluteError);
    moveOn(s, nr, ni);
    return 0;
}

// From the plain loop into the scaled one where δz or Z leave double's
// range (not at the reference's end, where the plain loop rebases).
bool needsScaling(const std::vector<OrbitPoint>& orbit, const DoubleDoubleState& st) {
    if (st.m == static_cast<std::int64_t>(orbit.size()) - 1) return false;
    const OrbitPoint& point = orbit[static_cast<std::size_t>(st.m)];
    if (point.exponent != 0) return true;
    const double dzLargest = largestPart(st.dzr, st.dzi);
    return dzLargest == 0 ||
           !plainStepSafe(largerMagnitude(point.re, point.im), std::ilogb(dzLargest), kDdScaledBelowExponent);
}

ScaledState toScaled(const DoubleDoubleState& st) {
    const double largest = largestPart(st.dzr, st.dzi);
    const std::int64_t k = largest > 0 ? std::ilogb(largest) : -1074;
    return {scaled(st.dzr, -k), scaled(st.dzi, -k), roundUp(std::ldexp(st.e, static_cast<int>(-k))), k, st.m, st.i};
}

// Into double's range: parts lost there are at most 2^-1074 each.
DoubleDoubleState toPlain(const ScaledState& s) {
    return {scaled(s.ur, s.k), scaled(s.ui, s.k), roundUp(std::ldexp(s.e, static_cast<int>(s.k)) + 0x1p-1072), s.m,
            s.i};
}

DoubleDoubleOffset plainOffset(const DoubleDoubleOffset& dc) {
    if (dc.scale == 0) return dc;
    DoubleDoubleOffset out{scaled(dc.re, dc.scale), scaled(dc.im, dc.scale), 0, 0, 0, true, dc.wholeBound};
    // Where scaling back gives every part again, the copy lost nothing to
    // underflow (a view just below double's range, or one drawn in rescaled
    // doubles by choice): its approximation steps then take δc as it is.
    const auto same = [](const DoubleDouble& a, const DoubleDouble& b) { return a.hi == b.hi && a.lo == b.lo; };
    out.lost = !same(scaled(out.re, -dc.scale), dc.re) || !same(scaled(out.im, -dc.scale), dc.im);
    out.err = roundUp(std::ldexp(dc.err, static_cast<int>(std::max<std::int64_t>(dc.scale, -3000))) + 0x1p-1072);
    out.abs = magnitudeUp(out.re, out.im);
    return out;
}

}  // namespace

EscapePoint ddEscapePoint(const std::vector<OrbitPoint>& orbit, const std::vector<OrbitLow>& low,
                          const DoubleDoubleState& st) {
    DoubleDouble zr, zi;
    double zErr;
    loadPoint(orbit, low, st.m, 0, zr, zi, zErr);
    return {(zr + st.dzr).hi, (zi + st.dzi).hi, true};
}

std::int64_t ddScaledPhase(const std::vector<OrbitPoint>& orbit, const std::vector<OrbitLow>& low,
                           const DoubleDoubleOffset& dc, std::int64_t limit, bool fromStart, DoubleDoubleState& st,
                           const DdBlaLevels* table, const std::function<bool()>& stop, std::int64_t& iterations) {
    ScaledState scaledState = fromStart ? ScaledState{dc.re, dc.im, dc.err, dc.scale} : toScaled(st);
    for (;;) {
        const std::int64_t result = scaledStep(orbit, low, dc, limit, scaledState, table);
        if (result == kSwitchCount) {
            st = toPlain(scaledState);
            return kSwitchCount;
        }
        if (result != 0) return result;
        if (++iterations % kPollInterval == 0 && stop()) return kCancelledCount;
    }
}

bool ddNeedsScaling(const std::vector<OrbitPoint>& orbit, const DoubleDoubleOffset& dc, const DoubleDoubleState& st) {
    return dc.scale != 0 && needsScaling(orbit, st);
}

DoubleDoubleOffset ddPlainOffset(const DoubleDoubleOffset& dc) { return plainOffset(dc); }

bool ddTableServes(const DdBlaLevels& table, const DoubleDoubleOffset& dc) {
    return dc.lost ? !(table.cMax < dc.wholeBound) : !(table.cMax < ExtReal(roundUp(dc.abs + dc.err)));
}

std::int64_t doubleDoublePerturbedCount(const std::vector<OrbitPoint>& orbit, const std::vector<OrbitLow>& low,
                                        const DoubleDoubleOffset& dc, std::int64_t limit,
                                        const std::function<bool()>& stop, std::int64_t& iterations,
                                        const DdBlaLevels* table, EscapePoint* escape, const DdHandOff* handOff) {
    const DoubleDoubleOffset plain = plainOffset(dc);
    const bool mayScale = dc.scale != 0;
    DoubleDoubleState st = startState(dc);
    bool fromStart = mayScale;
    for (;;) {
        if (fromStart || ddNeedsScaling(orbit, dc, st)) {
            const std::int64_t result = ddScaledPhase(orbit, low, dc, limit, fromStart, st, table, stop, iterations);
            fromStart = false;
            if (result != kSwitchCount) return result;
            continue;
        }
        const std::int64_t result = doubleDoubleStep(orbit, low, plain, limit, st, mayScale || handOff, table);
        if (result == kSwitchCount) {
            // Rebased: the next step may need scaling, or the hand-off
            // may finish the pixel.
            if (handOff) {
                const std::int64_t finished = (*handOff)(st);
                if (finished != kUndecidedCount) return finished;
            }
            continue;
        }
        if (escape && result > 0 && result < limit) *escape = ddEscapePoint(orbit, low, st);
        if (result != 0) return result;
        if (++iterations % kPollInterval == 0 && stop()) return kCancelledCount;
    }
}

}  // namespace mandel
