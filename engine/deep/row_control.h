#pragma once

// Cancel, progress and totals shared by the threads that compute the rows of
// one drawing.

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>
#include <vector>

#include "deep/deep_options.h"
#include "deep/perturbation.h"

namespace mandel {

// Progress is reported at least this often (the callers promise 50 ms).
inline constexpr auto kRowProgressInterval = std::chrono::milliseconds(25);

// A pixel that the stages before the full-precision one left undecided,
// waiting for that stage: where its count goes, the bits to start at, and
// what the earlier stages saw of it.
struct WaitingPixel {
    int x = 0, y = 0;
    std::int32_t* out = nullptr;
    int startBits = 0;
    EscapePoint escape;
};

// Shared by the threads of one computeRows: cancel, progress and totals.
class RowControl {
public:
    using Clock = std::chrono::steady_clock;

    RowControl(const DeepOptions& options, int rowsTotal) : options_(options), rowsTotal_(rowsTotal) {}

    // True when the computation must stop; reports progress when due.
    bool stop() {
        if (stopped_.load(std::memory_order_relaxed)) return true;
        if (options_.cancel && options_.cancel->load(std::memory_order_relaxed)) {
            stopped_ = true;
            return true;
        }
        if (options_.progress && Clock::now() - lastProgress() >= kRowProgressInterval) report();
        return stopped_.load(std::memory_order_relaxed);
    }
    void rowDone() { rowsDone_.fetch_add(1); }
    const std::atomic<bool>* cancelFlag() const { return options_.cancel; }
    bool stopped() const { return stopped_.load(); }
    std::atomic<std::int64_t> made{0}, skipped{0}, settled{0}, settledInDouble{0}, settledAtFullPrecision{0},
        uncertified{0}, known{0}, decidedInDirectDd{0};
    std::atomic<std::int64_t> settleNs{0};
    std::atomic<std::int64_t> laneSteps{0}, laneNs{0};

    // Where set, the full-precision stage waits until every row is done, so
    // that its pixels can be taken side by side; a row with a waiting pixel
    // is not reported done until that pixel is.
    bool gatherFullPrecision = false;
    void wait(const WaitingPixel& pixel) {
        std::lock_guard lock(waitingMutex_);
        waiting_.push_back(pixel);
        if (++waitingInRow_[pixel.y] == 1) heldRows_ += 1;
    }
    void waitingDone(int y) {
        std::lock_guard lock(waitingMutex_);
        if (--waitingInRow_[y] == 0) heldRows_ -= 1;
    }
    std::vector<WaitingPixel> takeWaiting() {
        std::lock_guard lock(waitingMutex_);
        std::vector<WaitingPixel> taken;
        taken.swap(waiting_);
        return taken;
    }

private:
    Clock::time_point lastProgress() {
        return Clock::time_point(Clock::duration(lastProgress_.load(std::memory_order_relaxed)));
    }
    void report() {
        std::unique_lock lock(progressMutex_, std::try_to_lock);
        if (!lock.owns_lock()) return;
        lastProgress_ = Clock::now().time_since_epoch().count();
        // Rows held for a waiting pixel may not be done yet themselves: the
        // figure is kept from falling.
        reported_ = std::max(reported_, rowsDone_.load() - heldRows_.load());
        if (!options_.progress(DeepProgress{reported_, rowsTotal_})) stopped_ = true;
    }

    const DeepOptions& options_;
    const std::int64_t rowsTotal_;
    std::atomic<bool> stopped_{false};
    std::atomic<std::int64_t> rowsDone_{0};
    std::atomic<Clock::rep> lastProgress_{Clock::now().time_since_epoch().count()};
    std::mutex progressMutex_;
    std::mutex waitingMutex_;
    std::vector<WaitingPixel> waiting_;
    std::map<int, int> waitingInRow_;
    std::atomic<std::int64_t> heldRows_{0};
    std::int64_t reported_ = 0;  // under progressMutex_
};

}  // namespace mandel
