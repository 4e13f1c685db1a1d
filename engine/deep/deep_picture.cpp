#include "deep/deep_picture.h"

#include <algorithm>
#include <memory>
#include <chrono>
#include <stdexcept>
#include <string>
#include <vector>

#include "deep/automatic_colouring.h"
#include "deep/deep_colour.h"
#include "deep/deep_picture_colours.h"
#include "files/picture_file.h"

namespace mandel {

namespace {

using Clock = std::chrono::steady_clock;

double millisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

struct PictureSinks {
    std::span<PictureSink* const> pictures;
    std::span<CountSink* const> countMaps;
    std::span<FlagSink* const> flagMaps;
    std::span<FloatMapSink* const> smoothMaps;
    std::span<FloatMapSink* const> distanceMaps;
};

// One block's samples: the engine's outputs for its rows.
struct SampleBlock {
    SampleRows samples;
    std::span<const std::uint8_t> certified;
};

// Each pixel's own sample of a block at K × K samples a pixel (the block
// itself at K = 1).
class PixelSamples {
public:
    const SampleBlock& of(const SampleBlock& block, int k) {
        if (k == 1) return block;
        const SampleRows& s = block.samples;
        const auto pick = [&](auto values, auto& out) {
            pixelSamples(values, s.width, values.empty() ? 0 : s.rows, k, out);
        };
        pick(s.counts, counts_);
        pick(block.certified, flags_);
        pick(s.excess, excess_);
        pick(s.distance, distance_);
        // Distances in the picture's pixels, K samples each.
        for (float& d : distance_) d = d / static_cast<float>(k);
        pixels_ = {{counts_,
                    excess_,
                    distance_,
                    {},
                    s.width / static_cast<std::size_t>(k),
                    s.rows / static_cast<std::size_t>(k)},
                   flags_};
        return pixels_;
    }

private:
    std::vector<std::int32_t> counts_;
    std::vector<std::uint8_t> flags_;
    std::vector<float> excess_, distance_;
    SampleBlock pixels_;
};

// Writes the blocks of samples to the sinks as pixels, keeping the running
// sum and the number of uncertified samples.
class BlockWriter {
public:
    BlockWriter(const PictureColouring& colouring, const PictureSinks& sinks) : colouring_(colouring), sinks_(sinks) {}

    void write(const SampleBlock& block) {
        uncertified_ += std::count(block.certified.begin(), block.certified.end(), std::uint8_t{0});
        const int k = colouring_.colouring.supersample;
        const std::size_t rows = block.samples.rows / static_cast<std::size_t>(k);
        writePictures(block.samples, rows);
        const SampleBlock& pixels = own_.of(block, k);
        const std::span<const std::int32_t> counts = pixels.samples.counts;
        for (const std::int32_t count : counts) iterations_ += count;
        for (CountSink* countMap : sinks_.countMaps) countMap->writeCounts(counts, rows);
        for (FlagSink* flagMap : sinks_.flagMaps) flagMap->writeFlags(pixels.certified, rows);
        if (!sinks_.smoothMaps.empty()) {
            values_.resize(counts.size());
            for (std::size_t i = 0; i < counts.size(); ++i)
                values_[i] =
                    static_cast<float>(static_cast<double>(counts[i]) + static_cast<double>(pixels.samples.excess[i]));
            for (FloatMapSink* smoothMap : sinks_.smoothMaps) smoothMap->writeValues(values_, rows);
        }
        for (FloatMapSink* distanceMap : sinks_.distanceMaps) distanceMap->writeValues(pixels.samples.distance, rows);
    }

    void finish() {
        const std::string uncertified = std::to_string(uncertified_);
        for (PictureSink* picture : sinks_.pictures) {
            picture->addClosingText(picture_text::kUncertifiedPixels, uncertified);
            picture->finish();
        }
        for (CountSink* countMap : sinks_.countMaps) countMap->finish();
        for (FlagSink* flagMap : sinks_.flagMaps) flagMap->finish();
        for (FloatMapSink* smoothMap : sinks_.smoothMaps) smoothMap->finish();
        for (FloatMapSink* distanceMap : sinks_.distanceMaps) distanceMap->finish();
    }

    std::int64_t iterations() const { return iterations_; }
    std::int64_t uncertified() const { return uncertified_; }

private:
    void writePictures(const SampleRows& samples, std::size_t rows) {
        if (sinks_.pictures.empty()) return;
        if (usesColourIndices(colouring_.colouring)) {
            indices_.resize(samples.counts.size());
            std::transform(samples.counts.begin(), samples.counts.end(), indices_.begin(), [&](std::int32_t count) {
                return deepColourIndex(count, colouring_.limit, colouring_.base);
            });
            for (PictureSink* picture : sinks_.pictures) picture->writeRows(indices_, rows);
            return;
        }
        colourSamples(samples, colouring_, colours_);
        for (PictureSink* picture : sinks_.pictures) picture->writeColourRows(colours_, rows);
    }

    const PictureColouring& colouring_;
    PictureSinks sinks_;
    PixelSamples own_;
    std::vector<std::uint8_t> indices_;
    std::vector<Rgb> colours_;
    std::vector<float> values_;
    std::int64_t iterations_ = 0;
    std::int64_t uncertified_ = 0;
};

// Room for n values, not cleared: the engine writes every pixel's count (and
// sets every flag before it clears some), so clearing them first only cost a
// serial pass and its page faults (a tenth of a shallow 1000² drawing).
template <class T>
class UnclearedBuffer {
public:
    explicit UnclearedBuffer(std::size_t n) : values_(new T[n]), size_(n) {}
    std::span<T> first(std::size_t n) { return std::span<T>(values_.get(), size_).first(n); }

private:
    std::unique_ptr<T[]> values_;
    std::size_t size_;
};

// The engine's buffers for a block of rows, the colour outputs only where wanted.
struct BlockBuffers {
    BlockBuffers(std::size_t samples, bool excessWanted, bool distanceWanted)
        : counts(samples),
          certified(samples),
          excess(excessWanted ? samples : 0),
          distance(distanceWanted ? samples : 0),
          slope(distanceWanted ? samples : 0) {}
    UnclearedBuffer<std::int32_t> counts;
    UnclearedBuffer<std::uint8_t> certified;
    std::vector<float> excess, distance, slope;

    // The first `samples` of each, as the engine fills them and as the writer reads them.
    ColourOutputs outputs(std::size_t samples) {
        auto first = [samples](std::vector<float>& v) {
            return v.empty() ? std::span<float>() : std::span(v).first(samples);
        };
        return {first(excess), first(distance), first(slope)};
    }
};

// The engine's options for the block starting at firstRow: its progress is
// turned into the whole picture's.
DeepOptions blockOptions(const DeepOptions& options, int firstRow, int pictureRows) {
    DeepOptions block = options;
    if (options.progress)
        block.progress = [&options, firstRow, pictureRows](const DeepProgress& progress) {
            return options.progress({firstRow + progress.rowsDone, pictureRows});
        };
    return block;
}

}  // namespace

DeepPictureResult drawDeepPicture(DeepDrawing& drawing, std::span<PictureSink* const> pictures,
                                  std::span<CountSink* const> countMaps, const DeepPictureOptions& options,
                                  std::span<FlagSink* const> flagMaps, std::span<FloatMapSink* const> smoothMaps,
                                  std::span<FloatMapSink* const> distanceMaps) {
    const DeepView& view = drawing.view();
    if (options.base < 0 || options.base >= view.location.limit)
        throw std::invalid_argument("base " + std::to_string(options.base) + " outside 0.." +
                                    std::to_string(view.location.limit - 1));
    const int k = options.colouring.supersample;
    if (k < 1 || k > kMaxSupersample || view.width % k != 0 || view.height % k != 0)
        throw std::invalid_argument("the drawing is not of whole pixels of " + std::to_string(k) + " x " +
                                    std::to_string(k) + " samples");
    PictureColouring colouring{options.colouring, view.location.limit, options.base};
    if (usesGradient(colouring.colouring) && colouring.colouring.automaticDensity)
        colouring.colouring = resolvedColouring(drawing, colouring.colouring, options.compute);
    const bool shaded = !pictures.empty() && colouring.colouring.mode == ColouringMode::Distance;
    const bool excessWanted = !smoothMaps.empty() || (!pictures.empty() && usesGradient(colouring.colouring));
    const auto width = static_cast<std::size_t>(view.width);
    std::size_t blockRows = std::clamp<std::size_t>(options.blockPixels / width, 1, view.height);
    blockRows = std::max<std::size_t>(blockRows / static_cast<std::size_t>(k), 1) * static_cast<std::size_t>(k);
    BlockBuffers buffers(blockRows * width, excessWanted, shaded || !distanceMaps.empty());
    BlockWriter writer(colouring, {pictures, countMaps, flagMaps, smoothMaps, distanceMaps});
    DeepPictureResult result;

    auto start = Clock::now();
    const bool prepared = drawing.prepare(options.compute);
    result.computeMs += millisecondsSince(start);
    bool completed = prepared;
    for (int firstRow = 0; completed && firstRow < view.height; firstRow += static_cast<int>(blockRows)) {
        const int rows = std::min(static_cast<int>(blockRows), view.height - firstRow);
        const std::size_t samples = static_cast<std::size_t>(rows) * width;
        const std::span<std::int32_t> counts = buffers.counts.first(samples);
        const std::span<std::uint8_t> certified = buffers.certified.first(samples);
        const ColourOutputs outputs = buffers.outputs(samples);
        start = Clock::now();
        completed = drawing.computeRows(firstRow, rows, counts, blockOptions(options.compute, firstRow, view.height),
                                        certified, outputs);
        result.computeMs += millisecondsSince(start);
        if (!completed) break;
        start = Clock::now();
        writer.write({{counts, outputs.excess, outputs.distance, outputs.slope, width, static_cast<std::size_t>(rows)},
                      certified});
        result.writeMs += millisecondsSince(start);
        if (options.compute.progress) completed = options.compute.progress({firstRow + rows, view.height});
        if (options.compute.cancel != nullptr && options.compute.cancel->load()) completed = false;
    }
    if (completed) writer.finish();
    result.completed = completed;
    result.iterations = writer.iterations();
    result.uncertifiedPixels = writer.uncertified();
    result.reference = drawing.referenceInfo();
    result.stats = drawing.stats();
    return result;
}

}  // namespace mandel
