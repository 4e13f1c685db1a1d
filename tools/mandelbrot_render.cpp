// Headless renderer: draws one region with the window's engine and reports
// its counts and timing; optionally writes the picture as a BMP file.
#include <iostream>
#include <string_view>
#include <vector>

#include "render_run.h"

int main(int argc, char** argv) {
    const std::vector<std::string_view> args(argv + 1, argv + argc);
    return mandel::tool::runRenderTool(args, std::cout, std::cerr);
}
