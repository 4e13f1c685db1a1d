// Writes the program's icon as a PNG file of the given size; the build runs
// it for each size that is installed into the desktop's icon theme.
//   mandelbrot-icon SIZE OUT.png
#include <iostream>
#include <string>

#include "icon_png.h"
#include "render_options.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "usage: mandelbrot-icon SIZE OUT.png\n";
        return 2;
    }
    int size = 0;
    try {
        size = static_cast<int>(mandel::tool::parseCount("SIZE", argv[1], 1024));
    } catch (const mandel::tool::UsageError& e) {
        std::cerr << "mandelbrot-icon: " << e.what() << '\n';
        return 2;
    }
    if (const std::string error = mandel::tool::writeIconPng(size, argv[2]); !error.empty()) {
        std::cerr << "mandelbrot-icon: cannot write " << argv[2] << ": " << error << '\n';
        return 1;
    }
    return 0;
}
