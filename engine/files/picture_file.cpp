#include "files/picture_file.h"

#include <algorithm>
#include <cctype>

#include "files/bmp_picture_writer.h"
#include "files/png_picture_writer.h"
#include "files/program_version.h"

namespace mandel {

std::string pictureSoftwareText() {
    return std::string(picture_text::kProgramName) + " " + std::string(kProgramVersion);
}

PictureFormat pictureFormatForPath(std::string_view path) {
    constexpr std::string_view kBmpSuffix = ".bmp";
    if (path.size() < kBmpSuffix.size()) return PictureFormat::Png;
    const std::string_view suffix = path.substr(path.size() - kBmpSuffix.size());
    const bool isBmp = std::equal(suffix.begin(), suffix.end(), kBmpSuffix.begin(),
                                  [](char a, char b) { return std::tolower(static_cast<unsigned char>(a)) == b; });
    return isBmp ? PictureFormat::Bmp : PictureFormat::Png;
}

std::vector<std::pair<std::string, std::string>> pictureTextFields(const PictureFacts& facts) {
    using namespace picture_text;
    return {
        {kSoftware, pictureSoftwareText()}, {kRealMin, facts.region.real}, {kImagMin, facts.region.imag},
        {kSide, facts.region.side},         {kLimit, facts.region.limit},  {kSize, std::to_string(facts.size)},
        {kArithmetic, kSinglePrecision},
    };
}

std::unique_ptr<PictureSink> openPictureFile(const std::string& path, PictureFormat format, const PictureFacts& facts) {
    if (format == PictureFormat::Bmp) return std::make_unique<BmpPictureWriter>(path, facts.size, facts.size);
    return std::make_unique<PngPictureWriter>(path, facts.size, facts.size, pictureTextFields(facts));
}

}  // namespace mandel
