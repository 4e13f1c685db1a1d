#include "movie/zoom_keyframes.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <ostream>
#include <stdexcept>
#include <vector>

#include "deep/deep_drawing.h"
#include "deep/deep_memory.h"
#include "deep/deep_outputs.h"
#include "deep/deep_picture_colours.h"
#include "deep/reference_file.h"
#include "files/safe_file.h"
#include "files/sha256.h"
#include "movie/zoom_movie.h"
#include "movie/zoom_plan.h"
#include "movie/zoom_record.h"

namespace mandel::movie {

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

DeepOptions computeOptions(const KeyframeDrawing& render) {
    DeepOptions compute;
    compute.threads = render.threads;
    compute.maxBits = render.maxBits;
    compute.maxMemory = render.maxMemory;
    return compute;
}

double heldShare(std::span<const std::int32_t> counts, std::int64_t limit) {
    const auto held = std::count_if(counts.begin(), counts.end(), [limit](std::int32_t c) { return c >= limit; });
    return static_cast<double>(held) / static_cast<double>(std::max<std::size_t>(1, counts.size()));
}

// The lowest of limit/2, limit/4, ... (from kMinAutoLimit) at which at most
// kMaxTurnedInside of the pixels escape at a count from it to `limit` (and
// would be held there), or `limit`.
std::int64_t cheapestLimit(std::span<const std::int32_t> counts, std::int64_t limit) {
    std::vector<std::int32_t> escaped;
    for (const std::int32_t count : counts)
        if (count < limit) escaped.push_back(count);
    std::sort(escaped.begin(), escaped.end());
    const double allowed = kMaxTurnedInside * static_cast<double>(counts.size());
    std::int64_t chosen = limit;
    for (std::int64_t lower = limit / 2; lower >= kMinAutoLimit; lower /= 2) {
        const auto turned = escaped.end() - std::lower_bound(escaped.begin(), escaped.end(), lower);
        if (static_cast<double>(turned) > allowed) break;
        chosen = lower;
    }
    return chosen;
}

// The reference orbit of the whole zoom in DIR: computed for the deepest
// keyframe (the most precise) at the highest limit any keyframe may get, and
// stored there for every other task, unless a task stored it before. Tasks
// that compute it at once write the same bytes.
void storeZoomReference(const std::string& path, const DeepView& deepest, std::int64_t ceiling,
                        const DeepOptions& compute, std::ostream& err) {
    try {
        readReferenceFile(path);
        return;
    } catch (const ReferenceFileError& error) {
        if (std::filesystem::exists(path)) err << "mandelbrot-zoom: " << error.what() << "; computing it again\n";
    }
    DeepDrawing drawing(keyframeView(deepest, 0, ceiling));
    if (!drawing.prepare(compute) || !drawing.reference()) throw InterruptedError("interrupted");
    writeReferenceFile(path, *drawing.reference());
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
    writeTextSafely(path, zoomParametersText(parameters));
}

// Everything a task's keyframes share: the options, the reference's file,
// the colour map, and the choices made so far (the anchors' keyframes are
// chosen before the others and not twice).
struct ZoomRun {
    explicit ZoomRun(const KeyframeOptions& given) : options(given) {}
    const KeyframeOptions& options;
    int keyframes = 0;
    std::int64_t ceiling = 0;
    DeepOptions compute;
    std::string referencePath;               // empty until stored
    std::optional<ZoomColourMap> colourMap;  // with a gradient
    std::map<int, KeyframeChoice> chosen;

    // The zoom's reference as read from its file, for one keyframe's
    // drawings only: a reference keeps the approximation table of the widest
    // view it served, and a keyframe's continuous counts follow the table's
    // steps in their last bits, so a reference that served other keyframes
    // first would make them depend on which keyframes a task drew before.
    std::shared_ptr<const DeepReference> keyframeReference() const { return readReferenceFile(referencePath); }

    const KeyframeChoice& choice(int k, const std::shared_ptr<const DeepReference>& reference) {
        if (const auto found = chosen.find(k); found != chosen.end()) return found->second;
        const DeepView view = keyframeView(options.render.view, k, options.render.view.location.limit);
        return chosen.emplace(k, chooseKeyframe(view, ceiling, reference, compute)).first->second;
    }
};

// The colour map of the zoom: with the automatic density, from the deepest
// keyframe's and the last keyframe's probes (the same in every task; the
// last one's with a reference of its own, the whole set's).
ZoomColourMap zoomColours(ZoomRun& run) {
    const Colouring& colouring = run.options.render.colouring;
    if (!colouring.automaticDensity) return zoomColourMap(colouring, {}, {});
    const DeepView last =
        keyframeView(run.options.render.view, run.keyframes - 1, run.options.render.view.location.limit);
    const ColourAnchor shallow = chooseKeyframe(last, run.ceiling, nullptr, run.compute).anchor;
    return zoomColourMap(colouring, run.choice(0, run.keyframeReference()).anchor, shallow);
}

// The picture's colouring: the zoom's map where the keyframe's typical count lies.
Colouring keyframeColouring(const ZoomRun& run, const KeyframeChoice& choice) {
    Colouring colouring = run.options.render.colouring;
    if (!run.colourMap) return colouring;
    const ZoomColourMap& map = *run.colourMap;
    colouring.automaticDensity = false;
    colouring.scale = map.automatic ? map.tangent(choice.anchor.nu > 0 ? choice.anchor.nu : map.shallow.nu) : map.fixed;
    return colouring;
}

void requireMemoryBudget(const DeepDrawing& drawing, const DeepOptions& compute) {
    const std::uint64_t budget = compute.maxMemory != 0 ? compute.maxMemory : defaultMemoryBudget();
    const std::uint64_t estimate = drawing.memoryEstimate(compute);
    if (estimate > budget)
        throw DeepMemoryError(memoryProblem(drawing.view(), estimate, budget) + " (--max-memory sets the budget)");
}

void renderOne(ZoomRun& run, int k) {
    const KeyframeOptions& options = run.options;
    const std::shared_ptr<const DeepReference> reference = run.keyframeReference();
    const KeyframeChoice choice = run.choice(k, reference);
    run.chosen.erase(k);
    const DeepView view = keyframeView(options.render.view, k, choice.limit.limit);
    const Colouring colouring = keyframeColouring(run, choice);
    DeepDrawing drawing(sampleView(view, colouring.supersample), reference);
    DeepPictureOptions draw;
    draw.base = choice.limit.base;
    draw.colouring = colouring;
    draw.compute = run.compute;
    requireMemoryBudget(drawing, draw.compute);
    DeepOutputPaths paths;
    paths.png = keyframePath(options.outDir, k, ".png");
    paths.counts = keyframePath(options.outDir, k, ".npy");
    if (run.colourMap) paths.smooth = keyframePath(options.outDir, k, kSmoothMapExtension);
    const DeepPictureResult result = drawDeepOutputs(drawing, {view, choice.limit.base, colouring}, paths, draw);
    if (!result.completed) {
        if (run.compute.cancel && run.compute.cancel->load()) throw InterruptedError("interrupted");
        throw std::runtime_error("keyframe " + std::to_string(k) + ": the drawing stopped before its last row");
    }
    KeyframeRecord record;
    record.index = k;
    record.view = view;
    record.base = choice.limit.base;
    record.pngSha256 = sha256OfFile(*paths.png);
    record.countsSha256 = sha256OfFile(*paths.counts);
    record.colouring = colouringArguments(colouring);
    if (run.colourMap) {
        record.colourMap = colourMapText(*run.colourMap);
        record.smoothSha256 = sha256OfFile(*paths.smooth);
    }
    writeTextSafely(keyframePath(options.outDir, k, ".txt"), keyframeRecordText(record));
}

void reportKeyframe(std::ostream& err, int k, int keyframes, double seconds) {
    char line[160];
    std::snprintf(line, sizeof line, "keyframe %d of %d: %.2f s\n", k, keyframes, seconds);
    err << line << std::flush;
}

}  // namespace

void writeTextSafely(const std::string& path, const std::string& text) {
    writeFileSafely(path, {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()});
}

KeyframeChoice chooseKeyframe(const DeepView& view, std::int64_t ceiling,
                              const std::shared_ptr<const DeepReference>& reference, const DeepOptions& compute) {
    DeepView probe = probeView(view);
    probe.location.limit = std::min(probe.location.limit, ceiling);
    const std::size_t pixels = static_cast<std::size_t>(probe.width) * probe.height;
    std::vector<std::int32_t> counts(pixels);
    std::vector<float> excess(pixels);
    for (int raises = 0;; ++raises) {
        DeepDrawing drawing(probe, reference);
        if (!drawing.computeRows(0, probe.height, counts, compute, {}, ColourOutputs(excess)))
            throw InterruptedError("interrupted");
        const std::int64_t limit = probe.location.limit;
        const LimitAndBase next = chooseLimitAndBase(counts, probe.width, probe.height, limit);
        const bool mostlyInside = heldShare(counts, limit) > kMostlyInside;
        if (next.limit > limit && limit < ceiling && raises < kMaxLimitRaises && !mostlyInside) {
            probe.location.limit = std::min(next.limit, ceiling);
            continue;
        }
        // A lower limit changes only the held pixels' count, to the new limit:
        // the rule's base, taken from the escaped counts, stands.
        const std::int64_t chosen = mostlyInside ? cheapestLimit(counts, limit) : std::min(next.limit, limit);
        return {{chosen, std::min(next.base, chosen - 1), next.reason}, colourAnchor(counts, excess, chosen)};
    }
}

KeyframesSummary renderKeyframes(const KeyframeOptions& options, std::ostream& err, bool showProgress,
                                 const KeyframesControl& control) {
    const auto start = std::chrono::steady_clock::now();
    const DeepView& deepest = options.render.view;
    ZoomRun run(options);
    KeyframesSummary summary;
    run.keyframes = summary.keyframes = options.frames ? *options.frames : keyframesToWholeSet(deepest);
    std::filesystem::create_directories(options.outDir);
    claimFolder(options.outDir, {deepest, summary.keyframes, options.recorded});
    run.ceiling = std::min(kMaxDeepLimit, deepest.location.limit * kLimitRaiseRoom);
    run.compute = computeOptions(options.render);
    run.compute.cancel = control.cancel;
    const int share = (summary.keyframes - options.share.index + options.share.count - 1) / options.share.count;
    for (int k = options.share.index; k < summary.keyframes; k += options.share.count) {
        if (control.cancel && control.cancel->load()) throw InterruptedError("interrupted");
        if (finishedKeyframe(options.outDir, k)) {
            ++summary.skipped;
        } else {
            if (run.referencePath.empty()) {
                const std::string path = options.outDir + "/" + kReferenceFileName;
                storeZoomReference(path, deepest, run.ceiling, run.compute, err);
                run.referencePath = path;
            }
            if (!run.colourMap && usesGradient(options.render.colouring)) run.colourMap = zoomColours(run);
            const auto begun = std::chrono::steady_clock::now();
            renderOne(run, k);
            ++summary.rendered;
            const std::chrono::duration<double> spent = std::chrono::steady_clock::now() - begun;
            if (showProgress) reportKeyframe(err, k, summary.keyframes, spent.count());
        }
        if (control.progress) control.progress(summary.rendered + summary.skipped, share);
    }
    summary.ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    return summary;
}

}  // namespace mandel::movie
