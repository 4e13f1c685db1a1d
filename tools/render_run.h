#pragma once

#include <exception>
#include <functional>
#include <iosfwd>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>

#include "drawing/draw_picture.h"
#include "progress_bar.h"
#include "render_options.h"

namespace mandel::tool {

// What the summary line reports of a drawing.
struct RenderSummary {
    std::size_t pointsPerRow = 0;  // the pass's, from the remaining-width countdown
    std::size_t rows = 0;          // the pass's: size + 1
    long long iterations = 0;      // sum of the counts of the pass's points
    double medianMs = 0;           // computation only, median of the repeats
};

// "points_per_row=P rows=R iterations=I ms=T"
std::string summaryLine(const RenderSummary& summary);

// Rows done and rows to do over all the repeats; for the deep drawing first
// the reference orbit's iterations made and its limit.
using RenderProgress = std::function<void(ProgressPhase phase, std::size_t done, std::size_t total)>;

// Draws the whole pass options.repeat times, in bands of rows; the last
// drawing also writes its picture to `files` and finishes them. Throws
// SettingsError if the region cannot be scanned, FileWriteError if a file
// fails.
RenderSummary renderInBands(const RenderOptions& options, std::span<PictureSink* const> files,
                            const RenderProgress& progress = {});

// Standard output did not take the result.
class OutputError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Writes text to out and flushes it; throws OutputError when it is not delivered.
void deliver(std::ostream& out, const std::string& text);

inline constexpr int kExitSuccess = 0;
inline constexpr int kExitFailure = 1;  // the drawing, its file or its output failed
inline constexpr int kExitUsage = 2;    // a bad command line, or a deep drawing above its memory budget

// The whole program: parses args (without the program name), renders, writes
// the PNG and BMP files if asked, prints the summary line to out (or the
// usage, for -h). With showProgress, a progress bar is drawn on err while the
// drawing runs. Errors, whatever they are (out of memory included), go to err
// as one line. Returns the exit status; a summary or usage that out cannot
// take is a failure.
int runRenderTool(std::span<const std::string_view> args, std::ostream& out, std::ostream& err,
                  bool showProgress = false);

// The message for an exception that reached the top of the program, as one line.
std::string errorLine(const std::exception& error);

}  // namespace mandel::tool
