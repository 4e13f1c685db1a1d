// Double-double arithmetic written once for doubles and for vectors of double
// lanes: Knuth's error-free sum and the exact product error, the sum and the
// product of two double-double values, and the step of the direct
// double-double iteration. A lane makes exactly the operations a double
// makes, in the same order, so its bits are the scalar loop's.
//
// No include guard and no includes: it is included once in namespace mandel
// (by double_double.h) and once per instruction set inside the lanes'
// namespace, where Highway compiles it for that set. The includer declares
// negated(x), which is −x for its type, productError(a, b, p), which is
// a·b − p exactly for p = fl(a·b) (a fused multiply-add, or Dekker's split
// where the instruction set has none: the same value wherever it is
// representable, that is unless a·b is near underflow), and
// MANDEL_ALWAYS_INLINE first.

template <class T>
struct DdParts {
    T hi, lo;
};

template <class T>
MANDEL_ALWAYS_INLINE DdParts<T> ddTwoSum(const T& a, const T& b) {
    const T s = a + b;
    const T bb = s - a;
    return {s, (a - (s - bb)) + (b - bb)};
}

template <class T>
MANDEL_ALWAYS_INLINE DdParts<T> ddQuickTwoSum(const T& a, const T& b) {
    const T s = a + b;
    return {s, b - (s - a)};
}

template <class T>
MANDEL_ALWAYS_INLINE DdParts<T> ddTwoProduct(const T& a, const T& b) {
    const T p = a * b;
    return {p, productError(a, b, p)};
}

template <class T>
MANDEL_ALWAYS_INLINE DdParts<T> ddSum(const DdParts<T>& x, const DdParts<T>& y) {
    const DdParts<T> s = ddTwoSum(x.hi, y.hi);
    return ddQuickTwoSum(s.hi, s.lo + (x.lo + y.lo));
}

template <class T>
MANDEL_ALWAYS_INLINE DdParts<T> ddProduct(const DdParts<T>& x, const DdParts<T>& y) {
    const DdParts<T> p = ddTwoProduct(x.hi, y.hi);
    return ddQuickTwoSum(p.hi, p.lo + (x.hi * y.lo + x.lo * y.hi));
}

// The constants of the direct step, each as the caller's type holds it.
template <class T>
struct DirectDdConstants {
    T two, rounding, inflation;
};

// One step of the direct double-double iteration, z ← z² + c, from a state
// whose escape test said "stays", |z̃| ≤ zAbs: the bound e on |z̃ − z| grows
// by (z̃ + ε)² − z̃² = ε(2z̃ + ε), c̃'s error and the step's rounding relative
// to |z|² + |c|, then is inflated for the rounding of its own computation.
template <class T>
MANDEL_ALWAYS_INLINE void directDdAdvance(DdParts<T>& zr, DdParts<T>& zi, T& e, const DdParts<T>& cr,
                                          const DdParts<T>& ci, const T& cErr, const T& cAbs, const T& zAbs,
                                          const DirectDdConstants<T>& k) {
    const DdParts<T> sr = ddProduct(zr, zr), si = ddProduct(zi, zi);
    const DdParts<T> t = ddProduct(zr, zi);
    zr = ddSum(ddSum(sr, DdParts<T>{negated(si.hi), negated(si.lo)}), cr);
    zi = ddSum(ddSum(t, t), ci);
    e = (e * (k.two * zAbs + e) + cErr + k.rounding * (zAbs * zAbs + cAbs)) * k.inflation;
}
