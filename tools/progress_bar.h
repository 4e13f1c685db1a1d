#pragma once

// A one-line progress bar for a terminal: rows done, time spent, time left.

#include <chrono>
#include <cstddef>
#include <iosfwd>
#include <string>

namespace mandel::tool {

// "[#########...........]  4000/16000 rows  0:05 spent  0:15 left": the bar
// is `barWidth` characters; the time left is estimated from the rate so far
// and shown as "--:--" before any row is done.
std::string progressLine(std::size_t done, std::size_t total, std::chrono::milliseconds spent,
                         std::size_t barWidth = 30);

// Redraws the line in place ("\r" then the line, erasing what was longer),
// at most every `interval`, and always for the last row.
class ProgressBar {
public:
    explicit ProgressBar(std::ostream& terminal,
                         std::chrono::milliseconds interval = std::chrono::milliseconds(100));
    void update(std::size_t done, std::size_t total);
    // Erases the line, so that what follows starts on a clean line.
    void clear();

private:
    using Clock = std::chrono::steady_clock;
    std::ostream& terminal_;
    std::chrono::milliseconds interval_;
    Clock::time_point start_ = Clock::now();
    Clock::time_point lastDrawn_{};
    bool drawn_ = false;
};

}  // namespace mandel::tool
