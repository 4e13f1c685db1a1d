#pragma once

// A one-line progress bar for a terminal: the deep drawing's reference orbit
// (iterations of the limit) and then rows, time spent and time left.

#include <chrono>
#include <cstddef>
#include <iosfwd>
#include <string>

namespace mandel::tool {

// What the bar counts: the reference orbit's iterations, which the deep
// drawing computes before its first row, or rows.
enum class ProgressPhase { Reference, Rows };

// "[#########...........]  4000/16000 rows  0:05 spent  0:15 left": the bar
// is `barWidth` characters; the time left is estimated from the rate so far
// and shown as "--:--" before any row is done.
std::string progressLine(std::size_t done, std::size_t total, std::chrono::milliseconds spent,
                         std::size_t barWidth = 30);

// The same for a phase: "[#.........]  reference 12,000 / 600,000  0:01 spent
// 0:49 left" while the reference orbit is computed, and the rows' line after
// it. `spent` is the whole run's time; the time left is the phase's, from its
// own rate (phaseSpent: the time since the phase began).
std::string progressLine(ProgressPhase phase, std::size_t done, std::size_t total, std::chrono::milliseconds spent,
                         std::chrono::milliseconds phaseSpent, std::size_t barWidth = 30);

// Redraws the line in place ("\r" then the line, erasing what was longer),
// at most every `interval`, and always for the last row or iteration and
// when the phase changes.
class ProgressBar {
public:
    explicit ProgressBar(std::ostream& terminal, std::chrono::milliseconds interval = std::chrono::milliseconds(100));
    void update(std::size_t done, std::size_t total) { update(ProgressPhase::Rows, done, total); }
    void update(ProgressPhase phase, std::size_t done, std::size_t total);
    // Erases the line, so that what follows starts on a clean line.
    void clear();

private:
    using Clock = std::chrono::steady_clock;
    std::ostream& terminal_;
    std::chrono::milliseconds interval_;
    Clock::time_point start_ = Clock::now();
    Clock::time_point phaseStart_ = start_;
    Clock::time_point lastDrawn_{};
    bool drawn_ = false;
    bool phaseSeen_ = false;  // the first phase began with the bar
    ProgressPhase phase_ = ProgressPhase::Rows;
};

}  // namespace mandel::tool
