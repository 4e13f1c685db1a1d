#include "explorer_window.h"

#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QScreen>
#include <QStatusBar>
#include <QTransform>
#include <QVBoxLayout>
#include <charconv>
#include <cmath>
#include <optional>
#include <string>

#include "elided_label.h"
#include "explorer_input.h"
#include "explorer_status.h"
#include "explorer_view.h"

namespace mandel_ui {

namespace {

// A run of automatic limit raises ends here even if the rule still asks for
// more; the next gesture starts a new run. Blind rises (nothing escaped)
// climb fourfold from 64 to the rule's ceiling within it.
constexpr int kMaxAutomaticRaises = 12;
constexpr QSize kOpeningViewSize{800, 800};
constexpr int kStatusTickMs = 250;

double zoomFactor(int units) { return std::exp2(static_cast<double>(units) / mandel::kWheelUnitsPerNotch); }

// Scaling by k about the point p (device pixels).
QTransform scaledAbout(double px, double py, double k) {
    return QTransform::fromTranslate(-px, -py) * QTransform::fromScale(k, k) * QTransform::fromTranslate(px, py);
}

// A jump moves the old picture as a placeholder only within these bounds
// (scale and shift in view sizes); beyond them it would show nothing useful.
constexpr double kLargestPlaceholderScale = 1e6;

// a / b as a double (b > 0), or nothing where that leaves double's range.
std::optional<double> ratio(const mandel::Decimal& a, const mandel::Decimal& b) {
    const std::int64_t exponent = b.leadingExponent();
    const std::string numerator = a.timesPowerOfTen(-exponent).scientificText();
    const std::string denominator = b.timesPowerOfTen(-exponent).scientificText();
    double x = 0, y = 0;
    const auto [endX, errorX] = std::from_chars(numerator.data(), numerator.data() + numerator.size(), x);
    const auto [endY, errorY] = std::from_chars(denominator.data(), denominator.data() + denominator.size(), y);
    if (errorX != std::errc() || errorY != std::errc() || !(y > 0)) return std::nullopt;
    return x / y;
}

// The old picture of `from` placed where it lies in the view of `to`.
std::optional<QTransform> placeholderBetween(const mandel::ExploreLocation& from, const mandel::ExploreLocation& to,
                                             QSize size) {
    const auto k = ratio(from.side, to.side);
    const auto dx = ratio(to.centreReal - from.centreReal, from.side);
    const auto dy = ratio(to.centreImag - from.centreImag, from.side);
    if (!k || !dx || !dy || *k > kLargestPlaceholderScale || *k < 1 / kLargestPlaceholderScale ||
        std::abs(*dx) > kLargestPlaceholderScale || std::abs(*dy) > kLargestPlaceholderScale)
        return std::nullopt;
    const double shorter = std::min(size.width(), size.height());
    const double cx = size.width() / 2.0, cy = size.height() / 2.0;
    return QTransform::fromTranslate(-(cx + *dx * shorter), -(cy + *dy * shorter)) * QTransform::fromScale(*k, *k) *
           QTransform::fromTranslate(cx, cy);
}

}  // namespace

// The status bar's message: one line left of the drawing's status, shortened
// with "…" to the room the bar leaves it, so that it never runs into the
// drawing's status whatever either says; the whole text is its tool tip.
class ExplorerMessage : public QWidget {
public:
    explicit ExplorerMessage(QWidget* parent) : QWidget(parent) {
        setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    }
    const QString& text() const { return text_; }
    void setText(const QString& text) {
        text_ = text;
        setToolTip(text);
        update();
    }
    QSize sizeHint() const override { return {0, fontMetrics().height()}; }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        const QRect room = contentsRect();
        painter.drawText(room, Qt::AlignLeading | Qt::AlignVCenter | Qt::TextSingleLine,
                         fontMetrics().elidedText(text_, Qt::ElideRight, room.width()));
    }

private:
    QString text_;
};

ExplorerWindow::ExplorerWindow(const mandel::ExploreLocation& opening, QWidget* parent)
    : QMainWindow(parent), history_(opening), home_(opening), memoryBudget_(startupMemoryBudget()) {
    setObjectName(QStringLiteral("explorer"));
    setWindowTitle(QStringLiteral("探索ウィンドウ"));
    setAcceptDrops(true);
    auto* client = new QWidget(this);
    auto* layout = new QVBoxLayout(client);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    setCentralWidget(client);
    createLocationLine();
    view_ = new ExplorerView(client);
    view_->setObjectName(QStringLiteral("explorerView"));
    layout->addWidget(view_, 1);
    // Both give way with "…" where the bar is narrow, never overprinting.
    pointerStatus_ = new ElidedLabel(this);
    pointerStatus_->setObjectName(QStringLiteral("pointerStatus"));
    drawingStatus_ = new ElidedLabel(this);
    drawingStatus_->setObjectName(QStringLiteral("drawingStatus"));
    statusBar()->addPermanentWidget(drawingStatus_);
    addToolTips();
    message_ = new ExplorerMessage(this);
    message_->setObjectName(QStringLiteral("statusMessage"));
    statusBar()->addWidget(message_, 1);
    statusBar()->addWidget(pointerStatus_, 1);
    createMenus();
    connectView();
    connect(&drawing_, &ExplorerDrawing::previewReady, this, &ExplorerWindow::previewReady);
    connect(&drawing_, &ExplorerDrawing::pictureReady, this, &ExplorerWindow::pictureReady);
    connect(&drawing_, &ExplorerDrawing::partReady, this,
            [this](const ExplorerPicture& part) { view_->setPicture(part.image); });
    connect(&drawing_, &ExplorerDrawing::progressed, this, &ExplorerWindow::progressed);
    connect(&drawing_, &ExplorerDrawing::failed, this, &ExplorerWindow::drawingFailed);
    connect(&drawing_, &ExplorerDrawing::refused, this, &ExplorerWindow::drawingRefused);
    connect(&finder_, &ExplorerFinder::answered, this, &ExplorerWindow::findAnswered);
    // The time in the status line goes on while a drawing runs.
    statusTicker_.setInterval(kStatusTickMs);
    connect(&statusTicker_, &QTimer::timeout, this, &ExplorerWindow::showDrawingStatus);
    showLocationTexts();
    // The opening size, within the screen's free area.
    QSize windowSize = kOpeningViewSize + QSize(0, 80);
    if (const QScreen* screen = this->screen()) windowSize = windowSize.boundedTo(screen->availableSize() * 9 / 10);
    resize(windowSize);
    view_->setFocus(Qt::OtherFocusReason);
}

ExplorerWindow::~ExplorerWindow() = default;

void ExplorerWindow::connectView() {
    connect(view_, &ExplorerView::wheelTurned, this, &ExplorerWindow::wheelTurned);
    connect(view_, &ExplorerView::squareChosen, this, &ExplorerWindow::squareChosen);
    connect(view_, &ExplorerView::panned, this, &ExplorerWindow::panned);
    connect(view_, &ExplorerView::zoomKey, this, &ExplorerWindow::zoomKey);
    connect(view_, &ExplorerView::resized, this, &ExplorerWindow::viewResized);
    connect(view_, &ExplorerView::backRequested, this, [this] { stepHistory(false); });
    connect(view_, &ExplorerView::forwardRequested, this, [this] { stepHistory(true); });
    connect(view_, &ExplorerView::homeRequested, this, &ExplorerWindow::goHome);
    connect(view_, &ExplorerView::stopRequested, this, &ExplorerWindow::stopDrawing);
    connect(view_, &ExplorerView::pointerMoved, this, &ExplorerWindow::pointerMoved);
    connect(view_, &ExplorerView::pointerLeft, pointerStatus_, &QLabel::clear);
    connect(view_, &ExplorerView::findRequested, this, &ExplorerWindow::findAt);
    connect(view_, &ExplorerView::contextMenuRequested, this, &ExplorerWindow::showContextMenu);
}

QImage ExplorerWindow::image() const { return view_->picture(); }

QSize ExplorerWindow::viewPixels() const { return view_->devicePixelSize(); }

QSize ExplorerWindow::drawingSize() const {
    return viewPixels().expandedTo(QSize(mandel::kMinPictureSize, mandel::kMinPictureSize));
}

void ExplorerWindow::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (drawnSize_.isEmpty()) startDrawing(true);
}

// ---------------------------------------------------------------------------
// Gestures

bool ExplorerWindow::goTo(const mandel::ExploreLocation& location) {
    if (!fitsTheBudget(location, drawingSize())) return false;
    const mandel::ExploreLocation before = this->location();
    history_.visit(location);
    showHistoryStep(true, before);
    return true;
}

void ExplorerWindow::stepHistory(bool forward) {
    const mandel::ExploreLocation before = location();
    if (!(forward ? history_.forward() : history_.back())) return;
    if (!fitsTheBudget(location(), drawingSize())) {
        // Undone: the window stays where it was.
        if (forward)
            history_.back();
        else
            history_.forward();
        return;
    }
    showHistoryStep(true, before);
}

void ExplorerWindow::goHome() {
    if (!fitsTheBudget(home_, drawingSize())) return;
    const mandel::ExploreLocation before = location();
    history_.home();
    showHistoryStep(true, before);
}

void ExplorerWindow::showHistoryStep(bool moved, const mandel::ExploreLocation& before) {
    if (!moved) return;
    if (const auto placeholder = placeholderBetween(before, location(), viewPixels())) view_->movePicture(*placeholder);
    automaticRaises_ = 0;
    showLocationTexts();
    startDrawing(true);
}

void ExplorerWindow::moveTo(const mandel::ExploreLocation& next, const QTransform& placeholder) {
    if (!fitsTheBudget(next, drawingSize())) return;
    view_->movePicture(placeholder);
    history_.visit(next);
    showHistoryStep(true, next);
}

void ExplorerWindow::wheelTurned(int x, int y, int units) {
    const QSize size = viewPixels();
    moveTo(mandel::zoomAboutPixel(location(), {size.width(), size.height()}, x, y, units),
           scaledAbout(x, y, zoomFactor(units)));
}

void ExplorerWindow::zoomKey(int units) {
    const QSize size = viewPixels();
    moveTo(mandel::zoomAboutCentre(location(), units),
           scaledAbout(size.width() / 2.0, size.height() / 2.0, zoomFactor(units)));
}

void ExplorerWindow::panned(int dx, int dy) {
    const QSize size = viewPixels();
    moveTo(mandel::panByPixels(location(), {size.width(), size.height()}, dx, dy), QTransform::fromTranslate(-dx, -dy));
}

void ExplorerWindow::squareChosen(int x, int y, int pixels) {
    const QSize size = viewPixels();
    const double k = static_cast<double>(std::min(size.width(), size.height())) / pixels;
    const QTransform placeholder = QTransform::fromTranslate(-(x + pixels / 2.0), -(y + pixels / 2.0)) *
                                   QTransform::fromScale(k, k) *
                                   QTransform::fromTranslate(size.width() / 2.0, size.height() / 2.0);
    moveTo(mandel::zoomToSquare(location(), {size.width(), size.height()}, x, y, pixels), placeholder);
}

// The location stays; the picture keeps its centre and its side spans the
// shorter edge, so the old one is scaled about the centres until redrawn.
void ExplorerWindow::viewResized() {
    if (drawnSize_.isEmpty() || !isVisible()) return;
    const QSize size = viewPixels();
    if (size == drawnSize_ || !fitsTheBudget(location(), drawingSize())) return;
    const double k =
        static_cast<double>(std::min(size.width(), size.height())) / std::min(drawnSize_.width(), drawnSize_.height());
    view_->movePicture(QTransform::fromTranslate(-drawnSize_.width() / 2.0, -drawnSize_.height() / 2.0) *
                       QTransform::fromScale(k, k) *
                       QTransform::fromTranslate(size.width() / 2.0, size.height() / 2.0));
    startDrawing(true);
}

// ---------------------------------------------------------------------------
// Drawing

bool ExplorerWindow::fitsTheBudget(const mandel::ExploreLocation& target, QSize size) {
    const std::uint64_t estimate = explorerMemoryEstimate(target, size.width(), size.height());
    if (estimate <= memoryBudget_) return true;
    showRefusal({target.limit, estimate, memoryBudget_});
    return false;
}

void ExplorerWindow::showRefusal(const ExplorerMemoryRefusal& refusal) {
    showStatusMessage(memoryRefusalText(refusal) + QStringLiteral(": 前の画像のままです"), true);
}

bool ExplorerWindow::startDrawing(bool preview) {
    const QSize size = drawingSize();
    if (!fitsTheBudget(location(), size)) {
        // Nothing runs for the first picture: say so rather than "drawing".
        if (drawnSize_.isEmpty()) {
            drawingState_ = DrawingState::Refused;
            showDrawingStatus();
        }
        return false;
    }
    // A drawing that starts answers an earlier refusal.
    if (messageIsRefusal_) clearStatusMessage();
    drawnSize_ = size;
    shownCounts_.reset();
    held_.reset();
    ExplorerJob job;
    job.location = location();
    job.width = size.width();
    job.height = size.height();
    job.preview = preview;
    job.automaticLimit = automaticLimit();
    job.memoryBudget = memoryBudget_;
    job.colouring = colourMenu_->choice();
    // Without a preview the rows come in over the picture on the view.
    if (!preview) job.background = view_->picture();
    drawingClock_.start();
    drawing_.start(job);
    drawingState_ = DrawingState::Running;
    progress_ = -1;
    referenceTotal_ = 0;
    statusTicker_.start();
    showDrawingStatus();
    return true;
}

// The automatic rule's limit and base belong to this place in the history.
void ExplorerWindow::adoptLimitAndBase(const mandel::ExploreLocation& chosen) {
    if (chosen == location()) return;
    if (!history_.canGoBack()) home_ = chosen;
    history_.updateCurrent(chosen);
    showLocationTexts();
}

void ExplorerWindow::previewReady(const ExplorerPicture& picture) {
    reference_ = picture.reference;
    referenceTotal_ = 0;
    view_->setPicture(picture.image);
    adoptLimitAndBase(picture.location);
    showDrawingStatus();
    emit previewShown();
}

void ExplorerWindow::pictureReady(const ExplorerPicture& picture) {
    reference_ = picture.reference;
    view_->setPicture(picture.image);
    held_ = picture.held;
    shownColouring_ = picture.colouring;
    colourMenu_->setShown(shownColouring_);
    mandel::ExploreLocation chosen = picture.location;
    limitState_ = automaticLimit() ? limitStateOf(picture.limitReason) : LimitState::Typed;
    if (chosen.limit > picture.drawnLimit && automaticRaises_ < kMaxAutomaticRaises) {
        if (explorerMemoryEstimate(chosen, drawnSize_.width(), drawnSize_.height()) <= memoryBudget_) {
            // The limit cut the view's boundary off, or nothing escaped: draw
            // again with the raised one (nothing escaped: previews first).
            adoptLimitAndBase(chosen);
            ++automaticRaises_;
            startDrawing(picture.limitReason == mandel::LimitReason::RaisedBlind);
            return;
        }
        // The raised limit would not fit in the memory budget: the picture
        // keeps the limit it was drawn with.
        chosen.limit = picture.drawnLimit;
        chosen.base = std::min(chosen.base, chosen.limit - 1);
        limitState_ = LimitState::MemoryCapped;
    } else if (chosen.limit > picture.drawnLimit) {
        chosen.limit = picture.drawnLimit;
        chosen.base = std::min(chosen.base, chosen.limit - 1);
        limitState_ = LimitState::RaisesEnded;
    }
    adoptLimitAndBase(chosen);
    // The colouring was changed after the drawing took its last one.
    if (mandel::colouringArguments(resolvedColouring(colourMenu_->choice(), *held_)) !=
        mandel::colouringArguments(shownColouring_))
        recolourHeldCounts();
    shownCounts_ = picture.counts;
    drawingState_ = DrawingState::Done;
    finishedMs_ = picture.milliseconds;
    uncertifiedPixels_ = picture.uncertifiedPixels;
    statusTicker_.stop();
    showDrawingStatus();
    emit drawingFinished();
}

void ExplorerWindow::progressed(const ExplorerProgress& progress) {
    if (progress.referenceTotal > 0) {
        referenceDone_ = progress.referenceDone;
        referenceTotal_ = progress.referenceTotal;
    } else {
        referenceTotal_ = 0;
        progress_ = progress.rows;
    }
    showDrawingStatus();
}

void ExplorerWindow::drawingFailed(const QString& reason) {
    drawingState_ = DrawingState::Failed;
    statusTicker_.stop();
    showDrawingStatus();
    showStatusMessage(QStringLiteral("描画できません: ") + escapedText(reason, 3 * kShownCharacters));
}

void ExplorerWindow::drawingRefused(const ExplorerMemoryRefusal& refusal) {
    drawingState_ = DrawingState::Failed;
    statusTicker_.stop();
    showDrawingStatus();
    showRefusal(refusal);
}

QString ExplorerWindow::statusMessage() const { return message_->text(); }

void ExplorerWindow::showStatusMessage(const QString& text, bool refusal) {
    messageIsRefusal_ = refusal;
    message_->setText(text);
}

void ExplorerWindow::clearStatusMessage() { showStatusMessage(QString()); }

// The drawing's state and time (and, once done, the pixels the precision cap
// left undecided, if any), the depth (the power of ten of the side), the
// reference's length and precision, and the pixels' number type.
void ExplorerWindow::showDrawingStatus() {
    QString text;
    switch (drawingState_) {
        case DrawingState::Running:
            text = QStringLiteral("描画中");
            if (referenceTotal_ > 0)
                text += QStringLiteral(" 参照軌道 %1 / %2")
                            .arg(groupedNumber(referenceDone_), groupedNumber(referenceTotal_));
            else if (progress_ >= 0)
                text += QStringLiteral(" %1%").arg(static_cast<int>(progress_ * 100));
            text += QStringLiteral(" %1 秒").arg(drawingClock_.elapsed() / 1000.0, 0, 'f', 1);
            break;
        case DrawingState::Done:
            text = QStringLiteral("完了 %1 秒").arg(finishedMs_ / 1000.0, 0, 'f', 2);
            if (uncertifiedPixels_ > 0) text += QStringLiteral(" 未確定 %1 画素").arg(uncertifiedPixels_);
            break;
        case DrawingState::Failed: text = QStringLiteral("描画できません"); break;
        case DrawingState::Refused: text = QStringLiteral("描画していません"); break;
        case DrawingState::Stopped:
            text = QStringLiteral("中止（未完成の画像）");
            if (progress_ >= 0) text += QStringLiteral(" %1%").arg(static_cast<int>(progress_ * 100));
            break;
    }
    text += QStringLiteral("  深さ 1e%1").arg(location().side.leadingExponent());
    if (reference_.length > 0)
        text += QStringLiteral("  参照 %1 回 %2 bit  数 %3")
                    .arg(reference_.length)
                    .arg(reference_.precisionBits)
                    .arg(QString::fromStdString(reference_.numberType));
    if (drawingState_ == DrawingState::Done)
        text += QStringLiteral("  ") + limitStatusText(location().limit, limitState_);
    drawingStatus_->setText(text);
}

}  // namespace mandel_ui
