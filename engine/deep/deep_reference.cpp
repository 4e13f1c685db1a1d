#include "deep/deep_reference.h"

#include <chrono>
#include <cmath>
#include <algorithm>
#include <limits>
#include <optional>

#include "deep/ball_period.h"
#include "deep/bla_table.h"
#include "deep/dd_bla_table.h"
#include "deep/error_bound.h"
#include "deep/orbit.h"
#include "deep/orbit_ahead.h"
#include "deep/pixel_point.h"

namespace mandel {

namespace {

// A table is made for this many times the offsets asked for, so that a pan
// or a zoom out by up to that factor keeps it.
constexpr double kBlaOffsetRoom = 2;

// The point's error bound: a double where it is one, else a mantissa and
// an exponent.
void setErrorBound(OrbitPoint& point, const ExtReal& error) {
    if (error.isZero() || error.exponent >= kPlainExponentLow) {
        point.err = upperDouble(error);
        point.errExponent = 0;
    } else {
        point.err = error.mantissa;
        point.errExponent = static_cast<std::int32_t>(error.exponent);
    }
}

ExtReal storedBound(const OrbitPoint& p) { return ExtReal(p.err, p.errExponent); }

// At least |Z| of the exact orbit where p is stored.
ExtReal reachOf(const OrbitPoint& p) {
    return roundUp(magnitudeUp(ExtReal(p.re, p.exponent), ExtReal(p.im, p.exponent)) + storedBound(p));
}

}  // namespace

// A repeated point's d_k may reach its source's MPFR error, or one rounding
// of a step where that error is smaller.
bool DeepReference::withinAllowance(const ExtReal& d, const PeriodBounds& bounds, std::size_t residue) {
    return !(bounds.error[residue] < d && bounds.floor < d);
}

// The MPFR orbit of C from Z_1: visit(m, z, error) for each Z_m (a
// WalkPoint), error bounding |Z_m(MPFR) − Z_m(exact)|, until visit returns
// false (Stopped) or the orbit ends: the limit, a certain escape, or the
// error ceiling.
template <class Visit>
DeepReference::WalkEnd DeepReference::walk(const std::atomic<bool>* cancel, const Progress& progress,
                                           Visit&& visit) const {
    using Clock = std::chrono::steady_clock;
    constexpr auto kProgressInterval = std::chrono::milliseconds(25);
    auto lastProgress = Clock::now();
    const mpfr_prec_t bits = mpfr_get_prec(centreRe_.get());
    // Each MPFR operation rounds by at most 2^-bits of its result; a step of
    // Z² + C has five of them, bounded together below.
    const ExtReal stepRounding(8.0, -static_cast<std::int64_t>(bits));
    const std::int64_t poll = std::max<std::int64_t>(1, mpfrPollInterval(bits) / 8);  // the flag is cheap to read
    const ExtReal cAbs = magnitudeUp(toExtReal(centreRe_.get()), toExtReal(centreIm_.get()));
    ExtReal error;
    // dZ_m/dC: the pixels' offsets and first errors grow with it, so the
    // reference's error is measured against it.
    ExtReal dr(1.0), di{};
    OrbitAhead orbit(centreRe_.get(), centreIm_.get(), limit_);
    for (std::int64_t m = 1;; ++m) {
        const OrbitAhead::Point p = orbit.wait(m);
        WalkPoint z{p.re, p.im, toExtReal(p.re), toExtReal(p.im), {}, {}, {}};
        z.root = sqrt(z.re * z.re + z.im * z.im);
        z.abs = roundUp(z.root);
        z.room = errorCeiling_ * magnitudeUp(dr, di);
        if (!visit(m, z, error)) return WalkEnd::Stopped;
        if (m >= limit_) return WalkEnd::Limit;
        // Ends where the exact orbit of C certainly escapes; a test the bound
        // cannot decide goes on (the next Z decides it).
        if (exactEscapeTest(p.re, p.im, z.root, error) == EscapeTest::Escaped) return WalkEnd::Escaped;
        if (z.room < error) return WalkEnd::Truncated;
        if (m % poll == 0) {
            if (cancel && cancel->load(std::memory_order_relaxed)) return WalkEnd::Cancelled;
            if (progress && Clock::now() - lastProgress >= kProgressInterval) {
                lastProgress = Clock::now();
                if (!progress(m)) return WalkEnd::Cancelled;
            }
        }
        const ExtReal nextDr = ExtReal(2.0) * (z.re * dr - z.im * di) + ExtReal(1.0);
        di = ExtReal(2.0) * (z.re * di + z.im * dr);
        dr = nextDr;
        // Z ← Z² + C; a step that rounded nothing adds nothing, so that an
        // orbit of dyadic values stays exact.
        const ExtReal rounding = orbit.exactStep(m) ? ExtReal() : stepRounding * (z.abs * z.abs + cAbs);
        orbit.release(m);
        error = roundUp(error * (ExtReal(2.0) * z.abs + error) + rounding);
    }
}

DeepReference::DeepReference(const MpfrValue& centreRe, const MpfrValue& centreIm, std::int64_t limit, bool extended,
                             const ExtReal& errorCeiling, const std::atomic<bool>* cancel, const Progress& progress,
                             std::int64_t period, const ExtReal& ballRadius)
    : centreRe_(centreRe), centreIm_(centreIm), limit_(limit), extended_(extended), errorCeiling_(errorCeiling) {
    const auto start = std::chrono::steady_clock::now();
    const bool eagerLow = lowPartsFromStart();
    // Room for the whole orbit at once: pages never written are never
    // taken, and no reallocation copies the orbit while it grows.
    orbit_.reserve(static_cast<std::size_t>(limit) + 1);
    orbit_.push_back(OrbitPoint{});
    if (eagerLow) {
        orbitLow_.reserve(static_cast<std::size_t>(limit) + 1);
        orbitLow_.push_back(OrbitLow{});
    }
    // Low parts made later walk the orbit again in MPFR against the stored
    // points, and their bounds take those points for that walk's own
    // roundings: an orbit whose low parts come later is walked whole.
    const bool periodic = period > 0 && period < limit && eagerLow;
    PeriodBounds bounds;
    WalkEnd end = walkFrom(cancel, progress, periodic ? period : 0, bounds, periodic ? ExtReal() : ballRadius);
    if (end == WalkEnd::Stopped && !stoppedAtBallPeriod_) {
        end = repeatPeriod(period, bounds, cancel, progress);
        if (end == WalkEnd::Stopped) {
            // Repeating would widen the bounds: the whole orbit in MPFR.
            orbit_.resize(1);
            if (eagerLow) orbitLow_.resize(1);
            end = walkFrom(cancel, progress, 0, bounds);
        }
    }
    if (end == WalkEnd::Cancelled) {
        cancelled_ = true;
        return;
    }
    escaped_ = end == WalkEnd::Escaped;
    truncated_ = end == WalkEnd::Truncated;
    orbit_.shrink_to_fit();
    orbitLow_.shrink_to_fit();
    buildMs_ = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

// The MPFR walk from Z_1, storing each point (and its low part where those
// are kept from the start); with a period, it stops after Z_period (Stopped)
// and keeps the bounds the repetition starts from.
DeepReference::WalkEnd DeepReference::walkFrom(const std::atomic<bool>* cancel, const Progress& progress,
                                               std::int64_t period, PeriodBounds& bounds, const ExtReal& ballRadius) {
    const bool eagerLow = lowPartsFromStart();
    const mpfr_prec_t bits = mpfr_get_prec(centreRe_.get());
    if (period > 0) {
        bounds.error.assign(static_cast<std::size_t>(period), ExtReal());
        bounds.room.assign(static_cast<std::size_t>(period), ExtReal());
        // One rounding of the walk's step at C: a point the walk made
        // exactly may still be repeated with that much added.
        bounds.floor = ExtReal(1.0, -static_cast<std::int64_t>(bits)) *
                       magnitudeUp(toExtReal(centreRe_.get()), toExtReal(centreIm_.get()));
    }
    MpfrValue scratch(bits);
    std::optional<BallPeriodScan> ball;
    if (!ballRadius.isZero()) ball.emplace(ballRadius);
    return walk(cancel, progress, [&](std::int64_t m, const WalkPoint& z, const ExtReal& error) {
        store(z, error);
        if (eagerLow) orbitLow_.push_back(lowPart(orbit_.size() - 1, z, error, scratch));
        if (ball && ball->holdsZero(orbit_[orbit_.size() - 2], orbit_.back())) {
            stoppedAtBallPeriod_ = true;
            return false;
        }
        if (period == 0) return true;
        const auto residue = static_cast<std::size_t>(m % period);
        bounds.error[residue] = error;
        bounds.room[residue] = z.room;
        if (m < period) return true;
        // Z_P is too far from 0 where even the first repeated point
        // (d_1 = Z_P²) would widen its bounds: the walk goes on.
        const ExtReal d0 = reachOf(orbit_.back());
        if (withinAllowance(roundUp(d0 * d0), bounds, 1 % period)) return false;
        period = 0;
        return true;
    });
}

// After Z_P (P the period) the orbit is repeated: Z_{P+k} is stored as Z_k.
// The exact orbits differ by d_k = Z_{P+k} − Z_k, where d_0 = Z_P and
// d_{k+1} = d_k·(2·Z_k + d_k); |d_k| is bounded from the stored points
// (|Z_k| is at most the stored |Z_k| plus its bound) and added to every
// bound the repeated point carries. Near a nucleus d_1 = Z_P² is far below
// the walk's own errors, and d_k stays so. Stopped where it does not: the
// repetition would widen the bounds, and the orbit is walked in MPFR.
DeepReference::WalkEnd DeepReference::repeatPeriod(std::int64_t period, PeriodBounds& bounds,
                                                   const std::atomic<bool>* cancel, const Progress& progress) {
    constexpr std::int64_t kPollInterval = std::int64_t{1} << 16;
    const bool eagerLow = lowPartsFromStart();
    if (bounds.room[0] < bounds.error[0]) return WalkEnd::Truncated;  // the walk's test at Z_P
    ExtReal d = reachOf(orbit_[static_cast<std::size_t>(period)]);
    for (std::int64_t j = period + 1; j <= limit_; ++j) {
        const auto k = static_cast<std::size_t>(j - period);
        d = roundUp(d * (ExtReal(2.0) * reachOf(orbit_[k - 1]) + d));
        // The latest point of j's residue is Z_k: its bounds are in place.
        const auto residue = static_cast<std::size_t>(j % period);
        if (!withinAllowance(d, bounds, residue)) return WalkEnd::Stopped;
        const ExtReal error = roundUp(bounds.error[residue] + d);
        bounds.error[residue] = error;
        OrbitPoint point = orbit_[k];
        setErrorBound(point, roundUp(storedBound(point) + d));
        orbit_.push_back(point);
        if (eagerLow) {
            OrbitLow low = orbitLow_[k];
            low.err = upperDouble(roundUp(ExtReal(low.err) + ExtReal(1.0, -point.exponent) * d));
            orbitLow_.push_back(low);
        }
        // dZ/dC at Z_{P+k} is that at Z_k (the term through Z_P ≈ 0 vanishes).
        if (bounds.room[residue] < error) return WalkEnd::Truncated;
        if (j % kPollInterval == 0) {
            if (cancel && cancel->load(std::memory_order_relaxed)) return WalkEnd::Cancelled;
            if (progress && !progress(j)) return WalkEnd::Cancelled;
        }
    }
    return WalkEnd::Limit;
}

std::size_t DeepReference::bytes() const {
    std::lock_guard lock(lowMutex_);
    return orbit_.capacity() * sizeof(OrbitPoint) + orbitLow_.capacity() * sizeof(OrbitLow);
}

const std::vector<OrbitLow>& DeepReference::orbitLow(const std::atomic<bool>* cancel) const {
    std::lock_guard lock(lowMutex_);
    if (orbitLow_.size() == orbit_.size()) return orbitLow_;
    std::vector<OrbitLow> low;
    low.reserve(orbit_.size());
    low.push_back(OrbitLow{});
    MpfrValue scratch(mpfr_get_prec(centreRe_.get()));
    const std::size_t last = orbit_.size() - 1;
    const WalkEnd end = walk(cancel, {}, [&](std::int64_t m, const WalkPoint& z, const ExtReal& error) {
        low.push_back(lowPart(static_cast<std::size_t>(m), z, error, scratch));
        return static_cast<std::size_t>(m) < last;
    });
    if (end == WalkEnd::Cancelled || low.size() != orbit_.size()) {
        static const std::vector<OrbitLow> none;
        return none;
    }
    orbitLow_ = std::move(low);
    return orbitLow_;
}

void DeepReference::store(const WalkPoint& z, const ExtReal& mpfrError) {
    OrbitPoint point;
    const ExtReal &re = z.re, &im = z.im;
    // Rounding to double (or to the mantissas) adds at most 2^-53 of each part,
    // and a smaller part far below the larger may lose its last bits.
    const std::int64_t shared = std::max<std::int64_t>({re.exponent, im.exponent, -1000000000});
    ExtReal error = roundUp(mpfrError + ExtReal(0x1p-52) * z.abs + ExtReal(1.0, shared - 1070));
    if (shared >= kPlainExponentLow) {
        point.re = mpfr_get_d(z.zr, MPFR_RNDN);
        point.im = mpfr_get_d(z.zi, MPFR_RNDN);
    } else {
        point.re = std::ldexp(re.mantissa, static_cast<int>(std::max<std::int64_t>(re.exponent - shared, -2000)));
        point.im = std::ldexp(im.mantissa, static_cast<int>(std::max<std::int64_t>(im.exponent - shared, -2000)));
        point.exponent = static_cast<std::int32_t>(shared);
    }
    setErrorBound(point, error);
    orbit_.push_back(point);
}

OrbitLow DeepReference::lowPart(std::size_t index, const WalkPoint& z, const ExtReal& mpfrError,
                                MpfrValue& scratch) const {
    const OrbitPoint& point = orbit_[index];
    OrbitLow low;
    // In the point's unit 2^exponent: Z·2^-exponent − hi is exact in MPFR;
    // its rounding to double, and underflow of the low part, add at most
    // 2^-105 of |Z| and 2^-1074.
    const auto part = [&](mpfr_srcptr z, double hi) {
        mpfr_mul_2si(scratch.get(), z, -point.exponent, MPFR_RNDN);
        mpfr_sub_d(scratch.get(), scratch.get(), hi, MPFR_RNDN);
        return mpfr_get_d(scratch.get(), MPFR_RNDN);
    };
    low.re = part(z.zr, point.re);
    low.im = part(z.zi, point.im);
    const ExtReal unit(1.0, -static_cast<std::int64_t>(point.exponent));
    low.err = upperDouble(roundUp(unit * (mpfrError + ExtReal(0x1p-104) * z.abs))) + 0x1p-1070;
    return low;
}

std::shared_ptr<const BlaTable> DeepReference::blaTable(const ExtReal& cMax, const std::atomic<bool>* cancel) const {
    std::lock_guard lock(blaMutex_);
    if (!bla_ || bla_->cMax() < cMax) {
        // The low parts where they are already made (once complete they do
        // not change); a longer orbit's are not walked for the table.
        bool lowMade = false;
        {
            std::lock_guard lowLock(lowMutex_);
            lowMade = orbitLow_.size() == orbit_.size();
        }
        auto table = std::make_shared<BlaTable>(orbit_, cMax * ExtReal(kBlaOffsetRoom), extended_, kBlaTolerance,
                                                cancel, kDoubleFirstLevel, lowMade ? &orbitLow_ : nullptr);
        if (table->cancelled()) return nullptr;
        bla_ = std::move(table);
    }
    return bla_;
}

std::shared_ptr<const DdBlaLevels> DeepReference::ddBlaTable(const ExtReal& cMax, DdTableTolerance tolerance,
                                                             const std::atomic<bool>* cancel) const {
    const std::vector<OrbitLow>& low = orbitLow(cancel);
    if (low.empty()) return nullptr;
    const bool loose = tolerance == DdTableTolerance::Loose;
    std::shared_ptr<const DdBlaLevels>& kept = ddBla_[loose ? 0 : 1];
    std::lock_guard lock(ddBlaMutex_);
    if (!kept || kept->cMax < cMax) {
        bool cancelled = false;
        auto table = std::make_shared<DdBlaLevels>(buildDdBlaLevels(
            orbit_, low, cMax, cancel, cancelled, loose ? kDdBlaLooseTolerance : kDdBlaTolerance));
        if (cancelled) return nullptr;
        kept = std::move(table);
    }
    return kept;
}

const std::vector<LanePoint>& DeepReference::lanePoints() const {
    std::call_once(lanePointsMade_, [this] {
        lanePoints_.resize(orbit_.size());
        for (std::size_t m = 0; m < orbit_.size(); ++m) {
            LanePoint& p = lanePoints_[m];
            NumberTraits<double>::load(orbit_[m], p.zr, p.zi, p.zErr);
            p.zAbs = NumberTraits<double>::magnitude(p.zr, p.zi, p.zr * p.zr + p.zi * p.zi);
        }
    });
    return lanePoints_;
}

}  // namespace mandel
