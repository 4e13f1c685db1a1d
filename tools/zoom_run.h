#pragma once

// The whole mandelbrot-zoom program after its name: the subcommand, its run,
// and every failure as one line on err with the exit status (0, 1, or 2 for
// a bad command line, a folder of another zoom, or a drawing above its
// memory budget).

#include <atomic>
#include <iosfwd>
#include <span>
#include <string_view>

namespace mandel::tool {

int runZoomTool(std::span<const std::string_view> args, std::ostream& out, std::ostream& err, bool showProgress,
                const std::atomic<bool>* stop);

}  // namespace mandel::tool
