// a·b − p for p = fl(a·b) by Dekker's split, written once for doubles and for
// vectors of double lanes: the exact error wherever a·b is far from
// underflow, the value a fused multiply-add gives. `splitter` is 2^27 + 1,
// which splits each factor into halves of 26 bits.
//
// No include guard and no includes: it is included once in namespace mandel
// (by product_error.h) and once per instruction set inside the lanes'
// namespace (by lane_step-inl.h), after MANDEL_ALWAYS_INLINE.

template <class T>
MANDEL_ALWAYS_INLINE T splitProductError(const T& a, const T& b, const T& p, const T& splitter) {
    const T ta = splitter * a, tb = splitter * b;
    const T ah = ta - (ta - a), bh = tb - (tb - b);
    const T al = a - ah, bl = b - bh;
    return (((ah * bh - p) + ah * bl) + al * bh) + al * bl;
}
