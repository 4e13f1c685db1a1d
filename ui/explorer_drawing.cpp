#include "explorer_drawing.h"

#include <QMetaObject>
#if defined(__linux__)
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif
#include <QPointer>
#include <algorithm>
#include <cstring>
#include <exception>

#include "colour/banding.h"
#include "deep/deep_colour.h"
#include "explore/auto_limit.h"

namespace mandel_ui {

namespace {

// Progress reports to the GUI thread at most this often.
constexpr qint64 kProgressIntervalMs = 100;
// Limit raises on one location's previews before its full picture, while a
// preview stays cheap: its pixels times its limit within this many iterations.
constexpr int kMaxPreviewRaises = 6;
constexpr std::int64_t kPreviewIterationBudget = std::int64_t{1} << 25;

// What the window is told when the engine stops a drawing that nobody cancelled.
const QString kStoppedReason = QStringLiteral("描画が途中で止まりました");

// The drawing threads yield to the GUI thread, which must never wait long
// for a core: on Linux each thread has its own nice value, and the threads
// the engine starts from this one inherit it.
constexpr int kDrawingNiceness = 5;

void yieldToTheGuiThread() {
#if defined(__linux__)
    const auto thread = static_cast<id_t>(syscall(SYS_gettid));
    setpriority(PRIO_PROCESS, thread, getpriority(PRIO_PROCESS, thread) + kDrawingNiceness);
#endif
}

}  // namespace

QSize previewSize(int width, int height) {
    const int longer = std::max(width, height);
    const auto scaled = [longer](int edge) {
        return std::max(mandel::kMinDeepSize, (edge * kPreviewLongerSide + longer / 2) / longer);
    };
    return {scaled(width), scaled(height)};
}

QImage colourCounts(const std::vector<std::int32_t>& counts, int width, int height, std::int64_t limit,
                    std::int64_t base) {
    QImage image(width, height, QImage::Format_RGB32);
    // Neighbouring pixels mostly share their count: remember the last one.
    std::int64_t lastCount = -1;
    QRgb lastColour = 0;
    for (int y = 0; y < height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        const std::int32_t* row = counts.data() + static_cast<std::size_t>(y) * width;
        for (int x = 0; x < width; ++x) {
            if (row[x] != lastCount) {
                lastCount = row[x];
                const mandel::Rgb c = mandel::Palette[mandel::deepColourIndex(lastCount, limit, base)];
                lastColour = qRgb(c.red, c.green, c.blue);
            }
            line[x] = lastColour;
        }
    }
    return image;
}

ExplorerDrawing::ExplorerDrawing(QObject* parent) : QObject(parent), worker_([this] { run(); }) {}

ExplorerDrawing::~ExplorerDrawing() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        cancel_ = true;
    }
    wake_.notify_all();
    worker_.join();
}

std::uint64_t ExplorerDrawing::start(const ExplorerJob& job) {
    std::uint64_t generation = 0;
    {
        std::lock_guard lock(mutex_);
        generation = ++generation_;
        pending_ = Pending{job, generation};
        cancel_ = true;
    }
    wake_.notify_all();
    return generation;
}

void ExplorerDrawing::cancel() {
    std::lock_guard lock(mutex_);
    ++generation_;
    pending_.reset();
    cancel_ = true;
}

void ExplorerDrawing::run() {
    yieldToTheGuiThread();
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stopping_ || pending_.has_value(); });
        if (stopping_) return;
        const Pending pending = *pending_;
        pending_.reset();
        cancel_ = false;
        lock.unlock();
        try {
            draw(pending);
        } catch (const std::exception& error) {
            const QString reason = QString::fromStdString(error.what());
            deliver(pending.generation, [this, reason] { emit failed(reason); });
        }
        lock.lock();
    }
}

void ExplorerDrawing::deliver(std::uint64_t generation, std::function<void()> emitOnGui) {
    QPointer<ExplorerDrawing> self(this);
    QMetaObject::invokeMethod(
        this,
        [self, generation, emitOnGui = std::move(emitOnGui)] {
            if (self && self->generation_ == generation) emitOnGui();
        },
        Qt::QueuedConnection);
}

void ExplorerDrawing::showBand(const Pending& pending, const mandel::DeepDrawing& drawing,
                               const std::vector<std::int32_t>& counts, int first, int rows, QImage& shown) {
    const ExplorerJob& job = pending.job;
    const std::vector<std::int32_t> band(counts.begin() + static_cast<std::ptrdiff_t>(first) * job.width,
                                         counts.begin() + static_cast<std::ptrdiff_t>(first + rows) * job.width);
    const QImage coloured = colourCounts(band, job.width, rows, job.location.limit, job.location.base);
    for (int y = 0; y < rows; ++y)
        std::memcpy(shown.scanLine(first + y), coloured.constScanLine(y), static_cast<std::size_t>(job.width) * 4);
    ExplorerPicture picture;
    picture.generation = pending.generation;
    picture.location = job.location;
    picture.drawnLimit = job.location.limit;
    picture.reference = drawing.referenceInfo();
    picture.image = shown.copy();
    deliver(pending.generation, [this, picture] { emit partReady(picture); });
}

void ExplorerDrawing::draw(Pending pending) {
    QElapsedTimer clock;
    clock.start();
    QImage shown = pending.job.background;
    if (pending.job.preview) {
        shown = drawPreview(pending, clock);
        if (shown.isNull()) return;
    }
    drawFull(pending, shown, clock);
}

QImage ExplorerDrawing::drawPreview(Pending& pending, QElapsedTimer& clock) {
    ExplorerJob& job = pending.job;
    const QSize size = previewSize(job.width, job.height);
    std::vector<std::int32_t> counts(static_cast<std::size_t>(size.width()) * size.height());
    mandel::DeepOptions options;
    options.cancel = &cancel_;
    mandel::DeepReferenceInfo reference;
    for (int raises = 0;; ++raises) {
        mandel::DeepDrawing drawing(mandel::toDeepView(job.location, size.width(), size.height()), reference_);
        if (!drawing.computeRows(0, size.height(), counts, options)) {
            // Dropped unless this job is still the current one.
            deliver(pending.generation, [this] { emit failed(kStoppedReason); });
            return {};
        }
        reference_ = drawing.reference();
        reference = drawing.referenceInfo();
        if (!job.automaticLimit) break;
        // The rule on the preview's counts already: a view where nothing
        // escapes, or whose boundary the limit cuts off, gets its higher
        // limit before the full picture is drawn, not after.
        const mandel::LimitAndBase next = mandel::chooseLimitAndBase(counts, size.width(), size.height(), job.location.limit);
        job.location.base = std::min(next.base, job.location.limit - 1);
        const std::int64_t pixels = static_cast<std::int64_t>(counts.size());
        if (next.limit <= job.location.limit || raises == kMaxPreviewRaises ||
            next.limit > kPreviewIterationBudget / pixels)
            break;
        job.location.limit = next.limit;
    }
    ExplorerPicture picture;
    picture.generation = pending.generation;
    picture.location = job.location;
    picture.drawnLimit = job.location.limit;
    picture.reference = reference;
    picture.image = colourCounts(counts, size.width(), size.height(), job.location.limit, job.location.base)
                        .scaled(job.width, job.height, Qt::IgnoreAspectRatio, Qt::FastTransformation);
    picture.milliseconds = static_cast<double>(clock.nsecsElapsed()) / 1e6;
    deliver(pending.generation, [this, picture] { emit previewReady(picture); });
    return picture.image;
}

bool ExplorerDrawing::drawFull(const Pending& pending, QImage shown, QElapsedTimer& clock) {
    const ExplorerJob& job = pending.job;
    mandel::DeepDrawing drawing(mandel::toDeepView(job.location, job.width, job.height), reference_);
    std::vector<std::int32_t> counts(static_cast<std::size_t>(job.width) * job.height);
    std::vector<std::uint8_t> certified(counts.size());
    qint64 lastReport = clock.elapsed();
    int first = 0;  // of the band being computed
    mandel::DeepOptions options;
    options.cancel = &cancel_;
    options.progress = [&](const mandel::DeepProgress& progress) {
        if (clock.elapsed() - lastReport >= kProgressIntervalMs) {
            lastReport = clock.elapsed();
            const double fraction = static_cast<double>(first + progress.rowsDone) / job.height;
            const double ms = static_cast<double>(lastReport);
            deliver(pending.generation, [this, fraction, ms] { emit progressed(fraction, ms); });
        }
        return true;
    };
    shown = shown.size() == QSize(job.width, job.height) ? shown.convertToFormat(QImage::Format_RGB32) : QImage();
    for (int band = 0; band < kFullPictureBands; ++band) {
        first = job.height * band / kFullPictureBands;
        const int rows = job.height * (band + 1) / kFullPictureBands - first;
        const std::size_t offset = static_cast<std::size_t>(first) * job.width;
        if (rows == 0) continue;
        const std::size_t pixels = static_cast<std::size_t>(rows) * job.width;
        if (!drawing.computeRows(first, rows, std::span(counts).subspan(offset, pixels), options,
                                 std::span(certified).subspan(offset, pixels))) {
            // Dropped unless this job is still the current one.
            deliver(pending.generation, [this] { emit failed(kStoppedReason); });
            return false;
        }
        reference_ = drawing.reference();
        if (!shown.isNull() && band + 1 < kFullPictureBands) showBand(pending, drawing, counts, first, rows, shown);
    }

    ExplorerPicture picture;
    picture.generation = pending.generation;
    picture.full = true;
    picture.location = job.location;
    picture.drawnLimit = job.location.limit;
    picture.reference = drawing.referenceInfo();
    picture.uncertifiedPixels = std::count(certified.begin(), certified.end(), std::uint8_t{0});
    if (job.automaticLimit) {
        mandel::LimitAndBase next = mandel::chooseLimitAndBase(counts, job.width, job.height, job.location.limit);
        // Nothing escaped even at the limit the preview raised as far as it
        // cheaply could: the view lies inside the set, and each further rise
        // would only draw the same picture four times more slowly.
        const auto limit = static_cast<std::int32_t>(job.location.limit);
        if (std::all_of(counts.begin(), counts.end(), [limit](std::int32_t count) { return count == limit; }))
            next.limit = job.location.limit;
        picture.location.base = next.base;
        picture.location.limit = next.limit;
        // A lower limit leaves every escaped count below it: only the held
        // pixels' count changes, to the new limit, and no drawing is needed.
        if (next.limit < job.location.limit)
            for (std::int32_t& count : counts)
                if (count == job.location.limit) count = static_cast<std::int32_t>(next.limit);
    }
    const std::int64_t colourLimit = std::min(picture.location.limit, job.location.limit);
    const std::int64_t colourBase = std::min(picture.location.base, colourLimit - 1);
    picture.image = colourCounts(counts, job.width, job.height, colourLimit, colourBase);
    picture.milliseconds = static_cast<double>(clock.nsecsElapsed()) / 1e6;
    deliver(pending.generation, [this, picture] { emit pictureReady(picture); });
    return true;
}

}  // namespace mandel_ui
