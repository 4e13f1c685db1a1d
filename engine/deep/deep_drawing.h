#pragma once

// The deep engine's face: escape counts of a DeepView that are those of exact
// arithmetic, at any depth. One reference orbit in MPFR serves every pixel;
// each pixel is iterated by perturbation against it (double precision, or an
// extended range below double's), pixels whose count the arithmetic cannot
// decide are settled with more precision. Counts are identical on every
// SIMD target, thread count and machine.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>

#include "deep/colour_outputs.h"
#include "deep/deep_memory.h"
#include "deep/deep_options.h"
#include "deep/deep_view.h"

namespace mandel {

// The reference orbit (and what is derived from it), shareable between
// drawings: a drawing of a nearby view with no higher precision need reuses it.
class DeepReference;

class DeepDrawing {
public:
    // Throws std::invalid_argument (the message of deepViewProblem) for a bad
    // view. `reuse`, when given and suitable for this view, is taken instead
    // of computing a new reference.
    explicit DeepDrawing(const DeepView& view, std::shared_ptr<const DeepReference> reuse = nullptr);
    ~DeepDrawing();
    DeepDrawing(const DeepDrawing&) = delete;
    DeepDrawing& operator=(const DeepDrawing&) = delete;

    const DeepView& view() const;

    // Computes the reference orbit if it is not there yet (it is also
    // computed on the first computeRows). Returns false if cancelled; throws
    // DeepMemoryError when the drawing would exceed options.maxMemory.
    bool prepare(const DeepOptions& options = {});

    // Escape counts (1 .. limit) of rows firstRow .. firstRow + rows − 1 into
    // counts (rows × width, row-major). Returns false if cancelled; counts is
    // then incomplete. `certified`, when given (the size of counts), receives
    // 1 for each pixel whose count is that of exact arithmetic and 0 for one
    // the precision cap left undecided (see DeepOptions::maxBits). The
    // colour outputs, those given (each the size of counts), receive each
    // pixel's continuous count, distance and slope (colour_outputs.h); the
    // counts are the same with or without them.
    bool computeRows(int firstRow, int rows, std::span<std::int32_t> counts, const DeepOptions& options = {},
                     std::span<std::uint8_t> certified = {}, const ColourOutputs& colours = {});

    // The peak memory the drawing may reach with these options (deep_memory.h).
    std::uint64_t memoryEstimate(const DeepOptions& options) const;

    // The precision cap options.maxBits means for this view.
    int settleBitsCap(const DeepOptions& options) const;

    std::shared_ptr<const DeepReference> reference() const;  // null before prepare
    DeepReferenceInfo referenceInfo() const;
    DeepStats stats() const;  // totals over every computeRows so far

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace mandel
