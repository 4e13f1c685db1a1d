#include "zoom_movie.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <map>
#include <ostream>

#include "deep/deep_picture_file.h"
#include "progress_bar.h"
#include "zoom_encoder.h"
#include "zoom_frames.h"
#include "zoom_record.h"

namespace mandel::tool {

namespace {

// Keyframes kept in memory: a frame needs its inner keyframe and the next
// one or two out.
constexpr std::size_t kKeptKeyframes = 4;

// The folder's zoom, every keyframe checked against its record.
ZoomParameters finishedZoom(const std::string& dir, std::vector<KeyframeRecord>& records) {
    const std::optional<ZoomParameters> zoom = readZoomParameters(dir + "/" + kZoomFileName);
    if (!zoom) throw KeyframesMissingError(dir + " holds no keyframes of mandelbrot-zoom (no " + kZoomFileName + ")");
    records.clear();
    for (int k = 0; k < zoom->keyframes; ++k) {
        std::optional<KeyframeRecord> record = finishedKeyframe(dir, k);
        if (!record)
            throw KeyframesMissingError("keyframe " + std::to_string(k) + " of " + dir +
                                        " is missing or damaged: run mandelbrot-zoom keyframes again");
        records.push_back(std::move(*record));
    }
    return *zoom;
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

    std::map<int, MovieKeyframe> kept;
    const KeyframeSource source = [&](int k) -> const MovieKeyframe& {
        if (const auto found = kept.find(k); found != kept.end()) return found->second;
        if (kept.size() >= kKeptKeyframes) kept.erase(kept.begin());  // the deepest: frames only move out
        const KeyframeRecord& record = records[static_cast<std::size_t>(k)];
        MovieKeyframe key{record.view.width, record.view.height, record.view.location.limit, record.base, {}};
        key.counts = readCountMap(keyframePath(options.dir, k, ".npy"), key.width, key.height);
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

void runMovie(const MovieOptions& options, std::ostream& out, std::ostream& err, bool showProgress,
              const std::atomic<bool>* stop) {
    ProgressBar bar(err);
    MovieProgress progress;
    if (showProgress) progress = [&bar](int done, int total) { bar.update(done, total); };
    MovieSummary summary;
    try {
        summary = makeMovie(options, stop, progress);
    } catch (...) {
        bar.clear();
        throw;
    }
    bar.clear();
    char line[256];
    std::snprintf(line, sizeof line, "frames=%d size=%dx%d ms=%.3f fps=%.1f path=", summary.frames, summary.width,
                  summary.height, summary.ms, summary.framesPerSecond);
    deliver(out, line + options.outPath + "\n");
}

}  // namespace mandel::tool
