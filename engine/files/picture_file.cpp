#include "files/picture_file.h"

#include <algorithm>
#include <cctype>

#include "files/bmp_picture_writer.h"
#include "files/png_picture_writer.h"

namespace mandel {

namespace {

// The program as the files name it; the version comes from the build.
constexpr const char* kProgramName = "mandelbrot";
constexpr const char* kProgramVersion = MANDEL_PROGRAM_VERSION;

}  // namespace

PictureFormat pictureFormatForPath(std::string_view path) {
    constexpr std::string_view kBmpSuffix = ".bmp";
    if (path.size() < kBmpSuffix.size()) return PictureFormat::Png;
    const std::string_view suffix = path.substr(path.size() - kBmpSuffix.size());
    const bool isBmp = std::equal(suffix.begin(), suffix.end(), kBmpSuffix.begin(), [](char a, char b) {
        return std::tolower(static_cast<unsigned char>(a)) == b;
    });
    return isBmp ? PictureFormat::Bmp : PictureFormat::Png;
}

std::vector<std::pair<std::string, std::string>> pictureTextFields(const PictureFacts& facts) {
    return {
        {"Software", std::string(kProgramName) + " " + kProgramVersion},
        {"Real-part minimum", facts.region.real},
        {"Imaginary-part minimum", facts.region.imag},
        {"Side length", facts.region.side},
        {"Iteration limit", facts.region.limit},
        {"Size", std::to_string(facts.size)},
    };
}

std::unique_ptr<PictureSink> openPictureFile(const std::string& path, PictureFormat format, const PictureFacts& facts) {
    if (format == PictureFormat::Bmp) return std::make_unique<BmpPictureWriter>(path, facts.size);
    return std::make_unique<PngPictureWriter>(path, facts.size, pictureTextFields(facts));
}

}  // namespace mandel
