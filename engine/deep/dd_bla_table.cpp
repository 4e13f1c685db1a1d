#include "deep/dd_bla_table.h"

#include <algorithm>
#include <cmath>

#include "deep/bla_table.h"
#include "deep/error_bound.h"

namespace mandel {

namespace {

constexpr double kRoundDown = 1 - 0x1p-40;
// An iterate inside a step stays below this magnitude (escape is |z| > 2).
constexpr double kInsideLimit = 2 * (1 - 0x1p-30);
constexpr std::size_t kStepsPerPoll = 1 << 12;

double magnitudeDown(const DoubleDouble& re, const DoubleDouble& im) {
    const double squares = re.hi * re.hi + im.hi * im.hi;
    return squares >= kSquaresFloor ? std::sqrt(squares) * (1 - 0x1p-49) * kRoundDown : 0.0;
}

// The step of the single iteration from reference index j (A = 2Z_j, B = 1).
DdBlaStep singleStep(const OrbitPoint& point, const OrbitLow& low, double tolerance) {
    DdBlaStep s;
    if (point.exponent != 0) return s;  // Z below double's range: no step
    static_cast<DdCoefficients&>(s) = ddIterationCoefficients(point, low);
    const DoubleDouble zr{point.re, low.re}, zi{point.im, low.im};
    const double high = roundUp(magnitudeUp(zr, zi) + low.err);
    const double lowest = (magnitudeDown(zr, zi) - low.err) * kRoundDown;
    // True radius ε·2·lowest; the table's is half of it (see bla_table.h).
    const double radius = tolerance * lowest * kRoundDown;
    if (lowest > 0 && roundUp(high + 2 * radius) < kInsideLimit && std::isfinite(s.aBound)) s.radius = radius;
    return s;
}

DdBlaStep merged(const DdBlaStep& first, const DdBlaStep& second, const ExtReal& cMax) {
    DdBlaStep s;
    static_cast<DdCoefficients&>(s) = ddMergedCoefficients(first, second);
    if (!(first.radius > 0) || !(second.radius > 0)) return s;
    // Below this a merge's products may lose bits to underflow, and their
    // bounds, relative to their terms, would no longer hold.
    if (!(second.aBound * first.aBound >= 0x1p-900)) return s;
    if (!std::isfinite(s.aBound + s.bBound + s.aErr + s.bErr)) return s;
    // In the extended range so that a huge |B| times a tiny |δc| stays tiny.
    const double room = second.radius - upperDouble(roundUp(ExtReal(first.bBound) * cMax));
    if (!(room > 0)) return s;
    s.radius = std::min(room / first.aBound * kRoundDown, first.radius);
    return s;
}

bool stopped(const std::atomic<bool>* cancel) { return cancel && cancel->load(std::memory_order_relaxed); }

// The first level, each step merged pairwise from its single steps.
bool firstLevel(std::vector<DdBlaStep>& level, const std::vector<OrbitPoint>& orbit, const std::vector<OrbitLow>& low,
                const ExtReal& cMax, double tolerance, const std::atomic<bool>* cancel) {
    const std::int64_t last = static_cast<std::int64_t>(orbit.size()) - 1;
    const std::int64_t length = std::int64_t{1} << kDdBlaFirstLevel;
    std::vector<DdBlaStep> block(static_cast<std::size_t>(length));
    for (std::int64_t m = 1; m + length <= last; m += length) {
        for (std::int64_t j = 0; j < length; ++j) {
            const auto at = static_cast<std::size_t>(m + j);
            block[static_cast<std::size_t>(j)] = singleStep(orbit[at], low[at], tolerance);
        }
        for (std::int64_t width = 1; width < length; width *= 2)
            for (std::int64_t j = 0; j < length; j += 2 * width) {
                const auto at = static_cast<std::size_t>(j);
                block[at] = merged(block[at], block[at + static_cast<std::size_t>(width)], cMax);
            }
        level.push_back(block[0]);
        if (level.size() % kStepsPerPoll == 0 && stopped(cancel)) return false;
    }
    return true;
}

}  // namespace

DdCoefficients ddIterationCoefficients(const OrbitPoint& point, const OrbitLow& low) {
    const DoubleDouble zr{point.re, low.re}, zi{point.im, low.im};
    DdCoefficients s;
    s.ar = zr + zr;
    s.ai = zi + zi;
    s.br = {1.0, 0.0};
    s.aBound = roundUp(2 * roundUp(magnitudeUp(zr, zi) + low.err));
    s.bBound = 1.0;
    s.aErr = roundUp(2 * low.err);
    return s;
}

DdCoefficients ddMergedCoefficients(const DdCoefficients& first, const DdCoefficients& second) {
    const double gamma = kDdBlaRounding;
    DdCoefficients s;
    s.ar = second.ar * first.ar - second.ai * first.ai;
    s.ai = second.ar * first.ai + second.ai * first.ar;
    s.br = (second.ar * first.br - second.ai * first.bi) + second.br;
    s.bi = (second.ar * first.bi + second.ai * first.br) + second.bi;
    const double aa = second.aBound * first.aBound;
    const double ab = second.aBound * first.bBound + second.bBound;
    s.aBound = roundUp(aa * (1 + gamma));
    s.bBound = roundUp(ab * (1 + gamma));
    s.aErr = roundUp(gamma * aa + second.aBound * first.aErr + second.aErr * first.aBound);
    s.bErr = roundUp(gamma * ab + second.aBound * first.bErr + second.aErr * first.bBound + second.bErr);
    return s;
}

int DdBlaLevels::longest(std::int64_t m, double u, std::int64_t maxLength) const {
    if (m < 1) return 0;
    const auto offset = static_cast<std::uint64_t>(m - 1);
    int best = 0;
    for (int k = kDdBlaFirstLevel; k < kDdBlaFirstLevel + static_cast<int>(levels.size()); ++k) {
        if ((offset & ((std::uint64_t{1} << k) - 1)) != 0 || (std::int64_t{1} << k) > maxLength) break;
        const auto& level = levels[static_cast<std::size_t>(k - kDdBlaFirstLevel)];
        const std::size_t index = offset >> k;
        if (index >= level.size() || !(u <= level[index].radius)) break;
        best = k;
    }
    return best;
}

std::size_t DdBlaLevels::bytes() const {
    std::size_t total = 0;
    for (const auto& level : levels) total += level.capacity() * sizeof(DdBlaStep);
    return total;
}

DdBlaLevels buildDdBlaLevels(const std::vector<OrbitPoint>& orbit, const std::vector<OrbitLow>& low,
                             const ExtReal& cMax, const std::atomic<bool>* cancel, bool& cancelled, double tolerance) {
    DdBlaLevels table;
    table.cMax = cMax;
    std::vector<DdBlaStep> level;
    level.reserve(orbit.size() >> kDdBlaFirstLevel);
    cancelled = !firstLevel(level, orbit, low, cMax, tolerance, cancel);
    for (const DdBlaStep& s : level) table.largestFirstRadius = std::max(table.largestFirstRadius, s.radius);
    double length = static_cast<double>(std::int64_t{1} << kDdBlaFirstLevel);
    while (!cancelled) {
        const bool anyValid = std::any_of(level.begin(), level.end(), [](const DdBlaStep& s) { return s.radius > 0; });
        // The bound's induction needs 2ε·length ≤ 1 (see bla_table.h).
        if (level.empty() || !anyValid || 2 * tolerance * length > 1) break;
        table.remainder.push_back(2 * tolerance * length);
        std::vector<DdBlaStep> next;
        next.reserve(level.size() / 2);
        for (std::size_t j = 0; j + 1 < level.size(); j += 2) {
            next.push_back(merged(level[j], level[j + 1], cMax));
            if (next.size() % kStepsPerPoll == 0 && stopped(cancel)) cancelled = true;
        }
        level.shrink_to_fit();
        table.levels.push_back(std::move(level));
        level = std::move(next);
        length *= 2;
    }
    return table;
}

DdStepSlack ddStepSlack(const DdBlaLevels& table, const DdBlaStep& s, int k, double u, const ExtReal& cBound) {
    const double share = upperDouble(remainderShare(ExtReal(u), ExtReal(s.radius), offsetShare(cBound, table.cMax)));
    const double remainder = roundUp(table.remainder[static_cast<std::size_t>(k - kDdBlaFirstLevel)] * share);
    return {remainder, roundUp(remainder + kDdBlaRounding)};
}

void ddBlaStep(const DdStepSlack& slack, const DdBlaStep& s, const DoubleDouble& dcRe, const DoubleDouble& dcIm,
               double offsetTerms, double dAbs, DoubleDouble& dzr, DoubleDouble& dzi, double& e) {
    const DoubleDouble nr = (s.ar * dzr - s.ai * dzi) + (s.br * dcRe - s.bi * dcIm);
    const DoubleDouble ni = (s.ar * dzi + s.ai * dzr) + (s.br * dcIm + s.bi * dcRe);
    // Underflowing low parts lose a few 2^-1074 in each of the step's operations.
    constexpr double kAbsoluteError = 0x1p-1060;
    e = roundUp(s.aBound * (e + slack.remainder * e) + (s.aErr + slack.slack * s.aBound) * dAbs + offsetTerms +
                kAbsoluteError);
    dzr = nr;
    dzi = ni;
}

}  // namespace mandel
