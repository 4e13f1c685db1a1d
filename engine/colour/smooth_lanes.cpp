// smoothExcess and smoothColour for many pixels, compiled once per
// instruction set by Highway's foreach_target and chosen at run time
// (HWY_DYNAMIC_DISPATCH).

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "colour/smooth_lanes.cpp"
#define HWY_DISABLED_TARGETS (HWY_SVE | HWY_SVE2 | HWY_SVE_256 | HWY_SVE2_128)
#include <hwy/foreach_target.h>  // IWYU pragma: keep

#include <hwy/highway.h>

#include <cfloat>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <stdexcept>

#include "colour/defined_math.h"
#include "colour/smooth_count.h"
#include "colour/smooth_lanes.h"

// Shared by every instruction set's copy of the code below (this file is
// compiled once per target).
#ifndef MANDEL_SMOOTH_LANES_SHARED
#define MANDEL_SMOOTH_LANES_SHARED
namespace mandel::smoothlanes {

inline constexpr std::size_t kMaxGradientStops = 32;
inline constexpr std::size_t kMaxColourLanes = 16;

// smoothColours' arguments, as the lanes take them.
struct ColourJob {
    const std::int32_t* counts;
    const float* excess;
    Rgb* out;
    std::size_t size;
    std::int64_t limit;
    const Gradient* gradient;
    SmoothScale scale;
};

inline Rgb ScalarColour(const ColourJob& job, std::size_t i) {
    return smoothColour(job.counts[i], job.excess[i], job.limit, *job.gradient, job.scale);
}

}  // namespace mandel::smoothlanes
#endif

HWY_BEFORE_NAMESPACE();
namespace mandel::smoothlanes {
namespace HWY_NAMESPACE {

namespace hn = hwy::HWY_NAMESPACE;
using D = hn::ScalableTag<double>;
using V = hn::Vec<D>;
using DU = hn::RebindToUnsigned<D>;
using DI = hn::RebindToSigned<D>;

// definedLn(x) for positive, finite, normal x (the lanes' callers ensure it).
V LnOfNormal(D d, V x) {
    const DU du;
    const DI di;
    const auto bits = hn::BitCast(du, x);
    const auto exponentField = hn::Set(du, std::uint64_t{0x7ff} << 52);
    const auto biased = hn::ShiftRight<52>(hn::And(bits, exponentField));
    V exponent = hn::ConvertTo(d, hn::Sub(hn::BitCast(di, biased), hn::Set(di, 1022)));
    V m = hn::BitCast(d, hn::Or(hn::AndNot(exponentField, bits), hn::Set(du, std::uint64_t{1022} << 52)));
    const auto small = hn::Lt(m, hn::Set(d, kSqrtHalf));
    m = hn::IfThenElse(small, hn::Mul(m, hn::Set(d, 2.0)), m);
    exponent = hn::IfThenElse(small, hn::Sub(exponent, hn::Set(d, 1.0)), exponent);
    const V one = hn::Set(d, 1.0);
    const V s = hn::Div(hn::Sub(m, one), hn::Add(m, one));
    const V t = hn::Mul(s, s);
    V series = hn::Set(d, kOddReciprocals[0]);
    for (std::size_t j = 1; j < kOddReciprocals.size(); ++j)
        series = hn::Add(hn::Set(d, kOddReciprocals[j]), hn::Mul(t, series));
    return hn::Add(hn::Mul(exponent, hn::Set(d, kLn2)), hn::Mul(hn::Mul(hn::Set(d, 2.0), s), series));
}

V Log2OfNormal(D d, V x) { return hn::Div(LnOfNormal(d, x), hn::Set(d, kLn2)); }

// smoothExcess for the lanes at `at`: the orbits continued (each lane frozen
// once beyond R or out of steps), then the logarithms; false where some
// |z_N|² is not finite (the scalar function then takes the whole vector).
bool ExcessesOfVector(D d, const EscapePoints& p, std::size_t at, double* out) {
    V zr = hn::LoadU(d, p.zr.data() + at), zi = hn::LoadU(d, p.zi.data() + at);
    const V cr = hn::LoadU(d, p.cr.data() + at), ci = hn::LoadU(d, p.ci.data() + at);
    const V radius = hn::Set(d, kSmoothRadiusSquared), one = hn::Set(d, 1.0);
    V r = hn::Add(hn::Mul(zr, zr), hn::Mul(zi, zi));
    V steps = hn::Zero(d);
    for (int k = 0; k < kSmoothMaxSteps; ++k) {
        const auto active = hn::Le(r, radius);
        if (hn::AllFalse(d, active)) break;
        const V nr = hn::Add(hn::Sub(hn::Mul(zr, zr), hn::Mul(zi, zi)), cr);
        const V ni = hn::Add(hn::Mul(hn::Add(zr, zr), zi), ci);
        zr = hn::IfThenElse(active, nr, zr);
        zi = hn::IfThenElse(active, ni, zi);
        r = hn::IfThenElse(active, hn::Add(hn::Mul(nr, nr), hn::Mul(ni, ni)), r);
        steps = hn::IfThenElse(active, hn::Add(steps, one), steps);
    }
    const auto inside = hn::Le(r, radius);
    // r > 2^32 outside, so it is normal where it is finite.
    if (!hn::AllTrue(d, hn::Or(inside, hn::Lt(r, hn::Set(d, HUGE_VAL))))) return false;
    const V outsideR = hn::IfThenElse(inside, radius, r);  // keeps the logarithms defined
    const V excess =
        hn::Add(steps, hn::Sub(hn::Set(d, kSmoothExcessOffset), Log2OfNormal(d, Log2OfNormal(d, outsideR))));
    hn::StoreU(hn::IfThenElse(inside, hn::Add(steps, one), hn::Max(excess, hn::Zero(d))), d, out + at);
    return true;
}

void SmoothExcessesOfThisVariant(const EscapePoints* points, double* out) {
    const D d;
    const std::size_t n = points->size(), lanes = hn::Lanes(d);
    // A vector the lanes cannot take, and the last part of one, go one by one.
    for (std::size_t at = 0; at < n; at += lanes) {
        if (at + lanes <= n && ExcessesOfVector(d, *points, at, out)) continue;
        for (std::size_t k = at; k < n && k < at + lanes; ++k)
            out[k] = smoothExcess(points->zr[k], points->zi[k], points->cr[k], points->ci[k]);
    }
}

// A gradient's stops, channel by channel, for gathering.
struct StopTables {
    alignas(64) double red[kMaxGradientStops] = {};
    alignas(64) double green[kMaxGradientStops] = {};
    alignas(64) double blue[kMaxGradientStops] = {};
    double count = 0;
};

// gradientColour's blend of one channel: a + (b − a)·f, rounded by truncating v + ½.
hn::Vec<DI> Blend(D d, const double* table, hn::Vec<DI> index, hn::Vec<DI> next, V f) {
    const DI di;
    const V a = hn::GatherIndex(d, table, index), b = hn::GatherIndex(d, table, next);
    return hn::ConvertTo(di, hn::Add(hn::Add(a, hn::Mul(hn::Sub(b, a), f)), hn::Set(d, 0.5)));
}

// smoothColour for the lanes at `at`; false where a lane's ν is outside the
// logarithm's lanes (the scalar function then takes the whole vector).
bool ColoursOfVector(D d, const ColourJob& job, const StopTables& stops, std::size_t at) {
    const DI di;
    const hn::Rebind<std::int32_t, D> d32;
    const hn::Rebind<float, D> df;
    const V count = hn::PromoteTo(d, hn::LoadU(d32, job.counts + at));
    const V nu = hn::Add(count, hn::PromoteTo(d, hn::LoadU(df, job.excess + at)));
    const auto inside = hn::Ge(count, hn::Set(d, static_cast<double>(job.limit)));
    V scaled = nu;
    if (job.scale.scale == DensityScale::Log) {
        const auto normal = hn::And(hn::Ge(nu, hn::Set(d, DBL_MIN)), hn::Lt(nu, hn::Set(d, HUGE_VAL)));
        if (!hn::AllTrue(d, hn::Or(inside, normal))) return false;
        scaled = Log2OfNormal(d, hn::IfThenElse(inside, hn::Set(d, 1.0), nu));
    }
    const V t = hn::Add(hn::Set(d, job.scale.offset), hn::Mul(hn::Set(d, job.scale.density), scaled));
    const V n = hn::Set(d, stops.count);
    V place = hn::Mul(hn::Sub(t, hn::Floor(t)), n);
    place = hn::IfThenElse(hn::And(hn::Ge(place, hn::Zero(d)), hn::Lt(place, n)), place, hn::Zero(d));
    const auto index = hn::ConvertTo(di, place);
    const V f = hn::Sub(place, hn::ConvertTo(d, index));
    const auto following = hn::Add(index, hn::Set(di, 1));
    const auto next = hn::IfThenElseZero(hn::RebindMask(di, hn::Lt(hn::ConvertTo(d, following), n)), following);
    alignas(64) std::int64_t red[kMaxColourLanes], green[kMaxColourLanes], blue[kMaxColourLanes];
    alignas(64) double insideLanes[kMaxColourLanes];
    hn::Store(Blend(d, stops.red, index, next, f), di, red);
    hn::Store(Blend(d, stops.green, index, next, f), di, green);
    hn::Store(Blend(d, stops.blue, index, next, f), di, blue);
    hn::Store(hn::VecFromMask(d, inside), d, insideLanes);
    for (std::size_t k = 0; k < hn::Lanes(d); ++k)
        job.out[at + k] = insideLanes[k] != 0
                              ? job.gradient->inside
                              : Rgb{static_cast<std::uint8_t>(red[k]), static_cast<std::uint8_t>(green[k]),
                                    static_cast<std::uint8_t>(blue[k])};
    return true;
}

void SmoothColoursOfThisVariant(const ColourJob* job) {
    const D d;
    StopTables stops;
    const std::span<const Rgb> gradient = job->gradient->stops;
    for (std::size_t k = 0; k < gradient.size(); ++k) {
        stops.red[k] = gradient[k].red;
        stops.green[k] = gradient[k].green;
        stops.blue[k] = gradient[k].blue;
    }
    stops.count = static_cast<double>(gradient.size());
    const std::size_t n = job->size, lanes = hn::Lanes(d);
    for (std::size_t at = 0; at < n; at += lanes) {
        if (at + lanes <= n && ColoursOfVector(d, *job, stops, at)) continue;
        for (std::size_t k = at; k < n && k < at + lanes; ++k) job->out[k] = ScalarColour(*job, k);
    }
}

}  // namespace HWY_NAMESPACE
}  // namespace mandel::smoothlanes
HWY_AFTER_NAMESPACE();

#if HWY_ONCE

namespace mandel {
namespace smoothlanes {
HWY_EXPORT(SmoothExcessesOfThisVariant);
HWY_EXPORT(SmoothColoursOfThisVariant);

// Unqualified: with a single compiled target, HWY_DYNAMIC_DISPATCH names the
// function in that target's namespace directly.
static void excessesOf(const EscapePoints& points, double* out) {
    HWY_DYNAMIC_DISPATCH(SmoothExcessesOfThisVariant)(&points, out);
}
static void coloursOf(const ColourJob& job) { HWY_DYNAMIC_DISPATCH(SmoothColoursOfThisVariant)(&job); }
}  // namespace smoothlanes

void smoothExcesses(const EscapePoints& points, std::span<double> out) {
    if (out.size() != points.size()) throw std::invalid_argument("escape points and continuous counts differ in size");
    smoothlanes::excessesOf(points, out.data());
}

void smoothColours(std::span<const std::int32_t> counts, std::span<const float> excess, std::int64_t limit,
                   const Gradient& gradient, const SmoothScale& scale, std::span<Rgb> out) {
    if (counts.size() != out.size() || excess.size() != out.size())
        throw std::invalid_argument("counts, excess and colours differ in size");
    if (gradient.stops.empty() || gradient.stops.size() > smoothlanes::kMaxGradientStops)
        throw std::invalid_argument("a gradient has 1 to 32 stops");
    const smoothlanes::ColourJob job{counts.data(), excess.data(), out.data(), out.size(), limit, &gradient, scale};
    smoothlanes::coloursOf(job);
}

}  // namespace mandel

#endif  // HWY_ONCE
