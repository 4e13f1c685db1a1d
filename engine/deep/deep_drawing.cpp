#include "deep/deep_drawing.h"

#include <stdexcept>

#include "deep/deep_geometry.h"
#include "deep/deep_reference.h"
#include "deep/row_worker.h"

namespace mandel {

// The reference's error may grow to this fraction of the pixel spacing before
// the orbit ends (below the pixels' own first rounding, about 2^-53 of it).
constexpr double kReferenceErrorCeiling = 0x1p-60;

struct DeepDrawing::State {
    DeepView view;
    DeepGeometry geometry;
    std::shared_ptr<const DeepReference> reference;
    std::unique_ptr<PixelOffsets> offsets;
    DeepStats stats;
};

namespace {

// A reference made for another view serves this one when it is at least as
// precise, of the same number type, long enough and inside this view.
bool suitable(const DeepReference& reference, const DeepView& view, const DeepGeometry& geometry)
{
    if (reference.precisionBits() < geometry.referenceBits || reference.extended() != geometry.extended) return false;
    if (reference.limit() < view.location.limit && !reference.escaped() && !reference.truncated()) return false;
    const ExtReal side = geometry.spacing * ExtReal(static_cast<double>(std::max(view.width, view.height)));
    return withinDistance(reference.centreRe().get(), geometry.centreRe->get(), side) &&
           withinDistance(reference.centreIm().get(), geometry.centreIm->get(), side);
}

}  // namespace

DeepDrawing::DeepDrawing(const DeepView& view, std::shared_ptr<const DeepReference> reuse)
    : state_(std::make_unique<State>())
{
    const std::string problem = deepViewProblem(view);
    if (!problem.empty()) throw std::invalid_argument(problem);
    state_->view = view;
    state_->geometry = deepGeometry(view);
    if (reuse && suitable(*reuse, view, state_->geometry)) state_->reference = std::move(reuse);
}

DeepDrawing::~DeepDrawing() = default;

const DeepView& DeepDrawing::view() const { return state_->view; }

bool DeepDrawing::prepare(const DeepOptions& options)
{
    State& s = *state_;
    if (!s.reference) {
        const ExtReal ceiling = s.geometry.spacing * ExtReal(kReferenceErrorCeiling);
        auto reference = std::make_shared<DeepReference>(*s.geometry.centreRe, *s.geometry.centreIm,
                                                         s.view.location.limit, s.geometry.extended, ceiling,
                                                         options.cancel);
        if (reference->cancelled()) return false;
        s.reference = std::move(reference);
    }
    if (!s.offsets) {
        s.offsets = std::make_unique<PixelOffsets>(
            pixelOffsets(s.view, s.geometry, s.reference->centreRe().get(), s.reference->centreIm().get()));
    }
    return true;
}

bool DeepDrawing::computeRows(int firstRow, int rows, std::span<std::int32_t> counts, const DeepOptions& options)
{
    const State& s = *state_;
    if (firstRow < 0 || rows < 0 || firstRow + rows > s.view.height ||
        counts.size() < static_cast<std::size_t>(rows) * static_cast<std::size_t>(s.view.width)) {
        throw std::invalid_argument("computeRows: rows outside the view or counts too small");
    }
    if (!prepare(options)) return false;
    RowJob job{&s.view, &s.geometry, s.reference.get(), s.offsets.get(), firstRow, rows, counts};
    return computeRowsOnThreads(job, options, state_->stats);
}

std::shared_ptr<const DeepReference> DeepDrawing::reference() const { return state_->reference; }

DeepReferenceInfo DeepDrawing::referenceInfo() const
{
    DeepReferenceInfo info;
    const State& s = *state_;
    info.numberType = s.geometry.extended ? "extended" : "double";
    info.precisionBits = s.geometry.referenceBits;
    if (!s.reference) return info;
    info.length = static_cast<std::int64_t>(s.reference->orbit().size()) - 1;
    info.precisionBits = s.reference->precisionBits();
    info.buildMs = s.reference->buildMs();
    info.bytes = s.reference->bytes();
    return info;
}

DeepStats DeepDrawing::stats() const { return state_->stats; }

}  // namespace mandel
