#include "progress_bar.h"

#include <cstdio>
#include <ostream>

namespace mandel::tool {

namespace {

std::string minutesAndSeconds(long long seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%lld:%02lld", seconds / 60, seconds % 60);
    return text;
}

// "2,147,483,647": an iteration count that can be read at a glance.
std::string withThousands(std::size_t n) {
    std::string digits = std::to_string(n);
    for (std::size_t at = digits.size(); at > 3; at -= 3) digits.insert(at - 3, 1, ',');
    return digits;
}

constexpr const char* kEraseToEndOfLine = "\x1b[K";

}  // namespace

std::string progressLine(std::size_t done, std::size_t total, std::chrono::milliseconds spent, std::size_t barWidth) {
    return progressLine(ProgressPhase::Rows, done, total, spent, spent, barWidth);
}

std::string progressLine(ProgressPhase phase, std::size_t done, std::size_t total, std::chrono::milliseconds spent,
                         std::chrono::milliseconds phaseSpent, std::size_t barWidth) {
    if (done > total) done = total;
    const double fraction = total == 0 ? 1.0 : static_cast<double>(done) / static_cast<double>(total);
    const auto filled = static_cast<std::size_t>(fraction * static_cast<double>(barWidth));
    std::string line(1, '[');
    line.append(filled, '#').append(barWidth - filled, '.').append("]  ");
    if (phase == ProgressPhase::Reference)
        line.append("reference ").append(withThousands(done)).append(" / ").append(withThousands(total)).append("  ");
    else
        line.append(std::to_string(done)).append("/").append(std::to_string(total)).append(" rows  ");
    line.append(minutesAndSeconds(spent.count() / 1000)).append(" spent  ");
    if (done == 0) return line.append("--:-- left");
    const double leftMs =
        static_cast<double>(phaseSpent.count()) * static_cast<double>(total - done) / static_cast<double>(done);
    return line.append(minutesAndSeconds(static_cast<long long>(leftMs / 1000.0 + 0.5))).append(" left");
}

ProgressBar::ProgressBar(std::ostream& terminal, std::chrono::milliseconds interval)
    : terminal_(terminal), interval_(interval) {}

void ProgressBar::update(ProgressPhase phase, std::size_t done, std::size_t total) {
    const Clock::time_point now = Clock::now();
    const bool newPhase = !phaseSeen_ || phase != phase_;
    if (newPhase) {
        // The first phase began with the bar; a later one begins now.
        if (phaseSeen_) phaseStart_ = now;
        phaseSeen_ = true;
        phase_ = phase;
    }
    if (drawn_ && !newPhase && done < total && now - lastDrawn_ < interval_) return;
    const auto spent = std::chrono::duration_cast<std::chrono::milliseconds>(now - start_);
    const auto phaseSpent = std::chrono::duration_cast<std::chrono::milliseconds>(now - phaseStart_);
    terminal_ << '\r' << progressLine(phase, done, total, spent, phaseSpent) << kEraseToEndOfLine << std::flush;
    lastDrawn_ = now;
    drawn_ = true;
}

void ProgressBar::clear() {
    if (drawn_) terminal_ << '\r' << kEraseToEndOfLine << std::flush;
    drawn_ = false;
}

}  // namespace mandel::tool
