#include "deep/deep_drawing.h"

#include <algorithm>
#include <limits>
#include <stdexcept>

#include "deep/bla_table.h"
#include "deep/deep_geometry.h"
#include "deep/deep_reference.h"
#include "deep/minibrot_finder.h"
#include "deep/error_bound.h"
#include "deep/row_worker.h"

namespace mandel {

// The reference's error may grow to this fraction of the pixel spacing before
// the orbit ends (below the pixels' own first rounding, about 2^-53 of it).
constexpr double kReferenceErrorCeiling = 0x1p-60;
// A reference that ends before the limit is replaced by a longer one found on
// a coarse grid of pixels, a few times at most.
constexpr int kReferenceSearchGrid = 12;
constexpr int kReferenceSearchAttempts = 3;
// A nucleus found to within 2^-8 of its minibrot's size lies deep inside the
// minibrot, whose orbits never escape.
constexpr int kNucleusPrecisionBelow = 8;
// A reference serves views up to this many bits finer than its own precision
// was made for (a zoom about its point by up to 2^32): its error is carried
// exactly, and the guard bits still keep it far below the finer spacing.
constexpr int kReuseSlackBits = 32;

struct DeepDrawing::State {
    DeepView view;
    DeepGeometry geometry;
    std::shared_ptr<const DeepReference> reference;
    std::unique_ptr<PixelOffsets> offsets;
    std::shared_ptr<const BlaTable> bla;
    std::unique_ptr<KnownCounts> known;
    DeepStats stats;
};

namespace {

// A reference made for another view serves this one when it is nearly as
// precise, of the same number type, long enough and inside this view.
bool suitable(const DeepReference& reference, const DeepView& view, const DeepGeometry& geometry) {
    if (reference.precisionBits() + kReuseSlackBits < geometry.referenceBits ||
        reference.extended() != geometry.extended()) {
        return false;
    }
    if (reference.limit() < view.location.limit && !reference.escaped() && !reference.truncated()) return false;
    const ExtReal side = geometry.spacing * ExtReal(static_cast<double>(std::max(view.width, view.height)));
    return withinDistance(reference.centreRe().get(), geometry.centreRe->get(), side) &&
           withinDistance(reference.centreIm().get(), geometry.centreIm->get(), side);
}

}  // namespace

DeepDrawing::DeepDrawing(const DeepView& view, std::shared_ptr<const DeepReference> reuse)
    : state_(std::make_unique<State>()) {
    const std::string problem = deepViewProblem(view);
    if (!problem.empty()) throw std::invalid_argument(problem);
    state_->view = view;
    state_->geometry = deepGeometry(view);
    if (reuse && suitable(*reuse, view, state_->geometry)) state_->reference = std::move(reuse);
}

DeepDrawing::~DeepDrawing() = default;

const DeepView& DeepDrawing::view() const { return state_->view; }

namespace {

std::shared_ptr<const DeepReference> makeReference(const DeepView& view, const DeepGeometry& geometry,
                                                   const MpfrValue& re, const MpfrValue& im, const DeepOptions& options,
                                                   std::int64_t period = 0, const ExtReal& ballRadius = ExtReal()) {
    const ExtReal ceiling = geometry.spacing * ExtReal(kReferenceErrorCeiling);
    DeepReference::Progress progress;
    if (options.progress)
        progress = [&](std::int64_t done) {
            return options.progress(DeepProgress{0, view.height, done, view.location.limit});
        };
    auto reference = std::make_shared<DeepReference>(re, im, view.location.limit, geometry.extended(), ceiling,
                                                     options.cancel, progress, period, ballRadius);
    if (reference->cancelled()) return nullptr;
    return reference;
}

bool endsEarly(const DeepReference& reference, const DeepView& view) {
    return static_cast<std::int64_t>(reference.orbit().size()) - 1 < view.location.limit;
}

// The pixel of a coarse grid that perturbation follows longest; a reference
// there serves the pixels that outlive the centre's.
void longestGridPixel(const RowJob& job, int& bestX, int& bestY) {
    std::int64_t best = -1;
    for (int j = 0; j < kReferenceSearchGrid; ++j) {
        for (int i = 0; i < kReferenceSearchGrid; ++i) {
            const int x = (2 * i + 1) * job.view->width / (2 * kReferenceSearchGrid);
            const int y = (2 * j + 1) * job.view->height / (2 * kReferenceSearchGrid);
            const std::int64_t reach = perturbedReach(job, x, y);
            if (reach > best) {
                best = reach;
                bestX = x;
                bestY = y;
            }
        }
    }
}

// The disc around the view's centre searched for a minibrot.
ExtReal nucleusSearchRadius(const DeepView& view, const DeepGeometry& geometry) {
    return geometry.spacing * ExtReal(static_cast<double>(std::max(view.width, view.height)));
}

// A reference at the nucleus of the lowest-period minibrot near the view's
// centre, when Newton's method finds one within a side of it.
std::shared_ptr<const DeepReference> nucleusReference(const DeepView& view, const DeepGeometry& geometry,
                                                      const DeepReference& centre, const DeepOptions& options) {
    const ExtReal radius = nucleusSearchRadius(view, geometry);
    const std::optional<MinibrotNucleus> found =
        findMinibrotNear(centre, radius, view.location.limit, kNucleusPrecisionBelow, options.cancel,
                         NucleusCheck::Estimated);
    if (!found) return nullptr;
    const ExtReal side = geometry.spacing * ExtReal(static_cast<double>(std::min(view.width, view.height)));
    if (!withinDistance(found->re->get(), geometry.centreRe->get(), side) ||
        !withinDistance(found->im->get(), geometry.centreIm->get(), side))
        return nullptr;
    // A minibrot far smaller than the pixels needs the nucleus's own digits:
    // rounded to the view's precision it would lie outside and escape.
    const mpfr_prec_t bits = std::max<mpfr_prec_t>(geometry.referenceBits, mpfr_get_prec(found->re->get()));
    MpfrValue re(bits), im(bits);
    mpfr_set(re.get(), found->re->get(), MPFR_RNDN);
    mpfr_set(im.get(), found->im->get(), MPFR_RNDN);
    return makeReference(view, geometry, re, im, options, found->period);
}

// The first reference, and the nucleus's reference found on the way where
// one was (null if none, or if the search did not run).
struct FirstReference {
    std::shared_ptr<const DeepReference> reference;
    std::shared_ptr<const DeepReference> nucleus;
};

// Where the centre's orbit comes near 0 before its end (the search disc's
// first period), the nucleus of the minibrot found there, if its orbit lasts
// to the limit: the centre's orbit is then walked no further than that
// period. Otherwise the centre's whole orbit, with the nucleus's shorter one
// if it was found (the search on the whole orbit finds the same: its points
// are the whole orbit's first ones). A null reference if cancelled.
FirstReference firstReference(const DeepView& view, const DeepGeometry& geometry, const DeepOptions& options) {
    auto centre = makeReference(view, geometry, *geometry.centreRe, *geometry.centreIm, options, 0,
                                nucleusSearchRadius(view, geometry));
    if (!centre || !centre->stoppedAtBallPeriod()) return {centre, nullptr};
    auto nucleus = nucleusReference(view, geometry, *centre, options);
    if (options.cancel && options.cancel->load()) return {};
    if (nucleus && !endsEarly(*nucleus, view)) return {nucleus, nullptr};
    centre.reset();  // no more than two orbits at once, as before the walk stopped early
    return {makeReference(view, geometry, *geometry.centreRe, *geometry.centreIm, options), nucleus};
}

// The point of pixel (x, y) at the reference's precision.
void pixelPoint(const DeepView& view, const DeepGeometry& g, int x, int y, MpfrValue& re, MpfrValue& im) {
    MpfrValue h(g.coordinateBits), t(g.coordinateBits);
    setDecimal(h.get(), view.location.side);
    mpfr_div_si(h.get(), h.get(), std::min(view.width, view.height), MPFR_RNDN);
    setDecimal(t.get(), view.location.realMin);
    mpfr_mul_si(re.get(), h.get(), x, MPFR_RNDN);
    mpfr_add(re.get(), re.get(), t.get(), MPFR_RNDN);
    setDecimal(t.get(), view.location.imagMin);
    mpfr_mul_si(im.get(), h.get(), y, MPFR_RNDN);
    mpfr_add(im.get(), im.get(), t.get(), MPFR_RNDN);
}

// Bounds every pixel's |δc| plus its error.
ExtReal largestOffset(const PixelOffsets& offsets) {
    const auto largest = [](const std::vector<AxisOffset>& axis) {
        ExtReal most;
        for (const AxisOffset& o : axis) {
            const ExtReal v = roundUp(abs(o.value) + o.err);
            if (most < v) most = v;
        }
        return most;
    };
    const ExtReal re = largest(offsets.columns), im = largest(offsets.rows);
    return roundUp(roundUp(sqrt(re * re + im * im)) + re + im);
}

}  // namespace

std::uint64_t DeepDrawing::memoryEstimate(const DeepOptions& options) const {
    const bool extended = state_->geometry.extended() || (options.rescaled && !state_->reference);
    return deepMemoryEstimate(state_->view, extended, DeepMemoryChoices{options.bla, options.lanes});
}

bool DeepDrawing::prepare(const DeepOptions& options) {
    State& s = *state_;
    if (!s.reference) {
        if (options.rescaled) s.geometry.useExtendedRange();
        const std::uint64_t budget = options.maxMemory ? options.maxMemory : defaultMemoryBudget();
        const std::uint64_t estimate = memoryEstimate(options);
        if (estimate > budget) throw DeepMemoryError(memoryProblem(s.view, estimate, budget));
        FirstReference first = firstReference(s.view, s.geometry, options);
        s.reference = std::move(first.reference);
        if (!s.reference) return false;
        // A reference that escapes before the limit makes the pixels that
        // outlive it continue from full-size values (less precise): first
        // try the nucleus of the minibrot the view holds (its orbit never
        // escapes), then the grid pixel that lasts longest.
        if (endsEarly(*s.reference, s.view)) {
            auto nucleus = first.nucleus ? first.nucleus : nucleusReference(s.view, s.geometry, *s.reference, options);
            if (nucleus && nucleus->orbit().size() > s.reference->orbit().size()) s.reference = std::move(nucleus);
            if (options.cancel && options.cancel->load()) return false;
        }
        for (int attempt = 0; attempt < kReferenceSearchAttempts && endsEarly(*s.reference, s.view); ++attempt) {
            const PixelOffsets offsets =
                pixelOffsets(s.view, s.geometry, s.reference->centreRe().get(), s.reference->centreIm().get());
            const RowJob job{&s.view, &s.geometry, s.reference.get(), &offsets, 0, 0, {}};
            int x = 0, y = 0;
            longestGridPixel(job, x, y);
            MpfrValue re(s.geometry.referenceBits), im(s.geometry.referenceBits);
            pixelPoint(s.view, s.geometry, x, y, re, im);
            auto candidate = makeReference(s.view, s.geometry, re, im, options);
            if (!candidate) return false;
            if (candidate->orbit().size() <= s.reference->orbit().size()) break;
            s.reference = std::move(candidate);
        }
    }
    if (!s.offsets) {
        s.offsets = std::make_unique<PixelOffsets>(
            pixelOffsets(s.view, s.geometry, s.reference->centreRe().get(), s.reference->centreIm().get()));
    }
    if (options.bla && !s.bla) {
        s.bla = s.reference->blaTable(largestOffset(*s.offsets), options.cancel);
        if (!s.bla) return false;
    }
    return true;
}

int DeepDrawing::settleBitsCap(const DeepOptions& options) const {
    if (options.maxBits > 0) return std::clamp(options.maxBits, kMinSettleBits, kMaxSettleBits);
    const std::int64_t automatic = std::int64_t{kAutomaticSettleBitsFactor} * state_->geometry.pixelBits;
    return static_cast<int>(std::clamp<std::int64_t>(automatic, kMinAutomaticSettleBits, kMaxSettleBits));
}

namespace {

// Rows whose every pixel is known: filled without a reference orbit.
void fillKnown(const KnownCounts& known, int width, int firstRow, int rows, std::span<std::int32_t> counts) {
    for (int row = 0; row < rows; ++row)
        for (int x = 0; x < width; ++x)
            counts[static_cast<std::size_t>(row) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)] =
                static_cast<std::int32_t>(known.count(x, firstRow + row));
}

}  // namespace

bool DeepDrawing::computeRows(int firstRow, int rows, std::span<std::int32_t> counts, const DeepOptions& options,
                              std::span<std::uint8_t> certified, const ColourOutputs& colours) {
    State& s = *state_;
    const auto pixels = static_cast<std::size_t>(rows) * static_cast<std::size_t>(s.view.width);
    if (firstRow < 0 || rows < 0 || firstRow + rows > s.view.height || counts.size() < pixels ||
        (!certified.empty() && certified.size() < pixels) ||
        (!colours.excess.empty() && colours.excess.size() < pixels) ||
        (!colours.distance.empty() && (colours.distance.size() < pixels || colours.slope.size() < pixels))) {
        throw std::invalid_argument("computeRows: rows outside the view or counts too small");
    }
    if (!certified.empty()) std::fill_n(certified.begin(), pixels, std::uint8_t{1});
    if (!s.known) s.known = std::make_unique<KnownCounts>(s.view, s.geometry.pixelBits);
    if (s.known->all()) {
        fillKnown(*s.known, s.view.width, firstRow, rows, counts);
        s.stats.pixelsKnown += static_cast<std::int64_t>(pixels);
        for (const std::span<float> out : {colours.excess, colours.distance, colours.slope})
            if (!out.empty()) std::fill_n(out.begin(), pixels, std::numeric_limits<float>::quiet_NaN());
        return true;
    }
    if (!prepare(options)) return false;
    RowJob job{&s.view, &s.geometry, s.reference.get(), s.offsets.get(), firstRow, rows, counts};
    job.bla = options.bla ? s.bla.get() : nullptr;
    job.known = s.known.get();
    job.certified = certified;
    if (!colours.excess.empty()) job.excess = colours.excess.first(pixels);
    if (!colours.distance.empty()) {
        job.distance = colours.distance.first(pixels);
        job.slope = colours.slope.first(pixels);
    }
    job.maxBits = settleBitsCap(options);
    job.direct = options.direct;
    return computeRowsOnThreads(job, options, s.stats);
}

std::shared_ptr<const DeepReference> DeepDrawing::reference() const { return state_->reference; }

DeepReferenceInfo DeepDrawing::referenceInfo() const {
    DeepReferenceInfo info;
    const State& s = *state_;
    info.numberType = numberTypeName(s.geometry.numberType);
    info.precisionBits = s.geometry.referenceBits;
    if (!s.reference) return info;
    info.length = static_cast<std::int64_t>(s.reference->orbit().size()) - 1;
    info.precisionBits = s.reference->precisionBits();
    info.buildMs = s.reference->buildMs();
    info.bytes = s.reference->bytes();
    if (s.bla) {
        info.blaBuildMs = s.bla->buildMs();
        info.blaBytes = s.bla->bytes();
    }
    return info;
}

DeepStats DeepDrawing::stats() const { return state_->stats; }

}  // namespace mandel
