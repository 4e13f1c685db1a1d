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

HWY_BEFORE_NAMESPACE();
namespace mandel::deeplanes {
namespace HWY_NAMESPACE {

namespace hn = hwy::HWY_NAMESPACE;

using D = hn::ScalableTag<double>;
using V = hn::Vec<D>;
using DI = hn::RebindToSigned<D>;
using VI = hn::Vec<DI>;
using M = hn::Mask<D>;

// The step's arithmetic and rules, compiled for this instruction set.
#include "deep/perturbation_step-inl.h"

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
