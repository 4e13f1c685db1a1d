#pragma once

#include <exception>
#include <functional>
#include <iosfwd>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>

#include "drawing/draw_picture.h"
#include "command_line.h"
#include "render_options.h"
#include "render_progress.h"

namespace mandel::tool {

// What the summary line reports of a drawing.
struct RenderSummary {
    std::size_t pointsPerRow = 0;  // the pass's, from the remaining-width countdown
    std::size_t rows = 0;          // the pass's: size + 1
    long long iterations = 0;      // sum of the counts of the pass's points
    double medianMs = 0;           // computation only, median of the repeats
};

// What -h prints: both drawings' command lines, options and exit statuses.
std::string usageText();

// "points_per_row=P rows=R iterations=I ms=T"
std::string summaryLine(const RenderSummary& summary);

// Draws the whole pass options.repeat times, in bands of rows; the last
// drawing also writes its picture to `files` and finishes them. Throws
// SettingsError if the region cannot be scanned, FileWriteError if a file
// fails.
RenderSummary renderInBands(const RenderOptions& options, std::span<PictureSink* const> files,
                            const RenderProgress& progress = {});

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
