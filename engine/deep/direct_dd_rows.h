#pragma once

// The pixels the direct double stage leaves undecided, iterated directly in
// double-double in SIMD lanes. They are few and scattered over the rows, so
// one thread gathers them from every row it takes and keeps its lanes full;
// at its end it finishes the last ones in lanes partly empty.

#include <cstdint>
#include <deque>
#include <utility>
#include <vector>

#include "deep/direct_lanes.h"
#include "deep/pixel_count.h"

namespace mandel {

class RowControl;

class DirectDdRows {
public:
    // Pixels are (row, x), the row relative to the job's first row.
    using Pixel = std::pair<int, int>;

    DirectDdRows(const RowJob& job, RowControl& control, PendingExcesses& pending);
    ~DirectDdRows();

    void add(int row, int x) { queue_.emplace_back(row, x); }

    // Iterates while the lanes can be kept full (with `flush`, until every
    // pixel is done). The row of each pixel decided (its count and colour
    // outputs stored) is appended to `finishedRows`; each pixel left
    // undecided to `left`. False if cancelled.
    bool run(bool flush, std::vector<int>& finishedRows, std::vector<Pixel>& left);

private:
    bool load(std::size_t lane);
    void empty(std::size_t lane);
    void finish(std::size_t lane, std::vector<int>& finishedRows, std::vector<Pixel>& left);

    const RowJob& job_;
    RowControl& control_;
    PendingExcesses& pending_;
    const std::size_t lanes_;
    std::deque<Pixel> queue_;
    Pixel pixels_[kMaxDirectLanes];
    DirectDdBatch batch_;
    std::int64_t made_ = 0;
};

}  // namespace mandel
