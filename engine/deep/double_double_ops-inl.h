// Double-double arithmetic written once for doubles and for vectors of double
// lanes: Knuth's and Dekker's error-free sums and products (no fused
// multiply-add), the sum and the product of two double-double values, and
// the step of the direct double-double iteration. A lane makes exactly the
// operations a double makes, in the same order, so its bits are the scalar
// loop's.
//
// No include guard and no includes: it is included once in namespace mandel
// (by double_double.h) and once per instruction set inside the lanes'
// namespace, where Highway compiles it for that set. The includer declares
// negated(x), which is −x for its type, and MANDEL_ALWAYS_INLINE first.

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

// Dekker's split of a into two halves of 26 bits; splitter is 2^27 + 1.
template <class T>
MANDEL_ALWAYS_INLINE void ddSplit(const T& a, const T& splitter, T& hi, T& lo) {
    const T t = splitter * a;
    hi = t - (t - a);
    lo = a - hi;
}

template <class T>
MANDEL_ALWAYS_INLINE DdParts<T> ddTwoProduct(const T& a, const T& b, const T& splitter) {
    const T p = a * b;
    T ah, al, bh, bl;
    ddSplit(a, splitter, ah, al);
    ddSplit(b, splitter, bh, bl);
    return {p, ((ah * bh - p) + ah * bl + al * bh) + al * bl};
}

template <class T>
MANDEL_ALWAYS_INLINE DdParts<T> ddSum(const DdParts<T>& x, const DdParts<T>& y) {
    const DdParts<T> s = ddTwoSum(x.hi, y.hi);
    return ddQuickTwoSum(s.hi, s.lo + (x.lo + y.lo));
}

template <class T>
MANDEL_ALWAYS_INLINE DdParts<T> ddProduct(const DdParts<T>& x, const DdParts<T>& y, const T& splitter) {
    const DdParts<T> p = ddTwoProduct(x.hi, y.hi, splitter);
    return ddQuickTwoSum(p.hi, p.lo + (x.hi * y.lo + x.lo * y.hi));
}

// The constants of the direct step, each as the caller's type holds it.
template <class T>
struct DirectDdConstants {
    T splitter, two, rounding, inflation;
};

// One step of the direct double-double iteration, z ← z² + c, from a state
// whose escape test said "stays", |z̃| ≤ zAbs: the bound e on |z̃ − z| grows
// by (z̃ + ε)² − z̃² = ε(2z̃ + ε), c̃'s error and the step's rounding relative
// to |z|² + |c|, then is inflated for the rounding of its own computation.
template <class T>
MANDEL_ALWAYS_INLINE void directDdAdvance(DdParts<T>& zr, DdParts<T>& zi, T& e, const DdParts<T>& cr,
                                          const DdParts<T>& ci, const T& cErr, const T& cAbs, const T& zAbs,
                                          const DirectDdConstants<T>& k) {
    const DdParts<T> sr = ddProduct(zr, zr, k.splitter), si = ddProduct(zi, zi, k.splitter);
    const DdParts<T> t = ddProduct(zr, zi, k.splitter);
    zr = ddSum(ddSum(sr, DdParts<T>{negated(si.hi), negated(si.lo)}), cr);
    zi = ddSum(ddSum(t, t), ci);
    e = (e * (k.two * zAbs + e) + cErr + k.rounding * (zAbs * zAbs + cAbs)) * k.inflation;
}
