#include "explore/find_and_go.h"

#include <algorithm>
#include <utility>

#include "deep/deep_view.h"
#include "deep/minibrot_finder.h"
#include "explore/misiurewicz_finder.h"
#include "explore/mpfr_complex.h"

namespace mandel {
namespace {

// Periods looked for at most: the limit's multiple, and never fewer than this.
constexpr std::int64_t kLeastMaxPeriod = 100000;
constexpr std::int64_t kMaxPeriodPerLimit = 4;
constexpr int kSideDigits = 21;

// A positive ExtReal as a decimal with `digits` significant digits.
std::optional<Decimal> decimalOf(const ExtReal& value, int digits) {
    if (value.isZero() || !(value.mantissa > 0)) return std::nullopt;
    MpfrValue x(64);
    mpfr_set_d(x.get(), value.mantissa, MPFR_RNDN);
    mpfr_mul_2si(x.get(), x.get(), static_cast<long>(value.exponent), MPFR_RNDN);
    return Decimal::parse(significantText(x.get(), digits));
}

// The nucleus found is searched about again within this fraction of its
// size (and of the first radius), far above its error.
constexpr std::int64_t kConfirmRadiusPowerOfTen = -5;

// Newton's method for z_p(c) = 0 also settles on the nuclei whose period
// divides p (a disc by the seahorse valley that reports period 134 may lead to
// c = −1, of period 2), where the size for period p means nothing. A small
// disc about the nucleus reports its own period, and a search there finds it
// with that period and its size.
std::optional<Minibrot> ownPeriod(const MinibrotSearch& search, const Minibrot& found,
                                  const std::atomic<bool>* cancel) {
    const std::optional<Decimal> radius = Decimal::parse(search.radius);
    const std::optional<Decimal> size = decimalOf(found.size, 6);
    if (!radius) return std::nullopt;
    const Decimal& smaller = size && Decimal::compare(*size, *radius) < 0 ? *size : *radius;
    MinibrotSearch again = search;
    again.re = found.re;
    again.im = found.im;
    again.radius = smaller.timesPowerOfTen(kConfirmRadiusPowerOfTen).scientificText();
    again.maxPeriod = found.period - 1;
    return findMinibrot(again, cancel);
}

}  // namespace

PixelPoint pointAtPixel(const ExploreLocation& from, PictureSize size, int x, int y) {
    const std::int64_t shorter = std::min(size.width, size.height);
    const std::int64_t q = locationQuantumExponent(from.side);
    const auto moved = [&](const Decimal& centre, std::int64_t offset2) {
        return centre + (Decimal(offset2) * from.side).dividedRounded(2 * shorter, q);
    };
    return {moved(from.centreReal, 2 * std::int64_t{x} - size.width),
            moved(from.centreImag, 2 * std::int64_t{y} - size.height)};
}

std::optional<FoundPoint> findAround(FoundKind kind, const std::string& re, const std::string& im,
                                     const std::string& radius, std::int64_t maxPeriod,
                                     const std::atomic<bool>* cancel) {
    FoundPoint found;
    found.kind = kind;
    if (kind == FoundKind::Minibrot) {
        MinibrotSearch search;
        search.re = re;
        search.im = im;
        search.radius = radius;
        search.maxPeriod = maxPeriod > 0 ? maxPeriod : kLeastMaxPeriod;
        std::optional<Minibrot> minibrot = findMinibrot(search, cancel);
        if (!minibrot) return std::nullopt;
        if (minibrot->period > 1)
            if (std::optional<Minibrot> own = ownPeriod(search, *minibrot, cancel)) minibrot = std::move(own);
        found.re = minibrot->re;
        found.im = minibrot->im;
        found.period = minibrot->period;
        found.size = minibrot->size;
        return found;
    }
    MisiurewiczSearch search;
    search.re = re;
    search.im = im;
    search.radius = radius;
    if (maxPeriod > 0) search.maxPeriod = maxPeriod;
    const std::optional<MisiurewiczPoint> point = findMisiurewicz(search, cancel);
    if (!point) return std::nullopt;
    found.re = point->re;
    found.im = point->im;
    found.period = point->period;
    found.preperiod = point->preperiod;
    found.size = point->size;
    return found;
}

std::optional<FoundPoint> findNear(FoundKind kind, const ExploreLocation& from, const PixelPoint& at,
                                   const std::atomic<bool>* cancel) {
    const std::string radius =
        from.side.dividedRounded(kSearchRadiusDivisor, locationQuantumExponent(from.side)).scientificText();
    const std::int64_t maxPeriod =
        kind == FoundKind::Minibrot ? std::clamp(kMaxPeriodPerLimit * from.limit, kLeastMaxPeriod, kMaxDeepLimit) : 0;
    return findAround(kind, at.re.plainText(), at.im.plainText(), radius, maxPeriod, cancel);
}

std::optional<ExploreLocation> locationShowing(const FoundPoint& point, const ExploreLocation& from) {
    const auto re = Decimal::parse(point.re);
    const auto im = Decimal::parse(point.im);
    const auto side = decimalOf(point.size * ExtReal(static_cast<double>(kSizesPerView)), kSideDigits);
    if (!re || !im || !side) return std::nullopt;
    ExploreLocation to = from;
    to.centreReal = *re;
    to.centreImag = *im;
    to.side = *side;
    to.base = 0;
    if (point.kind == FoundKind::Minibrot) {
        to.limit = std::clamp(std::max(from.limit, kLimitPerPeriod * point.period), std::int64_t{1}, kMaxDeepLimit);
    } else if (Decimal::compare(to.side, from.side) > 0) {
        to.side = from.side;
    }
    return to;
}

std::string sizeText(const ExtReal& size) {
    const auto value = decimalOf(size, 3);
    return value ? value->scientificText() : "0";
}

}  // namespace mandel
