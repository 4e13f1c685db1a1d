#pragma once

// The bookkeeping files of a keyframes folder, plain "key value" lines:
// - zoom.txt: the zoom's parameters (size, deepest view, LIMIT, keyframe
//   count, the renderer's options); every task and every rerun checks that
//   it renders the same zoom.
// - keyframe-K.txt: one finished keyframe's location, limit, base, colouring
//   (the picture's, as the renderer's options, and the zoom's colour map) and
//   the SHA-256 of its picture, count map and smooth map. Written last, so a
//   keyframe without a matching record is not finished.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "deep/deep_view.h"

namespace mandel::movie {

inline constexpr const char* kZoomFileName = "zoom.txt";
inline constexpr const char* kReferenceFileName = "reference.orbit";
// A keyframe's continuous counts (float32 .npy) beside its count map.
inline constexpr const char* kSmoothMapExtension = ".smooth.npy";

struct ZoomParameters {
    DeepView deepest;  // keyframe 0's view with LIMIT
    int keyframes = 0;
    std::vector<std::string> options;  // the renderer's arguments as recorded

    bool operator==(const ZoomParameters&) const = default;
};

std::string zoomParametersText(const ZoomParameters& parameters);
// nullopt when the file is missing or not such a text.
std::optional<ZoomParameters> readZoomParameters(const std::string& path);

struct KeyframeRecord {
    int index = 0;
    DeepView view;  // with the keyframe's own limit
    std::int64_t base = 0;
    std::string pngSha256;
    std::string countsSha256;
    std::string colouring;     // the picture's colouring, as the renderer's options
    std::string colourMap;     // the zoom's colour map (colourMapText); empty in bands
    std::string smoothSha256;  // of its smooth map; empty in bands (no smooth map)
};

// "DIR/keyframe-000012" + extension (".png", ".npy", ".txt", kSmoothMapExtension).
std::string keyframePath(const std::string& dir, int index, const char* extension);

std::string keyframeRecordText(const KeyframeRecord& record);
std::optional<KeyframeRecord> readKeyframeRecord(const std::string& path);

// The record of keyframe `index` when its picture and count map are there
// and match the digests it holds; nullopt otherwise (missing, damaged,
// unfinished).
std::optional<KeyframeRecord> finishedKeyframe(const std::string& dir, int index);

}  // namespace mandel::movie
