#pragma once

// Whether a path names the file that is open as standard output.

#include <string>

namespace mandel {

// True when path (after following links) is the very file descriptor 1
// writes to: /dev/stdout, /proc/self/fd/1, or the path of the file that
// standard output was redirected to.
bool isStandardOutput(const std::string& path);

}  // namespace mandel
