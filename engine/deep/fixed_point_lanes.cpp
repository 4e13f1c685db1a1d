#include "deep/fixed_point_lanes.h"

#include "deep/error_bound.h"
#include "deep/escape_test.h"

#include <gmp.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <stdexcept>
#include <tuple>
#include <utility>

#if defined(__x86_64__) && defined(__GNUC__)
// GCC 12's shift intrinsics pass an undefined vector through the lanes they
// write anyway, which -Wuninitialized reports wherever they are inlined.
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#include <immintrin.h>
#define MANDEL_IFMA_LANES 1
#else
#define MANDEL_IFMA_LANES 0
#endif

namespace mandel {

namespace {

using Part = FixedPointLanes::Part;
constexpr int kLanes = FixedPointLanes::kLanes;
constexpr int kMaxLimbs = FixedPointLanes::kMaxLimbs;
constexpr long kLimbBits = FixedPointLanes::kLimbBits;
constexpr std::uint64_t kLimbMask = (std::uint64_t{1} << kLimbBits) - 1;
// The bits of a 64-bit word above a limb (GMP's "nails").
constexpr std::size_t kNailBits = 64 - kLimbBits;

#if MANDEL_IFMA_LANES

#define MANDEL_IFMA __attribute__((target("avx512f,avx512dq,avx512ifma")))

using V = __m512i;

MANDEL_IFMA inline V loadLimb(const Part& p, int k) { return _mm512_load_si512(p.m[static_cast<std::size_t>(k)].data()); }
MANDEL_IFMA inline void storeLimb(Part& p, int k, V v) { _mm512_store_si512(p.m[static_cast<std::size_t>(k)].data(), v); }

// x² in 2N columns, exactly but not carried: column k sums the halves of
// the limb products that fall on it, the cross products twice and the
// squares once, each as its low and high 52 bits (at most 2N halves twice:
// below 2^58 for N ≤ 20). Columns below `from` are left unwritten.
template <int N>
MANDEL_IFMA inline void squareColumns(const V* x, V* out, int from) {
#pragma GCC unroll 64
    for (int k = 0; k < 2 * N; ++k) {
        if (k < from) continue;  // not needed (see stepLanes)
        // The cross products' halves in one sum, doubled, then the square's.
        V cross = _mm512_setzero_si512();
#pragma GCC unroll 64
        for (int i = 0; i < N; ++i) {
            const int j = k - i;
            if (j > i && j < N) cross = _mm512_madd52lo_epu64(cross, x[i], x[j]);
            const int jHigh = k - 1 - i;
            if (jHigh > i && jHigh < N) cross = _mm512_madd52hi_epu64(cross, x[i], x[jHigh]);
        }
        V column = _mm512_slli_epi64(cross, 1);
        if (k % 2 == 0 && k / 2 < N) column = _mm512_madd52lo_epu64(column, x[k / 2], x[k / 2]);
        if (k % 2 == 1 && k / 2 < N) column = _mm512_madd52hi_epu64(column, x[k / 2], x[k / 2]);
        out[k] = column;
    }
}

// out = x − y over n limbs (limbs may go negative on the way: the borrow is
// the arithmetic shift); returns the lanes where x < y.
template <int n>
MANDEL_IFMA inline __mmask8 subtract(const V* x, const V* y, V* out) {
    const V mask = _mm512_set1_epi64(static_cast<long long>(kLimbMask));
    V borrow = _mm512_setzero_si512();
#pragma GCC unroll 64
    for (int k = 0; k < n; ++k) {
        const V t = _mm512_add_epi64(_mm512_sub_epi64(x[k], y[k]), borrow);
        borrow = _mm512_srai_epi64(t, kLimbBits);
        out[k] = _mm512_and_si512(t, mask);
    }
    return _mm512_test_epi64_mask(borrow, borrow);
}

// out = x + y over n limbs (the sum fits them).
template <int n>
MANDEL_IFMA inline void add(const V* x, const V* y, V* out) {
    const V mask = _mm512_set1_epi64(static_cast<long long>(kLimbMask));
    V carry = _mm512_setzero_si512();
#pragma GCC unroll 64
    for (int k = 0; k < n; ++k) {
        const V t = _mm512_add_epi64(_mm512_add_epi64(x[k], y[k]), carry);
        carry = _mm512_srli_epi64(t, kLimbBits);
        out[k] = _mm512_and_si512(t, mask);
    }
}

// The magnitude of a 2N-limb product divided by 2^F, truncated, into N limbs,
// and cut further to each lane's own fraction (`keep`, whose limbs from
// `masked` up keep every bit); returns the lanes where nothing was truncated.
// The product's columns below `firstColumn` are 0.
template <int N>
MANDEL_IFMA inline __mmask8 takeTop(const V* product, V* out, long fraction, const Part& keep, int masked,
                                    int firstColumn) {
    const V mask = _mm512_set1_epi64(static_cast<long long>(kLimbMask));
    const int whole = static_cast<int>(fraction / kLimbBits);
    const auto bits = static_cast<unsigned>(fraction % kLimbBits);
    V lost = _mm512_and_si512(product[whole], _mm512_set1_epi64(static_cast<long long>((std::uint64_t{1} << bits) - 1)));
    for (int k = firstColumn; k < whole; ++k) lost = _mm512_or_si512(lost, product[k]);
    const __m128i down = _mm_cvtsi32_si128(static_cast<int>(bits));
    const __m128i up = _mm_cvtsi32_si128(static_cast<int>(kLimbBits - bits));
    const V* from = product + whole;  // the product has a zero limb past its last
#pragma GCC unroll 64
    for (int t = 0; t < N; ++t) {
        const V top = _mm512_and_si512(_mm512_or_si512(_mm512_srl_epi64(from[t], down), _mm512_sll_epi64(from[t + 1], up)), mask);
        if (t >= masked) {
            out[t] = top;
            continue;
        }
        const V kept = loadLimb(keep, t);
        lost = _mm512_or_si512(lost, _mm512_andnot_si512(kept, top));
        out[t] = _mm512_and_si512(top, kept);
    }
    return _mm512_testn_epi64_mask(lost, lost);
}

// Adds ±c to ±x exactly (the result stays below 16), as FixedPointOrbit's
// addSigned does: like signs add; else the smaller magnitude is taken from
// the larger, whose sign the result keeps (x's where they are equal). The
// result goes to `out`. Unlike signs are subtracted once, x − c, and the
// lanes where that borrows are negated.
template <int N>
MANDEL_IFMA inline unsigned addSigned(const V* x, unsigned xNegative, const Part& c, Part& out) {
    const V mask = _mm512_set1_epi64(static_cast<long long>(kLimbMask));
    const V* cLimbs = reinterpret_cast<const V*>(c.m.data());
    // x + c where the signs agree, x − c where they differ, carried with the
    // sign of each limb's sum; a final borrow says x < c there.
    const __mmask8 differ = static_cast<__mmask8>(xNegative ^ c.negative);
    V sum[N];
    V carry = _mm512_setzero_si512();
#pragma GCC unroll 64
    for (int k = 0; k < N; ++k) {
        const V signedSum = _mm512_mask_sub_epi64(_mm512_add_epi64(x[k], cLimbs[k]), differ, x[k], cLimbs[k]);
        const V t = _mm512_add_epi64(signedSum, carry);
        carry = _mm512_srai_epi64(t, kLimbBits);
        sum[k] = _mm512_and_si512(t, mask);
    }
    const __mmask8 takeReverse = _mm512_test_epi64_mask(carry, carry);
    if (takeReverse != 0) {
        // c − x = −(x − c): the two's complement of those lanes' limbs.
        V borrow = _mm512_setzero_si512();
#pragma GCC unroll 64
        for (int k = 0; k < N; ++k) {
            const V t = _mm512_add_epi64(_mm512_sub_epi64(_mm512_setzero_si512(), sum[k]), borrow);
            borrow = _mm512_srai_epi64(t, kLimbBits);
            sum[k] = _mm512_mask_and_epi64(sum[k], takeReverse, t, mask);
        }
    }
#pragma GCC unroll 64
    for (int k = 0; k < N; ++k) storeLimb(out, k, sum[k]);
    return (xNegative & ~takeReverse & 0xFFu) | (c.negative & takeReverse);
}

// A guard column's value (carried from no lower column, then masked) within
// this of a multiple of 2^52: the columns below it, whose sum is below 2^8
// of its units, might then carry into the next one or borrow from it.
constexpr std::uint64_t kGuardMargin = std::uint64_t{1} << 9;

// The lanes whose guard column is within kGuardMargin of a multiple of 2^52.
MANDEL_IFMA inline __mmask8 nearCarry(V guard) {
    const V low = _mm512_set1_epi64(static_cast<long long>(kGuardMargin));
    const V high = _mm512_set1_epi64(static_cast<long long>(kLimbMask - kGuardMargin));
    return static_cast<__mmask8>(_mm512_cmplt_epu64_mask(guard, low) | _mm512_cmpgt_epu64_mask(guard, high));
}

// The truncated magnitudes of Re z² = a² − b² and |Im z²| = 2ab =
// (a + b)² − a² − b² (a = |Re z|, b = |Im z|, s = a + b), exact in 2N
// columns from column `from` up, carried side by side (the columns are
// within ±2^62; the arithmetic shift carries their sign) and each truncated
// once. The columns below `from` are taken as 0 and column `from` as carrying
// nothing in; returns the lanes where that guard column was within
// kGuardMargin of a multiple of 2^52 (for from > 0).
template <int N>
MANDEL_IFMA inline __mmask8 squareParts(const V* a, const V* b, const V* s, __mmask8 realNegative, int from,
                                        long fraction, const Part& keep, int masked, V* re, V* im,
                                        __mmask8& exact) {
    const V mask = _mm512_set1_epi64(static_cast<long long>(kLimbMask));
    V aa[2 * N], bb[2 * N], ss[2 * N];
    squareColumns<N>(a, aa, from);
    squareColumns<N>(b, bb, from);
    squareColumns<N>(s, ss, from);
    V real[2 * N + 1], imag[2 * N + 1];
    V realCarry = _mm512_setzero_si512(), imagCarry = _mm512_setzero_si512();
#pragma GCC unroll 64
    for (int k = 0; k < 2 * N; ++k) {
        if (k < from) {
            real[k] = imag[k] = _mm512_setzero_si512();
            continue;
        }
        const V r = _mm512_add_epi64(_mm512_mask_sub_epi64(_mm512_sub_epi64(aa[k], bb[k]), realNegative, bb[k], aa[k]),
                                     realCarry);
        const V i = _mm512_add_epi64(_mm512_sub_epi64(_mm512_sub_epi64(ss[k], aa[k]), bb[k]), imagCarry);
        realCarry = _mm512_srai_epi64(r, kLimbBits);
        imagCarry = _mm512_srai_epi64(i, kLimbBits);
        real[k] = _mm512_and_si512(r, mask);
        imag[k] = _mm512_and_si512(i, mask);
    }
    real[2 * N] = imag[2 * N] = _mm512_setzero_si512();
    exact = takeTop<N>(imag, im, fraction, keep, masked, from) & takeTop<N>(real, re, fraction, keep, masked, from);
    if (from == 0) return 0;
    return static_cast<__mmask8>(nearCarry(real[from]) | nearCarry(imag[from]));
}

// One step of every lane, as FixedPointOrbit::step: the squares' parts,
// then c added. The columns more than one below the truncation's are left
// out (about 40 % of the multiply-adds at 19 limbs): they add less than 2^8
// units of the column below the truncation's, so the truncated value and
// its inexactness are the full products' wherever that column is not within
// kGuardMargin of a carry. In a lane of `live` where it is (or where the
// value may be exact, whose low columns are all 0), the step is made again
// with every column.
template <int N>
MANDEL_IFMA unsigned stepLanes(Part& zr, Part& zi, const Part& cr, const Part& ci, const Part& keep, int masked,
                               long fraction, unsigned live) {
    // The squares read the parts where they are.
    const V* a = reinterpret_cast<const V*>(zr.m.data());
    const V* b = reinterpret_cast<const V*>(zi.m.data());
    V s[N], difference[N];
    add<N>(a, b, s);
    // a² − b² is negative where a < b: known from a − b, beside the squares.
    const __mmask8 realNegative = subtract<N>(a, b, difference);
    const int guard = static_cast<int>(fraction / kLimbBits) - 1;
    V re[N], im[N];
    __mmask8 exact = 0;
    const __mmask8 unsure =
        squareParts<N>(a, b, s, realNegative, std::max(guard, 0), fraction, keep, masked, re, im, exact);
    if ((unsure & live) != 0) squareParts<N>(a, b, s, realNegative, 0, fraction, keep, masked, re, im, exact);
    const unsigned imNegative = addSigned<N>(im, (zr.negative ^ zi.negative) & 0xFFu, ci, zi);
    zr.negative = addSigned<N>(re, realNegative, cr, zr);
    zi.negative = imNegative;
    return exact;
}

using StepFunction = unsigned (*)(Part&, Part&, const Part&, const Part&, const Part&, int, long, unsigned);

template <std::size_t... N>
constexpr std::array<StepFunction, sizeof...(N)> stepTable(std::index_sequence<N...>) {
    return {&stepLanes<static_cast<int>(N) + 1>...};
}

// kStepFunctions[n − 1] steps lanes of n limbs.
constexpr std::array<StepFunction, kMaxLimbs> kStepFunctions =
    stepTable(std::make_index_sequence<static_cast<std::size_t>(kMaxLimbs)>{});

#endif  // MANDEL_IFMA_LANES

}  // namespace

bool FixedPointLanes::available() {
#if MANDEL_IFMA_LANES
    return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512dq") &&
           __builtin_cpu_supports("avx512ifma");
#else
    return false;
#endif
}

FixedPointLanes::FixedPointLanes(long fraction)
    : limbs_((fraction + kIntegerBits + kLimbBits - 1) / kLimbBits), fraction_(fraction) {
    if (!fits(fraction)) throw std::invalid_argument("FixedPointLanes: fraction out of range");
    laneFraction_.fill(fraction);
    for (int lane = 0; lane < kLanes; ++lane) placeLane(lane);
}

// What follows from a lane's fraction and the lanes' own: the scales of its
// 64-bit limbs, where nearAll reads them, and the bits it keeps.
void FixedPointLanes::placeLane(int lane) {
    // 2^(64k − F) for the lane's 64-bit limbs k where those are normal
    // doubles, so that near() scales by a product (exact) instead of a call.
    std::array<double, kOrbitLimbs>& scale = scale_[static_cast<std::size_t>(lane)];
    scale.fill(0.0);
    if (fraction(lane) <= FixedPointOrbit::kDoubleFraction)
        for (long k = 0; k < orbitLimbs(lane); ++k)
            scale[static_cast<std::size_t>(k)] = std::ldexp(1.0, static_cast<int>(k * 64 - fraction(lane)));
    setPlace(lane, orbitLimbs(lane) - 1);
    const long below = std::max(0L, fraction_ - fraction(lane));
    for (long k = 0; k < kMaxLimbs; ++k) {
        const long from = below - k * kLimbBits;  // bits of limb k below the lane's fraction
        std::uint64_t kept = 0;
        if (k < limbs_ && from < kLimbBits) kept = from <= 0 ? kLimbMask : kLimbMask & ~((std::uint64_t{1} << from) - 1);
        keep_.m[static_cast<std::size_t>(k)][static_cast<std::size_t>(lane)] = kept;
    }
    // The limbs of keep_ that do not keep every bit in every lane.
    long masked = 0;
    for (int k = 0; k < kLanes; ++k) masked = std::max(masked, (fraction_ - fraction(k) + kLimbBits - 1) / kLimbBits);
    maskedLimbs_ = static_cast<int>(std::min(masked, limbs_));
}

bool FixedPointLanes::start(int lane, long fraction, mpfr_srcptr cr, mpfr_srcptr ci) {
    if (fraction > fraction_ || fraction <= 0) throw std::invalid_argument("FixedPointLanes: lane fraction out of range");
    laneFraction_[static_cast<std::size_t>(lane)] = fraction;
    placeLane(lane);
    bool exact = true;
    const unsigned bit = 1u << lane;
    for (auto [z, c, value] : {std::tuple{&zr_, &cr_, cr}, std::tuple{&zi_, &ci_, ci}}) {
        mpz_t whole;
        mpz_init(whole);
        exact = scaledToInteger(whole, value, fraction) && exact;
        mpz_mul_2exp(whole, whole, static_cast<mp_bitcnt_t>(fraction_ - fraction));
        std::array<std::uint64_t, kMaxLimbs> limbs{};
        std::size_t count = 0;
        // |value| < 8 needs at most limbs_ limbs; mpz_export writes |whole|.
        if (mpz_sizeinbase(whole, 2) <= static_cast<std::size_t>(limbs_ * kLimbBits))
            mpz_export(limbs.data(), &count, -1, sizeof(std::uint64_t), 0, kNailBits, whole);
        for (long k = 0; k < kMaxLimbs; ++k) {
            const auto at = static_cast<std::size_t>(k);
            c->m[at][static_cast<std::size_t>(lane)] = z->m[at][static_cast<std::size_t>(lane)] = limbs[at];
        }
        const bool negative = mpz_sgn(whole) < 0;
        c->negative = negative ? (c->negative | bit) : (c->negative & ~bit);
        z->negative = c->negative & bit ? (z->negative | bit) : (z->negative & ~bit);
        mpz_clear(whole);
    }
    return exact;
}

unsigned FixedPointLanes::step(unsigned live) {
#if MANDEL_IFMA_LANES
    return kStepFunctions[static_cast<std::size_t>(limbs_ - 1)](zr_, zi_, cr_, ci_, keep_, maskedLimbs_, fraction_,
                                                                  live);
#else
    throw std::logic_error("FixedPointLanes: not available on this processor");
#endif
}

std::uint64_t FixedPointLanes::bitsAt(const Part& x, int lane, long from) const {
    const long limb = from / kLimbBits, offset = from % kLimbBits;
    const auto l = static_cast<std::size_t>(lane);
    const auto at = [&](long k) { return k < limbs_ ? x.m[static_cast<std::size_t>(k)][l] : std::uint64_t{0}; };
    std::uint64_t bits = at(limb) >> offset;
    bits |= at(limb + 1) << (kLimbBits - offset);
    if (2 * kLimbBits - offset < 64) bits |= at(limb + 2) << (2 * kLimbBits - offset);
    return bits;
}

// FixedPointOrbit::topLimbs and approximateNear on the lane's 64-bit limbs.
double FixedPointLanes::near(const Part& x, int lane) const {
    const long below = fraction_ - fraction(lane);
    long top = orbitLimbs(lane) - 1;
    std::uint64_t high = bitsAt(x, lane, below + top * 64);
    while (high == 0 && top > 0) high = bitsAt(x, lane, below + --top * 64);
    if (high == 0) return 0.0;
    const double low = top > 0 ? static_cast<double>(bitsAt(x, lane, below + (top - 1) * 64)) * 0x1p-64 : 0.0;
    const double value =
        (static_cast<double>(high) + low) * scale_[static_cast<std::size_t>(lane)][static_cast<std::size_t>(top)];
    return (x.negative >> lane) & 1u ? -value : value;
}

void FixedPointLanes::setPlace(int lane, long top) {
    const auto l = static_cast<std::size_t>(lane);
    // A lane that has gone (its fraction above the lanes') reads from 0.
    const long from = std::max(0L, fraction_ - fraction(lane) + 64 * top);
    const long next = top > 0 ? from - 64 : 0;
    places_.topWord[l] = from / kLimbBits * kLanes + lane;
    places_.topOffset[l] = from % kLimbBits;
    places_.nextWord[l] = next / kLimbBits * kLanes + lane;
    places_.nextOffset[l] = next % kLimbBits;
    places_.hasNext[l] = top > 0 ? -1 : 0;
    places_.topScale[l] = scale_[l][static_cast<std::size_t>(top)];
    const auto sameAsFirst = [&](std::size_t k) {
        const NearPlaces& p = places_;
        const auto shift = static_cast<std::int64_t>(k);
        return p.topWord[k] - shift == p.topWord[0] && p.nextWord[k] - shift == p.nextWord[0] &&
               p.topOffset[k] == p.topOffset[0] && p.nextOffset[k] == p.nextOffset[0] && p.hasNext[k] == p.hasNext[0];
    };
    places_.sameLimbs = true;
    for (std::size_t k = 1; k < kLanes; ++k) places_.sameLimbs = places_.sameLimbs && sameAsFirst(k);
}

void FixedPointLanes::nearAll(unsigned wanted, std::array<double, kLanes>& re, std::array<double, kLanes>& im) const {
    nearAll(wanted, zr_, re);
    nearAll(wanted, zi_, im);
}

#if MANDEL_IFMA_LANES

namespace {

// Each lane's 64 bits of x from its word `word` (the lanes' words counted
// limb by limb), bit `offset`, up (limbs past the last read as the zeros
// kept there). With `sameLimbs` every lane's word is in the limb of lane 0's.
MANDEL_IFMA inline V bitsFrom(const Part& x, V word, V offset, bool sameLimbs) {
    V first, second, third;
    if (sameLimbs) {
        const auto limb = static_cast<std::size_t>(_mm_cvtsi128_si64(_mm512_castsi512_si128(word)) / kLanes);
        first = loadLimb(x, static_cast<int>(limb));
        second = loadLimb(x, static_cast<int>(limb + 1));
        third = loadLimb(x, static_cast<int>(limb + 2));
    } else {
        const auto* base = reinterpret_cast<const long long*>(x.m[0].data());
        first = _mm512_i64gather_epi64(word, base, 8);
        second = _mm512_i64gather_epi64(_mm512_add_epi64(word, _mm512_set1_epi64(kLanes)), base, 8);
        third = _mm512_i64gather_epi64(_mm512_add_epi64(word, _mm512_set1_epi64(2 * kLanes)), base, 8);
    }
    const V up = _mm512_sub_epi64(_mm512_set1_epi64(kLimbBits), offset);
    // Shifts of 64 and more give 0.
    return _mm512_or_si512(_mm512_or_si512(_mm512_srlv_epi64(first, offset), _mm512_sllv_epi64(second, up)),
                           _mm512_sllv_epi64(third, _mm512_add_epi64(up, _mm512_set1_epi64(kLimbBits))));
}

MANDEL_IFMA inline V load(const std::array<std::int64_t, kLanes>& words) { return _mm512_load_si512(words.data()); }

template <class Places>
MANDEL_IFMA inline unsigned nearLanes(const Part& x, const Places& p, double* out) {
    const V high = bitsFrom(x, load(p.topWord), load(p.topOffset), p.sameLimbs);
    const V low = _mm512_and_si512(bitsFrom(x, load(p.nextWord), load(p.nextOffset), p.sameLimbs), load(p.hasNext));
    const __m512d sum = _mm512_add_pd(_mm512_cvtepu64_pd(high), _mm512_mul_pd(_mm512_cvtepu64_pd(low), _mm512_set1_pd(0x1p-64)));
    const __m512d value = _mm512_mul_pd(sum, _mm512_load_pd(p.topScale.data()));
    const __m512d negated = _mm512_castsi512_pd(
        _mm512_xor_si512(_mm512_castpd_si512(value), _mm512_set1_epi64(static_cast<long long>(0x8000000000000000ULL))));
    _mm512_storeu_pd(out, _mm512_mask_blend_pd(static_cast<__mmask8>(x.negative), value, negated));
    return _mm512_testn_epi64_mask(high, high);
}

}  // namespace

#endif

// near() of every lane: the same operations side by side, and near() itself
// for a lane whose top limb is 0 (z below 2^-60).
void FixedPointLanes::nearAll(unsigned wanted, const Part& x, std::array<double, kLanes>& out) const {
#if MANDEL_IFMA_LANES
    const unsigned zero = nearLanes(x, places_, out.data()) & wanted;
    for (int lane = 0; lane < kLanes; ++lane)
        if ((zero >> lane) & 1u) out[static_cast<std::size_t>(lane)] = near(x, lane);
#else
    for (int lane = 0; lane < kLanes; ++lane)
        if ((wanted >> lane) & 1u) out[static_cast<std::size_t>(lane)] = near(x, lane);
#endif
}

bool FixedPointLanes::cutBelow(Part& x, int lane, long from) {
    bool lost = false;
    for (long k = 0; k < limbs_ && k * kLimbBits < from; ++k) {
        std::uint64_t& limb = x.m[static_cast<std::size_t>(k)][static_cast<std::size_t>(lane)];
        const long bits = std::min(kLimbBits, from - k * kLimbBits);
        const std::uint64_t cut = bits == kLimbBits ? kLimbMask : (std::uint64_t{1} << bits) - 1;
        lost = lost || (limb & cut) != 0;
        limb &= ~cut;
    }
    return lost;
}

FixedPointOrbit::Dropped FixedPointLanes::dropLowestLimb(int lane, unsigned live) {
    laneFraction_[static_cast<std::size_t>(lane)] -= 64;
    const long from = fraction_ - fraction(lane);
    FixedPointOrbit::Dropped dropped;
    dropped.z = cutBelow(zr_, lane, from) | cutBelow(zi_, lane, from);
    dropped.c = cutBelow(cr_, lane, from) | cutBelow(ci_, lane, from);
    placeLane(lane);
    // The lanes' lowest limb goes once no lane in `live` keeps a bit of it.
    for (;;) {
        long spare = kLimbBits * kMaxLimbs;
        for (int k = 0; k < kLanes; ++k)
            if ((live >> k) & 1u) spare = std::min(spare, fraction_ - fraction(k));
        if (spare < kLimbBits || limbs_ <= 1) break;
        for (Part* p : {&zr_, &zi_, &cr_, &ci_}) {
            std::copy(p->m.begin() + 1, p->m.begin() + limbs_, p->m.begin());
            p->m[static_cast<std::size_t>(limbs_ - 1)].fill(0);
        }
        --limbs_;
        fraction_ -= kLimbBits;
        for (int k = 0; k < kLanes; ++k) placeLane(k);
    }
    return dropped;
}

void FixedPointLanes::exact(int lane, mpfr_ptr re, mpfr_ptr im) const {
    for (auto [out, part] : {std::pair{re, &zr_}, std::pair{im, &zi_}}) {
        std::array<std::uint64_t, kMaxLimbs> limbs{};
        for (long k = 0; k < limbs_; ++k)
            limbs[static_cast<std::size_t>(k)] = part->m[static_cast<std::size_t>(k)][static_cast<std::size_t>(lane)];
        mpz_t whole;
        mpz_init(whole);
        mpz_import(whole, static_cast<std::size_t>(limbs_), -1, sizeof(std::uint64_t), 0, kNailBits, limbs.data());
        mpfr_set_z_2exp(out, whole, -fraction_, MPFR_RNDN);  // exact with 52n bits
        if ((part->negative >> lane) & 1u) mpfr_neg(out, out, MPFR_RNDN);
        mpz_clear(whole);
    }
}

#if MANDEL_IFMA_LANES

namespace {

MANDEL_IFMA inline __m512d loadLanes(const std::array<double, LaneBounds::kLanes>& x) { return _mm512_load_pd(x.data()); }

MANDEL_IFMA LaneTests testLanesSideBySide(const double* re, const double* im, unsigned live, bool test,
                                          LaneBounds& bounds) {
    const __m512d r = _mm512_loadu_pd(re), m = _mm512_loadu_pd(im);
    const __m512d squares = _mm512_add_pd(_mm512_mul_pd(r, r), _mm512_mul_pd(m, m));
    const __m512d root = _mm512_sqrt_pd(squares);
    const __m512d inflation = _mm512_set1_pd(kBoundInflation);
    LaneTests out;
    if (test) {  // escapeTest(root, roundUp(e + 2^-49·root))
        constexpr double kMargin = kEscapeTestMargin;
        const __m512d bound =
            _mm512_mul_pd(_mm512_add_pd(loadLanes(bounds.e), _mm512_mul_pd(_mm512_set1_pd(0x1p-49), root)), inflation);
        const __m512d low = _mm512_mul_pd(root, _mm512_set1_pd(1 - kMargin));
        const __m512d up = _mm512_set1_pd(1 + kMargin);
        const __mmask8 escaped = _mm512_cmp_pd_mask(_mm512_sub_pd(low, _mm512_mul_pd(bound, up)),
                                                    _mm512_set1_pd(2 * (1 + kMargin)), _CMP_GT_OQ);
        const __mmask8 stays = _mm512_cmp_pd_mask(_mm512_add_pd(_mm512_mul_pd(root, up), _mm512_mul_pd(bound, up)),
                                                  _mm512_set1_pd(2 * (1 - kMargin)), _CMP_LT_OQ);
        out.escaped = escaped & live;
        out.undecided = live & ~escaped & ~stays & 0xFFu;
    }
    // magnitudeUp, then roundUp(size + 2^-48·size).
    const __mmask8 wide = _mm512_cmp_pd_mask(squares, _mm512_set1_pd(kSquaresFloor), _CMP_GE_OQ);
    const __m512d size = _mm512_mask_blend_pd(wide, _mm512_add_pd(_mm512_abs_pd(r), _mm512_abs_pd(m)),
                                              _mm512_mul_pd(root, inflation));
    const __m512d zAbs = _mm512_mul_pd(_mm512_add_pd(size, _mm512_mul_pd(_mm512_set1_pd(0x1p-48), size)), inflation);
    _mm512_mask_store_pd(bounds.zAbs.data(), static_cast<__mmask8>(live), zAbs);
    return out;
}

MANDEL_IFMA unsigned growBoundsSideBySide(unsigned live, unsigned exact, LaneBounds& bounds, double keptBelowBound) {
    const __m512d e = loadLanes(bounds.e);
    const __m512d stepRounding = loadLanes(bounds.stepRounding);
    const __m512d rounding = _mm512_maskz_mov_pd(static_cast<__mmask8>(~exact), stepRounding);
    const __m512d grown = _mm512_mul_pd(
        _mm512_add_pd(_mm512_add_pd(_mm512_mul_pd(e, _mm512_add_pd(_mm512_mul_pd(_mm512_set1_pd(2.0), loadLanes(bounds.zAbs)), e)),
                                    loadLanes(bounds.cErr)),
                      rounding),
        _mm512_set1_pd(kBoundInflation));
    _mm512_mask_store_pd(bounds.e.data(), static_cast<__mmask8>(live), grown);
    // From the new bound in registers: reading it back lane by lane would
    // wait for the masked store.
    const __m512d unitUp = _mm512_mul_pd(_mm512_set1_pd(0x1p63), stepRounding);
    const __mmask8 spare = _mm512_cmp_pd_mask(unitUp, _mm512_mul_pd(grown, _mm512_set1_pd(keptBelowBound)), _CMP_LT_OQ);
    return spare & live;
}

}  // namespace

#endif

LaneTests testLanes(const std::array<double, LaneBounds::kLanes>& re, const std::array<double, LaneBounds::kLanes>& im,
                    unsigned live, bool test, LaneBounds& bounds) {
#if MANDEL_IFMA_LANES
    return testLanesSideBySide(re.data(), im.data(), live, test, bounds);
#else
    (void)re, (void)im, (void)live, (void)test, (void)bounds;
    throw std::logic_error("testLanes: not available on this processor");
#endif
}

unsigned growBounds(unsigned live, unsigned exact, LaneBounds& bounds, double keptBelowBound) {
#if MANDEL_IFMA_LANES
    return growBoundsSideBySide(live, exact, bounds, keptBelowBound);
#else
    (void)live, (void)exact, (void)bounds, (void)keptBelowBound;
    throw std::logic_error("growBounds: not available on this processor");
#endif
}

}  // namespace mandel
