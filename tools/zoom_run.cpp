#include "zoom_run.h"

#include <cstdlib>
#include <ostream>

#include "deep/deep_memory.h"
#include "render_run.h"
#include "zoom_keyframes.h"
#include "zoom_movie.h"

namespace mandel::tool {

namespace {

const char* environment(const char* name) { return std::getenv(name); }

void run(std::span<const std::string_view> args, std::ostream& out, std::ostream& err, bool showProgress,
         const std::atomic<bool>* stop) {
    if (args.empty()) throw UsageError("a subcommand is needed: keyframes or movie (-h for the usage)");
    const std::string_view command = args.front();
    const std::span<const std::string_view> rest = args.subspan(1);
    if (command == "-h" || command == "--help") {
        deliver(out, zoomUsageText());
    } else if (command == "keyframes") {
        const KeyframeOptions options = parseKeyframeOptions(rest, environment);
        if (options.help) return deliver(out, zoomUsageText());
        runKeyframes(options, out, err, showProgress);
    } else if (command == "movie") {
        const MovieOptions options = parseMovieOptions(rest);
        if (options.help) return deliver(out, zoomUsageText());
        runMovie(options, out, err, showProgress, stop);
    } else {
        throw UsageError("unknown subcommand \"" + std::string(command) + "\": keyframes or movie");
    }
}

int statusOf(const std::exception& error) {
    if (dynamic_cast<const UsageError*>(&error) || dynamic_cast<const OtherZoomError*>(&error) ||
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
