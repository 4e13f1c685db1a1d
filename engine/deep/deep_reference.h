#pragma once

// The reference orbit: Z_0 = 0, Z_1 = C, Z_{m+1} = Z_m² + C computed in MPFR
// from the reference point C, stored rounded to double (or to a mantissa and
// exponent below double's range) with a bound on its distance from the exact
// orbit of C. It ends where Z escapes, at the limit, or where the bound stops
// being small beside the pixels' own rounding: beyond errorCeiling·|dZ_m/dC|
// (the pixels then rebase).

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "deep/ext_real.h"
#include "deep/mpfr_value.h"
#include "deep/orbit.h"

namespace mandel {

// Orbits up to this length keep their low parts from the start (24 bytes an
// iteration); longer ones make them only when a pixel needs them.
inline constexpr std::int64_t kEagerLowLength = std::int64_t{1} << 22;

class BlaTable;
struct DdBlaLevels;
enum class DdTableTolerance;

class DeepReference {
public:
    // Told the iterations made, at least every 25 ms; false stops the orbit.
    using Progress = std::function<bool(std::int64_t)>;

    // C = (centreRe, centreIm) exactly as given (their precision is the
    // reference's). Orbits up to `limit` iterations; returns with
    // cancelled() true if *cancel turns true or progress returns false.
    // `period` > 0 says C lies at (or very near) a minibrot's nucleus of that
    // period, whose orbit comes back to nearly 0 once a period: the orbit is
    // then walked in MPFR for one period and repeated after it, each repeated
    // point's bound widened by how far the exact orbit can have moved away
    // (where the low parts are kept from the start). A nonzero `ballRadius`
    // (without a period) stops the walk at the first iteration where a disc
    // of that radius around C may hold 0 (BallPeriodScan), if it comes before
    // the orbit's end: stoppedAtBallPeriod() then says so, and the orbit
    // ends there (for the search of that minibrot, not for pixels).
    DeepReference(const MpfrValue& centreRe, const MpfrValue& centreIm, std::int64_t limit, bool extended,
                  const ExtReal& errorCeiling, const std::atomic<bool>* cancel, const Progress& progress = {},
                  std::int64_t period = 0, const ExtReal& ballRadius = ExtReal());

    // A finished orbit read back from a file (reference_file.h): the parts the
    // constructor above leaves, low parts included or (for a long orbit) not.
    DeepReference(const MpfrValue& centreRe, const MpfrValue& centreIm, std::int64_t limit, bool extended,
                  const ExtReal& errorCeiling, bool escaped, bool truncated, std::vector<OrbitPoint> orbit,
                  std::vector<OrbitLow> orbitLow)
        : centreRe_(centreRe),
          centreIm_(centreIm),
          limit_(limit),
          extended_(extended),
          escaped_(escaped),
          truncated_(truncated),
          errorCeiling_(errorCeiling),
          orbit_(std::move(orbit)),
          orbitLow_(std::move(orbitLow)) {}

    const MpfrValue& centreRe() const { return centreRe_; }
    const MpfrValue& centreIm() const { return centreIm_; }
    int precisionBits() const { return static_cast<int>(mpfr_get_prec(centreRe_.get())); }
    bool extended() const { return extended_; }
    std::int64_t limit() const { return limit_; }
    bool cancelled() const { return cancelled_; }
    // Z_0 .. Z_L; the last one ends the orbit (escaped, at the limit, or the
    // error ceiling reached), so a pixel rebases when it gets there.
    const std::vector<OrbitPoint>& orbit() const { return orbit_; }
    // Beside orbit(), index for index. Kept from the start for orbits up to
    // kEagerLowLength iterations; for longer ones computed on first use (the
    // orbit is walked again in MPFR), so that views no pixel of which needs
    // them do not pay their memory. Empty if *cancel turned true meanwhile.
    const std::vector<OrbitLow>& orbitLow(const std::atomic<bool>* cancel = nullptr) const;
    bool escaped() const { return escaped_; }
    const ExtReal& errorCeiling() const { return errorCeiling_; }
    bool truncated() const { return truncated_; }
    bool stoppedAtBallPeriod() const { return stoppedAtBallPeriod_; }
    double buildMs() const { return buildMs_; }
    std::size_t bytes() const;
    // The bilinear table for pixels with |δc| (plus its error) up to cMax:
    // the one kept from an earlier drawing when it allows that much, else a
    // new one with room for small pans, kept for the next drawing.
    // Null if *cancel turns true while it is built.
    std::shared_ptr<const BlaTable> blaTable(const ExtReal& cMax, const std::atomic<bool>* cancel = nullptr) const;
    // The double-double stage's approximation table (loose or strict, see
    // dd_bla_table.h) for pixels with |δc| (plus its error) up to cMax, made
    // on first use from the low parts (a new one where a kept one allows
    // less). Null if cancelled.
    std::shared_ptr<const DdBlaLevels> ddBlaTable(const ExtReal& cMax, DdTableTolerance tolerance,
                                                  const std::atomic<bool>* cancel = nullptr) const;
    // orbit() for the SIMD lanes, made on first use and kept.
    const std::vector<LanePoint>& lanePoints() const;

private:
    // One Z_m of the walk in MPFR, with what the walk makes of it once: its
    // parts in the extended range, |Z| from them and |Z| rounded upward.
    // `room`: the error the orbit may carry at Z_m before it ends there
    // (errorCeiling times |dZ_m/dC|).
    struct WalkPoint {
        mpfr_srcptr zr, zi;
        ExtReal re, im, root, abs, room;
    };
    enum class WalkEnd { Limit, Escaped, Truncated, Cancelled, Stopped };
    template <class Visit>
    WalkEnd walk(const std::atomic<bool>* cancel, const Progress& progress, Visit&& visit) const;
    // The walk's error bound and room of the latest Z_m of each residue m mod period.
    // `floor`: one rounding of the walk's step at C.
    struct PeriodBounds {
        std::vector<ExtReal> error, room;
        ExtReal floor;
    };
    static bool withinAllowance(const ExtReal& d, const PeriodBounds& bounds, std::size_t residue);
    WalkEnd walkFrom(const std::atomic<bool>* cancel, const Progress& progress, std::int64_t period,
                     PeriodBounds& bounds, const ExtReal& ballRadius = ExtReal());
    // The orbit after one period walked; Stopped where repeating would widen
    // the bounds (the rest is then to be walked).
    WalkEnd repeatPeriod(std::int64_t period, PeriodBounds& bounds, const std::atomic<bool>* cancel,
                         const Progress& progress);
    // Whether the low parts are made with the orbit (else on first use).
    bool lowPartsFromStart() const { return limit_ <= kEagerLowLength; }
    void store(const WalkPoint& z, const ExtReal& mpfrError);
    OrbitLow lowPart(std::size_t index, const WalkPoint& z, const ExtReal& mpfrError, MpfrValue& scratch) const;

    MpfrValue centreRe_;
    MpfrValue centreIm_;
    std::int64_t limit_;
    bool extended_;
    bool cancelled_ = false;
    bool escaped_ = false;
    bool truncated_ = false;
    bool stoppedAtBallPeriod_ = false;
    double buildMs_ = 0;
    ExtReal errorCeiling_;
    std::vector<OrbitPoint> orbit_;
    mutable std::mutex lowMutex_;
    mutable std::vector<OrbitLow> orbitLow_;
    mutable std::mutex blaMutex_;
    mutable std::shared_ptr<const BlaTable> bla_;
    mutable std::mutex ddBlaMutex_;
    mutable std::shared_ptr<const DdBlaLevels> ddBla_[2];  // by DdTableTolerance
    mutable std::once_flag lanePointsMade_;
    mutable std::vector<LanePoint> lanePoints_;
};

}  // namespace mandel
