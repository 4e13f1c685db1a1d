#include "files/standard_output.h"

#include <sys/stat.h>
#include <unistd.h>

namespace mandel {

bool isStandardOutput(const std::string& path) {
    struct stat given {
    }, output{};
    return ::fstat(STDOUT_FILENO, &output) == 0 && ::stat(path.c_str(), &given) == 0 && given.st_dev == output.st_dev &&
           given.st_ino == output.st_ino;
}

}  // namespace mandel
