// What the double-precision lanes share: the plain perturbation step (the
// engine's lanes and the tool that measures them), the magnitude and the
// escape test's "stays" (also the direct double stage's lanes). Included once
// per instruction set after hwy/foreach_target.h (Highway's per-target
// header convention).

#if defined(MANDEL_DEEP_LANE_STEP_INL_H_) == defined(HWY_TARGET_TOGGLE)
#ifdef MANDEL_DEEP_LANE_STEP_INL_H_
#undef MANDEL_DEEP_LANE_STEP_INL_H_
#else
#define MANDEL_DEEP_LANE_STEP_INL_H_
#endif

#include <hwy/highway.h>

#include "deep/error_bound.h"
#include "deep/escape_test.h"
#include "deep/number_ladder.h"
#include "deep/orbit.h"
#include "deep/perturbation.h"
#include "deep/product_error.h"

HWY_BEFORE_NAMESPACE();
namespace mandel::deeplanes {
namespace HWY_NAMESPACE {

namespace hn = hwy::HWY_NAMESPACE;

using D = hn::ScalableTag<double>;
using V = hn::Vec<D>;
using DI = hn::RebindToSigned<D>;
using VI = hn::Vec<DI>;
using M = hn::Mask<D>;

// The step's arithmetic and rules, and Dekker's product error, compiled for
// this instruction set.
#include "deep/perturbation_step-inl.h"
#include "deep/split_product-inl.h"

// The lanes whose escape test (escapeTest, from |w̃| and the bound on its
// error) says "stays": its own rule.
HWY_INLINE M Stays(D d, V abs, V err) {
    return staysInside(abs, err, hn::Set(d, 1 + kEscapeTestMargin), hn::Set(d, 2 * (1 - kEscapeTestMargin)));
}


// NumberTraits<double>::magnitude.
HWY_INLINE V Magnitude(D d, V x, V y, V squares) {
    return hn::IfThenElse(hn::Ge(squares, hn::Set(d, kSquaresFloor)), hn::Sqrt(squares),
                          hn::Add(hn::Abs(x), hn::Abs(y)));
}

static_assert(sizeof(LanePoint) == 4 * sizeof(double));

// What the double-double arithmetic (double_double_ops-inl.h) asks of its
// includer: −x, and a·b − p exactly for p = fl(a·b). A fused multiply-add
// where the instruction set has one, else Dekker's split, as the scalar
// loop's productError chooses on the same processor (the two are equal
// wherever a·b is far from underflow).
HWY_INLINE V negated(V x) { return hn::Neg(x); }
HWY_INLINE V productError(V a, V b, V p) {
#if HWY_NATIVE_FMA
    return hn::MulSub(a, b, p);
#else
    return splitProductError(a, b, p, hn::Set(D(), kDekkerSplitter));
#endif
}

#if HWY_ARCH_X86 && HWY_TARGET <= HWY_AVX2
// One row: kCount doubles at base + stride·a (of three, the fourth is not read).
template <int kCount>
HWY_INLINE __m256d LoadRow(const double* base, std::int64_t stride, std::int64_t a) {
    static_assert(kCount == 3 || kCount == 4);
    const double* row = base + stride * a;
    if constexpr (kCount == 4) return _mm256_loadu_pd(row);
#if HWY_TARGET <= HWY_AVX3
    return _mm256_maskz_loadu_pd(0x7, row);
#else
    return _mm256_maskload_pd(row, _mm256_setr_epi64x(-1, -1, -1, 0));
#endif
}
#endif

// Rows of kCount consecutive doubles (3 or 4), one at base + stride·at[l]
// for each lane l, as one vector per double: where the vectors are 512 or
// 256 bits wide each row is loaded whole and the loads are transposed. On
// processors whose gathers are microcoded this takes about half the time of
// the gathers, which otherwise bound the loops that read the reference. A
// row of three reads only its three doubles (the fourth vector is then zero).
#if HWY_ARCH_X86 && HWY_TARGET <= HWY_AVX3
template <int kCount>
HWY_INLINE void TransposedRows(const double* base, std::int64_t stride, const std::int64_t* at, V out[4]) {
    // Rows of lanes 0 and 2 in one register, 1 and 3, 4 and 6, 5 and 7: the
    // transpose below then leaves every value in its own lane.
    const auto pair = [base, stride](std::int64_t low, std::int64_t high) {
        return _mm512_insertf64x4(_mm512_castpd256_pd512(LoadRow<kCount>(base, stride, low)),
                                  LoadRow<kCount>(base, stride, high), 1);
    };
    const __m512d q0 = pair(at[0], at[2]), q1 = pair(at[1], at[3]), q2 = pair(at[4], at[6]), q3 = pair(at[5], at[7]);
    const __m512d t0 = _mm512_unpacklo_pd(q0, q1), t1 = _mm512_unpackhi_pd(q0, q1);
    const __m512d t2 = _mm512_unpacklo_pd(q2, q3), t3 = _mm512_unpackhi_pd(q2, q3);
    out[0] = V{_mm512_shuffle_f64x2(t0, t2, 0x88)};
    out[1] = V{_mm512_shuffle_f64x2(t1, t3, 0x88)};
    out[2] = V{_mm512_shuffle_f64x2(t0, t2, 0xdd)};
    out[3] = V{_mm512_shuffle_f64x2(t1, t3, 0xdd)};
}
#elif HWY_ARCH_X86 && HWY_TARGET == HWY_AVX2
template <int kCount>
HWY_INLINE void TransposedRows(const double* base, std::int64_t stride, const std::int64_t* at, V out[4]) {
    const __m256d p0 = LoadRow<kCount>(base, stride, at[0]), p1 = LoadRow<kCount>(base, stride, at[1]);
    const __m256d p2 = LoadRow<kCount>(base, stride, at[2]), p3 = LoadRow<kCount>(base, stride, at[3]);
    const __m256d t0 = _mm256_unpacklo_pd(p0, p1), t1 = _mm256_unpackhi_pd(p0, p1);
    const __m256d t2 = _mm256_unpacklo_pd(p2, p3), t3 = _mm256_unpackhi_pd(p2, p3);
    out[0] = V{_mm256_permute2f128_pd(t0, t2, 0x20)};
    out[1] = V{_mm256_permute2f128_pd(t1, t3, 0x20)};
    out[2] = V{_mm256_permute2f128_pd(t0, t2, 0x31)};
    out[3] = V{_mm256_permute2f128_pd(t1, t3, 0x31)};
}
#endif

// Z_m of each lane, from the reference's points (m as the lanes hold it):
// each lane's point (four doubles) is loaded whole and transposed where that
// beats gathers.
struct ReferenceValues {
    V zr, zi, zErr, zAbs;
};

HWY_INLINE ReferenceValues LoadReference(D d, const LanePoint* points, VI m) {
#if HWY_ARCH_X86 && HWY_TARGET <= HWY_AVX2
    (void)d;
    alignas(64) std::int64_t at[8];
    hn::Store(m, DI(), at);
    V rows[4];
    TransposedRows<4>(&points[0].zr, 4, at, rows);
    return {rows[0], rows[1], rows[2], rows[3]};
#else
    const double* base = &points[0].zr;
    const VI at = hn::ShiftLeft<2>(m);
    return {hn::GatherIndex(d, base, at), hn::GatherIndex(d, base + 1, at), hn::GatherIndex(d, base + 2, at),
            hn::GatherIndex(d, base + 3, at)};
#endif
}

// One lane-state's plain step: perturbStep's arithmetic, on vectors.
struct Step {
    V dzr, dzi, e;
};


HWY_INLINE Step PlainStep(D d, V zr, V zi, V zErr, V zAbs, V dzr, V dzi, V e, V d2, V dAbs, V wBound, V dcr, V dci,
                          V dcErr, V dcAbs) {
    const V two = hn::Set(d, 2.0);
    const StepOffset<V> next = nextOffset(zr, zi, dzr, dzi, dcr, dci);
    const V terms = stepTerms(two, zAbs, dAbs, d2, dcAbs);
    const V bound = stepBound(two, e, wBound, dAbs, zErr, dcErr, hn::Set(d, kPerturbStepRounding), terms,
                              hn::Set(d, NumberTraits<double>::stepAbsoluteError()));
    return {next.re, next.im, hn::Mul(bound, hn::Set(d, kBoundInflation))};
}

}  // namespace HWY_NAMESPACE
}  // namespace mandel::deeplanes
HWY_AFTER_NAMESPACE();

#endif  // MANDEL_DEEP_LANE_STEP_INL_H_
