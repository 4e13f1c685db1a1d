#include "render_run.h"

#include <cerrno>
#include <cstdio>
#include <new>
#include <ostream>
#include <system_error>

#include "deep/deep_memory.h"
#include "deep_render.h"
#include "drawing/picture_fidelity.h"
#include "message_text.h"
#include "files/picture_file.h"
#include "progress_bar.h"
#include "files/safe_file.h"
#include "files/standard_output.h"
#include "timing.h"

namespace mandel::tool {

namespace {

// The files asked for, opened (created) before anything is drawn.
std::vector<std::unique_ptr<PictureSink>> openFiles(const RenderOptions& options) {
    const PictureFacts facts{options.region, static_cast<std::size_t>(options.size)};
    std::vector<std::unique_ptr<PictureSink>> files;
    if (options.pngPath) files.push_back(openPictureFile(*options.pngPath, PictureFormat::Png, facts));
    if (options.bmpPath) files.push_back(openPictureFile(*options.bmpPath, PictureFormat::Bmp, facts));
    return files;
}

// One line on err where, at the chosen size, the single-precision drawing does
// not show the region its texts name. At 500 the drawing is the window's own,
// which is what it is by definition.
void warnWhereThePictureMisses(const RenderOptions& options, std::ostream& err) {
    if (options.size == kDefaultPictureSize) return;
    const PictureScan scan = planPictureScan(options.region, options.size, ScanExtent::Picture);
    const std::string problem = singlePrecisionPictureProblem(scan, options.region);
    if (problem.empty()) return;
    err << "mandelbrot-render: warning: at size " << options.size
        << " the single-precision drawing does not show this region (" << problem
        << "); --deep draws the region itself\n";
    err.flush();
}

// Does the work; every failure is an exception.
void run(std::span<const std::string_view> args, std::ostream& out, std::ostream& err, bool showProgress) {
    if (asksForDeep(args)) {
        const DeepRenderOptions options = parseDeepRenderOptions(args);
        if (options.help) {
            deliver(out, usageText());
            return;
        }
        runDeepRender(options, out, err, showProgress);
        return;
    }
    const RenderOptions options = parseRenderOptions(args);
    if (options.help) {
        deliver(out, usageText());
        return;
    }
    warnWhereThePictureMisses(options, err);
    // A picture sent to standard output is not to be followed by the summary.
    const bool pictureOnOutput = (options.pngPath && isStandardOutput(*options.pngPath)) ||
                                 (options.bmpPath && isStandardOutput(*options.bmpPath));
    const std::vector<std::unique_ptr<PictureSink>> files = openFiles(options);
    std::vector<PictureSink*> sinks;
    for (const auto& file : files) sinks.push_back(file.get());
    ProgressBar bar(err);
    RenderProgress progress;
    if (showProgress)
        progress = [&bar](ProgressPhase phase, std::size_t done, std::size_t total) { bar.update(phase, done, total); };
    RenderSummary summary;
    try {
        summary = renderInBands(options, sinks, progress);
    } catch (...) {
        bar.clear();
        throw;
    }
    bar.clear();
    deliver(pictureOnOutput ? err : out, summaryLine(summary) + '\n');
}

int statusFor(const std::exception& error) {
    // A region that cannot be scanned comes from the command line's numbers,
    // and so does a deep drawing above its memory budget: its limit and size.
    const bool badCommandLine = dynamic_cast<const UsageError*>(&error) != nullptr ||
                                dynamic_cast<const SettingsError*>(&error) != nullptr ||
                                dynamic_cast<const DeepMemoryError*>(&error) != nullptr;
    return badCommandLine ? kExitUsage : kExitFailure;
}

}  // namespace

RenderSummary renderInBands(const RenderOptions& options, std::span<PictureSink* const> files,
                            const RenderProgress& progress) {
    const PictureScan scan = planPictureScan(options.region, options.size, ScanExtent::WholePass);
    DrawOptions draw;
    draw.blocks.reference = options.scalar;
    draw.blocks.fast.threads = options.threads;
    const std::size_t rowsPerDrawing = scan.size;
    std::size_t rowsBefore = 0;  // rows of the earlier repeats
    if (progress)
        draw.progress = [&](const DrawProgress& p) {
            progress(ProgressPhase::Rows, rowsBefore + p.rowsDone, rowsPerDrawing * options.repeat);
            return true;
        };

    RenderSummary summary{scan.passPointsPerRow, scan.passRows, 0, 0};
    std::vector<double> times;
    for (unsigned run = 0; run < options.repeat; ++run, rowsBefore += rowsPerDrawing) {
        const bool last = run + 1 == options.repeat;
        const DrawResult result = drawPicture(scan, last ? files : std::span<PictureSink* const>(), draw);
        times.push_back(result.timing.computeMs);
        summary.iterations = result.passIterations;
    }
    summary.medianMs = median(times);
    return summary;
}

std::string usageText() { return singleUsageText() + "\n" + deepUsageText(); }

std::string summaryLine(const RenderSummary& summary) {
    char ms[64];
    std::snprintf(ms, sizeof ms, "%.3f", summary.medianMs);
    return "points_per_row=" + std::to_string(summary.pointsPerRow) + " rows=" + std::to_string(summary.rows) +
           " iterations=" + std::to_string(summary.iterations) + " ms=" + ms;
}

std::string errorLine(const std::exception& error) {
    const auto* fileError = dynamic_cast<const FileWriteError*>(&error);
    if (fileError != nullptr && !fileError->reason().empty())
        return "cannot write " + printable(fileError->path()) + ": " + oneLine(fileError->reason());
    if (dynamic_cast<const std::bad_alloc*>(&error) != nullptr) return "out of memory";
    return oneLine(error.what());
}

int runRenderTool(std::span<const std::string_view> args, std::ostream& out, std::ostream& err, bool showProgress) {
    try {
        run(args, out, err, showProgress);
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
