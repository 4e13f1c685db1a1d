#include "explorer_drawing.h"

#include <QMetaObject>
#if defined(__linux__)
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif
#include <algorithm>
#include <atomic>
#include <charconv>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <functional>
#include <limits>
#include <mutex>
#include <new>
#include <optional>
#include <thread>

#include "colour/banding.h"
#include "deep/deep_colour.h"
#include "deep/deep_memory.h"
#include "deep/deep_picture_colours.h"
#include "explore/auto_limit.h"
#include "explore/interior_check.h"
#include "explorer_input.h"

namespace mandel_ui {

namespace {

// Progress reports to the GUI thread at most this often (the first at once).
constexpr qint64 kProgressIntervalMs = 100;
// Limit raises on one location's previews before its full picture, while
// the previews so far took less than this time (a view in which nothing
// escapes climbs fourfold a preview, cheaply, before the full picture).
constexpr int kMaxPreviewRaises = 12;
constexpr qint64 kPreviewRaiseMs = 1500;
// A preview lowers the limit to this many times what its counts allow.
constexpr std::int64_t kPreviewLowerMargin = 2;
// The interior check follows cycles up to this period (see interior_check.h).
constexpr std::int64_t kLongestCheckedCycle = std::int64_t{1} << 20;
// Bytes a pixel of the full picture takes besides the engine's counts and
// flags: the picture being filled in, the copy handed over with each band
// and the finished picture, 4 bytes each.
// The continuous counts and the copy of the counts kept to colour again
// add 4 bytes each.
constexpr int kShownPixelBytes = 20;

// What the window is told when the engine stops a drawing that nobody cancelled.
QString stoppedReason() { return QStringLiteral("描画が途中で止まりました"); }

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

// The workers still running. Never destroyed: a worker may end while the
// process exits, after the static objects are gone.
struct RunningWorkers {
    std::mutex mutex;
    std::condition_variable ended;
    int count = 0;
};

RunningWorkers& runningWorkers() {
    static auto* workers = new RunningWorkers;
    return *workers;
}

std::uint64_t budgetOf(const ExplorerJob& job) {
    return job.memoryBudget > 0 ? job.memoryBudget : mandel::defaultMemoryBudget();
}

// K: the samples a pixel of the job's full picture takes across.
int samplesPerPixel(const ExplorerJob& job) { return screenSupersample(job.colouring, job.width, job.height); }

struct Pending {
    ExplorerJob job;
    std::uint64_t generation = 0;
    // What the interior check found at the view's centre: an attracting
    // cycle, or none of period up to interiorCheckedUpTo (0: not asked yet).
    bool inside = false;
    std::int64_t interiorCheckedUpTo = 0;
    // The colouring of the full picture's rows while they come in, its
    // density resolved once (on the preview's counts, or on the first rows),
    // so that the rows and the preview beside them fit together.
    std::optional<mandel::Colouring> partColouring;
};

}  // namespace

// The worker thread and what it shares with the drawing on the GUI thread.
// The thread owns it as much as the drawing does, so that it may outlive the
// drawing: once the drawing is destroyed (receiver_ null) the worker delivers
// nothing more, and ends as soon as the engine returns from the cancelled step.
class ExplorerDrawing::Worker {
public:
    explicit Worker(ExplorerDrawing* receiver) : receiver_(receiver) {}

    void run();
    std::uint64_t start(const ExplorerJob& job);
    void cancel();
    void stop();
    std::uint64_t generation() const { return generation_; }
    void setColouring(const mandel::Colouring& colouring);

private:
    void drawReportingErrors(Pending& pending);
    void draw(Pending& pending);
    // The preview scaled up to the view, or null when cancelled.
    // With the automatic limit it may raise the job's limit and set its base.
    QImage drawPreview(Pending& pending, QElapsedTimer& clock);
    bool drawFull(Pending& pending, QImage shown, QElapsedTimer& clock);
    // Paints rows first .. first + rows − 1 of the counts into shown and hands a copy over.
    void showBand(Pending& pending, const mandel::DeepDrawing& drawing, const HeldCounts& held, int first, int rows,
                  QImage& shown);
    // Puts a colouring set since the last call into the job; false when there is none.
    bool takeColouring(Pending& pending);
    // The engine's progress as reports to the GUI thread; the rows are the
    // full picture's when firstRow is given (the first row of the band being
    // computed), otherwise only the reference's progress is reported.
    std::function<bool(const mandel::DeepProgress&)> progressReports(const Pending& pending, const QElapsedTimer& clock,
                                                                     const int* firstRow);
    void refuse(const Pending& pending);
    // The limit rule on a drawing's counts; the interior check runs (once a
    // job) only when nothing escaped.
    mandel::LimitAndBase applyRule(Pending& pending, const std::vector<std::int32_t>& counts, int width, int height);
    // Hands a result to the GUI thread, where it is dropped when a newer job
    // started; nothing once the drawing is destroyed.
    void deliver(std::uint64_t generation, std::function<void(ExplorerDrawing&)> emitOnGui);

    std::mutex mutex_;
    std::condition_variable wake_;
    std::optional<Pending> pending_;
    bool stopping_ = false;
    ExplorerDrawing* receiver_;  // guarded by mutex_
    std::atomic<bool> cancel_{false};
    std::atomic<std::uint64_t> generation_{0};
    std::shared_ptr<const mandel::DeepReference> reference_;  // worker thread only
    // A colouring for the job in progress, set from the GUI thread.
    std::mutex colouringMutex_;
    std::optional<mandel::Colouring> newColouring_;  // guarded by colouringMutex_
};

QSize previewSize(int width, int height) {
    const int longer = std::max(width, height);
    const auto scaled = [longer](int edge) {
        return std::max(mandel::kMinPictureSize, (edge * kPreviewLongerSide + longer / 2) / longer);
    };
    return {scaled(width), scaled(height)};
}

QImage colourCounts(const std::vector<std::int32_t>& counts, int width, int height, std::int64_t limit,
                    std::int64_t base) {
    QImage image(width, height, QImage::Format_RGB32);
    if (image.isNull()) throw std::bad_alloc();
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

std::uint64_t explorerMemoryEstimate(const mandel::ExploreLocation& location, int width, int height) {
    // The estimate depends on the limit, the size and the number range the
    // pixels' spacing needs, not on where the view lies: a view with its
    // corner at 0 spares converting the centre's digits (up to 100,000).
    mandel::DeepView view;
    view.location = {"0", "0", location.side.scientificText(), location.limit};
    view.width = width;
    view.height = height;
    return mandel::deepMemoryEstimate(view, mandel::DeepMemoryChoices{true, true, kShownPixelBytes});
}

QString memoryRefusalText(const ExplorerMemoryRefusal& refusal) {
    return QStringLiteral("上限 %1 には約 %2 のメモリが要ります（使える量 %3）")
        .arg(refusal.limit)
        .arg(QString::fromStdString(mandel::memoryText(refusal.estimate)),
             QString::fromStdString(mandel::memoryText(refusal.budget)));
}

std::uint64_t startupMemoryBudget() {
    if (const char* text = std::getenv("MANDEL_MAX_MEMORY")) {
        const char* end = text + std::strlen(text);
        std::uint64_t bytes = 0;
        const auto [at, error] = std::from_chars(text, end, bytes);
        if (error == std::errc() && at == end && bytes > 0) return bytes;
    }
    return mandel::defaultMemoryBudget();
}

// ---------------------------------------------------------------------------
// The drawing on the GUI thread

ExplorerDrawing::ExplorerDrawing(QObject* parent) : QObject(parent), worker_(std::make_shared<Worker>(this)) {
    RunningWorkers& running = runningWorkers();
    {
        std::lock_guard lock(running.mutex);
        ++running.count;
    }
    try {
        std::thread([worker = worker_]() mutable {
            worker->run();
            // The last owner frees the state before the worker counts as ended.
            worker.reset();
            RunningWorkers& workers = runningWorkers();
            std::lock_guard lock(workers.mutex);
            --workers.count;
            workers.ended.notify_all();
        }).detach();
    } catch (...) {
        std::lock_guard lock(running.mutex);
        --running.count;
        throw;
    }
}

ExplorerDrawing::~ExplorerDrawing() { worker_->stop(); }

std::uint64_t ExplorerDrawing::start(const ExplorerJob& job) { return worker_->start(job); }

void ExplorerDrawing::cancel() { worker_->cancel(); }

std::uint64_t ExplorerDrawing::generation() const { return worker_->generation(); }

void ExplorerDrawing::workerStarted() {
    RunningWorkers& running = runningWorkers();
    std::lock_guard lock(running.mutex);
    ++running.count;
}

void ExplorerDrawing::workerEnded() {
    RunningWorkers& running = runningWorkers();
    std::lock_guard lock(running.mutex);
    --running.count;
    running.ended.notify_all();
}

bool ExplorerDrawing::waitForWorkers(std::chrono::milliseconds timeout) {
    RunningWorkers& running = runningWorkers();
    std::unique_lock lock(running.mutex);
    return running.ended.wait_for(lock, timeout, [&running] { return running.count == 0; });
}

// ---------------------------------------------------------------------------
// The worker

void ExplorerDrawing::setColouring(const mandel::Colouring& colouring) { worker_->setColouring(colouring); }

std::uint64_t ExplorerDrawing::Worker::start(const ExplorerJob& job) {
    std::uint64_t generation = 0;
    {
        std::lock_guard lock(mutex_);
        generation = ++generation_;
        pending_ = Pending{job, generation, false, 0, std::nullopt};
        cancel_ = true;
    }
    {
        std::lock_guard lock(colouringMutex_);
        newColouring_.reset();
    }
    wake_.notify_all();
    return generation;
}

void ExplorerDrawing::Worker::setColouring(const mandel::Colouring& colouring) {
    std::lock_guard lock(colouringMutex_);
    newColouring_ = colouring;
}

bool ExplorerDrawing::Worker::takeColouring(Pending& pending) {
    std::lock_guard lock(colouringMutex_);
    if (!newColouring_) return false;
    pending.job.colouring = *newColouring_;
    newColouring_.reset();
    return true;
}

void ExplorerDrawing::Worker::cancel() {
    std::lock_guard lock(mutex_);
    ++generation_;
    pending_.reset();
    cancel_ = true;
}

void ExplorerDrawing::Worker::stop() {
    {
        std::lock_guard lock(mutex_);
        receiver_ = nullptr;
        stopping_ = true;
        ++generation_;
        pending_.reset();
        cancel_ = true;
    }
    wake_.notify_all();
}

void ExplorerDrawing::Worker::run() {
    yieldToTheGuiThread();
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stopping_ || pending_.has_value(); });
        if (stopping_) return;
        Pending pending = std::move(*pending_);
        pending_.reset();
        cancel_ = false;
        lock.unlock();
        drawReportingErrors(pending);
        lock.lock();
    }
}

void ExplorerDrawing::Worker::drawReportingErrors(Pending& pending) {
    const std::uint64_t generation = pending.generation;
    try {
        draw(pending);
    } catch (const mandel::DeepMemoryError&) {
        refuse(pending);
    } catch (const std::bad_alloc&) {
        // Saying so needs a little memory too; without it the window just
        // keeps what it shows.
        try {
            deliver(generation, [](ExplorerDrawing& drawing) { emit drawing.failed(outOfMemoryText()); });
        } catch (const std::bad_alloc&) {}
    } catch (const std::exception& error) {
        const QString reason = QString::fromStdString(error.what());
        deliver(generation, [reason](ExplorerDrawing& drawing) { emit drawing.failed(reason); });
    }
}

mandel::LimitAndBase ExplorerDrawing::Worker::applyRule(Pending& pending, const std::vector<std::int32_t>& counts,
                                                        int width, int height) {
    const mandel::ExploreLocation& location = pending.job.location;
    // Cycles up to the limit: a longer one could not hold every pixel.
    const std::int64_t longest = std::min(location.limit, kLongestCheckedCycle);
    if (!pending.inside && longest > pending.interiorCheckedUpTo && mandel::nothingEscaped(counts, location.limit)) {
        mandel::InteriorQuestion question;
        question.re = location.centreReal.plainText();
        question.im = location.centreImag.plainText();
        question.bits = mandel::bitsForSide(location.side.leadingExponent());
        question.maxPeriod = longest;
        // A cancelled check finds nothing; its job is dropped anyway.
        pending.inside = mandel::attractingCyclePeriod(question, &cancel_).has_value();
        pending.interiorCheckedUpTo = longest;
    }
    return mandel::chooseLimitAndBase(
        counts, width, height, location.limit,
        pending.inside ? mandel::InteriorEvidence::AttractingCycle : mandel::InteriorEvidence::None);
}

void ExplorerDrawing::Worker::refuse(const Pending& pending) {
    const ExplorerJob& job = pending.job;
    const ExplorerMemoryRefusal refusal{job.location.limit, explorerMemoryEstimate(job.location, job.width, job.height),
                                        budgetOf(job)};
    deliver(pending.generation, [refusal](ExplorerDrawing& drawing) { emit drawing.refused(refusal); });
}

void ExplorerDrawing::Worker::deliver(std::uint64_t generation, std::function<void(ExplorerDrawing&)> emitOnGui) {
    std::lock_guard lock(mutex_);
    if (receiver_ == nullptr || generation_ != generation) return;
    // The event goes to the drawing's thread and is dropped with the drawing.
    ExplorerDrawing* receiver = receiver_;
    QMetaObject::invokeMethod(
        receiver,
        [receiver, generation, emitOnGui = std::move(emitOnGui)] {
            if (receiver->generation() == generation) emitOnGui(*receiver);
        },
        Qt::QueuedConnection);
}

std::function<bool(const mandel::DeepProgress&)> ExplorerDrawing::Worker::progressReports(const Pending& pending,
                                                                                          const QElapsedTimer& clock,
                                                                                          const int* firstRow) {
    auto lastReport = std::make_shared<qint64>(-kProgressIntervalMs);
    const int height = pending.job.height * samplesPerPixel(pending.job);
    return [this, generation = pending.generation, &clock, firstRow, height,
            lastReport](const mandel::DeepProgress& progress) {
        const qint64 now = clock.elapsed();
        if (now - *lastReport < kProgressIntervalMs) return true;
        ExplorerProgress report;
        report.milliseconds = static_cast<double>(now);
        if (progress.referenceTotal > 0) {
            report.referenceDone = progress.referenceDone;
            report.referenceTotal = progress.referenceTotal;
        } else if (firstRow != nullptr) {
            report.rows = static_cast<double>(*firstRow + progress.rowsDone) / height;
        } else {
            return true;
        }
        *lastReport = now;
        deliver(generation, [report](ExplorerDrawing& drawing) { emit drawing.progressed(report); });
        return true;
    };
}

void ExplorerDrawing::Worker::showBand(Pending& pending, const mandel::DeepDrawing& drawing, const HeldCounts& held,
                                       int first, int rows, QImage& shown) {
    const ExplorerJob& job = pending.job;
    // first and rows count samples, K to a pixel.
    const int k = samplesPerPixel(job);
    const auto offset = static_cast<std::size_t>(first) * held.width;
    const auto samples = static_cast<std::size_t>(rows) * held.width;
    if (!pending.partColouring)
        pending.partColouring = resolvedColouring(job.colouring, held.rows(0, offset + samples), job.location.limit, k);
    const QImage coloured =
        colourCountsAs(held.rows(offset, samples), job.location.limit, job.location.base, *pending.partColouring, k);
    for (int y = 0; y < rows / k; ++y)
        std::memcpy(shown.scanLine(first / k + y), coloured.constScanLine(y), static_cast<std::size_t>(job.width) * 4);
    ExplorerPicture picture;
    picture.generation = pending.generation;
    picture.location = job.location;
    picture.drawnLimit = job.location.limit;
    picture.reference = drawing.referenceInfo();
    picture.image = shown.copy();
    deliver(pending.generation, [picture](ExplorerDrawing& target) { emit target.partReady(picture); });
}

void ExplorerDrawing::Worker::draw(Pending& pending) {
    QElapsedTimer clock;
    clock.start();
    const ExplorerJob& job = pending.job;
    // Nothing is drawn, not even the preview, when the full picture would
    // not fit in the budget.
    const int k = samplesPerPixel(job);
    if (explorerMemoryEstimate(job.location, job.width * k, job.height * k) > budgetOf(job)) return refuse(pending);
    QImage shown = job.background;
    if (job.preview) {
        shown = drawPreview(pending, clock);
        if (shown.isNull()) return;
    }
    drawFull(pending, shown, clock);
}

QImage ExplorerDrawing::Worker::drawPreview(Pending& pending, QElapsedTimer& clock) {
    ExplorerJob& job = pending.job;
    const QSize size = previewSize(job.width, job.height);
    std::vector<std::int32_t> counts(static_cast<std::size_t>(size.width()) * size.height());
    std::vector<float> excess(counts.size());
    mandel::DeepOptions options;
    options.cancel = &cancel_;
    options.maxMemory = budgetOf(job);
    options.progress = progressReports(pending, clock, nullptr);
    mandel::DeepReferenceInfo reference;
    mandel::LimitReason limitReason = mandel::LimitReason::Kept;
    for (int raises = 0;; ++raises) {
        mandel::DeepDrawing drawing(mandel::toDeepView(job.location, size.width(), size.height()), reference_);
        if (!drawing.computeRows(0, size.height(), counts, options, {}, std::span<float>(excess))) {
            // Dropped unless this job is still the current one.
            deliver(pending.generation, [](ExplorerDrawing& target) { emit target.failed(stoppedReason()); });
            return {};
        }
        reference_ = drawing.reference();
        reference = drawing.referenceInfo();
        if (!job.automaticLimit) break;
        // The rule on the preview's counts already: a view where nothing
        // escapes, or whose boundary the limit cuts off, gets its higher
        // limit before the full picture is drawn, not after.
        const mandel::LimitAndBase next = applyRule(pending, counts, size.width(), size.height());
        job.location.base = std::min(next.base, job.location.limit - 1);
        limitReason = next.reason;
        if (next.limit < job.location.limit) {
            // Lowered: the full picture is drawn at a lower limit at once
            // (the whole set after a deep view: seconds saved), and the
            // preview's counts are those at it already. The coarse preview
            // sees less of the boundary than the full picture: it lowers to
            // twice what its counts allow, the full picture's rule may go on.
            const std::int64_t lower = std::min(job.location.limit, kPreviewLowerMargin * next.limit);
            if (lower == job.location.limit) break;
            job.location.limit = lower;
            job.location.base = std::min(next.base, job.location.limit - 1);
            for (std::size_t i = 0; i < counts.size(); ++i)
                if (counts[i] >= lower) {
                    counts[i] = static_cast<std::int32_t>(lower);
                    excess[i] = std::numeric_limits<float>::quiet_NaN();  // held now: no escape to smooth
                }
            break;
        }
        if (next.limit == job.location.limit || raises == kMaxPreviewRaises || clock.elapsed() > kPreviewRaiseMs) break;
        // No higher than the full picture can be drawn with.
        mandel::ExploreLocation raised = job.location;
        raised.limit = next.limit;
        if (explorerMemoryEstimate(raised, job.width, job.height) > budgetOf(job)) break;
        job.location.limit = next.limit;
    }
    takeColouring(pending);
    ExplorerPicture picture;
    picture.generation = pending.generation;
    picture.location = job.location;
    picture.drawnLimit = job.location.limit;
    picture.limitReason = limitReason;
    picture.reference = reference;
    const mandel::SampleRows samples{
        counts, excess, {}, {}, static_cast<std::size_t>(size.width()), static_cast<std::size_t>(size.height())};
    pending.partColouring = resolvedColouring(job.colouring, samples, job.location.limit, 1);
    picture.image = colourCountsAs(samples, job.location.limit, job.location.base, *pending.partColouring, 1)
                        .scaled(job.width, job.height, Qt::IgnoreAspectRatio, Qt::FastTransformation);
    if (picture.image.isNull()) throw std::bad_alloc();
    picture.milliseconds = static_cast<double>(clock.nsecsElapsed()) / 1e6;
    deliver(pending.generation, [picture](ExplorerDrawing& target) { emit target.previewReady(picture); });
    return picture.image;
}

bool ExplorerDrawing::Worker::drawFull(Pending& pending, QImage shown, QElapsedTimer& clock) {
    const ExplorerJob& job = pending.job;
    // K × K samples a pixel (the screen's anti-aliasing): the drawing is of the samples.
    const int k = samplesPerPixel(job);
    const int width = job.width * k, height = job.height * k;
    // A reference of its own, as the renderer's: the continuous counts it
    // holds are the renderer's, whatever colouring is chosen later.
    mandel::DeepDrawing drawing(mandel::toDeepView(job.location, width, height));
    auto held = std::make_shared<HeldCounts>();
    held->allocate(width, height, needsDistance(job.colouring));
    held->supersample = k;
    std::vector<std::int32_t>& counts = held->counts;
    std::vector<std::uint8_t> certified(counts.size());
    int first = 0;  // of the band being computed
    mandel::DeepOptions options;
    options.cancel = &cancel_;
    options.maxMemory = budgetOf(job);
    options.progress = progressReports(pending, clock, &first);
    shown = shown.size() == QSize(job.width, job.height) ? shown.convertToFormat(QImage::Format_RGB32) : QImage();
    for (int band = 0; band < kFullPictureBands; ++band) {
        first = job.height * band / kFullPictureBands * k;
        const int rows = job.height * (band + 1) / kFullPictureBands * k - first;
        const std::size_t offset = static_cast<std::size_t>(first) * width;
        if (rows == 0) continue;
        const std::size_t pixels = static_cast<std::size_t>(rows) * width;
        if (!drawing.computeRows(first, rows, std::span(counts).subspan(offset, pixels), options,
                                 std::span(certified).subspan(offset, pixels), held->outputs(offset, pixels))) {
            // Dropped unless this job is still the current one.
            deliver(pending.generation, [](ExplorerDrawing& target) { emit target.failed(stoppedReason()); });
            return false;
        }
        reference_ = drawing.reference();
        if (!shown.isNull() && band + 1 < kFullPictureBands) {
            // A colouring chosen meanwhile: every row drawn so far in it.
            int from = first;
            if (takeColouring(pending)) {
                pending.partColouring.reset();
                from = 0;
            }
            showBand(pending, drawing, *held, from, first + rows - from, shown);
        }
    }
    takeColouring(pending);

    ExplorerPicture picture;
    picture.generation = pending.generation;
    picture.full = true;
    picture.location = job.location;
    picture.drawnLimit = job.location.limit;
    picture.reference = drawing.referenceInfo();
    picture.uncertifiedPixels = std::count(certified.begin(), certified.end(), std::uint8_t{0});
    if (job.automaticLimit) {
        // A view in which nothing escaped rises further (the window draws it
        // again) unless the interior check found the inside of the set.
        const mandel::LimitAndBase next = applyRule(pending, counts, width, height);
        picture.location.base = next.base;
        picture.location.limit = next.limit;
        picture.limitReason = next.reason;
        // A lower limit changes only the counts at or above it, to the new
        // limit (a count below a limit does not depend on it): no drawing is needed.
        const auto lower = static_cast<std::int32_t>(std::min(next.limit, job.location.limit));
        for (std::int32_t& count : counts) count = std::min(count, lower);
    }
    const std::int64_t colourLimit = std::min(picture.location.limit, job.location.limit);
    const std::int64_t colourBase = std::min(picture.location.base, colourLimit - 1);
    held->limit = colourLimit;
    picture.colouring = resolvedColouring(job.colouring, *held);
    picture.image = colourHeldCounts(*held, picture.colouring, colourBase);
    // Each pixel's own sample (the first of its K × K) is its count.
    std::vector<std::int32_t> own;
    mandel::pixelSamples<std::int32_t>(counts, width, height, k, own);
    picture.counts = std::make_shared<const std::vector<std::int32_t>>(std::move(own));
    picture.held = std::move(held);
    picture.milliseconds = static_cast<double>(clock.nsecsElapsed()) / 1e6;
    deliver(pending.generation, [picture](ExplorerDrawing& target) { emit target.pictureReady(picture); });
    return true;
}

}  // namespace mandel_ui
