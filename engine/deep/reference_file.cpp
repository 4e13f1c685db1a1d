#include "deep/reference_file.h"

#include <gmp.h>

#include <bit>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <vector>

#include "deep/deep_reference.h"
#include "files/safe_file.h"
#include "files/sha256.h"

namespace mandel {

static_assert(std::endian::native == std::endian::little, "the orbit's data is stored as the machine holds it");

namespace {

constexpr const char* kMagic = "mandelbrot-reference";
constexpr std::size_t kPointBytes = 32;
constexpr std::size_t kLowBytes = 24;

// "M E" with value M·2^E exactly.
std::string exactText(mpfr_srcptr x) {
    mpz_t mantissa;
    mpz_init(mantissa);
    long exponent = 0;
    if (!mpfr_zero_p(x)) exponent = mpfr_get_z_2exp(mantissa, x);
    char* digits = mpz_get_str(nullptr, 16, mantissa);
    std::string text = std::string(digits) + " " + std::to_string(exponent);
    void (*release)(void*, std::size_t) = nullptr;
    mp_get_memory_functions(nullptr, nullptr, &release);
    release(digits, std::strlen(digits) + 1);
    mpz_clear(mantissa);
    return text;
}

std::string doubleText(double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%a", value);
    return text;
}

template <class T>
void append(std::vector<std::uint8_t>& bytes, const T& value) {
    const auto* raw = reinterpret_cast<const std::uint8_t*>(&value);
    bytes.insert(bytes.end(), raw, raw + sizeof value);
}

std::vector<std::uint8_t> orbitData(const DeepReference& reference, bool withLow) {
    std::vector<std::uint8_t> data;
    const auto& orbit = reference.orbit();
    data.reserve(orbit.size() * (kPointBytes + (withLow ? kLowBytes : 0)));
    for (const OrbitPoint& p : orbit) {
        append(data, p.re), append(data, p.im), append(data, p.err);
        append(data, p.exponent), append(data, p.errExponent);
    }
    if (withLow)
        for (const OrbitLow& p : reference.orbitLow()) append(data, p.re), append(data, p.im), append(data, p.err);
    return data;
}

}  // namespace

void writeReferenceFile(const std::string& path, const DeepReference& reference) {
    const bool withLow = static_cast<std::int64_t>(reference.orbit().size()) <= kEagerLowLength &&
                         reference.orbitLow().size() == reference.orbit().size();
    const std::vector<std::uint8_t> data = orbitData(reference, withLow);
    Sha256 digest;
    digest.add(data);
    const ExtReal& ceiling = reference.errorCeiling();
    std::ostringstream header;
    header << kMagic << ' ' << kReferenceFileVersion << '\n'
           << "precision_bits " << reference.precisionBits() << '\n'
           << "centre_re " << exactText(reference.centreRe().get()) << '\n'
           << "centre_im " << exactText(reference.centreIm().get()) << '\n'
           << "limit " << reference.limit() << '\n'
           << "extended " << (reference.extended() ? 1 : 0) << '\n'
           << "error_ceiling " << doubleText(ceiling.mantissa) << ' ' << ceiling.exponent << '\n'
           << "end "
           << (reference.escaped()     ? "escaped"
               : reference.truncated() ? "truncated"
                                       : "limit")
           << '\n'
           << "points " << reference.orbit().size() << '\n'
           << "low_points " << (withLow ? reference.orbit().size() : 0) << '\n'
           << "data_sha256 " << digest.hex() << '\n'
           << "data\n";
    const std::string text = header.str();
    SafeFileWriter file(path);
    file.write(text.data(), text.size());
    file.write(data.data(), data.size());
    file.commit();
}

namespace {

// Reads the header's lines in their order, each "key value...".
class HeaderReader {
public:
    HeaderReader(std::istream& in, const std::string& path) : in_(in), path_(path) {}

    std::istringstream line(const std::string& key) {
        std::string text;
        if (!std::getline(in_, text)) fail("ends before its " + key + " line");
        std::istringstream fields(text);
        std::string found;
        fields >> found;
        if (found != key) fail("has \"" + found + "\" where its " + key + " line belongs");
        return fields;
    }
    template <class T>
    T value(const std::string& key) {
        std::istringstream fields = line(key);
        T result{};
        std::string rest;
        if (!(fields >> result) || (fields >> rest)) fail("has a malformed " + key + " line");
        return result;
    }
    void exact(const std::string& key, MpfrValue& x) {
        std::istringstream fields = line(key);
        std::string digits, rest;
        long exponent = 0;
        if (!(fields >> digits >> exponent) || (fields >> rest)) fail("has a malformed " + key + " line");
        mpz_t mantissa;
        mpz_init(mantissa);
        const bool ok = mpz_set_str(mantissa, digits.c_str(), 16) == 0 &&
                        mpz_sizeinbase(mantissa, 2) <= static_cast<std::size_t>(mpfr_get_prec(x.get())) &&
                        mpfr_set_z_2exp(x.get(), mantissa, exponent, MPFR_RNDN) == 0;
        mpz_clear(mantissa);
        if (!ok) fail("has a malformed " + key + " line");
    }
    [[noreturn]] void fail(const std::string& reason) const {
        throw ReferenceFileError("reference file " + path_ + " " + reason);
    }

private:
    std::istream& in_;
    const std::string& path_;
};

template <class T>
T take(const std::uint8_t*& at) {
    T value;
    std::memcpy(&value, at, sizeof value);
    at += sizeof value;
    return value;
}

}  // namespace

std::shared_ptr<const DeepReference> readReferenceFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw ReferenceFileError("cannot read reference file " + path + ": " + std::strerror(errno));
    HeaderReader header(in, path);
    if (header.value<int>(kMagic) != kReferenceFileVersion)
        header.fail("is not of version " + std::to_string(kReferenceFileVersion));
    const auto bits = header.value<long>("precision_bits");
    if (bits < MPFR_PREC_MIN || bits > (1L << 30)) header.fail("has a precision out of range");
    MpfrValue re(bits), im(bits);
    header.exact("centre_re", re);
    header.exact("centre_im", im);
    const auto limit = header.value<std::int64_t>("limit");
    const auto extended = header.value<int>("extended");
    std::istringstream ceilingLine = header.line("error_ceiling");
    std::string mantissaText;
    std::int64_t ceilingExponent = 0;
    if (!(ceilingLine >> mantissaText >> ceilingExponent)) header.fail("has a malformed error_ceiling line");
    const auto end = header.value<std::string>("end");
    const auto points = header.value<std::size_t>("points");
    const auto lowPoints = header.value<std::size_t>("low_points");
    const auto digestText = header.value<std::string>("data_sha256");
    header.line("data");
    if (limit < 1 || (extended != 0 && extended != 1) || points < 1 || static_cast<std::int64_t>(points) > limit + 1 ||
        (lowPoints != 0 && lowPoints != points) || (end != "limit" && end != "escaped" && end != "truncated"))
        header.fail("has a header out of range");

    const std::size_t size = points * kPointBytes + lowPoints * kLowBytes;
    std::vector<std::uint8_t> data(size);
    in.read(reinterpret_cast<char*>(data.data()), static_cast<std::streamsize>(size));
    const bool whole = static_cast<std::size_t>(in.gcount()) == size;
    if (!whole) header.fail("has less data than its header says");
    if (in.peek() != std::char_traits<char>::eof()) header.fail("has more data than its header says");
    Sha256 digest;
    digest.add(data);
    if (digest.hex() != digestText) header.fail("is damaged (its data does not match its digest)");

    std::vector<OrbitPoint> orbit(points);
    std::vector<OrbitLow> low(lowPoints);
    const std::uint8_t* at = data.data();
    for (OrbitPoint& p : orbit) {
        p.re = take<double>(at), p.im = take<double>(at), p.err = take<double>(at);
        p.exponent = take<std::int32_t>(at), p.errExponent = take<std::int32_t>(at);
    }
    for (OrbitLow& p : low) p.re = take<double>(at), p.im = take<double>(at), p.err = take<double>(at);
    const ExtReal ceiling(std::strtod(mantissaText.c_str(), nullptr), ceilingExponent);
    return std::make_shared<const DeepReference>(re, im, limit, extended == 1, ceiling, end == "escaped",
                                                 end == "truncated", std::move(orbit), std::move(low));
}

}  // namespace mandel
