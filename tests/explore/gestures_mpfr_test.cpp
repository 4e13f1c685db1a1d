// Wheel notches and a pan, replayed in MPFR with the documented rounding rule
// (not with the decimal code), must give the same texts digit for digit; a
// location's own digits survive zooms about the centre.

#include <gmp.h>
#include <gtest/gtest.h>
#include <mpfr.h>

#include <string>

#include "explore/explore_gestures.h"

namespace mandel {
namespace {

constexpr mpfr_prec_t kBits = 4000;

// An MPFR number at kBits, freed on scope exit.
struct Big {
    mpfr_t v;
    Big() { mpfr_init2(v, kBits); }
    explicit Big(const char* text) : Big() { mpfr_set_str(v, text, 10, MPFR_RNDN); }
    Big(const Big& o) : Big() { mpfr_set(v, o.v, MPFR_RNDN); }
    Big& operator=(const Big& o) {
        mpfr_set(v, o.v, MPFR_RNDN);
        return *this;
    }
    ~Big() { mpfr_clear(v); }
};

// The value on the grid 10^q (to nearest, ties to even) as an integer n, n·10^q.
struct OnGrid {
    Big value;
    mpz_t n;
    long q = 0;
    OnGrid() { mpz_init(n); }
    OnGrid(const OnGrid& o) : value(o.value), q(o.q) { mpz_init_set(n, o.n); }
    OnGrid& operator=(const OnGrid& o) {
        value = o.value;
        mpz_set(n, o.n);
        q = o.q;
        return *this;
    }
    ~OnGrid() { mpz_clear(n); }
};

void powerOfTen(Big& out, long e) {
    mpfr_set_ui(out.v, 10, MPFR_RNDN);
    mpfr_pow_si(out.v, out.v, e, MPFR_RNDN);
}

OnGrid roundToGrid(const Big& x, long q) {
    Big scale, y, fraction;
    powerOfTen(scale, -q);
    mpfr_mul(y.v, x.v, scale.v, MPFR_RNDN);
    OnGrid r;
    mpfr_get_z(r.n, y.v, MPFR_RNDD);
    mpfr_sub_z(fraction.v, y.v, r.n, MPFR_RNDN);
    mpfr_sub_d(fraction.v, fraction.v, 0.5, MPFR_RNDN);
    // The exact value is a ratio with a small denominator: within 2^-3000 of
    // one half means exactly one half.
    Big distance;
    mpfr_abs(distance.v, fraction.v, MPFR_RNDN);
    const bool tie = mpfr_cmp_ui_2exp(distance.v, 1, -3000) < 0;
    if ((tie && mpz_odd_p(r.n)) || (!tie && mpfr_sgn(fraction.v) > 0)) mpz_add_ui(r.n, r.n, 1);
    powerOfTen(scale, q);
    mpfr_mul_z(r.value.v, scale.v, r.n, MPFR_RNDN);
    r.q = q;
    return r;
}

// a + move, exactly, on move's grid (a lies on a grid no finer).
OnGrid plus(const OnGrid& a, const OnGrid& move) {
    OnGrid sum = move;
    mpz_t scale;
    mpz_init(scale);
    mpz_ui_pow_ui(scale, 10, static_cast<unsigned long>(a.q - move.q));
    mpz_addmul(sum.n, a.n, scale);
    mpz_clear(scale);
    mpfr_add(sum.value.v, a.value.v, move.value.v, MPFR_RNDN);
    return sum;
}

long leading(const Big& x) {
    Big l;
    mpfr_abs(l.v, x.v, MPFR_RNDN);
    mpfr_log10(l.v, l.v, MPFR_RNDN);
    return mpfr_get_si(l.v, MPFR_RNDD);
}

long grid(const Big& side) { return leading(side) - kDigitsBelowSide; }

// n·10^q in plain notation, trailing zeros dropped (q < 0 here).
std::string plain(const OnGrid& g) {
    char* raw = mpz_get_str(nullptr, 10, g.n);
    std::string digits(raw);
    void (*release)(void*, size_t);
    mp_get_memory_functions(nullptr, nullptr, &release);
    release(raw, digits.size() + 1);
    const bool negative = digits[0] == '-';
    if (negative) digits.erase(0, 1);
    const std::size_t decimals = static_cast<std::size_t>(-g.q);
    if (digits.size() <= decimals) digits.insert(0, decimals + 1 - digits.size(), '0');
    digits.insert(digits.size() - decimals, 1, '.');
    while (digits.back() == '0') digits.pop_back();
    if (digits.back() == '.') digits.pop_back();
    return (negative && digits != "0" ? "-" : "") + digits;
}

TEST(GesturesAgainstMpfr, HundredNotchesAboutPixelsThenAPanMatchDigitForDigit) {
    const PictureSize size{800, 600};
    const long w = size.width, h = size.height, m = 600;
    ExploreLocation location{*Decimal::parse("-0.75"), *Decimal::parse("0.1"), *Decimal::parse("3"), 1000, 0};
    OnGrid re = roundToGrid(Big("-0.75"), -2), im = roundToGrid(Big("0.1"), -1), side;
    side.value = Big("3");
    for (int notch = 0; notch < 100; ++notch) {
        const int x = (37 * notch + 11) % size.width, y = (53 * notch + 7) % size.height;
        location = zoomAboutPixel(location, size, x, y, kWheelUnitsPerNotch);
        Big exactSide, shrink, offset;
        mpfr_div_ui(exactSide.v, side.value.v, 2, MPFR_RNDN);
        OnGrid newSide = roundToGrid(exactSide, grid(exactSide));
        const long q = grid(newSide.value);
        mpfr_sub(shrink.v, side.value.v, newSide.value.v, MPFR_RNDN);
        mpfr_div_si(shrink.v, shrink.v, 2 * m, MPFR_RNDN);
        // Only the move is rounded onto the grid; the centre's digits stay.
        mpfr_mul_si(offset.v, shrink.v, 2L * x - w, MPFR_RNDN);
        re = plus(re, roundToGrid(offset, q));
        mpfr_mul_si(offset.v, shrink.v, 2L * y - h, MPFR_RNDN);
        im = plus(im, roundToGrid(offset, q));
        side = newSide;
    }
    location = panByPixels(location, size, -123, 45);
    Big step, moved;
    mpfr_div_si(step.v, side.value.v, m, MPFR_RNDN);
    mpfr_mul_si(moved.v, step.v, -123, MPFR_RNDN);
    re = plus(re, roundToGrid(moved, grid(side.value)));
    mpfr_mul_si(moved.v, step.v, 45, MPFR_RNDN);
    im = plus(im, roundToGrid(moved, grid(side.value)));

    EXPECT_EQ(location.centreReal.plainText(), plain(re));
    EXPECT_EQ(location.centreImag.plainText(), plain(im));
    EXPECT_EQ(location.side.plainText(), plain(side));
    EXPECT_EQ(location.side.leadingExponent(), -30);  // 3·2^-100 ≈ 2.4e-30
    EXPECT_EQ(location.limit, 1000);
}

TEST(GesturesAgainstMpfr, FractionalWheelStepsComposeToAWholeNotch) {
    // 2^(-1/2) rounded to 30 digits, squared, is 1/2 to about 30 digits.
    const Decimal half = wheelScale(60) * wheelScale(60);
    const Decimal error = half - Decimal(5).timesPowerOfTen(-1);
    EXPECT_LT(error.sign() == 0 ? -100 : error.leadingExponent(), -28);
    EXPECT_EQ(wheelScale(-240).plainText(), "4");
    EXPECT_EQ(wheelScale(360).plainText(), "0.125");
}

}  // namespace
}  // namespace mandel

namespace mandel {
namespace {

TEST(GivenDigits, ThirtyFiveDigitsSurviveNinetyZoomsAboutTheCentreAndMovesAddOnlyGridDigits) {
    const std::string re = "-0.744143887037158704752191506115274", im = "0.131325904205311970493132056384639";
    const ExploreLocation given{*Decimal::parse(re), *Decimal::parse(im), *Decimal::parse("0.001"), 1000, 0};
    ExploreLocation location = given;
    for (int press = 0; press < 90; ++press) location = zoomAboutCentre(location, kWheelUnitsPerNotch);
    EXPECT_EQ(location.centreReal.plainText(), re);
    EXPECT_EQ(location.centreImag.plainText(), im);
    EXPECT_EQ(location.side.leadingExponent(), -31);  // 0.001 / 2^90 ≈ 8.1e-31
    // And back out: the centre has not moved by a single digit.
    for (int press = 0; press < 90; ++press) location = zoomAboutCentre(location, -kWheelUnitsPerNotch);
    EXPECT_EQ(location.centreReal, given.centreReal);
    EXPECT_EQ(location.centreImag, given.centreImag);

    // A zoom about a pixel and a pan move the centre by whole grid steps of
    // the new side: the 35 given digits stay below them.
    const PictureSize size{640, 480};
    location = panByPixels(zoomAboutPixel(given, size, 17, 401, kWheelUnitsPerNotch), size, 5, -3);
    const std::int64_t q = locationQuantumExponent(location.side);
    const Decimal moved = location.centreReal - given.centreReal;
    EXPECT_EQ(moved.rounded(q), moved);
    EXPECT_NE(moved.sign(), 0);
    EXPECT_NE(location.centreReal.rounded(q), location.centreReal);  // the given digits reach below the grid
}

}  // namespace
}  // namespace mandel
