#include "drawing/draw_picture.h"

#include <algorithm>

#include "colour/banding.h"

namespace mandel {

std::vector<std::uint8_t> colourIndexByCount(float cmax, float cstep, short limit) {
    const BandThresholds bands(cmax, cstep);
    std::vector<std::uint8_t> table(static_cast<std::size_t>(std::max<short>(limit, 0)) + 1);
    for (std::size_t count = 0; count < table.size(); ++count)
        table[count] = static_cast<std::uint8_t>(bands.classify(static_cast<float>(count)));
    return table;
}

namespace {

// Turns blocks of counts into rows of pixels for the sinks, and sums the counts
// of the pass's points on the way.
class RowBlockWriter {
public:
    RowBlockWriter(const PictureScan& scan, std::span<PictureSink* const> sinks, const DrawOptions& options)
        : scan_(scan),
          sinks_(sinks),
          options_(options),
          indexOf_(colourIndexByCount(scan.settings.cmax, scan.settings.cstep, scan.settings.limit())) {}

    bool operator()(const RowBlock& block) {
        const std::size_t size = scan_.size;
        const std::size_t pictureRows = block.firstRow >= size ? 0 : std::min(block.rows, size - block.firstRow);
        pixels_.resize(pictureRows * size);
        for (std::size_t r = 0; r < block.rows; ++r) {
            const std::int16_t* counts = block.counts.data() + r * block.columns;
            if (r < pictureRows) {
                std::uint8_t* row = pixels_.data() + r * size;
                for (std::size_t x = 0; x < size; ++x) row[x] = indexOf_[static_cast<std::size_t>(counts[x])];
            }
            if (block.firstRow + r < scan_.passRows) passIterations_ += sumOfPassPoints(counts, block.columns);
        }
        if (pictureRows > 0)
            for (PictureSink* sink : sinks_) sink->writeRows(pixels_, pictureRows);
        rowsDone_ += pictureRows;
        return !options_.progress || options_.progress({rowsDone_, size});
    }

    long long passIterations() const { return passIterations_; }

private:
    long long sumOfPassPoints(const std::int16_t* counts, std::size_t columns) const {
        const std::size_t points = std::min(columns, scan_.passPointsPerRow);
        long long sum = 0;
        for (std::size_t x = 0; x < points; ++x) sum += counts[x];
        return sum;
    }

    const PictureScan& scan_;
    std::span<PictureSink* const> sinks_;
    const DrawOptions& options_;
    const std::vector<std::uint8_t> indexOf_;
    std::vector<std::uint8_t> pixels_;
    std::size_t rowsDone_ = 0;
    long long passIterations_ = 0;
};

}  // namespace

DrawResult drawPicture(const PictureScan& scan, std::span<PictureSink* const> sinks, const DrawOptions& options) {
    RowBlockWriter writer(scan, sinks, options);
    DrawResult result;
    result.completed = computeRowBlocks(
        scan.plan, scan.settings.cmax, options.blocks, [&writer](const RowBlock& block) { return writer(block); },
        &result.timing);
    result.passIterations = writer.passIterations();
    if (result.completed)
        for (PictureSink* sink : sinks) sink->finish();
    return result;
}

}  // namespace mandel
