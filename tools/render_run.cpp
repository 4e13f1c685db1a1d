#include "render_run.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <new>
#include <numeric>
#include <ostream>
#include <system_error>

#include "banding.h"
#include "bmp.h"
#include "escape_counts.h"
#include "message_text.h"
#include "safe_file.h"

namespace mandel::tool {

namespace {

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// Standard output did not take the result.
class OutputError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Writes text to out and flushes it; throws OutputError when it is not delivered.
void deliver(std::ostream& out, const std::string& text) {
    errno = 0;
    out << text;
    out.flush();
    if (out) return;
    const int error = errno;
    throw OutputError("cannot write to standard output: " +
                      (error != 0 ? std::error_code(error, std::generic_category()).message() : "write failed"));
}

// Does the work; every failure is an exception.
void run(std::span<const std::string_view> args, std::ostream& out) {
    const RenderOptions options = parseRenderOptions(args);
    if (options.help) {
        deliver(out, usageText());
        return;
    }
    const RenderResult result = render(options);
    if (options.bmpPath)
        writeFileSafely(*options.bmpPath, encodeBmp24(kPictureSide, kPictureSide, picture(options, result)));
    deliver(out, summaryLine(result) + '\n');
}

int statusFor(const std::exception& error) {
    // A region that cannot be scanned comes from the command line's numbers.
    const bool badCommandLine =
        dynamic_cast<const UsageError*>(&error) != nullptr || dynamic_cast<const SettingsError*>(&error) != nullptr;
    return badCommandLine ? kExitUsage : kExitFailure;
}

}  // namespace

RenderResult render(const RenderOptions& options) {
    const RenderSettings& s = options.settings;
    RenderResult result;
    result.plan = planScan(s.amin, s.bmin, s.side, s.cside, static_cast<float>(kPictureSide));
    result.counts.assign(result.plan.pointCount(), 0);

    std::vector<double> times;
    for (unsigned run = 0; run < options.repeat; ++run) {
        const auto start = std::chrono::steady_clock::now();
        if (options.scalar)
            escapeCountsReference(result.plan, s.cmax, result.counts);
        else
            escapeCountsFast(result.plan, s.cmax, result.counts, options.threads);
        const auto stop = std::chrono::steady_clock::now();
        times.push_back(std::chrono::duration<double, std::milli>(stop - start).count());
    }
    result.medianMs = median(times);
    result.iterations = std::accumulate(result.counts.begin(), result.counts.end(), 0LL);
    return result;
}

std::string summaryLine(const RenderResult& result) {
    char ms[64];
    std::snprintf(ms, sizeof ms, "%.3f", result.medianMs);
    return "points_per_row=" + std::to_string(result.plan.pointsPerRow()) +
           " rows=" + std::to_string(result.plan.rows()) + " iterations=" + std::to_string(result.iterations) +
           " ms=" + ms;
}

std::vector<std::uint32_t> picture(const RenderOptions& options, const RenderResult& result) {
    const RenderSettings& s = options.settings;
    const std::vector<std::uint32_t> colours = colourTableByCount(s.cmax, s.cstep, s.limit());
    const std::size_t side = kPictureSide;
    const std::size_t width = result.plan.pointsPerRow();
    const std::size_t rows = result.plan.rows();
    std::vector<std::uint32_t> pixels(side * side, 0);
    for (std::size_t y = 0; y < std::min(side, rows); ++y)
        for (std::size_t x = 0; x < std::min(side, width); ++x)
            pixels[y * side + x] = colours[static_cast<std::size_t>(result.counts[y * width + x])];
    return pixels;
}

std::string errorLine(const std::exception& error) {
    const auto* fileError = dynamic_cast<const FileWriteError*>(&error);
    if (fileError != nullptr && !fileError->reason().empty())
        return "cannot write " + printable(fileError->path()) + ": " + oneLine(fileError->reason());
    if (dynamic_cast<const std::bad_alloc*>(&error) != nullptr) return "out of memory";
    return oneLine(error.what());
}

int runRenderTool(std::span<const std::string_view> args, std::ostream& out, std::ostream& err) {
    try {
        run(args, out);
        return kExitSuccess;
    } catch (const std::exception& error) {
        try {
            err << "mandelbrot-render: " << errorLine(error) << '\n';
        } catch (const std::bad_alloc&) {  // no memory left even for the message
            err << "mandelbrot-render: out of memory\n";
        }
        err.flush();
        return statusFor(error);
    }
}

}  // namespace mandel::tool
