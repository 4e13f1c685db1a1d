#include "deep_brute_force.h"

#include <mpfr.h>

#include <algorithm>
#include <atomic>
#include <thread>

namespace mandel::test {

namespace {

// MPFR numbers of one precision, freed on leaving scope.
class Numbers {
public:
    Numbers(std::size_t count, mpfr_prec_t bits) : values_(count) {
        for (auto& v : values_) mpfr_init2(v, bits);
    }
    ~Numbers() {
        for (auto& v : values_) mpfr_clear(v);
    }
    Numbers(const Numbers&) = delete;
    Numbers& operator=(const Numbers&) = delete;
    mpfr_ptr operator[](std::size_t i) { return values_[i]; }

private:
    std::vector<mpfr_t> values_;
};

int minSide(const DeepView& view) { return std::min(view.width, view.height); }

// c = (a + x·s/m) + i·(b + y·s/m), each part rounded at the working precision.
void pixelPoint(const DeepView& view, int x, int y, mpfr_ptr re, mpfr_ptr im, mpfr_prec_t bits) {
    Numbers t(2, bits);
    const DeepLocation& where = view.location;
    mpfr_set_str(t[0], where.side.c_str(), 10, MPFR_RNDN);
    mpfr_div_ui(t[0], t[0], static_cast<unsigned long>(minSide(view)), MPFR_RNDN);
    mpfr_set_str(t[1], where.realMin.c_str(), 10, MPFR_RNDN);
    mpfr_mul_ui(re, t[0], static_cast<unsigned long>(x), MPFR_RNDN);
    mpfr_add(re, re, t[1], MPFR_RNDN);
    mpfr_set_str(t[1], where.imagMin.c_str(), 10, MPFR_RNDN);
    mpfr_mul_ui(im, t[0], static_cast<unsigned long>(y), MPFR_RNDN);
    mpfr_add(im, im, t[1], MPFR_RNDN);
}

// Start with z = c; for i = 1..N: |z|² > 4 gives i, otherwise z = z² + c.
std::int32_t count(const DeepView& view, int x, int y, mpfr_prec_t bits) {
    enum { Cr, Ci, Zr, Zi, Zr2, Zi2, Norm, Cross, Size };
    Numbers n(Size, bits);
    pixelPoint(view, x, y, n[Cr], n[Ci], bits);
    mpfr_set(n[Zr], n[Cr], MPFR_RNDN);
    mpfr_set(n[Zi], n[Ci], MPFR_RNDN);
    const std::int64_t limit = view.location.limit;
    for (std::int64_t i = 1; i <= limit; ++i) {
        mpfr_sqr(n[Zr2], n[Zr], MPFR_RNDN);
        mpfr_sqr(n[Zi2], n[Zi], MPFR_RNDN);
        mpfr_add(n[Norm], n[Zr2], n[Zi2], MPFR_RNDN);
        if (mpfr_cmp_ui(n[Norm], 4) > 0) return static_cast<std::int32_t>(i);
        mpfr_mul(n[Cross], n[Zr], n[Zi], MPFR_RNDN);
        mpfr_mul_2ui(n[Cross], n[Cross], 1, MPFR_RNDN);
        mpfr_add(n[Zi], n[Cross], n[Ci], MPFR_RNDN);
        mpfr_sub(n[Zr], n[Zr2], n[Zi2], MPFR_RNDN);
        mpfr_add(n[Zr], n[Zr], n[Cr], MPFR_RNDN);
    }
    return static_cast<std::int32_t>(limit);
}

}  // namespace

int BruteForceCounts::computed() const {
    return ((width() + stride - 1) / stride) * ((height() + stride - 1) / stride);
}

int BruteForceCounts::undecided() const {
    return computed() - static_cast<int>(std::count(decided.begin(), decided.end(), true));
}

int bruteForcePrecision(const DeepView& view) {
    constexpr mpfr_prec_t kParseBits = 64;
    const DeepLocation& where = view.location;
    Numbers n(3, kParseBits);
    mpfr_set_str(n[0], where.side.c_str(), 10, MPFR_RNDN);
    mpfr_div_ui(n[1], n[0], static_cast<unsigned long>(minSide(view)), MPFR_RNDN);
    const long spacingExponent = mpfr_get_exp(n[1]);
    long magnitudeExponent = 1;
    for (const std::string* corner : {&where.realMin, &where.imagMin}) {
        mpfr_set_str(n[1], corner->c_str(), 10, MPFR_RNDN);
        mpfr_add(n[2], n[1], n[0], MPFR_RNDN);
        for (int k = 1; k <= 2; ++k)
            if (!mpfr_zero_p(n[k])) magnitudeExponent = std::max<long>(magnitudeExponent, mpfr_get_exp(n[k]));
    }
    return static_cast<int>(magnitudeExponent - spacingExponent + 64);
}

BruteForceCounts bruteForceCounts(const DeepView& view, int stride, unsigned threads) {
    BruteForceCounts result;
    result.precisionBits = bruteForcePrecision(view);
    result.stride = stride;
    result.size = {view.width, view.height};
    const std::size_t pixels = static_cast<std::size_t>(view.width) * static_cast<std::size_t>(view.height);
    result.counts.resize(pixels);
    std::vector<char> decided(pixels);
    std::atomic<std::size_t> next{0};
    auto work = [&] {
        for (std::size_t p = next++; p < pixels; p = next++) {
            const int x = static_cast<int>(p % static_cast<std::size_t>(view.width));
            const int y = static_cast<int>(p / static_cast<std::size_t>(view.width));
            if (x % stride != 0 || y % stride != 0) continue;
            result.counts[p] = count(view, x, y, result.precisionBits);
            decided[p] = result.counts[p] == count(view, x, y, 2 * result.precisionBits);
        }
    };
    std::vector<std::thread> helpers;
    for (unsigned t = 1; t < std::max(1u, threads); ++t) helpers.emplace_back(work);
    work();
    for (auto& h : helpers) h.join();
    result.decided.assign(decided.begin(), decided.end());
    return result;
}

}  // namespace mandel::test
