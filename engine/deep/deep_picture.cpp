#include "deep/deep_picture.h"

#include <algorithm>
#include <chrono>
#include <stdexcept>
#include <string>
#include <vector>

#include "deep/deep_colour.h"
#include "files/picture_file.h"

namespace mandel {

namespace {

using Clock = std::chrono::steady_clock;

double millisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Writes the blocks of counts and flags to the sinks, keeping the running
// sum and the number of uncertified pixels.
class BlockWriter {
public:
    BlockWriter(const DeepView& view, std::int64_t base, std::span<PictureSink* const> pictures,
                std::span<CountSink* const> countMaps, std::span<FlagSink* const> flagMaps)
        : view_(view), base_(base), pictures_(pictures), countMaps_(countMaps), flagMaps_(flagMaps) {}

    void write(std::span<const std::int32_t> counts, std::span<const std::uint8_t> certified, std::size_t rows) {
        for (const std::int32_t count : counts) iterations_ += count;
        uncertified_ += std::count(certified.begin(), certified.end(), std::uint8_t{0});
        if (!pictures_.empty()) {
            indices_.resize(counts.size());
            const std::int64_t limit = view_.location.limit;
            std::transform(counts.begin(), counts.end(), indices_.begin(),
                           [&](std::int32_t count) { return deepColourIndex(count, limit, base_); });
            for (PictureSink* picture : pictures_) picture->writeRows(indices_, rows);
        }
        for (CountSink* countMap : countMaps_) countMap->writeCounts(counts, rows);
        for (FlagSink* flagMap : flagMaps_) flagMap->writeFlags(certified, rows);
    }

    void finish() {
        const std::string uncertified = std::to_string(uncertified_);
        for (PictureSink* picture : pictures_) {
            picture->addClosingText(picture_text::kUncertifiedPixels, uncertified);
            picture->finish();
        }
        for (CountSink* countMap : countMaps_) countMap->finish();
        for (FlagSink* flagMap : flagMaps_) flagMap->finish();
    }

    std::int64_t iterations() const { return iterations_; }
    std::int64_t uncertified() const { return uncertified_; }

private:
    const DeepView& view_;
    std::int64_t base_;
    std::span<PictureSink* const> pictures_;
    std::span<CountSink* const> countMaps_;
    std::span<FlagSink* const> flagMaps_;
    std::vector<std::uint8_t> indices_;
    std::int64_t iterations_ = 0;
    std::int64_t uncertified_ = 0;
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
                                  std::span<FlagSink* const> flagMaps) {
    const DeepView& view = drawing.view();
    if (options.base < 0 || options.base >= view.location.limit)
        throw std::invalid_argument("base " + std::to_string(options.base) + " outside 0.." +
                                    std::to_string(view.location.limit - 1));
    const auto width = static_cast<std::size_t>(view.width);
    const int blockRows = static_cast<int>(std::clamp<std::size_t>(options.blockPixels / width, 1, view.height));
    std::vector<std::int32_t> counts(static_cast<std::size_t>(blockRows) * width);
    std::vector<std::uint8_t> certified(counts.size());
    BlockWriter writer(view, options.base, pictures, countMaps, flagMaps);
    DeepPictureResult result;

    auto start = Clock::now();
    const bool prepared = drawing.prepare(options.compute);
    result.computeMs += millisecondsSince(start);
    bool completed = prepared;
    for (int firstRow = 0; completed && firstRow < view.height; firstRow += blockRows) {
        const int rows = std::min(blockRows, view.height - firstRow);
        const std::size_t pixels = static_cast<std::size_t>(rows) * width;
        const std::span<std::int32_t> block(counts.data(), pixels);
        const std::span<std::uint8_t> blockCertified(certified.data(), pixels);
        start = Clock::now();
        completed = drawing.computeRows(firstRow, rows, block, blockOptions(options.compute, firstRow, view.height),
                                        blockCertified);
        result.computeMs += millisecondsSince(start);
        if (!completed) break;
        start = Clock::now();
        writer.write(block, blockCertified, static_cast<std::size_t>(rows));
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
