// The Misiurewicz points' search against an independent Newton iteration in
// plain MPFR (written here, not with the search's own helpers): the point
// must be the root of z_{k+p} − z_k to the precision asked, and its preperiod
// and period the smallest for which the orbit repeats.

#include <gtest/gtest.h>
#include <mpfr.h>

#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "explore/misiurewicz_finder.h"

namespace mandel {
namespace {

// A complex number of plain MPFR numbers at one precision.
struct Plain {
    mpfr_t re, im;
    explicit Plain(mpfr_prec_t bits) {
        mpfr_inits2(bits, re, im, static_cast<mpfr_ptr>(nullptr));
        mpfr_set_zero(re, 1);
        mpfr_set_zero(im, 1);
    }
    ~Plain() { mpfr_clears(re, im, static_cast<mpfr_ptr>(nullptr)); }
    Plain(const Plain&) = delete;
    void operator=(const Plain&) = delete;
};

// (a, b) ← (a·c − b·d, a·d + b·c) with the products from scratch t1..t2.
void times(Plain& x, mpfr_srcptr cr, mpfr_srcptr ci, mpfr_ptr t1, mpfr_ptr t2, mpfr_ptr t3) {
    mpfr_mul(t1, x.re, cr, MPFR_RNDN);
    mpfr_mul(t2, x.im, ci, MPFR_RNDN);
    mpfr_mul(t3, x.re, ci, MPFR_RNDN);
    mpfr_sub(x.re, t1, t2, MPFR_RNDN);
    mpfr_mul(t1, x.im, cr, MPFR_RNDN);
    mpfr_add(x.im, t3, t1, MPFR_RNDN);
}

// Newton's method on g(c) = z_{k+p}(c) − z_k(c) from the texts, at `bits`;
// leaves the root in c.
void newton(Plain& c, std::int64_t k, std::int64_t p, mpfr_prec_t bits) {
    Plain z(bits), d(bits), zk(bits), dk(bits);
    mpfr_t t1, t2, t3, tr, ti, norm;
    mpfr_inits2(bits, t1, t2, t3, tr, ti, norm, static_cast<mpfr_ptr>(nullptr));
    for (int step = 0; step < 100; ++step) {
        mpfr_set_zero(z.re, 1), mpfr_set_zero(z.im, 1), mpfr_set_zero(d.re, 1), mpfr_set_zero(d.im, 1);
        for (std::int64_t n = 1; n <= k + p; ++n) {
            // d ← 2·z·d + 1; z ← z² + c.
            mpfr_mul_2ui(tr, z.re, 1, MPFR_RNDN);
            mpfr_mul_2ui(ti, z.im, 1, MPFR_RNDN);
            times(d, tr, ti, t1, t2, t3);
            mpfr_add_ui(d.re, d.re, 1, MPFR_RNDN);
            mpfr_set(tr, z.re, MPFR_RNDN);
            mpfr_set(ti, z.im, MPFR_RNDN);
            times(z, tr, ti, t1, t2, t3);
            mpfr_add(z.re, z.re, c.re, MPFR_RNDN);
            mpfr_add(z.im, z.im, c.im, MPFR_RNDN);
            if (n == k) {
                mpfr_set(zk.re, z.re, MPFR_RNDN), mpfr_set(zk.im, z.im, MPFR_RNDN);
                mpfr_set(dk.re, d.re, MPFR_RNDN), mpfr_set(dk.im, d.im, MPFR_RNDN);
            }
        }
        // step = (z − zk) / (d − dk) = (z − zk)·conj(d − dk) / |d − dk|²
        mpfr_sub(z.re, z.re, zk.re, MPFR_RNDN), mpfr_sub(z.im, z.im, zk.im, MPFR_RNDN);
        mpfr_sub(d.re, d.re, dk.re, MPFR_RNDN), mpfr_sub(d.im, d.im, dk.im, MPFR_RNDN);
        mpfr_sqr(t1, d.re, MPFR_RNDN), mpfr_sqr(t2, d.im, MPFR_RNDN), mpfr_add(norm, t1, t2, MPFR_RNDN);
        mpfr_neg(d.im, d.im, MPFR_RNDN);
        times(z, d.re, d.im, t1, t2, t3);
        mpfr_div(z.re, z.re, norm, MPFR_RNDN), mpfr_div(z.im, z.im, norm, MPFR_RNDN);
        mpfr_sub(c.re, c.re, z.re, MPFR_RNDN), mpfr_sub(c.im, c.im, z.im, MPFR_RNDN);
        if ((mpfr_zero_p(z.re) || mpfr_get_exp(z.re) < -static_cast<mpfr_exp_t>(bits) + 8) &&
            (mpfr_zero_p(z.im) || mpfr_get_exp(z.im) < -static_cast<mpfr_exp_t>(bits) + 8))
            break;
    }
    mpfr_clears(t1, t2, t3, tr, ti, norm, static_cast<mpfr_ptr>(nullptr));
}

// log2 of |found − c| (−10^6 when equal).
long distanceBits(const MisiurewiczPoint& found, const Plain& c, mpfr_prec_t bits) {
    Plain f(bits);
    mpfr_set_str(f.re, found.re.c_str(), 10, MPFR_RNDN);
    mpfr_set_str(f.im, found.im.c_str(), 10, MPFR_RNDN);
    mpfr_sub(f.re, f.re, c.re, MPFR_RNDN);
    mpfr_sub(f.im, f.im, c.im, MPFR_RNDN);
    long worst = -1000000;
    for (mpfr_srcptr part : {static_cast<mpfr_srcptr>(f.re), static_cast<mpfr_srcptr>(f.im)})
        if (!mpfr_zero_p(part)) worst = std::max<long>(worst, mpfr_get_exp(part));
    return worst;
}

// The orbit z_0 = 0 … z_last of c, as doubles (enough to tell apart points
// of the orbit that differ, against those the root makes equal).
std::vector<std::pair<double, double>> orbitOf(const Plain& c, std::int64_t last, mpfr_prec_t bits) {
    Plain z(bits);
    mpfr_t t1, t2, t3, tr, ti;
    mpfr_inits2(bits, t1, t2, t3, tr, ti, static_cast<mpfr_ptr>(nullptr));
    std::vector<std::pair<double, double>> orbit{{0, 0}};
    for (std::int64_t n = 1; n <= last; ++n) {
        mpfr_set(tr, z.re, MPFR_RNDN);
        mpfr_set(ti, z.im, MPFR_RNDN);
        times(z, tr, ti, t1, t2, t3);
        mpfr_add(z.re, z.re, c.re, MPFR_RNDN);
        mpfr_add(z.im, z.im, c.im, MPFR_RNDN);
        orbit.emplace_back(mpfr_get_d(z.re, MPFR_RNDN), mpfr_get_d(z.im, MPFR_RNDN));
    }
    mpfr_clears(t1, t2, t3, tr, ti, static_cast<mpfr_ptr>(nullptr));
    return orbit;
}

// Whether the orbit repeats from k with period p and with no smaller ones.
bool smallestRepeat(const Plain& c, std::int64_t k, std::int64_t p, mpfr_prec_t bits) {
    const auto orbit = orbitOf(c, k + p, bits);
    const auto same = [&orbit](std::int64_t a, std::int64_t b) {
        return std::hypot(orbit[a].first - orbit[b].first, orbit[a].second - orbit[b].second) < 1e-12;
    };
    if (!same(k + p, k) || same(k - 1 + p, k - 1)) return false;
    for (std::int64_t shorter = 1; shorter < p; ++shorter)
        if (same(k + shorter, k)) return false;
    return true;
}

struct Case {
    const char* name;
    std::string re, im, radius;
    long radiusBits;  // log2 of the radius, rounded down
    std::int64_t preperiod, period;
};

TEST(MisiurewiczFinder, PointsAgreeWithAnIndependentNewtonIterationToThePrecisionAsked) {
    const std::string tiny300 = "0." + std::string(299, '0') + "3";  // 3e-300
    const Case cases[] = {
        // c = i: 0 → i → −1 + i → −i → −1 + i: preperiod 2, period 2.
        {"i", "0.01", "1.02", "0.05", -5, 2, 2},
        // The tip −2: 0 → −2 → 2 → 2.
        {"tip", "-1.99", "0.001", "0.05", -5, 2, 1},
        {"i at 1e-300", tiny300, "1", "1e-300", -997, 2, 2},
        // Near the seahorse point, where the orbit lingers for thousands of iterations.
        {"seahorse at 1e-10", "-0.7436438870371587", "0.1318259042053120", "1e-10", -34, 779, 218},
    };
    for (const Case& c : cases) {
        MisiurewiczSearch search;
        search.re = c.re;
        search.im = c.im;
        search.radius = c.radius;
        const auto found = findMisiurewicz(search);
        ASSERT_TRUE(found) << c.name;
        EXPECT_EQ(found->preperiod, c.preperiod) << c.name;
        EXPECT_EQ(found->period, c.period) << c.name;
        const mpfr_prec_t bits = -c.radiusBits + search.precisionBelow + 128;
        Plain root(bits);
        mpfr_set_str(root.re, found->re.c_str(), 10, MPFR_RNDN);
        mpfr_set_str(root.im, found->im.c_str(), 10, MPFR_RNDN);
        newton(root, found->preperiod, found->period, bits);
        EXPECT_LE(distanceBits(*found, root, bits), c.radiusBits - search.precisionBelow + 1) << c.name;
        EXPECT_TRUE(smallestRepeat(root, c.preperiod, c.period, bits)) << c.name;
    }
}

}  // namespace
}  // namespace mandel
