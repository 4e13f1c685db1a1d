#include "zoom_run.h"

#include <cstdio>
#include <cstdlib>
#include <ostream>

#include "deep/deep_memory.h"
#include "movie/zoom_keyframes.h"
#include "movie/zoom_movie.h"
#include "progress_bar.h"
#include "render_run.h"
#include "zoom_options.h"

namespace mandel::tool {

namespace {

const char* environment(const char* name) { return std::getenv(name); }

// The keyframes; one summary line on out: "keyframes=K rendered=R skipped=S ms=T".
void runKeyframes(const movie::KeyframeOptions& options, std::ostream& out, std::ostream& err, bool showProgress) {
    const movie::KeyframesSummary summary = movie::renderKeyframes(options, err, showProgress);
    char ms[64];
    std::snprintf(ms, sizeof ms, "%.3f", summary.ms);
    deliver(out, "keyframes=" + std::to_string(summary.keyframes) + " rendered=" + std::to_string(summary.rendered) +
                     " skipped=" + std::to_string(summary.skipped) + " ms=" + ms + "\n");
}

// The movie; one summary line on out: "frames=F size=WxH ms=T fps=R path=P".
void runMovie(const movie::MovieOptions& options, std::ostream& out, std::ostream& err, bool showProgress,
              const std::atomic<bool>* stop) {
    ProgressBar bar(err);
    movie::MovieProgress progress;
    if (showProgress) progress = [&bar](int done, int total) { bar.update(done, total); };
    movie::MovieSummary summary;
    try {
        summary = movie::makeMovie(options, stop, progress);
    } catch (...) {
        bar.clear();
        throw;
    }
    bar.clear();
    char line[256];
    std::snprintf(line, sizeof line, "frames=%d size=%dx%d ms=%.3f fps=%.1f path=", summary.frames, summary.width,
                  summary.height, summary.ms, summary.framesPerSecond);
    deliver(out, line + options.outPath + "\n");
}

void run(std::span<const std::string_view> args, std::ostream& out, std::ostream& err, bool showProgress,
         const std::atomic<bool>* stop) {
    if (args.empty()) throw UsageError("a subcommand is needed: keyframes or movie (-h for the usage)");
    const std::string_view command = args.front();
    const std::span<const std::string_view> rest = args.subspan(1);
    if (command == "-h" || command == "--help") {
        deliver(out, zoomUsageText());
    } else if (command == "keyframes") {
        const KeyframeCommand keyframesCommand = parseKeyframeOptions(rest, environment);
        if (keyframesCommand.help) return deliver(out, zoomUsageText());
        runKeyframes(keyframesCommand.options, out, err, showProgress);
    } else if (command == "movie") {
        const MovieCommand movieCommand = parseMovieOptions(rest);
        if (movieCommand.help) return deliver(out, zoomUsageText());
        runMovie(movieCommand.options, out, err, showProgress, stop);
    } else {
        throw UsageError("unknown subcommand \"" + std::string(command) + "\": keyframes or movie");
    }
}

int statusOf(const std::exception& error) {
    if (dynamic_cast<const UsageError*>(&error) || dynamic_cast<const movie::OtherZoomError*>(&error) ||
        dynamic_cast<const DeepMemoryError*>(&error))
        return kExitUsage;
    return kExitFailure;
}

}  // namespace

int runZoomTool(std::span<const std::string_view> args, std::ostream& out, std::ostream& err, bool showProgress,
                const std::atomic<bool>* stop) {
    try {
        run(args, out, err, showProgress, stop);
        return kExitSuccess;
    } catch (const std::exception& error) {
        try {
            err << "mandelbrot-zoom: " << errorLine(error) << '\n';
        } catch (const std::bad_alloc&) {
            err << "mandelbrot-zoom: out of memory\n";
        }
        err.flush();
        return statusOf(error);
    }
}

}  // namespace mandel::tool
