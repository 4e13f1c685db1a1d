#include "deep/deep_picture_file.h"

#include <charconv>

#include "deep/deep_picture_colours.h"
#include "files/bmp_picture_writer.h"
#include "files/png_picture_writer.h"
#include "files/whole_png_writer.h"

namespace mandel {

namespace {

// A whole number of digits only, in min..max.
std::optional<int> parseSide(std::string_view text) {
    int value = 0;
    if (text.empty() || text.front() < '0' || text.front() > '9') return std::nullopt;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    if (value < kMinPictureSize || value > kMaxPictureSize) return std::nullopt;
    return value;
}

}  // namespace

std::string pictureSizeText(int width, int height) {
    if (width == height) return std::to_string(width);
    return std::to_string(width) + "x" + std::to_string(height);
}

std::optional<PictureSize> parsePictureSizeText(std::string_view text) {
    const std::size_t cross = text.find('x');
    if (cross == std::string_view::npos) {
        const std::optional<int> side = parseSide(text);
        if (!side) return std::nullopt;
        return PictureSize{*side, *side};
    }
    const std::optional<int> width = parseSide(text.substr(0, cross));
    const std::optional<int> height = parseSide(text.substr(cross + 1));
    if (!width || !height) return std::nullopt;
    return PictureSize{*width, *height};
}

std::vector<std::pair<std::string, std::string>> deepPictureTextFields(const DeepPictureFacts& facts) {
    using namespace picture_text;
    const DeepLocation& location = facts.view.location;
    std::vector<std::pair<std::string, std::string>> fields = {
        {kSoftware, pictureSoftwareText()},
        {kRealMin, location.realMin},
        {kImagMin, location.imagMin},
        {kSide, location.side},
        {kLimit, std::to_string(location.limit)},
        {kBase, std::to_string(facts.base)},
        {kSize, pictureSizeText(facts.view.width, facts.view.height)},
        {kArithmetic, kDeep},
    };
    // Bands at one sample, the colouring of every picture before there was a
    // choice, leave their files as they were.
    if (!usesColourIndices(facts.colouring)) fields.emplace_back(kColouringField, colouringArguments(facts.colouring));
    return fields;
}

std::unique_ptr<PictureSink> openDeepPictureFile(const std::string& path, PictureFormat format,
                                                 const DeepPictureFacts& facts) {
    const auto width = static_cast<std::size_t>(facts.view.width);
    const auto height = static_cast<std::size_t>(facts.view.height);
    if (format == PictureFormat::Bmp) return std::make_unique<BmpPictureWriter>(path, width, height);
    const PngColours colours = usesColourIndices(facts.colouring) ? PngColours::Indexed : PngColours::TrueColour;
    if (colours == PngColours::TrueColour && trueColourPngBytes(width, height) <= kWholePngBytes)
        return std::make_unique<WholePngWriter>(path, width, height, deepPictureTextFields(facts));
    return std::make_unique<PngPictureWriter>(path, width, height, deepPictureTextFields(facts), PngCompression{},
                                              colours);
}

}  // namespace mandel
