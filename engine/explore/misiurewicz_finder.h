#pragma once

// The Misiurewicz point nearest a point: a parameter c whose critical orbit
// z_0 = 0, z_{n+1} = z_n² + c becomes periodic after a preperiod,
// z_{k+p}(c) = z_k(c) with k ≥ 1 and k, p the smallest such.
//
// The search: the point's orbit z_n and its derivative z'_n = dz_n/dc give,
// for each pair k < k + p, Newton's estimate of the distance to the nearest
// root of z_{k+p} − z_k, |z_{k+p} − z_k| / |z'_{k+p} − z'_k|. One pair for each
// root estimated near the disc, those within a few radii first, each by k + p,
// is followed by Newton's method in MPFR; the root must be simple and
// preperiodic (not a minibrot's nucleus, where the orbit returns to 0 and the
// root of a pair whose period the nucleus's divides is double) and lie within
// a few radii; otherwise the next pair is tried.
//
// What it finds: points whose own orbit stays near the periodic cycle for a
// while (the estimate is first order in the point's orbit). Where the
// point's orbit escapes as soon as it leaves the Misiurewicz point's orbit
// (most points a deep disc about a Misiurewicz point of small period holds,
// other than the point itself), it finds nothing.

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>

#include "deep/ext_real.h"

namespace mandel {

struct MisiurewiczSearch {
    std::string re;  // the point searched around (decimal texts)
    std::string im;
    std::string radius;  // the disc's radius (decimal text, > 0)
    std::int64_t maxPreperiod = 1 << 16;
    std::int64_t maxPeriod = 256;
    // The point is wanted to about this many bits below the disc's radius.
    int precisionBelow = 32;
};

struct MisiurewiczPoint {
    std::string re;  // decimal texts with the digits the precision carries
    std::string im;
    std::int64_t preperiod = 0;
    std::int64_t period = 0;
    // The scale of the structure about the point, 1/|z'_k(c)|: the set near c
    // looks like the Julia set near z_k shrunk by |z'_k|.
    ExtReal size;
    int bits = 0;  // the binary precision Newton's method ran at
};

// The point, or nothing when no root of a pair within the limits lies within
// a few radii, or *cancel turns true.
std::optional<MisiurewiczPoint> findMisiurewicz(const MisiurewiczSearch& search,
                                                const std::atomic<bool>* cancel = nullptr);

// The smallest preperiod k ≥ 0 and period p ≤ maxPeriod with
// |z_{k+p} − z_k| below 2^-tolerance·(1 + |z_k|) at c (decimal texts), in
// MPFR at `bits`; k = 0 means the orbit returns to 0 (a nucleus). Nothing
// when the orbit is not (pre)periodic within the limits.
struct PreperiodAndPeriod {
    std::int64_t preperiod = 0;
    std::int64_t period = 0;
};
std::optional<PreperiodAndPeriod> orbitPreperiodAndPeriod(const std::string& re, const std::string& im, long bits,
                                                          long tolerance, std::int64_t maxPreperiod,
                                                          std::int64_t maxPeriod);

}  // namespace mandel
