#include "explore/exact_decimal.h"

#include <utility>

#include "deep/deep_view.h"

namespace mandel {
namespace {

// 10^n as an integer, n >= 0.
void setPowerOfTen(mpz_t out, std::int64_t n) { mpz_ui_pow_ui(out, 10, static_cast<unsigned long>(n)); }

std::string problemAt(std::string_view text, std::string_view what) {
    std::string message("\"");
    message.append(text).append("\": ").append(what);
    return message;
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

std::string absoluteDigits(mpz_srcptr digits) {
    std::string text(mpz_sizeinbase(digits, 10) + 2, '\0');
    mpz_get_str(text.data(), 10, digits);
    text.resize(std::string_view(text.c_str()).size());
    if (!text.empty() && text[0] == '-') text.erase(0, 1);
    return text;
}

}  // namespace

Decimal::Decimal() : exponent_(0) { mpz_init(digits_); }
Decimal::Decimal(std::int64_t value) : exponent_(0) {
    mpz_init(digits_);
    mpz_set_si(digits_, static_cast<long>(value));
    normalise();
}
Decimal::Decimal(const Decimal& other) : exponent_(other.exponent_) { mpz_init_set(digits_, other.digits_); }
Decimal::Decimal(Decimal&& other) noexcept : exponent_(other.exponent_) {
    mpz_init(digits_);
    mpz_swap(digits_, other.digits_);
}
Decimal& Decimal::operator=(Decimal other) noexcept {
    mpz_swap(digits_, other.digits_);
    std::swap(exponent_, other.exponent_);
    return *this;
}
Decimal::~Decimal() { mpz_clear(digits_); }

void Decimal::normalise() {
    if (mpz_sgn(digits_) == 0) {
        exponent_ = 0;
        return;
    }
    mpz_t ten;
    mpz_init_set_ui(ten, 10);
    exponent_ += static_cast<std::int64_t>(mpz_remove(digits_, digits_, ten));
    mpz_clear(ten);
}

std::optional<Decimal> Decimal::parse(std::string_view text, std::string* problem) {
    if (const std::string why = decimalTextProblem(text); !why.empty()) {
        if (problem) *problem = problemAt(text, why);
        return std::nullopt;
    }
    // The shape and the exponent's range are checked: a sign, digits with at
    // most one point, and e or E with a sign and at most 100000 in value.
    std::size_t i = 0;
    bool negative = false;
    if (text[i] == '+' || text[i] == '-') negative = text[i++] == '-';
    std::string digits;
    std::int64_t fractionDigits = 0;
    bool point = false;
    for (; i < text.size() && (isDigit(text[i]) || text[i] == '.'); ++i) {
        if (text[i] == '.') {
            point = true;
        } else {
            digits += text[i];
            fractionDigits += point ? 1 : 0;
        }
    }
    std::int64_t exponent = 0;
    if (i < text.size()) {
        ++i;  // 'e' or 'E'
        bool negativeExponent = false;
        if (text[i] == '+' || text[i] == '-') negativeExponent = text[i++] == '-';
        for (; i < text.size(); ++i) exponent = exponent * 10 + (text[i] - '0');
        if (negativeExponent) exponent = -exponent;
    }
    Decimal result;
    mpz_set_str(result.digits_, digits.c_str(), 10);
    if (negative) mpz_neg(result.digits_, result.digits_);
    result.exponent_ = exponent - fractionDigits;
    result.normalise();
    return result;
}

Decimal operator+(const Decimal& a, const Decimal& b) {
    Decimal r;
    const std::int64_t e = a.exponent_ < b.exponent_ ? a.exponent_ : b.exponent_;
    mpz_t y;
    mpz_init(y);
    setPowerOfTen(r.digits_, a.exponent_ - e);
    mpz_mul(r.digits_, r.digits_, a.digits_);
    setPowerOfTen(y, b.exponent_ - e);
    mpz_mul(y, y, b.digits_);
    mpz_add(r.digits_, r.digits_, y);
    mpz_clear(y);
    r.exponent_ = e;
    r.normalise();
    return r;
}

Decimal Decimal::operator-() const {
    Decimal r(*this);
    mpz_neg(r.digits_, r.digits_);
    return r;
}

Decimal operator-(const Decimal& a, const Decimal& b) { return a + (-b); }

Decimal operator*(const Decimal& a, const Decimal& b) {
    Decimal r;
    mpz_mul(r.digits_, a.digits_, b.digits_);
    r.exponent_ = a.exponent_ + b.exponent_;
    r.normalise();
    return r;
}

int Decimal::compare(const Decimal& a, const Decimal& b) { return (a - b).sign(); }

int Decimal::sign() const { return mpz_sgn(digits_); }

std::int64_t Decimal::leadingExponent() const {
    if (sign() == 0) return 0;
    return exponent_ + static_cast<std::int64_t>(absoluteDigits(digits_).size()) - 1;
}

Decimal Decimal::timesPowerOfTen(std::int64_t exponent) const {
    Decimal r(*this);
    if (r.sign() != 0) r.exponent_ += exponent;
    return r;
}

Decimal Decimal::dividedRounded(std::int64_t divisor, std::int64_t quantumExponent) const {
    // n = round(digits · 10^exponent / (divisor · 10^quantum)) as num / den, den > 0.
    mpz_t num, den, quotient, remainder;
    mpz_inits(num, den, quotient, remainder, nullptr);
    mpz_set_si(den, static_cast<long>(divisor < 0 ? -divisor : divisor));
    mpz_set(num, digits_);
    if (divisor < 0) mpz_neg(num, num);
    if (exponent_ >= quantumExponent) {
        setPowerOfTen(quotient, exponent_ - quantumExponent);
        mpz_mul(num, num, quotient);
    } else {
        setPowerOfTen(quotient, quantumExponent - exponent_);
        mpz_mul(den, den, quotient);
    }
    mpz_fdiv_qr(quotient, remainder, num, den);
    mpz_mul_2exp(remainder, remainder, 1);
    const int half = mpz_cmp(remainder, den);
    if (half > 0 || (half == 0 && mpz_odd_p(quotient))) mpz_add_ui(quotient, quotient, 1);
    Decimal r;
    mpz_swap(r.digits_, quotient);
    r.exponent_ = quantumExponent;
    r.normalise();
    mpz_clears(num, den, quotient, remainder, nullptr);
    return r;
}

std::string Decimal::plainText() const {
    std::string digits = absoluteDigits(digits_);
    std::string text;
    if (exponent_ >= 0) {
        text = sign() == 0 ? "0" : digits + std::string(static_cast<std::size_t>(exponent_), '0');
    } else {
        const std::int64_t whole = static_cast<std::int64_t>(digits.size()) + exponent_;
        if (whole <= 0)
            text.append("0.").append(static_cast<std::size_t>(-whole), '0').append(digits);
        else
            text.append(digits, 0, static_cast<std::size_t>(whole))
                .append(".")
                .append(digits, static_cast<std::size_t>(whole));
    }
    std::string signed_text(sign() < 0 ? "-" : "");
    signed_text.append(text);
    return signed_text;
}

std::string Decimal::scientificText() const {
    if (sign() == 0) return "0e0";
    std::string digits = absoluteDigits(digits_);
    std::string text(sign() < 0 ? "-" : "");
    text.append(digits, 0, 1);
    if (digits.size() > 1) text.append(".").append(digits, 1, std::string::npos);
    return text.append("e").append(std::to_string(leadingExponent()));
}

}  // namespace mandel
