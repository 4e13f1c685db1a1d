#include "deep/direct_rows.h"

#include <bit>
#include <cstdint>
#include <limits>

#include "deep/direct_lanes.h"
#include "deep/known_counts.h"

namespace mandel {

namespace {

// Steps the lanes make between two looks at cancel and progress.
constexpr std::int64_t kStepsPerPoll = 256;

class DirectRow {
public:
    DirectRow(const RowJob& job, int row, RowControl& control, PendingExcesses& pending, std::vector<int>& undecided)
        : job_(job),
          y_(job.firstRow + row),
          control_(control),
          pending_(pending),
          undecided_(undecided),
          lanes_(directLaneCount()),
          start_(directRowStart(job, y_)),
          someKnown_(job.known && job.known->rowHasKnown(y_)),
          countsOnly_(job.excess.empty() && job.distance.empty()),
          rowCounts_(&job.counts[pixelIndex(job, 0, y_)]) {}
    ~DirectRow() { control_.made += made_; }
    bool run();

private:
    bool load(std::size_t lane);
    void finish(std::size_t lane, std::int64_t count, const DirectState& s);
    void empty(std::size_t lane);
    void stepOne(std::size_t lane, double squares, double zAbs, DirectState& s);
    DirectState stateOf(std::size_t lane) const {
        return {batch_.zr[lane], batch_.zi[lane], batch_.e[lane], batch_.i[lane]};
    }

    const RowJob& job_;
    const int y_;
    RowControl& control_;
    PendingExcesses& pending_;
    std::vector<int>& undecided_;
    const std::size_t lanes_;
    const DirectRowStart start_;
    const bool someKnown_;  // whether the row may have pixels of known count
    const bool countsOnly_;  // no colour output wanted besides the count
    std::int32_t* const rowCounts_;
    DirectBatch batch_;
    int column_[kMaxDirectLanes] = {};
    int next_ = 0;  // the next column to load
    std::int64_t made_ = 0;
};

// Loads the row's next column that is not known into the lane; false where
// none is left.
bool DirectRow::load(std::size_t lane) {
    for (; next_ < job_.view->width; ++next_) {
        const auto x = static_cast<std::size_t>(next_);
        if (someKnown_ && knownCount(job_, next_, y_, control_, rowCounts_[x])) continue;
        const AxisOffset& column = job_.offsets->columns[x];
        const DirectPoint c = directPoint(start_, column.valueDouble, column.errUp);
        const DirectState s = directStart(c);
        batch_.zr[lane] = s.zr;
        batch_.zi[lane] = s.zi;
        batch_.e[lane] = s.e;
        batch_.i[lane] = s.i;
        batch_.cr[lane] = c.cr;
        batch_.ci[lane] = c.ci;
        batch_.fixed[lane] = c.fixed;
        column_[lane] = next_++;
        return true;
    }
    return false;
}

void DirectRow::finish(std::size_t lane, std::int64_t count, const DirectState& s) {
    const int x = column_[lane];
    if (count == kUndecidedCount) {
        undecided_.push_back(x);
        return;
    }
    std::int32_t& out = rowCounts_[static_cast<std::size_t>(x)];
    if (countsOnly_) {
        out = static_cast<std::int32_t>(count);
        return;
    }
    storeDirectCount(job_, x, y_, count, s, out, &pending_);
}

void DirectRow::stepOne(std::size_t lane, double squares, double zAbs, DirectState& s) {
    DirectPoint c;
    c.cr = batch_.cr[lane];
    c.ci = batch_.ci[lane];
    c.fixed = batch_.fixed[lane];
    directStep(c, squares, zAbs, s);
    batch_.zr[lane] = s.zr;
    batch_.zi[lane] = s.zi;
    batch_.e[lane] = s.e;
    batch_.i[lane] = s.i;
    ++made_;
}

// A lane with no pixel: z = c = 0 stays 0 with no error, and its iteration
// never reaches the limit, so it never asks for attention.
void DirectRow::empty(std::size_t lane) {
    batch_.zr[lane] = batch_.zi[lane] = batch_.e[lane] = 0;
    batch_.cr[lane] = batch_.ci[lane] = batch_.fixed[lane] = 0;
    batch_.i[lane] = std::numeric_limits<std::int64_t>::min();
}

bool DirectRow::run() {
    std::size_t active = 0;
    for (std::size_t lane = 0; lane < lanes_; ++lane) {
        if (load(lane)) {
            ++active;
        } else {
            empty(lane);
        }
    }
    const std::int64_t limit = job_.view->location.limit;
    // The row's last pixels too stay in the lanes, the emptied ones beside
    // them: those are the longest-lived of the row.
    // Cancel and progress are asked after about kStepsPerPoll steps (a round
    // that ends at once counts as one), not after every pixel's end.
    std::int64_t sincePoll = 0;
    while (active > 0) {
        const std::int64_t steps = advanceDirectLanes(batch_, limit, kStepsPerPoll);
        made_ += steps * static_cast<std::int64_t>(active);
        sincePoll += steps + 1;
        if (sincePoll >= kStepsPerPoll) {
            sincePoll = 0;
            if (control_.stop()) return false;
        }
        for (std::uint64_t bits = batch_.attention; bits != 0; bits &= bits - 1) {
            const auto lane = static_cast<std::size_t>(std::countr_zero(bits));
            DirectState s = stateOf(lane);
            // The lanes' directMagnitude of the state.
            const double squares = batch_.squares[lane], zAbs = batch_.zAbs[lane];
            const std::int64_t result = directDecision(s, limit, squares, zAbs);
            if (result == 0) {
                // Stays, by the test the lanes' "stays" left open: one step here.
                stepOne(lane, squares, zAbs, s);
                continue;
            }
            finish(lane, result, s);
            if (!load(lane)) {
                empty(lane);
                --active;
            }
        }
    }
    return true;
}

}  // namespace

bool directRow(const RowJob& job, int row, RowControl& control, PendingExcesses& pending, std::vector<int>& undecided) {
    DirectRow direct(job, row, control, pending, undecided);
    return direct.run();
}

}  // namespace mandel
