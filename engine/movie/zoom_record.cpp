#include "movie/zoom_record.h"

#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>

#include "deep/deep_picture_file.h"
#include "files/sha256.h"

namespace mandel::movie {

namespace {

constexpr const char* kZoomHeader = "mandelbrot-zoom keyframes 1";
constexpr const char* kRecordHeader = "mandelbrot-zoom keyframe 2";

// The lines after the header as key → rest of the line; nullopt when the
// file is missing, its header is not `header`, or a key repeats.
std::optional<std::map<std::string, std::string>> readFields(const std::string& path, const char* header) {
    std::ifstream in(path);
    std::string line;
    if (!in || !std::getline(in, line) || line != header) return std::nullopt;
    std::map<std::string, std::string> fields;
    while (std::getline(in, line)) {
        const std::size_t space = line.find(' ');
        const std::string key = line.substr(0, space);
        const std::string value = space == std::string::npos ? "" : line.substr(space + 1);
        if (!fields.emplace(key, value).second) return std::nullopt;
    }
    return fields;
}

std::optional<std::int64_t> number(const std::map<std::string, std::string>& fields, const std::string& key) {
    const auto found = fields.find(key);
    if (found == fields.end()) return std::nullopt;
    std::int64_t value = 0;
    std::size_t used = 0;
    try {
        value = std::stoll(found->second, &used);
    } catch (const std::exception&) {
        return std::nullopt;
    }
    if (used != found->second.size()) return std::nullopt;
    return value;
}

std::string locationText(const DeepView& view) {
    return "size " + pictureSizeText(view.width, view.height) + "\nreal_min " + view.location.realMin + "\nimag_min " +
           view.location.imagMin + "\nside " + view.location.side + "\nlimit " + std::to_string(view.location.limit) +
           "\n";
}

std::optional<DeepView> readLocation(const std::map<std::string, std::string>& fields) {
    const auto text = [&](const char* key) {
        const auto found = fields.find(key);
        return found == fields.end() ? std::string() : found->second;
    };
    const std::optional<PictureSize> size = parsePictureSizeText(text("size"));
    const std::optional<std::int64_t> limit = number(fields, "limit");
    if (!size || !limit) return std::nullopt;
    DeepView view{{text("real_min"), text("imag_min"), text("side"), *limit}, size->width, size->height};
    if (!deepViewProblem(view).empty()) return std::nullopt;
    return view;
}

}  // namespace

std::string zoomParametersText(const ZoomParameters& parameters) {
    std::string text = std::string(kZoomHeader) + "\n" + locationText(parameters.deepest) + "keyframes " +
                       std::to_string(parameters.keyframes) + "\noptions";
    for (const std::string& option : parameters.options) text += " " + option;
    return text + "\n";
}

std::optional<ZoomParameters> readZoomParameters(const std::string& path) {
    const auto fields = readFields(path, kZoomHeader);
    if (!fields) return std::nullopt;
    const std::optional<DeepView> view = readLocation(*fields);
    const std::optional<std::int64_t> keyframes = number(*fields, "keyframes");
    const auto options = fields->find("options");
    if (!view || !keyframes || *keyframes < 1 || options == fields->end()) return std::nullopt;
    ZoomParameters parameters{*view, static_cast<int>(*keyframes), {}};
    std::istringstream words(options->second);
    for (std::string word; words >> word;) parameters.options.push_back(word);
    return parameters;
}

std::string keyframePath(const std::string& dir, int index, const char* extension) {
    char name[32];
    std::snprintf(name, sizeof name, "keyframe-%06d", index);
    return dir + "/" + name + extension;
}

std::string keyframeRecordText(const KeyframeRecord& record) {
    return std::string(kRecordHeader) + "\nindex " + std::to_string(record.index) + "\n" + locationText(record.view) +
           "base " + std::to_string(record.base) + "\ncolouring " + record.colouring + "\ncolour_map " +
           (record.colourMap.empty() ? "-" : record.colourMap) + "\npng_sha256 " + record.pngSha256 +
           "\ncounts_sha256 " + record.countsSha256 + "\nsmooth_sha256 " +
           (record.smoothSha256.empty() ? "-" : record.smoothSha256) + "\n";
}

std::optional<KeyframeRecord> readKeyframeRecord(const std::string& path) {
    const auto fields = readFields(path, kRecordHeader);
    if (!fields) return std::nullopt;
    const std::optional<DeepView> view = readLocation(*fields);
    const std::optional<std::int64_t> index = number(*fields, "index");
    const std::optional<std::int64_t> base = number(*fields, "base");
    if (!view || !index || !base || *base < 0 || *base >= view->location.limit) return std::nullopt;
    const auto png = fields->find("png_sha256"), counts = fields->find("counts_sha256");
    const auto colouring = fields->find("colouring"), map = fields->find("colour_map");
    const auto smooth = fields->find("smooth_sha256");
    if (png == fields->end() || counts == fields->end() || colouring == fields->end() || map == fields->end() ||
        smooth == fields->end())
        return std::nullopt;
    const auto unlessDash = [](const std::string& text) { return text == "-" ? std::string() : text; };
    return KeyframeRecord{static_cast<int>(*index),
                          *view,
                          *base,
                          png->second,
                          counts->second,
                          colouring->second,
                          unlessDash(map->second),
                          unlessDash(smooth->second)};
}

std::optional<KeyframeRecord> finishedKeyframe(const std::string& dir, int index) {
    std::optional<KeyframeRecord> record = readKeyframeRecord(keyframePath(dir, index, ".txt"));
    if (!record || record->index != index) return std::nullopt;
    if (record->pngSha256.empty() || sha256OfFile(keyframePath(dir, index, ".png")) != record->pngSha256)
        return std::nullopt;
    if (record->countsSha256.empty() || sha256OfFile(keyframePath(dir, index, ".npy")) != record->countsSha256)
        return std::nullopt;
    if (!record->smoothSha256.empty() &&
        sha256OfFile(keyframePath(dir, index, kSmoothMapExtension)) != record->smoothSha256)
        return std::nullopt;
    return record;
}

}  // namespace mandel::movie
