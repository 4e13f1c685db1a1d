#pragma once

#include <cstdint>
#include <exception>
#include <iosfwd>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "render_options.h"
#include "scan_plan.h"

namespace mandel::tool {

inline constexpr int kPictureSide = 500;

struct RenderResult {
    ScanPlan plan;
    std::vector<std::int16_t> counts;  // row-major, plan.pointCount() values
    long long iterations = 0;          // sum of the counts
    double medianMs = 0;               // computation only, median of the repeats
};

// Plans the scan and computes the counts options.repeat times with the chosen
// path. Throws SettingsError if the region cannot be scanned.
RenderResult render(const RenderOptions& options);

// "points_per_row=P rows=R iterations=I ms=T"
std::string summaryLine(const RenderResult& result);

// The 500 × 500 picture of a drawing, packed colours from the top-left:
// pixel (x, y) is the point (x, y); the points at x or y = 500 are left out.
// A pixel with no point (a row shorter than 500) is black.
std::vector<std::uint32_t> picture(const RenderOptions& options, const RenderResult& result);

inline constexpr int kExitSuccess = 0;
inline constexpr int kExitFailure = 1;  // the drawing, its file or its output failed
inline constexpr int kExitUsage = 2;    // a bad command line, nothing else

// The whole program: parses args (without the program name), renders, writes
// the BMP if asked, prints the summary line to out (or the usage, for -h).
// Errors, whatever they are (out of memory included), go to err as one line.
// Returns the exit status; a summary or usage that out cannot take is a failure.
int runRenderTool(std::span<const std::string_view> args, std::ostream& out, std::ostream& err);

// The message for an exception that reached the top of the program, as one line.
std::string errorLine(const std::exception& error);

}  // namespace mandel::tool
