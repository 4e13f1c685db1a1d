#pragma once

// Bilinear approximation of the perturbation along the reference orbit: a
// step of length l from reference index m maps δz_m to
//     δz_{m+l} = A·δz_m + B·δc + R,
// and R (the dropped squares δz_j² carried through the rest of the step) is
// bounded rigorously. Steps of one iteration (A = 2Z_j, B = 1) are merged
// pairwise level by level, so the table holds about one step per reference
// iteration.
//
// The bound. A single step j is valid for exact |δz_j| ≤ r_j = ε·|2Z_j|, so
// that |δz_j²| ≤ ε·|2Z_j|·|δz_j|. A step's radius ρ guarantees, for exact
// |δz_m| ≤ u ≤ ρ and |δc| ≤ C ≤ cMax, that every iterate inside it stays
// within (α_j·u + β_j·C) ≤ r_j / 2 (α_j, β_j bounding the partial |A|, |B|).
// Then by induction |δz_j| ≤ 2·(α_j·u + β_j·C) while 2ε·l ≤ 1, and the
// dropped terms add up to at most 2ε·l·(α·u + β·C): a relative error of 2ε·l
// on the step. Each iterate inside also stays at most |Z_j| + r_j < 2, so no
// escape is skipped.
//
// The bound shrinks with the pixel. The radii are built so that
// α_j·ρ + β_j·cMax ≤ r_j / 2 for every iterate, and both terms are linear:
// for u ≤ λ·ρ and C ≤ λ·cMax (λ ≤ 1) every iterate stays within λ·r_j / 2,
// its dropped square is at most λ·ε·|2Z_j|·|δz_j|, and the same induction
// gives 2λε·l·(α·u + β·C). A pixel well inside a step's radius, or with a
// |δc| well below cMax (twice the view's), takes only that share λ =
// max(u/ρ, C/cMax) of the remainder (remainderShare).
//
// The iterates' own sizes bound it closer. Exactly, the remainder is
// Σ_j A_{j+1→m+l}·δz_j² over the step's iterates j, and the induction gives
// |δz_j| ≤ (1 + 2εl)·(α_j·u + β_j·C). So it is at most
// (1 + 2εl)²·(P·u² + 2Q·u·C + S·C²) with P = Σ a_j·α_j², Q = Σ a_j·α_j·β_j,
// S = Σ a_j·β_j² (a_j ≥ |A_{j+1→m+l}|). A single iteration has P = 1, Q = S
// = 0; a step `first` then `second` has (a₂, α₁, β₁ the bounds of |A₂|,
// |A₁|, |B₁|) P = a₂P₁ + α₁²P₂, Q = a₂Q₁ + α₁β₁P₂ + α₁Q₂, S = a₂S₁ +
// β₁²P₂ + 2β₁Q₂ + S₂. Where one iterate binds the radius and the others stay
// far inside theirs, this is far below 2λεl; a pixel's step takes the
// smaller of the two.

#include <algorithm>
#include <atomic>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "deep/error_bound.h"
#include "deep/ext_real.h"
#include "deep/orbit.h"

namespace mandel {

// ε above: the dropped squares relative to the linear terms in each iteration.
// A larger ε makes longer steps, and with the share of 2εl alone it made
// wider bounds (more pixels to settle); the closer bound does not grow with
// it. At 501², 2^-42 drew zoom_1e50 in 5.2 s against 6.8 at 2^-50 (2^-40
// and 2^-38 as fast, with more pixels to settle).
inline constexpr double kBlaTolerance = 0x1p-42;
// Rounding of one approximation step (a complex product-sum in R), relative to
// α·|δz| + β·|δc|, and of one merge of two steps. A complex product computed
// as (ac − bd, ad + bc) is within √5·u of the exact one, relative to |x|·|y|
// (u = 2^-53; ExtReal rounds each operation as double does), and the sum
// after it adds u of its terms: (√5 + 1)·u < 4u = 2^-51. This was 2^-48,
// whose share of a long step's bound outweighed its dropped squares.
inline constexpr double kBlaRounding = 0x1p-51;

// P, Q and S of the header's closer bound on the dropped squares.
template <class R>
struct DroppedSquares {
    R sqU{}, sqUC{}, sqC{};
};

template <class R>
struct BlaStep : DroppedSquares<R> {
    R ar{}, ai{};  // Ã (computed)
    R br{}, bi{};  // B̃ (computed)
    R aBound{};    // ≥ |A| and ≥ |Ã|
    R bBound{};    // ≥ |B| and ≥ |B̃|
    R aErr{};      // ≥ |Ã − A|, A that of the exact reference orbit
    R bErr{};      // ≥ |B̃ − B|
    R radius{};    // valid for exact |δz_m| ≤ radius (0: never)
};

// Orbits longer than this keep steps of 2^kCompactFirstLevel iterations and
// more only: the shorter ones save a few perturbation steps each, for three
// quarters of the table's memory (72 bytes an iteration in double, against 18).
inline constexpr std::size_t kCompactTableLength = std::size_t{1} << 21;
inline constexpr int kCompactFirstLevel = 3;
// In a drawing in double's range the double table starts at steps of
// 2^kDoubleFirstLevel iterations: its pixels iterate in SIMD lanes, where a
// shorter step (taken lane by lane) costs more than the plain steps it saves.
// At 301², 16 against 32: minibrot_1e-113 255 → 205–215 ms, the published
// locations unchanged within the noise; 8 was no faster.
inline constexpr int kDoubleFirstLevel = 4;
// An extended-range table keeps every length from every index where that
// fits (orbits up to about 20,000 iterations: at minibrot_1e-300 at 401² the
// rescaled lanes took 159–162 ms with it and 216–219 ms with steps from every
// multiple of 8, and the extended-range loop that carries the derivative
// needs the short steps). Where it does not fit, its shortest steps are
// 2^kRescaledFirstLevel iterations with long steps from every multiple of
// that length where that fits, else aligned (2 to 4 measured; 3 was best
// over minibrot_1e-1040 and zoom_4e533).
inline constexpr int kRescaledFirstLevel = 3;

// u ≤ r for u, r ≥ 0 (a radius is never negative): in the extended range by
// exponent, then mantissa (0 has the lowest exponent), without the sign cases.
inline bool withinRadius(double u, double r) { return u <= r; }
inline bool withinRadius(const ExtReal& u, const ExtReal& r) {
    return u.exponent != r.exponent ? u.exponent < r.exponent : u.mantissa <= r.mantissa;
}

// An extended-range step as the rescaled iteration takes it, converted once
// when the table is built: the coefficients exactly, the bounds upward (see
// rescaled_perturbation.h). fits is false where a coefficient is not a double
// small enough for the products in the unit; such a step takes the
// extended-range arithmetic.
struct RescaledBlaStep {
    double ar = 0, ai = 0, br = 0, bi = 0;
    double aBound = 0, bBound = 0, aErr = 0, bErr = 0;
    DroppedSquares<ExtReal> squares;  // as the step has them (scaled to the unit when taken)
    bool fits = false;
};

// A table's steps of 2^k iterations start at multiples of 2^min(k, s): its
// long steps from every multiple of a short length 2^s, not only from
// multiples of their own length. A pixel then goes on with the longest valid
// step from the next multiple of 2^s, where aligned steps make it climb back
// up the levels one by one after every short step (near a minibrot, about
// twice the steps). Such a table keeps a step per 2^s iterations and level;
// it is made where that fits in kSpreadTableBytes, and aligned otherwise.
// - An extended-range table spreads from every index (s = 0) where that
//   fits, else from its first level (kRescaledFirstLevel).
// - The double table spreads from its first level (the lanes' shortest
//   step): its pixels iterate in SIMD lanes that take approximation steps
//   lane by lane, and steps from every index make some lane want one at
//   nearly every iteration (zoom_1e50 took 3.7 s instead of 2.6 at 201²).
inline constexpr std::size_t kSpreadTableBytes = std::size_t{64} << 20;
// A spread no table reaches: every step aligned to its length.
inline constexpr int kAlignedSpread = 62;

// What a table keeps of a step, with its radius again (and in the extended
// range with its rescaled copy).
inline constexpr std::size_t kDoubleStepBytes = sizeof(BlaStep<double>) + sizeof(double);
inline constexpr std::size_t kExtendedStepBytes =
    sizeof(BlaStep<ExtReal>) + sizeof(ExtReal) + sizeof(RescaledBlaStep);

// Whether an orbit of `points` iterations keeps its steps of 2^s iterations
// and more from every multiple of 2^s within kSpreadTableBytes (no more
// levels than `points` has bits).
inline bool spreadFits(std::size_t points, int s, std::size_t stepBytes) {
    return (points >> s) * static_cast<std::size_t>(std::bit_width(points)) * stepBytes <= kSpreadTableBytes;
}

// Level k (firstLevel, ...) holds the steps of length 2^k that start at
// reference indices 1 + j·2^min(k, spreadLevel).
template <class R>
struct BlaLevels {
    int firstLevel = 1;
    int spreadLevel = kAlignedSpread;
    std::vector<std::vector<BlaStep<R>>> levels;  // levels[k − firstLevel]
    // The steps' radii again: the search for the longest step reads only these
    // (the steps themselves span cache lines). Level by level, except that a
    // table whose steps from one start share an index (spread from its first
    // level or below) keeps only its first level here, for the SIMD lanes'
    // dense check, and all of one start's radii side by side in startRadii
    // (index · levels.size() + k − firstLevel): the search then reads one
    // short row in a tight loop, with each level's step count beside it (the
    // lanes search lane by lane, and this took zoom_1e50 from 2.65 to 1.98 s
    // at 201²).
    std::vector<std::vector<R>> radii;
    std::vector<R> startRadii;
    std::vector<std::size_t> levelSizes;  // with startRadii: each level's step count
    // The first level's largest radius: a pixel whose |δz| (plus its bound)
    // is beyond it takes no step anywhere in the orbit (the lanes' quick test
    // while a pixel wanders far from the reference).
    R largestFirstRadius{};
    std::vector<R> remainder;  // 2ε·2^k per level: dropped squares, relative
    // Extended-range tables only: the steps and remainders as the rescaled
    // iteration reads them, level by level.
    std::vector<std::vector<RescaledBlaStep>> rescaled;
    std::vector<double> rescaledRemainder;
    R cMax{};  // the largest |δc| (plus its error) the radii allow

    std::size_t slot(int k) const { return static_cast<std::size_t>(k - firstLevel); }
    bool hasSteps() const { return !levels.empty() && !levels[0].empty(); }

    // Whether a step of level k may start at reference index m ≥ 1, and
    // where it is kept in its level.
    bool alignedFor(std::uint64_t offset, int k) const {
        return (offset & ((std::uint64_t{1} << std::min(k, spreadLevel)) - 1)) == 0;
    }
    std::size_t indexIn(std::int64_t m, int k) const {
        return static_cast<std::size_t>(static_cast<std::uint64_t>(m - 1) >> std::min(k, spreadLevel));
    }
    // Whether some step starts at reference index m.
    bool startsAt(std::int64_t m) const { return m >= 1 && alignedFor(static_cast<std::uint64_t>(m - 1), firstLevel); }
    // The longest valid step from reference index m for an exact |δz_m| ≤ u
    // and at most maxLength iterations: its level (0 for none).
    int longest(std::int64_t m, const R& u, std::int64_t maxLength) const {
        if (!startsAt(m)) return 0;
        if (!startRadii.empty()) return longestByStart(m, u, maxLength);
        const auto offset = static_cast<std::uint64_t>(m - 1);
        int best = 0;
        for (int k = firstLevel; k < firstLevel + static_cast<int>(levels.size()); ++k) {
            if (!alignedFor(offset, k) || (std::int64_t{1} << k) > maxLength) break;
            const auto& level = radii[slot(k)];
            const std::size_t index = indexIn(m, k);
            if (index >= level.size() || !withinRadius(u, level[index])) break;
            best = k;
        }
        return best;
    }
    // longest() in a table that keeps its radii start by start, where every
    // level's step from m has the same index (and m is a start).
    int longestByStart(std::int64_t m, const R& u, std::int64_t maxLength) const {
        const std::size_t index = indexIn(m, firstLevel), count = levelSizes.size();
        const R* row = startRadii.data() + index * count;
        int best = 0;
        for (std::size_t k = 0; k < count; ++k) {
            const int level = firstLevel + static_cast<int>(k);
            if ((std::int64_t{1} << level) > maxLength || index >= levelSizes[k] || !withinRadius(u, row[k])) break;
            best = level;
        }
        return best;
    }
    const BlaStep<R>& step(std::int64_t m, int k) const { return levels[slot(k)][indexIn(m, k)]; }
    // The radius of step(m, k), from where longest() read it (a step
    // itself is far larger and seldom in cache).
    const R& radius(std::int64_t m, int k) const {
        if (startRadii.empty()) return radii[slot(k)][indexIn(m, k)];
        return startRadii[indexIn(m, firstLevel) * levelSizes.size() + slot(k)];
    }
    const RescaledBlaStep& rescaledStep(std::int64_t m, int k) const { return rescaled[slot(k)][indexIn(m, k)]; }
    std::size_t bytes() const;
};

// A pixel's part of remainderShare, the same for every step: C/cMax for
// |δc| ≤ C ≤ cMax, rounded up.
template <class R>
R offsetShare(const R& cBound, const R& cMax) {
    return ratioUp(cBound, cMax);
}

// The share λ of a step's remainder that a pixel needs (see the header):
// max(u/ρ, C/cMax) for exact |δz_m| ≤ u ≤ ρ (the step's radius), rounded up
// and at most 1 (also where a ratio is not a number).
template <class R>
R remainderShare(const R& u, const R& radius, const R& fromOffset) {
    const R fromStart = ratioUp(u, radius);
    const R share = fromStart < fromOffset ? fromOffset : fromStart;
    return share < R(1.0) ? share : R(1.0);
}

// The header's closer bound on a step's dropped squares, for exact |δz_m| ≤
// u and |δc| ≤ c (levelRemainder 2εl), with what underflow in its products
// may lose; in double infinite or not a number where P, Q or S overflowed.
template <class R>
R droppedSquares(const DroppedSquares<R>& s, const R& levelRemainder, const R& u, const R& c) {
    const R one(1.0), two(2.0);
    const R growth = (one + levelRemainder) * (one + levelRemainder);
    return roundUp(growth * (u * (s.sqU * u + two * s.sqUC * c) + s.sqC * c * c)) +
           NumberTraits<R>::stepAbsoluteError();
}

// The table of one reference orbit for pixels with |δc| (plus its error) up
// to cMax: in double, or for an extended-range drawing in the extended range
// (the other one then has no steps).
class BlaTable {
public:
    // `tolerance` is ε; steps are at most 1/(2ε) long. Without the extended
    // range the double table's shortest steps are 2^doubleFirstLevel
    // iterations long (or longer, for long orbits). With the orbit's low
    // parts the double table's coefficients are made in double-double and
    // rounded once. Building stops early, with cancelled() true, when
    // *cancel turns true.
    BlaTable(const std::vector<OrbitPoint>& orbit, const ExtReal& cMax, bool extended, double tolerance,
             const std::atomic<bool>* cancel = nullptr, int doubleFirstLevel = kDoubleFirstLevel,
             const std::vector<OrbitLow>* low = nullptr);

    bool cancelled() const { return cancelled_; }

    const ExtReal& cMax() const { return cMax_; }
    const BlaLevels<double>* doubles() const { return &doubles_; }
    const BlaLevels<ExtReal>* extendedRange() const { return extended_ ? &ext_ : nullptr; }
    double buildMs() const { return buildMs_; }
    std::size_t bytes() const { return doubles_.bytes() + ext_.bytes(); }

private:
    ExtReal cMax_;
    bool extended_;
    BlaLevels<double> doubles_;
    BlaLevels<ExtReal> ext_;
    double buildMs_ = 0;
    bool cancelled_ = false;
};

}  // namespace mandel
