#pragma once

// Escape counts of a scan computed a block of rows at a time, so that memory
// stays bounded whatever the number of rows. While one block is computed, the
// previous one is handed to the consumer on a thread of its own.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>

#include "kernel/escape_counts.h"
#include "kernel/scan_plan.h"

namespace mandel {

struct RowBlock {
    std::size_t firstRow = 0;
    std::size_t rows = 0;
    std::size_t columns = 0;               // points per row
    std::span<const std::int16_t> counts;  // rows × columns, row-major
};

// About this many points per block: 4 MB of counts per block, of which two are
// alive at a time.
inline constexpr std::size_t kRowBlockPoints = std::size_t{1} << 21;

struct RowBlockOptions {
    bool reference = false;                     // one point at a time with mandel, on the calling thread
    FastOptions fast;                           // otherwise the fast path with these options
    std::size_t blockPoints = kRowBlockPoints;  // at least one row per block
    // Hands a block to the consumer on its own thread while the next block is
    // computed; otherwise one after the other on the calling thread (for
    // measuring what the overlap gains).
    bool overlap = true;
};

// Rows per block for rows of `columns` points.
std::size_t rowBlockRows(std::size_t columns, std::size_t blockPoints);

// Called once per block, in row order, never two at a time. Returns false to
// stop: no further block is handed over.
using RowBlockConsumer = std::function<bool(const RowBlock&)>;

// Where the time went, in milliseconds.
struct RowBlockTiming {
    double computeMs = 0;     // computing counts (the calling thread)
    double consumeMs = 0;     // inside the consumer (its own thread, overlapping)
    double consumeCpuMs = 0;  // processor time of the consumer's thread(s) inside it
    double totalMs = 0;       // wall time of the whole call
};

// Computes every count of plan (the same counts as escapeCountsFast or
// escapeCountsReference) and hands them to consume block by block. Returns
// true if every block was consumed, false if the consumer stopped. An
// exception from the computation or the consumer ends the work and
// propagates once the consumer is idle.
bool computeRowBlocks(const ScanPlan& plan, float cmax, const RowBlockOptions& options, const RowBlockConsumer& consume,
                      RowBlockTiming* timing = nullptr);

}  // namespace mandel
