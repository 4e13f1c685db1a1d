#include "zoom_keyframes.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <ostream>
#include <vector>

#include "deep/deep_drawing.h"
#include "deep/reference_file.h"
#include "files/safe_file.h"
#include "files/sha256.h"
#include "message_text.h"
#include "zoom_movie.h"
#include "zoom_plan.h"
#include "zoom_record.h"

namespace mandel::tool {

namespace {

// The longer edge of the drawing the limit rule is applied to.
constexpr int kProbeLongerSide = 160;
// Raises of the limit at most, as the rule asks for them one drawing at a time.
constexpr int kMaxLimitRaises = 6;

DeepView probeView(const DeepView& view) {
    const int longer = std::max(view.width, view.height);
    const auto scaled = [longer](int edge) {
        return std::max(kMinPictureSize, (edge * kProbeLongerSide + longer / 2) / longer);
    };
    DeepView probe = view;
    if (longer > kProbeLongerSide) probe.width = scaled(view.width), probe.height = scaled(view.height);
    return probe;
}

DeepOptions computeOptions(const DeepRenderOptions& render) {
    DeepOptions compute;
    compute.threads = render.threads;
    compute.maxBits = render.maxBits;
    compute.maxMemory = render.maxMemory;
    return compute;
}

// The reference orbit of the whole zoom from DIR, or computed for the
// deepest keyframe (the most precise) at the highest limit any keyframe may
// get, and stored there for every other task. Tasks that compute it at once
// write the same bytes.
std::shared_ptr<const DeepReference> zoomReference(const std::string& dir, const DeepView& deepest,
                                                   std::int64_t ceiling, const DeepOptions& compute,
                                                   std::ostream& err) {
    const std::string path = dir + "/" + kReferenceFileName;
    try {
        return readReferenceFile(path);
    } catch (const ReferenceFileError& error) {
        if (std::filesystem::exists(path))
            err << "mandelbrot-zoom: " << oneLine(error.what()) << "; computing it again\n";
    }
    DeepDrawing drawing(keyframeView(deepest, 0, ceiling));
    if (!drawing.prepare(compute) || !drawing.reference()) throw InterruptedError("interrupted");
    writeReferenceFile(path, *drawing.reference());
    return drawing.reference();
}

// DIR/zoom.txt holds these parameters, or is written with them.
void claimFolder(const std::string& dir, const ZoomParameters& parameters) {
    const std::string path = dir + "/" + kZoomFileName;
    if (std::filesystem::exists(path)) {
        const std::optional<ZoomParameters> found = readZoomParameters(path);
        if (!found) throw OtherZoomError(path + " is not a keyframes record of mandelbrot-zoom");
        if (*found != parameters)
            throw OtherZoomError(dir + " holds the keyframes of another zoom (" + path +
                                 "); use another folder or the same command line");
        return;
    }
    const std::string text = zoomParametersText(parameters);
    writeFileSafely(path, {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()});
}

void renderOne(const KeyframeOptions& options, int k, std::int64_t ceiling,
               const std::shared_ptr<const DeepReference>& reference, const DeepOptions& compute) {
    DeepRenderOptions render = options.render;
    const LimitAndBase chosen = chooseKeyframeLimit(
        keyframeView(options.render.view, k, options.render.view.location.limit), ceiling, reference, compute);
    render.view = keyframeView(options.render.view, k, chosen.limit);
    render.base = chosen.base;
    render.pngPath = keyframePath(options.outDir, k, ".png");
    render.countsPath = keyframePath(options.outDir, k, ".npy");
    render.bmpPath.reset();
    render.flagsPath.reset();
    render.smoothPath.reset();
    render.distancePath.reset();
    renderDeep(render, {}, reference);
    const KeyframeRecord record{k, render.view, render.base, sha256OfFile(*render.pngPath),
                                sha256OfFile(*render.countsPath)};
    const std::string text = keyframeRecordText(record);
    writeFileSafely(keyframePath(options.outDir, k, ".txt"),
                    {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()});
}

}  // namespace

LimitAndBase chooseKeyframeLimit(const DeepView& view, std::int64_t ceiling,
                                 const std::shared_ptr<const DeepReference>& reference, const DeepOptions& compute) {
    DeepView probe = probeView(view);
    probe.location.limit = std::min(probe.location.limit, ceiling);
    std::vector<std::int32_t> counts(static_cast<std::size_t>(probe.width) * probe.height);
    for (int raises = 0;; ++raises) {
        DeepDrawing drawing(probe, reference);
        if (!drawing.computeRows(0, probe.height, counts, compute)) throw InterruptedError("interrupted");
        const std::int64_t limit = probe.location.limit;
        const LimitAndBase next = chooseLimitAndBase(counts, probe.width, probe.height, limit);
        if (next.limit > limit && limit < ceiling && raises < kMaxLimitRaises) {
            probe.location.limit = std::min(next.limit, ceiling);
            continue;
        }
        // A lower limit changes only the held pixels' count, to the new limit:
        // the rule's base, taken from the escaped counts, stands.
        const std::int64_t chosen = std::min(next.limit, limit);
        return {chosen, std::min(next.base, chosen - 1)};
    }
}

KeyframesSummary renderKeyframes(const KeyframeOptions& options, std::ostream& err, bool showProgress,
                                 const KeyframesControl& control) {
    const auto start = std::chrono::steady_clock::now();
    const DeepView& deepest = options.render.view;
    KeyframesSummary summary;
    summary.keyframes = options.frames ? *options.frames : keyframesToWholeSet(deepest);
    std::filesystem::create_directories(options.outDir);
    claimFolder(options.outDir, {deepest, summary.keyframes, options.recorded});
    const std::int64_t ceiling = std::min(kMaxDeepLimit, deepest.location.limit * kLimitRaiseRoom);
    std::shared_ptr<const DeepReference> reference;
    DeepOptions compute = computeOptions(options.render);
    compute.cancel = control.cancel;
    const int share = (summary.keyframes - options.share.index + options.share.count - 1) / options.share.count;
    for (int k = options.share.index; k < summary.keyframes; k += options.share.count) {
        if (control.cancel && control.cancel->load()) throw InterruptedError("interrupted");
        if (finishedKeyframe(options.outDir, k)) {
            ++summary.skipped;
        } else {
            if (!reference) reference = zoomReference(options.outDir, deepest, ceiling, compute, err);
            const auto begun = std::chrono::steady_clock::now();
            renderOne(options, k, ceiling, reference, compute);
            ++summary.rendered;
            if (showProgress) {
                const std::chrono::duration<double> spent = std::chrono::steady_clock::now() - begun;
                char line[160];
                std::snprintf(line, sizeof line, "keyframe %d of %d: %.2f s\n", k, summary.keyframes, spent.count());
                err << line << std::flush;
            }
        }
        if (control.progress) control.progress(summary.rendered + summary.skipped, share);
    }
    summary.ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    return summary;
}

void runKeyframes(const KeyframeOptions& options, std::ostream& out, std::ostream& err, bool showProgress) {
    const KeyframesSummary summary = renderKeyframes(options, err, showProgress);
    char ms[64];
    std::snprintf(ms, sizeof ms, "%.3f", summary.ms);
    deliver(out, "keyframes=" + std::to_string(summary.keyframes) + " rendered=" + std::to_string(summary.rendered) +
                     " skipped=" + std::to_string(summary.skipped) + " ms=" + ms + "\n");
}

}  // namespace mandel::tool
