#pragma once

// The bilinear approximation of bla_table.h for the double-double stage: the
// same steps δz_{m+l} = A·δz_m + B·δc with A and B in double-double and a
// tolerance far below double's rounding, so that a pixel the double loop left
// undecided skips the long stretches where its δz is tiny beside Z (in the
// double-double loop's precision) instead of stepping through each
// iteration. Bounds are doubles; the bound's argument is that of
// bla_table.h with this table's tolerance and rounding.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "deep/double_double.h"
#include "deep/ext_real.h"
#include "deep/orbit.h"

namespace mandel {

// ε: the dropped squares relative to the linear terms in each iteration.
// The strict table leaves the bound hardly wider than the single steps'; the
// loose one's radii are 2^35 times larger, so its steps are longer (settling
// at 1e-50 takes a third of the time), and the few pixels it leaves
// undecided go on to the strict one.
inline constexpr double kDdBlaTolerance = 0x1p-110;
inline constexpr double kDdBlaLooseTolerance = 0x1p-75;
enum class DdTableTolerance { Loose, Strict };
// Rounding of one step or one merge in double-double, relative to its terms.
inline constexpr double kDdBlaRounding = 0x1p-98;
// Steps of 2^kDdBlaFirstLevel iterations and more (13 bytes an iteration).
inline constexpr int kDdBlaFirstLevel = 4;

// A step's coefficients in double-double, with their bounds.
struct DdCoefficients {
    DoubleDouble ar, ai;  // Ã (computed)
    DoubleDouble br, bi;  // B̃ (computed)
    double aBound = 0;    // ≥ |A| and ≥ |Ã|
    double bBound = 0;    // ≥ |B| and ≥ |B̃|
    double aErr = 0;      // ≥ |Ã − A|, A that of the exact reference orbit
    double bErr = 0;      // ≥ |B̃ − B|
};

struct DdBlaStep : DdCoefficients {
    double radius = 0;  // valid for exact |δz_m| ≤ radius (0: never)
};

// The coefficients of the single iteration from a point in plain doubles
// (exponent 0) with its low part: A = 2Z, B = 1.
DdCoefficients ddIterationCoefficients(const OrbitPoint& point, const OrbitLow& low);
// Those of `first` followed by `second`, each product and sum rounded in
// double-double (within kDdBlaRounding of its terms).
DdCoefficients ddMergedCoefficients(const DdCoefficients& first, const DdCoefficients& second);

struct DdBlaLevels {
    std::vector<std::vector<DdBlaStep>> levels;  // levels[k − kDdBlaFirstLevel]
    std::vector<double> remainder;               // 2ε·2^k per level
    double largestFirstRadius = 0;               // as BlaLevels's
    ExtReal cMax;                                // the largest |δc| (plus its error) the radii allow

    // The longest valid step from reference index m for an exact |δz_m| ≤ u
    // and at most maxLength iterations: its level (0 for none).
    int longest(std::int64_t m, double u, std::int64_t maxLength) const;
    const DdBlaStep& step(std::int64_t m, int k) const {
        return levels[static_cast<std::size_t>(k - kDdBlaFirstLevel)][static_cast<std::size_t>((m - 1) >> k)];
    }
    std::size_t bytes() const;
};

// The table of an orbit in plain doubles (OrbitPoint exponent 0) with its low
// parts, for |δc| plus its error up to cMax. `cancelled` is set (and the
// table left incomplete) when *cancel turns true.
DdBlaLevels buildDdBlaLevels(const std::vector<OrbitPoint>& orbit, const std::vector<OrbitLow>& low,
                             const ExtReal& cMax, const std::atomic<bool>* cancel, bool& cancelled,
                             double tolerance = kDdBlaTolerance);

// A pixel's share of step s's dropped squares (remainderShare of
// bla_table.h, for exact |δz_m| ≤ u and |δc| ≤ cBound), and with the
// rounding the slack its bound grows by, relative to |A|·|δz| and |B|·|δc|.
struct DdStepSlack {
    double remainder = 0;
    double slack = 0;
};
DdStepSlack ddStepSlack(const DdBlaLevels& table, const DdBlaStep& s, int k, double u, const ExtReal& cBound);

// δz ← Ã·δz + B̃·δc with its error bound e grown by the errors of Ã, the
// dropped squares and the rounding; dAbs ≥ |δz̃|. offsetTerms is the bound's
// share from δc: (|B̃ − B| + slack·|B|)·|δc| + |B|·(error of δc).
void ddBlaStep(const DdStepSlack& slack, const DdBlaStep& s, const DoubleDouble& dcRe, const DoubleDouble& dcIm,
               double offsetTerms, double dAbs, DoubleDouble& dzr, DoubleDouble& dzi, double& e);

}  // namespace mandel
