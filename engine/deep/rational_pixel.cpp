#include "deep/rational_pixel.h"

#include <gmpxx.h>

#include <vector>

#include "deep/decimal_value.h"
#include "deep/escape_test.h"

namespace mandel {

namespace {

mpq_class rationalOf(const std::string& text) {
    DecimalValue value;
    readDecimal(text, value);
    mpq_class out{mpz_class(value.digits)};
    mpz_class power;
    mpz_ui_pow_ui(power.get_mpz_t(), 10,
                  static_cast<unsigned long>(value.exponent < 0 ? -value.exponent : value.exponent));
    if (value.exponent < 0)
        out /= power;
    else
        out *= power;
    return out;
}

std::size_t bitsOf(const mpq_class& q) {
    return mpz_sizeinbase(q.get_num_mpz_t(), 2) + mpz_sizeinbase(q.get_den_mpz_t(), 2);
}

}  // namespace

std::int64_t rationalPixelCount(const DeepLocation& location, int span, int x, int y, int maxIterations,
                                std::size_t maxBits) {
    const mpq_class h = rationalOf(location.side) / span;
    const mpq_class cr = rationalOf(location.realMin) + h * x;
    const mpq_class ci = rationalOf(location.imagMin) + h * y;
    mpq_class zr = cr, zi = ci;
    std::vector<std::pair<mpq_class, mpq_class>> seen;
    for (std::int64_t i = 1; i <= maxIterations; ++i) {
        if (zr * zr + zi * zi > 4) return i;
        if (i == location.limit) return location.limit;
        for (const auto& [r, m] : seen)
            if (r == zr && m == zi) return location.limit;  // a cycle of points with |z| ≤ 2
        if (bitsOf(zr) + bitsOf(zi) > maxBits) return kUndecidedCount;
        seen.emplace_back(zr, zi);
        const mpq_class next = zr * zr - zi * zi + cr;
        zi = 2 * zr * zi + ci;
        zr = next;
    }
    return kUndecidedCount;
}

}  // namespace mandel
