#pragma once

#include <cstdint>
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

// The whole program: parses args (without the program name), renders, writes
// the BMP if asked, prints the summary line to out. Errors go to err as one
// line. Returns the exit status: 0, 2 for a bad command line, 1 if the file
// cannot be written.
int runRenderTool(std::span<const std::string_view> args, std::ostream& out, std::ostream& err);

}  // namespace mandel::tool
