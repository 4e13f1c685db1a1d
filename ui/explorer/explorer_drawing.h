#pragma once

// The explorer's drawings on a worker thread: for each location first a
// coarse preview, then the full picture. Starting a new drawing cancels the
// one in progress. The results come back on the thread that owns this object
// (the GUI thread), through its signals. The GUI thread never waits for the
// worker: the worker keeps what it works on in a state it shares, so that
// destroying this object only cancels the drawing and lets the worker end on
// its own (within milliseconds, or whenever a long step of the engine
// returns); waitForWorkers bounds the wait for such workers at exit.

#include <QElapsedTimer>
#include <QImage>
#include <QObject>
#include <QSize>
#include <QString>
#include <chrono>
#include <cstdint>
#include <memory>
#include <vector>

#include "deep/deep_drawing.h"
#include "explore/auto_limit.h"
#include "explore/explore_location.h"
#include "colour_menu.h"

namespace mandel_ui {

// The longer side of the coarse preview, in pixels.
inline constexpr int kPreviewLongerSide = 64;

struct ExplorerJob {
    mandel::ExploreLocation location;
    int width = 0;  // device pixels
    int height = 0;
    bool preview = true;         // draw the coarse preview first
    bool automaticLimit = true;  // choose the next limit and base from the counts
    // The most memory the drawing may take (explorerMemoryEstimate), in bytes.
    std::uint64_t memoryBudget = 0;
    // What rows not drawn yet show while the full picture comes in bands
    // (a picture of this location at this size, or null).
    QImage background;
    // The 配色 menu's choice. The full picture is drawn with a reference of
    // its own, as the renderer draws it, so that the renderer's picture of
    // the copied line is the screen's byte for byte in every colouring,
    // also one chosen after the drawing.
    mandel::Colouring colouring;
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
    // Why the automatic rule chose location.limit (Kept when it is off).
    mandel::LimitReason limitReason = mandel::LimitReason::Kept;
    // Pixels whose count the engine's precision cap left undecided (a full
    // picture's; 0 for a preview).
    std::int64_t uncertifiedPixels = 0;
    mandel::DeepReferenceInfo reference;
    double milliseconds = 0;  // from the start of the job
    // A full picture's counts as its colours show them (width × height).
    std::shared_ptr<const std::vector<std::int32_t>> counts;
    // A full picture's counts and continuous counts, to colour again; the
    // colouring the image shows (its density resolved).
    std::shared_ptr<const HeldCounts> held;
    mandel::Colouring colouring;
};

// How far a drawing has come: the reference orbit's iterations while it is
// computed (referenceTotal > 0), then the full picture's rows (rows ≥ 0).
struct ExplorerProgress {
    std::int64_t referenceDone = 0;
    std::int64_t referenceTotal = 0;
    double rows = -1;         // fraction of the full picture's rows, 0..1
    double milliseconds = 0;  // from the start of the job
};

// A drawing the memory budget does not allow.
struct ExplorerMemoryRefusal {
    std::int64_t limit = 0;
    std::uint64_t estimate = 0;  // bytes the drawing would need
    std::uint64_t budget = 0;    // bytes it may take
};

class ExplorerDrawing : public QObject {
    Q_OBJECT

public:
    explicit ExplorerDrawing(QObject* parent = nullptr);
    // Cancels the drawing in progress; does not wait for the worker.
    ~ExplorerDrawing() override;

    // Cancels the drawing in progress and starts this one; returns its generation.
    std::uint64_t start(const ExplorerJob& job);
    void cancel();
    std::uint64_t generation() const;
    // Another colouring of the same samples for the drawing in progress: the
    // rows shown so far are coloured again in it, and the rows still to come
    // and the finished picture take it (its counts are not drawn again).
    void setColouring(const mandel::Colouring& colouring);

    // Waits up to `timeout` for the workers of every drawing destroyed so
    // far to end; false when some still run (the process may then end
    // without them).
    static bool waitForWorkers(std::chrono::milliseconds timeout);
    // Other threads of the explorer that waitForWorkers waits for (its searches).
    static void workerStarted();
    static void workerEnded();

signals:
    void previewReady(const ExplorerPicture& picture);
    void pictureReady(const ExplorerPicture& picture);
    // The full picture's rows so far over the preview (full is false).
    void partReady(const ExplorerPicture& picture);
    void progressed(const ExplorerProgress& progress);
    // The drawing failed, or stopped without being cancelled or replaced.
    void failed(const QString& reason);
    // The drawing would have needed more memory than its budget; nothing of
    // it was shown.
    void refused(const ExplorerMemoryRefusal& refusal);

private:
    class Worker;
    std::shared_ptr<Worker> worker_;
};

// The most memory a drawing of the location at width × height pixels may
// take, with the pictures the explorer keeps of it besides the engine's.
std::uint64_t explorerMemoryEstimate(const mandel::ExploreLocation& location, int width, int height);

// "上限 16777216 には約 2.1 GB のメモリが要ります（使える量 11.8 GB）"
QString memoryRefusalText(const ExplorerMemoryRefusal& refusal);

// The budget at start-up: MANDEL_MAX_MEMORY (bytes) when it holds a whole
// number above 0, otherwise half the machine's physical memory.
std::uint64_t startupMemoryBudget();

// Colours the counts of a drawing with the explorer's 17 bands.
QImage colourCounts(const std::vector<std::int32_t>& counts, int width, int height, std::int64_t limit,
                    std::int64_t base);

// The full picture is computed and shown in this many bands of rows.
inline constexpr int kFullPictureBands = 8;

// The preview's size: about kPreviewLongerSide on the longer side, in the
// view's shape, no smaller than the deep engine draws.
QSize previewSize(int width, int height);

}  // namespace mandel_ui
