// The lanes' plain perturbation step, shared by the engine's lanes and the
// tools that measure them: included once per instruction set after
// hwy/foreach_target.h (Highway's per-target header convention).

#if defined(MANDEL_DEEP_LANE_STEP_INL_H_) == defined(HWY_TARGET_TOGGLE)
#ifdef MANDEL_DEEP_LANE_STEP_INL_H_
#undef MANDEL_DEEP_LANE_STEP_INL_H_
#else
#define MANDEL_DEEP_LANE_STEP_INL_H_
#endif

#include <hwy/highway.h>

#include "deep/error_bound.h"
#include "deep/number_ladder.h"
#include "deep/orbit.h"
#include "deep/perturbation.h"

HWY_BEFORE_NAMESPACE();
namespace mandel::deeplanes {
namespace HWY_NAMESPACE {

namespace hn = hwy::HWY_NAMESPACE;

using D = hn::ScalableTag<double>;
using V = hn::Vec<D>;

// NumberTraits<double>::magnitude.
HWY_INLINE V Magnitude(D d, V x, V y, V squares) {
    return hn::IfThenElse(hn::Ge(squares, hn::Set(d, kSquaresFloor)), hn::Sqrt(squares), hn::Add(hn::Abs(x), hn::Abs(y)));
}

// One lane-state's plain step, perturbStep's operations in its order.
struct Step {
    V dzr, dzi, e;
};

HWY_INLINE Step PlainStep(D d, V zr, V zi, V zErr, V zAbs, V dzr, V dzi, V e, V d2, V dAbs, V wBound, V dcr, V dci,
                          V dcErr, V dcAbs) {
    const V two = hn::Set(d, 2.0);
    const V twoZr = hn::Add(zr, zr), twoZi = hn::Add(zi, zi);
    const V nr = hn::Add(
        hn::Add(hn::Sub(hn::Mul(twoZr, dzr), hn::Mul(twoZi, dzi)), hn::Sub(hn::Mul(dzr, dzr), hn::Mul(dzi, dzi))), dcr);
    const V ni =
        hn::Add(hn::Add(hn::Add(hn::Mul(twoZr, dzi), hn::Mul(twoZi, dzr)), hn::Mul(hn::Add(dzr, dzr), dzi)), dci);
    const V terms = hn::Add(hn::Add(hn::Mul(hn::Mul(two, zAbs), dAbs), d2), dcAbs);
    V bound = hn::Mul(e, hn::Add(hn::Mul(two, wBound), e));
    bound = hn::Add(bound, hn::Mul(hn::Mul(two, hn::Add(dAbs, e)), zErr));
    bound = hn::Add(bound, dcErr);
    bound = hn::Add(bound, hn::Mul(hn::Set(d, kPerturbStepRounding), terms));
    bound = hn::Add(bound, hn::Set(d, NumberTraits<double>::stepAbsoluteError()));
    return {nr, ni, hn::Mul(bound, hn::Set(d, kBoundInflation))};
}

}  // namespace HWY_NAMESPACE
}  // namespace mandel::deeplanes
HWY_AFTER_NAMESPACE();

#endif  // MANDEL_DEEP_LANE_STEP_INL_H_
