// Finds test locations for the deep engine with MPFR: the nucleus of a
// minibrot by Newton's method, with its period from the ball-period method.
//
//   find_deep_locations RE IM LOG10_RADIUS BITS
//   find_deep_locations corner RE IM SIDE FX FY BITS
//
// Around the point RE + i·IM (a Misiurewicz point such as i works well: the
// minibrots near it shrink geometrically with their period), the lowest period
// n for which the ball of radius 10^LOG10_RADIUS may hold 0 after n steps
// (|z_n| < r·|dz_n/dc|) is taken; Newton's method for z_n(c) = 0 from RE + i·IM
// gives the nucleus. Prints the period, the nucleus as decimal texts and the
// minibrot's size estimate 1/|β·λ²| (λ = Π 2·z_k, β = Σ 1/Π 2·z_j).
// The second form prints a view's minimum corner RE − FX·SIDE, IM − FY·SIDE.
#include <mpfr.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

struct Complex {
    mpfr_t re, im;
    explicit Complex(mpfr_prec_t bits) { mpfr_inits2(bits, re, im, static_cast<mpfr_ptr>(nullptr)); }
    ~Complex() { mpfr_clears(re, im, static_cast<mpfr_ptr>(nullptr)); }
};

mpfr_prec_t gBits = 0;

// r = x·y (r may alias x or y).
void mul(Complex& r, const Complex& x, const Complex& y) {
    Complex t(gBits);
    mpfr_mul(t.re, x.re, y.re, MPFR_RNDN);
    mpfr_fms(t.re, x.im, y.im, t.re, MPFR_RNDN);
    mpfr_neg(t.re, t.re, MPFR_RNDN);
    mpfr_mul(t.im, x.re, y.im, MPFR_RNDN);
    mpfr_fma(t.im, x.im, y.re, t.im, MPFR_RNDN);
    mpfr_set(r.re, t.re, MPFR_RNDN);
    mpfr_set(r.im, t.im, MPFR_RNDN);
}

void add(Complex& r, const Complex& x, const Complex& y) {
    mpfr_add(r.re, x.re, y.re, MPFR_RNDN);
    mpfr_add(r.im, x.im, y.im, MPFR_RNDN);
}

double absD(const Complex& x) { return std::hypot(mpfr_get_d(x.re, MPFR_RNDN), mpfr_get_d(x.im, MPFR_RNDN)); }

// log10 |x| for values outside double's range.
double log10Abs(const Complex& x) {
    mpfr_t a;
    mpfr_init2(a, 64);
    mpfr_hypot(a, x.re, x.im, MPFR_RNDN);
    mpfr_log10(a, a, MPFR_RNDN);
    const double v = mpfr_get_d(a, MPFR_RNDN);
    mpfr_clear(a);
    return v;
}

// One step of z -> z² + c, dz -> 2·z·dz + 1.
void step(Complex& z, Complex& dz, const Complex& c) {
    Complex two(gBits);
    mpfr_mul_2ui(two.re, z.re, 1, MPFR_RNDN);
    mpfr_mul_2ui(two.im, z.im, 1, MPFR_RNDN);
    mul(dz, two, dz);
    mpfr_add_ui(dz.re, dz.re, 1, MPFR_RNDN);
    mul(z, z, z);
    add(z, z, c);
}

long ballPeriod(const Complex& c, double log10Radius, long maxPeriod) {
    Complex z(gBits), dz(gBits);
    mpfr_set_ui(z.re, 0, MPFR_RNDN), mpfr_set_ui(z.im, 0, MPFR_RNDN);
    mpfr_set_ui(dz.re, 0, MPFR_RNDN), mpfr_set_ui(dz.im, 0, MPFR_RNDN);
    for (long n = 1; n <= maxPeriod; ++n) {
        step(z, dz, c);
        if (log10Abs(z) < log10Radius + log10Abs(dz)) return n;
        if (absD(z) > 1e10) return -n;
    }
    return 0;
}

// Newton's method for z_period(c) = 0; returns the last step's log10 size.
double newton(Complex& c, long period) {
    double lastStep = 0;
    for (int k = 0; k < 200; ++k) {
        Complex z(gBits), dz(gBits);
        mpfr_set_ui(z.re, 0, MPFR_RNDN), mpfr_set_ui(z.im, 0, MPFR_RNDN);
        mpfr_set_ui(dz.re, 0, MPFR_RNDN), mpfr_set_ui(dz.im, 0, MPFR_RNDN);
        for (long n = 0; n < period; ++n) step(z, dz, c);
        // c -= z / dz
        Complex q(gBits), conj(gBits);
        mpfr_set(conj.re, dz.re, MPFR_RNDN);
        mpfr_neg(conj.im, dz.im, MPFR_RNDN);
        mul(q, z, conj);
        mpfr_t norm;
        mpfr_init2(norm, gBits);
        mpfr_sqr(norm, dz.re, MPFR_RNDN);
        mpfr_fma(norm, dz.im, dz.im, norm, MPFR_RNDN);
        mpfr_div(q.re, q.re, norm, MPFR_RNDN);
        mpfr_div(q.im, q.im, norm, MPFR_RNDN);
        mpfr_clear(norm);
        mpfr_sub(c.re, c.re, q.re, MPFR_RNDN);
        mpfr_sub(c.im, c.im, q.im, MPFR_RNDN);
        lastStep = mpfr_zero_p(q.re) && mpfr_zero_p(q.im) ? -1e9 : log10Abs(q);
        if (lastStep < -0.3 * static_cast<double>(gBits) + 10 && k > 3) break;
    }
    return lastStep;
}

double log10Size(const Complex& c, long period) {
    Complex z(gBits), l(gBits), b(gBits), dz(gBits);
    mpfr_set(z.re, c.re, MPFR_RNDN), mpfr_set(z.im, c.im, MPFR_RNDN);
    mpfr_set_ui(l.re, 1, MPFR_RNDN), mpfr_set_ui(l.im, 0, MPFR_RNDN);
    mpfr_set_ui(b.re, 1, MPFR_RNDN), mpfr_set_ui(b.im, 0, MPFR_RNDN);
    for (long k = 1; k < period; ++k) {
        Complex two(gBits), inv(gBits);
        mpfr_mul_2ui(two.re, z.re, 1, MPFR_RNDN);
        mpfr_mul_2ui(two.im, z.im, 1, MPFR_RNDN);
        mul(l, l, two);
        mpfr_t norm;
        mpfr_init2(norm, gBits);
        mpfr_sqr(norm, l.re, MPFR_RNDN);
        mpfr_fma(norm, l.im, l.im, norm, MPFR_RNDN);
        mpfr_div(inv.re, l.re, norm, MPFR_RNDN);
        mpfr_div(inv.im, l.im, norm, MPFR_RNDN);
        mpfr_neg(inv.im, inv.im, MPFR_RNDN);
        mpfr_clear(norm);
        add(b, b, inv);
        mul(z, z, z);
        add(z, z, c);
    }
    mul(l, l, l);
    mul(l, l, b);
    return -log10Abs(l);
}

// A decimal text "d.ddd…e±x" with the given number of significant digits.
std::string decimal(const mpfr_t x, std::size_t digits) {
    mpfr_exp_t exponent = 0;
    char* raw = mpfr_get_str(nullptr, &exponent, 10, digits, x, MPFR_RNDN);
    std::string s = raw;
    mpfr_free_str(raw);
    std::string sign;
    if (s[0] == '-') sign = "-", s.erase(0, 1);
    return sign + s.substr(0, 1) + "." + s.substr(1) + "e" + std::to_string(static_cast<long>(exponent) - 1);
}

// The view's minimum corner RE − fx·SIDE, IM − fy·SIDE as decimal texts.
int printCorner(char** argv) {
    gBits = std::atol(argv[7]);
    Complex c(gBits);
    mpfr_t side, f;
    mpfr_inits2(gBits, side, f, static_cast<mpfr_ptr>(nullptr));
    mpfr_set_str(c.re, argv[2], 10, MPFR_RNDN);
    mpfr_set_str(c.im, argv[3], 10, MPFR_RNDN);
    mpfr_set_str(side, argv[4], 10, MPFR_RNDN);
    for (int k = 0; k < 2; ++k) {
        mpfr_set_str(f, argv[5 + k], 10, MPFR_RNDN);
        mpfr_mul(f, f, side, MPFR_RNDN);
        mpfr_sub(k == 0 ? c.re : c.im, k == 0 ? c.re : c.im, f, MPFR_RNDN);
    }
    const std::size_t digits = static_cast<std::size_t>(static_cast<double>(gBits) * 0.30103) + 2;
    std::printf("a %s\nb %s\n", decimal(c.re, digits).c_str(), decimal(c.im, digits).c_str());
    mpfr_clears(side, f, static_cast<mpfr_ptr>(nullptr));
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 8 && std::string(argv[1]) == "corner") return printCorner(argv);
    if (argc != 5) {
        std::fprintf(stderr, "usage: find_deep_locations RE IM LOG10_RADIUS BITS\n");
        return 2;
    }
    gBits = std::atol(argv[4]);
    Complex c(gBits);
    mpfr_set_str(c.re, argv[1], 10, MPFR_RNDN);
    mpfr_set_str(c.im, argv[2], 10, MPFR_RNDN);
    const double log10Radius = std::atof(argv[3]);
    const long period = ballPeriod(c, log10Radius, 1000000);
    if (period <= 0) {
        std::printf("no period found (%ld)\n", period);
        return 1;
    }
    const double lastStep = newton(c, period);
    const std::size_t digits = static_cast<std::size_t>(static_cast<double>(gBits) * 0.30103) + 2;
    std::printf("period %ld\nnewton last step 1e%.1f\nsize 1e%.2f\nre %s\nim %s\n", period, lastStep,
                log10Size(c, period), decimal(c.re, digits).c_str(), decimal(c.im, digits).c_str());
    return 0;
}
