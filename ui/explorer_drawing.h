#pragma once

// The explorer's drawings on a worker thread: for each location first a
// coarse preview, then the full picture. Starting a new drawing cancels the
// one in progress. The results come back on the thread that owns this object
// (the GUI thread), through its signals; the GUI thread never waits for the
// worker except when this object is destroyed (a cancelled drawing stops
// within 50 ms).

#include <QElapsedTimer>
#include <QImage>
#include <QObject>
#include <QSize>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "deep/deep_drawing.h"
#include "explore/explore_location.h"

namespace mandel_ui {

// The longer side of the coarse preview, in pixels.
inline constexpr int kPreviewLongerSide = 64;

struct ExplorerJob {
    mandel::ExploreLocation location;
    int width = 0;   // device pixels
    int height = 0;
    bool preview = true;        // draw the coarse preview first
    bool automaticLimit = true; // choose the next limit and base from the counts
    // What rows not drawn yet show while the full picture comes in bands
    // (a picture of this location at this size, or null).
    QImage background;
};

// A finished preview or full picture.
struct ExplorerPicture {
    std::uint64_t generation = 0;
    bool full = false;
    QImage image;  // the job's width × height (a preview is scaled up to it)
    // The location the colours were chosen for. With the automatic limit on,
    // the limit and base chosen from the counts: a lower limit or another
    // base is already applied to the image; a higher limit needs a new drawing.
    mandel::ExploreLocation location;
    std::int64_t drawnLimit = 0;  // the limit the counts were computed with
    // Pixels whose count the engine's precision cap left undecided (a full
    // picture's; 0 for a preview).
    std::int64_t uncertifiedPixels = 0;
    mandel::DeepReferenceInfo reference;
    double milliseconds = 0;  // from the start of the job
};

class ExplorerDrawing : public QObject {
    Q_OBJECT

public:
    explicit ExplorerDrawing(QObject* parent = nullptr);
    ~ExplorerDrawing() override;

    // Cancels the drawing in progress and starts this one; returns its generation.
    std::uint64_t start(const ExplorerJob& job);
    void cancel();
    std::uint64_t generation() const { return generation_; }

signals:
    void previewReady(const ExplorerPicture& picture);
    void pictureReady(const ExplorerPicture& picture);
    // The full picture's rows so far over the preview (full is false).
    void partReady(const ExplorerPicture& picture);
    void progressed(double fraction, double milliseconds);
    // The drawing failed, or stopped without being cancelled or replaced.
    void failed(const QString& reason);

private:
    struct Pending {
        ExplorerJob job;
        std::uint64_t generation = 0;
    };
    void run();
    void draw(Pending pending);
    // The preview scaled up to the view, or null when cancelled.
    // With the automatic limit it may raise the job's limit and set its base.
    QImage drawPreview(Pending& pending, QElapsedTimer& clock);
    bool drawFull(const Pending& pending, QImage shown, QElapsedTimer& clock);
    // Paints rows first .. first + rows − 1 of the counts into shown and hands a copy over.
    void showBand(const Pending& pending, const mandel::DeepDrawing& drawing, const std::vector<std::int32_t>& counts,
                  int first, int rows, QImage& shown);
    // Hands a result to the GUI thread, where it is dropped when a newer job started.
    void deliver(std::uint64_t generation, std::function<void()> emitOnGui);

    std::mutex mutex_;
    std::condition_variable wake_;
    std::optional<Pending> pending_;
    bool stopping_ = false;
    std::atomic<bool> cancel_{false};
    std::atomic<std::uint64_t> generation_{0};
    std::shared_ptr<const mandel::DeepReference> reference_;  // worker thread only
    std::thread worker_;
};

// Colours the counts of a drawing with the explorer's 17 bands.
QImage colourCounts(const std::vector<std::int32_t>& counts, int width, int height, std::int64_t limit,
                    std::int64_t base);

// The full picture is computed and shown in this many bands of rows.
inline constexpr int kFullPictureBands = 8;

// The preview's size: about kPreviewLongerSide on the longer side, in the
// view's shape, no smaller than the deep engine draws.
QSize previewSize(int width, int height);

}  // namespace mandel_ui
