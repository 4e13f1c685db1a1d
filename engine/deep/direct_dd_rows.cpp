#include "deep/direct_dd_rows.h"

#include <limits>

#include "deep/direct_double_double.h"
#include "deep/row_control.h"

namespace mandel {

namespace {

// Steps the lanes make between two looks at cancel and progress.
constexpr std::int64_t kStepsPerPoll = 256;

}  // namespace

DirectDdRows::DirectDdRows(const RowJob& job, RowControl& control, PendingExcesses& pending)
    : job_(job), control_(control), pending_(pending), lanes_(directLaneCount()) {
    for (std::size_t lane = 0; lane < lanes_; ++lane) empty(lane);
}

DirectDdRows::~DirectDdRows() { control_.made += made_; }

// Loads the next queued pixel into the lane; false where none is queued.
bool DirectDdRows::load(std::size_t lane) {
    if (queue_.empty()) return false;
    const Pixel p = queue_.front();
    queue_.pop_front();
    const DirectDdPoint c = directDdPoint(job_, p.second, job_.firstRow + p.first);
    const DirectDdState s = directDdStart(c);
    storeParts(batch_.zrHi, batch_.zrLo, lane, s.zr);
    storeParts(batch_.ziHi, batch_.ziLo, lane, s.zi);
    batch_.e[lane] = s.e;
    batch_.i[lane] = s.i;
    storeParts(batch_.crHi, batch_.crLo, lane, c.cr);
    storeParts(batch_.ciHi, batch_.ciLo, lane, c.ci);
    batch_.cErr[lane] = c.cErr;
    batch_.cAbs[lane] = c.cAbs;
    pixels_[lane] = p;
    return true;
}

// A lane with no pixel: z = c = 0 stays 0 with no error, and its iteration
// never reaches the limit, so it never asks for attention.
void DirectDdRows::empty(std::size_t lane) {
    for (double* part : {batch_.zrHi, batch_.zrLo, batch_.ziHi, batch_.ziLo, batch_.e, batch_.crHi, batch_.crLo,
                         batch_.ciHi, batch_.ciLo, batch_.cErr, batch_.cAbs})
        part[lane] = 0;
    batch_.i[lane] = std::numeric_limits<std::int64_t>::min();
    pixels_[lane] = {-1, 0};
}

void DirectDdRows::finish(std::size_t lane, std::vector<int>& finishedRows, std::vector<Pixel>& left) {
    const DirectDdState s{{batch_.zrHi[lane], batch_.zrLo[lane]},
                          {batch_.ziHi[lane], batch_.ziLo[lane]},
                          batch_.e[lane],
                          batch_.i[lane]};
    double zAbs;
    const std::int64_t count = directDdTest(s, job_.view->location.limit, zAbs);
    const Pixel p = pixels_[lane];
    if (count == kUndecidedCount) {
        left.push_back(p);
    } else {
        const int y = job_.firstRow + p.first;
        storeDirectDdCount(job_, p.second, y, count, s, job_.counts[pixelIndex(job_, p.second, y)], &pending_);
        control_.decidedInDirectDd += 1;
        finishedRows.push_back(p.first);
    }
    if (!load(lane)) empty(lane);
}

bool DirectDdRows::run(bool flush, std::vector<int>& finishedRows, std::vector<Pixel>& left) {
    const std::int64_t limit = job_.view->location.limit;
    for (;;) {
        std::size_t active = 0;
        for (std::size_t lane = 0; lane < lanes_; ++lane) {
            if (pixels_[lane].first < 0) load(lane);
            if (pixels_[lane].first >= 0) ++active;
        }
        if (active == 0 || (!flush && active < lanes_)) return true;
        made_ += advanceDirectDdLanes(batch_, limit, kStepsPerPoll) * static_cast<std::int64_t>(active);
        if (control_.stop()) return false;
        for (std::size_t lane = 0; lane < lanes_; ++lane)
            if (batch_.attention[lane] != 0) finish(lane, finishedRows, left);
    }
}

}  // namespace mandel
