#pragma once

#include <string>

namespace mandel::tool {

// Writes the program's icon picture (mandel::iconPicture) at size × size
// pixels as an 8-bit RGB PNG file. Returns an empty string on success, else
// why the file could not be written.
std::string writeIconPng(int size, const std::string& path);

}  // namespace mandel::tool
