// Headless renderer: draws one region with the window's engine and reports
// its counts and timing; optionally writes the picture, of any size, as PNG
// and BMP files.
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <new>
#include <string_view>
#include <vector>

#include "render_run.h"
#include "files/safe_file.h"
#include "files/fatal_signals.h"

namespace {

void installSignalHandlers() {
    // A half-written picture must not outlive the process that was writing it.
    mandel::removeUnfinishedFilesOnFatalSignals();
    // A closed pipe or a file larger than the size limit then fails its write
    // and is reported like any other failed write, instead of ending the process.
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGXFSZ, SIG_IGN);
}

}  // namespace

int main(int argc, char** argv) {
    installSignalHandlers();
    // Lets the tests try the hidden temporary file that file systems without
    // unnamed files get.
    if (std::getenv("MANDEL_NAMED_TEMPORARY_FILES") != nullptr) mandel::safeFileCalls().unnamedFiles = false;
    try {
        const std::vector<std::string_view> args(argv + 1, argv + argc);
        return mandel::tool::runRenderTool(args, std::cout, std::cerr, isatty(STDERR_FILENO) == 1);
    } catch (const std::bad_alloc&) {  // not even room for the argument list
        std::fputs("mandelbrot-render: out of memory\n", stderr);
        return mandel::tool::kExitFailure;
    }
}
