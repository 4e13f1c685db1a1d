// The perturbation step's arithmetic and its two rules (the escape test's
// "stays" and the rebase), written once for every number type a pixel
// iterates in: double and ExtReal (perturbStep), rescaled doubles (w in
// units of 2^k), vectors of double lanes (Highway's operators) and
// double-double values with double bounds (the settling). Every loop makes
// these operations in this order, so the lanes' bits are the scalar loop's by
// construction.
//
// No include guard and no includes: it is included once in namespace mandel
// (after always_inline.h's MANDEL_ALWAYS_INLINE) and once per instruction set
// inside the lanes' namespace, where Highway compiles it for that set.

// The escape test's "stays": |w̃| and the bound on its error, each grown by
// the test's own margin, add up to less than 2 less the margin (true or
// false, or a mask of lanes).
template <class T>
MANDEL_ALWAYS_INLINE auto staysInside(const T& abs, const T& err, const T& marginUp, const T& twoDown) {
    return abs * marginUp + err * marginUp < twoDown;
}

// The rebase rule: where |Z̃ + δz̃| is below |δz̃| (or the orbit ends), the
// pixel goes on from its own z against Z_0 = 0.
template <class T>
MANDEL_ALWAYS_INLINE auto closerToZero(const T& wAbs, const T& dAbs) {
    return wAbs < dAbs;
}

// 2x, as each number type doubles best (double-double has its own).
template <class T>
MANDEL_ALWAYS_INLINE T twice(const T& x) {
    return x + x;
}

template <class T>
struct StepOffset {
    T re, im;
};

// δz' = 2Z·δz + unit·δz² + δc. With kUnit, δz is w in units of `unit` (2^k):
// the square carries one unit more than the other terms.
template <class T, bool kUnit = false>
MANDEL_ALWAYS_INLINE StepOffset<T> nextOffset(const T& zr, const T& zi, const T& dzr, const T& dzi, const T& dcr,
                                              const T& dci, const T& unit = T()) {
    const T twoZr = twice(zr), twoZi = twice(zi);
    T squareRe = dzr * dzr - dzi * dzi, squareIm = twice(dzr) * dzi;
    if constexpr (kUnit) {
        squareRe = unit * squareRe;
        squareIm = unit * squareIm;
    }
    return {((twoZr * dzr - twoZi * dzi) + squareRe) + dcr, ((twoZr * dzi + twoZi * dzr) + squareIm) + dci};
}

// The sizes the step's rounding is relative to: 2|Z||δz| + |δz|² + |δc|
// (|δz|² as the caller has it: squared parts, or in units, or |δz|·|δz|).
template <class B>
MANDEL_ALWAYS_INLINE B stepTerms(const B& two, const B& zAbs, const B& dAbs, const B& square, const B& dcAbs) {
    return two * zAbs * dAbs + square + dcAbs;
}

// The bound on the new δz's error, before the caller rounds it up. With
// ε = δz̃ − δz: 2Z̃δz̃ + δz̃² − (2Zδz + δz²) = ε·(2(Z̃ + δz̃) − ε) + 2(Z̃ − Z)·δz,
// and |Z̃ + δz̃| ≤ wBound: the error grows with the pixel's own |2z| (not
// with 2|Z| + 2|δz|, far larger wherever the pixel has rebased). Then δc's
// error, the step's rounding relative to its terms, and what underflow may
// lose. With kUnit (the bound in units of 2^k): ε's square carries eInUnit ≥
// e·2^k, and squareLoss the square's share where 2^k is below double's range.
template <class B, bool kUnit = false>
MANDEL_ALWAYS_INLINE B stepBound(const B& two, const B& e, const B& wBound, const B& dAbs, const B& zErr,
                                 const B& dcErr, const B& rounding, const B& terms, const B& absolute,
                                 const B& eInUnit = B(), const B& squareLoss = B()) {
    if constexpr (kUnit)
        return e * (two * wBound + eInUnit) + two * (dAbs + e) * zErr + dcErr + rounding * terms + squareLoss +
               absolute;
    else
        return e * (two * wBound + e) + two * (dAbs + e) * zErr + dcErr + rounding * terms + absolute;
}
