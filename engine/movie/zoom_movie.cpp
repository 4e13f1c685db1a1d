#include "movie/zoom_movie.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <algorithm>
#include <atomic>
#include <map>
#include <thread>
#include <optional>
#include <ostream>

#include "deep/deep_picture_file.h"
#include "movie/zoom_encoder.h"
#include "movie/zoom_frames.h"
#include "movie/zoom_record.h"

namespace mandel::movie {

namespace {

// Keyframes kept in memory: a frame needs its inner keyframe and the next
// one or two out.
constexpr std::size_t kKeptKeyframes = 4;

// The folder's zoom, every keyframe checked against its record (the
// digests of a few hundred megabytes: on every core).
ZoomParameters finishedZoom(const std::string& dir, std::vector<KeyframeRecord>& records) {
    const std::optional<ZoomParameters> zoom = readZoomParameters(dir + "/" + kZoomFileName);
    if (!zoom) throw KeyframesMissingError(dir + " holds no keyframes of mandelbrot-zoom (no " + kZoomFileName + ")");
    std::vector<std::optional<KeyframeRecord>> found(static_cast<std::size_t>(zoom->keyframes));
    std::atomic<int> next{0};
    const auto check = [&] {
        for (int k = next++; k < zoom->keyframes; k = next++)
            found[static_cast<std::size_t>(k)] = finishedKeyframe(dir, k);
    };
    std::vector<std::thread> helpers;
    for (unsigned t = 1; t < std::max(1U, std::thread::hardware_concurrency()); ++t) helpers.emplace_back(check);
    check();
    for (std::thread& helper : helpers) helper.join();
    records.clear();
    for (int k = 0; k < zoom->keyframes; ++k) {
        if (!found[static_cast<std::size_t>(k)])
            throw KeyframesMissingError("keyframe " + std::to_string(k) + " of " + dir +
                                        " is missing or damaged: run mandelbrot-zoom keyframes again");
        records.push_back(std::move(*found[static_cast<std::size_t>(k)]));
    }
    return *zoom;
}

// The zoom's colour map and gradient from keyframe 0's record; none in bands.
struct MovieColours {
    std::optional<ZoomColourMap> map;
    const Gradient* gradient = nullptr;
};

MovieColours movieColours(const KeyframeRecord& first) {
    if (first.colourMap.empty()) return {};
    std::string problem;
    const std::optional<ZoomColourMap> map = parseColourMapText(first.colourMap);
    const std::optional<Colouring> colouring = parseColouringArguments(first.colouring, problem);
    const Gradient* gradient = colouring ? findGradient(colouring->palette) : nullptr;
    if (!map || !gradient) throw KeyframesMissingError("the record of keyframe 0 holds no colouring the movie knows");
    return {map, gradient};
}

}  // namespace

MovieSummary makeMovie(const MovieOptions& options, const std::atomic<bool>* stop, const MovieProgress& progress) {
    const auto start = std::chrono::steady_clock::now();
    std::vector<KeyframeRecord> records;
    const ZoomParameters zoom = finishedZoom(options.dir, records);
    MovieSummary summary;
    summary.width = options.size ? options.size->width : zoom.deepest.width;
    summary.height = options.size ? options.size->height : zoom.deepest.height;
    if (summary.width % 2 != 0 || summary.height % 2 != 0)
        throw KeyframesMissingError("the keyframes' size " + pictureSizeText(summary.width, summary.height) +
                                    " is odd; give the movie an even --size");
    summary.frames = static_cast<int>(std::lround(options.fps * options.seconds));

    const MovieColours colours = movieColours(records.front());
    std::map<int, MovieKeyframe> kept;
    const KeyframeSource source = [&](int k) -> const MovieKeyframe& {
        if (const auto found = kept.find(k); found != kept.end()) return found->second;
        if (kept.size() >= kKeptKeyframes) kept.erase(kept.begin());  // the deepest: frames only move out
        const KeyframeRecord& record = records[static_cast<std::size_t>(k)];
        MovieKeyframe key{record.view.width, record.view.height, record.view.location.limit, record.base, {}, {}};
        key.counts = readCountMap(keyframePath(options.dir, k, ".npy"), key.width, key.height);
        if (colours.map) {
            const std::vector<float> nu =
                readSmoothMap(keyframePath(options.dir, k, kSmoothMapExtension), key.width, key.height);
            key.colours = smoothColours(key.counts, nu, key.limit, *colours.map, *colours.gradient);
        }
        return kept.emplace(k, std::move(key)).first->second;
    };
    MovieEncoder encoder(options.outPath, summary.width, summary.height, options.fps);
    std::vector<std::uint8_t> rgb;
    for (int f = 0; f < summary.frames; ++f) {
        if (stop && stop->load()) throw InterruptedError("interrupted");
        composeFrame(source, zoom.keyframes, frameZoom(f, summary.frames, zoom.keyframes), summary.width,
                     summary.height, rgb);
        try {
            encoder.write(rgb);
        } catch (const EncodingError&) {
            if (stop && stop->load()) throw InterruptedError("interrupted");
            throw;
        }
        if (progress) progress(f + 1, summary.frames);
    }
    encoder.finish();
    summary.ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    summary.framesPerSecond = summary.ms > 0 ? summary.frames * 1000.0 / summary.ms : 0;
    return summary;
}

}  // namespace mandel::movie
