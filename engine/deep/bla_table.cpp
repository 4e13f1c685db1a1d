#include "deep/bla_table.h"

#include <chrono>
#include <algorithm>
#include <cmath>
#include <limits>
#include <type_traits>

#include "deep/dd_bla_table.h"
#include "deep/error_bound.h"
#include "deep/orbit.h"

namespace mandel {

namespace {

// A rounded-down factor for lower bounds (the counterpart of roundUp).
constexpr double kRoundDown = 1 - 0x1p-40;
// An iterate inside a step stays below this magnitude (escape is |z| > 2).
constexpr double kInsideLimit = 2 * (1 - 0x1p-30);
// A double step whose |A| may be below this has no radius: its products
// (and their double-double shadows) may lose bits to underflow, and their
// bounds, relative to their terms, would no longer hold.
constexpr double kSmallestDoubleBound = 0x1p-900;

bool finite(double v) { return std::isfinite(v); }
bool finite(const ExtReal& v) { return std::isfinite(v.mantissa); }

// a / b rounded down, for a ≥ 0 and b > 0.
double quotientDown(double a, double b) { return a / b * kRoundDown; }
ExtReal quotientDown(const ExtReal& a, const ExtReal& b) {
    if (a.isZero()) return {};
    return ExtReal(a.mantissa / b.mantissa * kRoundDown, a.exponent - b.exponent);
}

// |x + iy| rounded down; 0 where double's squares underflow (then no step).
double magnitudeDown(double x, double y) {
    const double squares = x * x + y * y;
    return squares >= kSquaresFloor ? std::sqrt(squares) * kRoundDown : 0.0;
}
ExtReal magnitudeDown(const ExtReal& x, const ExtReal& y) { return sqrt(x * x + y * y) * ExtReal(kRoundDown); }

// The step of the single iteration from reference index j.
template <class R>
BlaStep<R> singleStep(const OrbitPoint& point, double tolerance) {
    R zr, zi, zErr;
    NumberTraits<R>::load(point, zr, zi, zErr);
    const R zAbs = magnitudeDown(zr, zi);
    const R high = roundUp(magnitudeUp(zr, zi) + zErr);
    const R low = (zAbs - zErr) * R(kRoundDown);
    const R two(2.0);
    BlaStep<R> s;
    s.ar = zr + zr;
    s.ai = zi + zi;
    s.br = R(1.0);
    s.aBound = roundUp(two * high);
    s.bBound = R(1.0);
    s.aErr = roundUp(two * zErr);
    s.sqU = R(1.0);  // the iterate's own δz_j², |δz_j| ≤ u
    // True radius r_j = ε·2·low; the table's is half of it (see the header).
    const R radius = R(tolerance) * low * R(kRoundDown);
    const bool inside = roundUp(high + two * radius) < R(kInsideLimit);
    if (R{} < low && inside && finite(s.aBound)) s.radius = radius;
    return s;
}

// The step `first` followed by `second`.
template <class R>
BlaStep<R> merged(const BlaStep<R>& first, const BlaStep<R>& second, const R& cMax) {
    const R gamma(kBlaRounding);
    const R one(1.0);
    BlaStep<R> s;
    s.ar = second.ar * first.ar - second.ai * first.ai;
    s.ai = second.ar * first.ai + second.ai * first.ar;
    s.br = (second.ar * first.br - second.ai * first.bi) + second.br;
    s.bi = (second.ar * first.bi + second.ai * first.br) + second.bi;
    const R aa = second.aBound * first.aBound;
    const R ab = second.aBound * first.bBound + second.bBound;
    s.aBound = roundUp(aa * (one + gamma));
    s.bBound = roundUp(ab * (one + gamma));
    s.aErr = roundUp(gamma * aa + second.aBound * first.aErr + second.aErr * first.aBound);
    s.bErr = roundUp(gamma * ab + second.aBound * first.bErr + second.aErr * first.bBound + second.bErr);
    const R &a2 = second.aBound, &alpha = first.aBound, &beta = first.bBound;
    s.sqU = roundUp(a2 * first.sqU + alpha * alpha * second.sqU);
    s.sqUC = roundUp(a2 * first.sqUC + alpha * beta * second.sqU + alpha * second.sqUC);
    s.sqC = roundUp(a2 * first.sqC + beta * beta * second.sqU + R(2.0) * beta * second.sqUC + second.sqC);
    if (!(R{} < first.radius) || !(R{} < second.radius)) return s;
    if constexpr (std::is_same_v<R, double>)
        if (!(kSmallestDoubleBound <= aa)) return s;
    if (!finite(s.aBound) || !finite(s.bBound) || !finite(s.aErr) || !finite(s.bErr)) return s;
    const R room = second.radius - roundUp(first.bBound * cMax);
    if (!(R{} < room)) return s;
    const R radius = quotientDown(room, first.aBound);
    s.radius = radius < first.radius ? radius : first.radius;
    return s;
}

// Steps built between two looks at cancel (well under a millisecond).
constexpr std::int64_t kStepsPerPoll = 1 << 12;

bool stopped(const std::atomic<bool>* cancel) { return cancel && cancel->load(std::memory_order_relaxed); }

// The double-double coefficients of a table's steps, side by side with them
// while the table is built (where the orbit's low parts are known): each
// step's Ã and B̃ are then rounded once from them (roundedFrom).
struct Shadow {
    const std::vector<OrbitLow>* low = nullptr;  // null: no shadow
    std::vector<DdCoefficients> level;
};

// A shadow's products keep their bounds (relative to their terms) only while
// none underflows (|A| of a merge at least kSmallestDoubleBound, as a double
// step's radius asks) or overflows (no part beyond 2^990, where Dekker's split
// of a factor would): a shadow outside that range, or of a point below
// double's range (its low part is in the point's own unit), is marked
// unusable. The mark is a NaN in aErr, which every merge with it carries on.
constexpr double kShadowHighest = 0x1p990;

DdCoefficients unusable(DdCoefficients c) {
    c.aErr = std::numeric_limits<double>::quiet_NaN();
    return c;
}

bool usable(const DdCoefficients& c) { return !std::isnan(c.aErr); }

DdCoefficients shadowSingle(const OrbitPoint& point, const OrbitLow& low) {
    if (point.exponent != 0) return unusable({});
    const DdCoefficients c = ddIterationCoefficients(point, low);
    return c.aBound <= kShadowHighest ? c : unusable(c);
}

DdCoefficients shadowMerged(const DdCoefficients& first, const DdCoefficients& second) {
    const DdCoefficients c = ddMergedCoefficients(first, second);
    const bool inRange = second.aBound * first.aBound >= kSmallestDoubleBound && c.aBound <= kShadowHighest &&
                         c.bBound <= kShadowHighest;
    return inRange ? c : unusable(c);
}

// The first level's steps from every index (each ending at or before the
// last index), merged from single steps through the shorter levels, which
// are not kept (and so their shadows); false if cancelled.
template <class R>
bool firstLevelFromEveryStart(std::vector<BlaStep<R>>& level, const std::vector<OrbitPoint>& orbit, int firstLevel,
                              const R& cMax, double tolerance, Shadow& shadow, const std::atomic<bool>* cancel) {
    const std::int64_t last = static_cast<std::int64_t>(orbit.size()) - 1;
    for (std::int64_t m = 1; m + 1 <= last; ++m) {
        const auto at = static_cast<std::size_t>(m);
        level.push_back(singleStep<R>(orbit[at], tolerance));
        if (shadow.low) shadow.level.push_back(shadowSingle(orbit[at], (*shadow.low)[at]));
    }
    for (int k = 1; k <= firstLevel; ++k) {
        // In place: the step from j takes the one from j + half, not yet replaced.
        const std::size_t half = std::size_t{1} << (k - 1);
        if (level.size() <= half) {
            level.clear();
            shadow.level.clear();
            return true;
        }
        for (std::size_t j = 0; j + half < level.size(); ++j) {
            level[j] = merged(level[j], level[j + half], cMax);
            if (shadow.low) shadow.level[j] = shadowMerged(shadow.level[j], shadow.level[j + half]);
            if (j % kStepsPerPoll == 0 && stopped(cancel)) return false;
        }
        level.resize(level.size() - half);
        if (shadow.low) shadow.level.resize(level.size());
    }
    return true;
}

// The first level's steps from 1 + j·2^k, each merged pairwise from its
// single steps (and so their shadows); false if cancelled.
template <class R>
bool firstLevelAligned(std::vector<BlaStep<R>>& level, const std::vector<OrbitPoint>& orbit, int firstLevel,
                       const R& cMax, double tolerance, Shadow& shadow, const std::atomic<bool>* cancel) {
    const std::int64_t last = static_cast<std::int64_t>(orbit.size()) - 1;
    const std::int64_t firstLength = std::int64_t{1} << firstLevel;
    level.reserve(static_cast<std::size_t>(std::max<std::int64_t>(last - 1, 0) / firstLength));
    std::vector<BlaStep<R>> block(static_cast<std::size_t>(firstLength));
    std::vector<DdCoefficients> shadowBlock(shadow.low ? block.size() : 0);
    for (std::int64_t m = 1; m + firstLength <= last; m += firstLength) {
        for (std::int64_t j = 0; j < firstLength; ++j) {
            const auto at = static_cast<std::size_t>(m + j);
            block[static_cast<std::size_t>(j)] = singleStep<R>(orbit[at], tolerance);
            if (shadow.low)
                shadowBlock[static_cast<std::size_t>(j)] = shadowSingle(orbit[at], (*shadow.low)[at]);
        }
        for (std::int64_t width = 1; width < firstLength; width *= 2)
            for (std::int64_t j = 0; j < firstLength; j += 2 * width) {
                const auto at = static_cast<std::size_t>(j), second = at + static_cast<std::size_t>(width);
                block[at] = merged(block[at], block[second], cMax);
                if (shadow.low) shadowBlock[at] = shadowMerged(shadowBlock[at], shadowBlock[second]);
            }
        level.push_back(block[0]);
        if (shadow.low) shadow.level.push_back(shadowBlock[0]);
        if (level.size() % kStepsPerPoll == 0 && stopped(cancel)) return false;
    }
    return true;
}

// A step's coefficients rounded once from their double-double values (a
// normalised pair's high part is its sum rounded to nearest), where the
// shadow is usable. Merged in double (or in the extended range, whose
// mantissa is a double), Ã and B̃ gather about 2^-51 of their size per merge
// and the reference's own rounding per iteration: 2^-34 of |A| at steps of
// 2^17 iterations, which then dominates the bound of a pixel that takes them.
template <class R>
void roundedFrom(const DdCoefficients& c, BlaStep<R>& s) {
    if (!usable(c)) return;
    s.ar = R(c.ar.hi);
    s.ai = R(c.ai.hi);
    s.br = R(c.br.hi);
    s.bi = R(c.bi.hi);
    s.aErr = R(roundUp(std::fabs(c.ar.lo) + std::fabs(c.ai.lo) + c.aErr));
    s.bErr = R(roundUp(std::fabs(c.br.lo) + std::fabs(c.bi.lo) + c.bErr));
}

// A spread table's radii start by start (see BlaLevels::radii); its first
// level stays level by level too.
template <class R>
void keepRadiiByStart(BlaLevels<R>& table) {
    if (table.radii.empty()) return;
    const std::size_t levelCount = table.radii.size();
    table.startRadii.assign(table.radii[0].size() * levelCount, R{});
    for (std::size_t k = 0; k < levelCount; ++k) {
        table.levelSizes.push_back(table.radii[k].size());
        for (std::size_t j = 0; j < table.radii[k].size(); ++j)
            table.startRadii[j * levelCount + k] = table.radii[k][j];
    }
    table.radii.resize(1);
}

// Where a table's long steps may start (see build).
struct Spread {
    bool everyIndex = false;
    int from = 0;
};

// False if cancelled (the table is then incomplete).
template <class R>
bool build(BlaLevels<R>& table, const std::vector<OrbitPoint>& orbit, const R& cMax, double tolerance,
           int shortestLevel, const Spread& spread, std::size_t stepBytes, Shadow& shadow,
           const std::atomic<bool>* cancel) {
    // The first level: steps of 2^k iterations, every iteration ending at or
    // before the last index (the shorter levels are not kept). Every length
    // from every index where that fits and the spread allows it; else steps
    // from 2^from up, the long ones from every multiple of 2^from where that
    // fits, else at multiples of their own length (see kSpreadTableBytes).
    const int shortest = std::max(orbit.size() > kCompactTableLength ? kCompactFirstLevel : 1, shortestLevel);
    const bool everyIndex = spread.everyIndex && spreadFits(orbit.size(), 0, stepBytes);
    table.firstLevel = everyIndex ? shortest : std::max(spread.from, shortest);
    table.spreadLevel = everyIndex                                                ? 0
                        : spreadFits(orbit.size(), table.firstLevel, stepBytes) ? table.firstLevel
                                                                                : kAlignedSpread;
    std::vector<BlaStep<R>> level;
    const bool built = table.spreadLevel == 0
                           ? firstLevelFromEveryStart(level, orbit, table.firstLevel, cMax, tolerance, shadow, cancel)
                           : firstLevelAligned(level, orbit, table.firstLevel, cMax, tolerance, shadow, cancel);
    if (!built) return false;
    double length = static_cast<double>(std::int64_t{1} << table.firstLevel);
    for (int k = table.firstLevel;; ++k) {
        bool anyValid = false;
        for (const auto& s : level) anyValid = anyValid || R{} < s.radius;
        // The bound's induction needs 2ε·length ≤ 1 (see the header).
        if (level.empty() || !anyValid || 2 * tolerance * length > 1) break;
        const R remainder(2 * tolerance * length);
        table.remainder.push_back(remainder);
        // A step's second half starts where its first ends: the next entry
        // while the level is aligned, 2^(k−s) entries on where its steps start
        // at every multiple of 2^s.
        const bool spread = k >= table.spreadLevel;
        const std::size_t partner = spread ? std::size_t{1} << (k - table.spreadLevel) : 1;
        const std::size_t stride = spread ? 1 : 2;
        std::vector<BlaStep<R>> next;
        std::vector<DdCoefficients> shadowNext;
        next.reserve(level.size() / stride);
        for (std::size_t j = 0; j + partner < level.size(); j += stride) {
            next.push_back(merged(level[j], level[j + partner], cMax));
            if (shadow.low) shadowNext.push_back(shadowMerged(shadow.level[j], shadow.level[j + partner]));
            if (next.size() % kStepsPerPoll == 0 && stopped(cancel)) return false;
        }
        if (shadow.low) {
            for (std::size_t j = 0; j < level.size(); ++j) roundedFrom(shadow.level[j], level[j]);
            shadow.level = std::move(shadowNext);
        }
        level.shrink_to_fit();
        std::vector<R>& radii = table.radii.emplace_back(level.size());
        for (std::size_t j = 0; j < level.size(); ++j) radii[j] = level[j].radius;
        if (table.radii.size() == 1)
            for (const R& r : radii)
                if (table.largestFirstRadius < r) table.largestFirstRadius = r;
        table.levels.push_back(std::move(level));
        level = std::move(next);
        length *= 2;
    }
    if (table.spreadLevel <= table.firstLevel) keepRadiiByStart(table);
    return true;
}

RescaledBlaStep rescaledCopy(const BlaStep<ExtReal>& s) {
    RescaledBlaStep r;
    r.fits = exactDouble(s.ar, r.ar) && exactDouble(s.ai, r.ai) && exactDouble(s.br, r.br) && exactDouble(s.bi, r.bi);
    r.aBound = boundUp(s.aBound);
    r.bBound = boundUp(s.bBound);
    r.aErr = boundUp(s.aErr);
    r.bErr = boundUp(s.bErr);
    r.squares = s;
    return r;
}

// The steps as the rescaled iteration reads them (see RescaledBlaStep).
void addRescaledCopies(BlaLevels<ExtReal>& table) {
    for (std::size_t k = 0; k < table.levels.size(); ++k) {
        std::vector<RescaledBlaStep>& copies = table.rescaled.emplace_back();
        copies.reserve(table.levels[k].size());
        for (const BlaStep<ExtReal>& s : table.levels[k]) copies.push_back(rescaledCopy(s));
        table.rescaledRemainder.push_back(boundUp(table.remainder[k]));
    }
}

double cMaxIn(const ExtReal& cMax, double) { return upperDouble(cMax); }
ExtReal cMaxIn(const ExtReal& cMax, const ExtReal&) { return cMax; }

}  // namespace

template <class R>
std::size_t BlaLevels<R>::bytes() const {
    std::size_t total = 0;
    for (const auto& level : levels) total += level.capacity() * sizeof(BlaStep<R>);
    for (const auto& level : radii) total += level.capacity() * sizeof(R);
    total += startRadii.capacity() * sizeof(R);
    for (const auto& level : rescaled) total += level.capacity() * sizeof(RescaledBlaStep);
    return total;
}

template struct BlaLevels<double>;
template struct BlaLevels<ExtReal>;

BlaTable::BlaTable(const std::vector<OrbitPoint>& orbit, const ExtReal& cMax, bool extended, double tolerance,
                   const std::atomic<bool>* cancel, int doubleFirstLevel, const std::vector<OrbitLow>* low)
    : cMax_(cMax), extended_(extended) {
    const auto start = std::chrono::steady_clock::now();
    // The coefficients come from double-double ones where the orbit's low
    // parts are known: in the double table where every point is a plain
    // double, in the extended-range table step by step (see shadowSingle).
    Shadow shadow;
    const auto plain = [](const OrbitPoint& p) { return p.exponent == 0; };
    if (low && low->size() == orbit.size() && (extended_ || std::all_of(orbit.begin(), orbit.end(), plain)))
        shadow.low = low;
    // An extended-range drawing iterates in rescaled doubles with the
    // extended-range table only.
    cancelled_ = extended_ ? !build(ext_, orbit, cMaxIn(cMax_, ExtReal{}), tolerance, 1,
                                    Spread{true, kRescaledFirstLevel}, kExtendedStepBytes, shadow, cancel)
                           : !build(doubles_, orbit, cMaxIn(cMax_, 0.0), tolerance, doubleFirstLevel,
                                    Spread{false, doubleFirstLevel}, kDoubleStepBytes, shadow, cancel);
    if (extended_ && !cancelled_) addRescaledCopies(ext_);
    ext_.cMax = cMaxIn(cMax_, ExtReal{});
    doubles_.cMax = cMaxIn(cMax_, 0.0);
    buildMs_ = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace mandel
