// Zoom movies: keyframes of a zoom rendered by the deep engine (split over
// any number of tasks, resumable), and the movie made from them.
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <iostream>
#include <new>
#include <string_view>
#include <vector>

#include "files/fatal_signals.h"
#include "zoom_run.h"

namespace {

std::atomic<bool> stopRequested{false};

void requestStop(int) { stopRequested.store(true); }

void installSignalHandlers(bool movie) {
    // A half-written keyframe must not outlive the process that was writing it.
    if (movie) {
        // The movie stops between frames instead, and removes its unfinished file.
        mandel::removeUnfinishedFilesOnFatalSignals({SIGINT, SIGTERM, SIGHUP});
        struct sigaction action = {};
        action.sa_handler = requestStop;
        sigemptyset(&action.sa_mask);
        for (const int signal : {SIGINT, SIGTERM, SIGHUP}) sigaction(signal, &action, nullptr);
    } else {
        mandel::removeUnfinishedFilesOnFatalSignals();
    }
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGXFSZ, SIG_IGN);
}

}  // namespace

int main(int argc, char** argv) {
    try {
        const std::vector<std::string_view> args(argv + 1, argv + argc);
        installSignalHandlers(!args.empty() && args.front() == "movie");
        return mandel::tool::runZoomTool(args, std::cout, std::cerr, isatty(STDERR_FILENO) == 1, &stopRequested);
    } catch (const std::bad_alloc&) {
        std::fputs("mandelbrot-zoom: out of memory\n", stderr);
        return 1;
    }
}
