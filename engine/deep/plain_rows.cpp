#include "deep/plain_rows.h"

#include <cstdint>

#include "deep/plain_lanes.h"

namespace mandel {

namespace {

// Steps the lanes make between two looks at cancel and progress.
constexpr std::int64_t kStepsPerPoll = 256;

class PlainRow {
public:
    PlainRow(const RowJob& job, int row, RowControl& control, PendingExcesses& pending, std::vector<int>& undecided)
        : job_(job),
          row_(row),
          y_(job.firstRow + row),
          control_(control),
          pending_(pending),
          undecided_(undecided),
          lanes_(plainLaneCount()) {}
    ~PlainRow() { control_.made += made_; }
    bool run();

private:
    bool load(std::size_t lane);
    void finish(std::size_t lane, std::int64_t count, const PlainState& s);
    PlainState stateOf(std::size_t lane) const {
        return {batch_.zr[lane], batch_.zi[lane], batch_.e[lane], batch_.i[lane]};
    }
    PlainPoint pointOf(std::size_t lane) const {
        return {batch_.cr[lane], batch_.ci[lane], batch_.cErr[lane], batch_.cAbs[lane]};
    }

    const RowJob& job_;
    const int row_;
    const int y_;
    RowControl& control_;
    PendingExcesses& pending_;
    std::vector<int>& undecided_;
    const std::size_t lanes_;
    PlainBatch batch_;
    int column_[kMaxPlainLanes] = {};
    bool active_[kMaxPlainLanes] = {};
    int next_ = 0;  // the next column to load
    std::int64_t made_ = 0;
};

// Loads the row's next column that is not known into the lane; false where
// none is left.
bool PlainRow::load(std::size_t lane) {
    const std::size_t rowStart = static_cast<std::size_t>(row_) * static_cast<std::size_t>(job_.view->width);
    for (; next_ < job_.view->width; ++next_) {
        if (knownCount(job_, next_, y_, control_, job_.counts[rowStart + static_cast<std::size_t>(next_)])) continue;
        const PlainPoint c = plainPoint(job_, next_, y_);
        const PlainState s = plainStart(c);
        batch_.zr[lane] = s.zr;
        batch_.zi[lane] = s.zi;
        batch_.e[lane] = s.e;
        batch_.i[lane] = s.i;
        batch_.cr[lane] = c.cr;
        batch_.ci[lane] = c.ci;
        batch_.cErr[lane] = c.cErr;
        batch_.cAbs[lane] = c.cAbs;
        column_[lane] = next_++;
        return true;
    }
    return false;
}

void PlainRow::finish(std::size_t lane, std::int64_t count, const PlainState& s) {
    const int x = column_[lane];
    if (count == kUndecidedCount) {
        undecided_.push_back(x);
        return;
    }
    const std::size_t at =
        static_cast<std::size_t>(row_) * static_cast<std::size_t>(job_.view->width) + static_cast<std::size_t>(x);
    storePlainCount(job_, x, y_, count, s, job_.counts[at], &pending_);
}

bool PlainRow::run() {
    std::size_t active = 0;
    for (std::size_t lane = 0; lane < lanes_; ++lane) active += (active_[lane] = load(lane)) ? 1 : 0;
    const std::int64_t limit = job_.view->location.limit;
    while (active == lanes_) {
        made_ += advancePlainLanes(batch_, limit, kStepsPerPoll) * static_cast<std::int64_t>(lanes_);
        if (control_.stop()) return false;
        for (std::size_t lane = 0; lane < lanes_; ++lane) {
            if (batch_.attention[lane] == 0) continue;
            const PlainState s = stateOf(lane);
            double squares, zAbs;
            finish(lane, plainTest(s, limit, squares, zAbs), s);
            if (!(active_[lane] = load(lane))) --active;
        }
    }
    // Fewer pixels than lanes are left: each goes on in the scalar loop from
    // its state (the same operations).
    auto stop = [this] { return control_.stop(); };
    for (std::size_t lane = 0; lane < lanes_; ++lane) {
        if (!active_[lane]) continue;
        PlainState s = stateOf(lane);
        const std::int64_t count = plainCount(pointOf(lane), limit, s, stop, made_);
        if (count == kCancelledCount) return false;
        finish(lane, count, s);
    }
    return true;
}

}  // namespace

bool plainRow(const RowJob& job, int row, RowControl& control, PendingExcesses& pending, std::vector<int>& undecided) {
    PlainRow plain(job, row, control, pending, undecided);
    return plain.run();
}

}  // namespace mandel
