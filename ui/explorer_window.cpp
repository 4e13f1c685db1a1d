#include "explorer_window.h"

#include <QLabel>
#include <QLineEdit>
#include <QScreen>
#include <QStatusBar>
#include <QTransform>
#include <QVBoxLayout>
#include <cmath>

#include "explorer_view.h"

namespace mandel_ui {

namespace {

// A run of automatic limit raises ends here even if the rule still asks for
// more; the next gesture starts a new run.
constexpr int kMaxAutomaticRaises = 8;
constexpr QSize kOpeningViewSize{800, 800};
constexpr int kStatusTickMs = 250;

double zoomFactor(int units) { return std::exp2(static_cast<double>(units) / mandel::kWheelUnitsPerNotch); }

// Scaling by k about the point p (device pixels).
QTransform scaledAbout(double px, double py, double k) {
    return QTransform::fromTranslate(-px, -py) * QTransform::fromScale(k, k) * QTransform::fromTranslate(px, py);
}

}  // namespace

ExplorerWindow::ExplorerWindow(const mandel::ExploreLocation& opening, QWidget* parent)
    : QMainWindow(parent), history_(opening) {
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
    drawingStatus_ = new QLabel(this);
    drawingStatus_->setObjectName(QStringLiteral("drawingStatus"));
    statusBar()->addPermanentWidget(drawingStatus_);
    createMenus();
    connectView();
    connect(&drawing_, &ExplorerDrawing::previewReady, this, &ExplorerWindow::previewReady);
    connect(&drawing_, &ExplorerDrawing::pictureReady, this, &ExplorerWindow::pictureReady);
    connect(&drawing_, &ExplorerDrawing::partReady, this,
            [this](const ExplorerPicture& part) { view_->setPicture(part.image); });
    connect(&drawing_, &ExplorerDrawing::progressed, this, &ExplorerWindow::progressed);
    connect(&drawing_, &ExplorerDrawing::failed, this, &ExplorerWindow::drawingFailed);
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
    connect(view_, &ExplorerView::backRequested, this, [this] { showHistoryStep(history_.back()); });
    connect(view_, &ExplorerView::forwardRequested, this, [this] { showHistoryStep(history_.forward()); });
    connect(view_, &ExplorerView::homeRequested, this, [this] {
        history_.home();
        showHistoryStep(true);
    });
}

QImage ExplorerWindow::image() const { return view_->picture(); }

QSize ExplorerWindow::viewPixels() const { return view_->devicePixelSize(); }

void ExplorerWindow::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (drawnSize_.isEmpty()) startDrawing(true);
}

// ---------------------------------------------------------------------------
// Gestures

void ExplorerWindow::goTo(const mandel::ExploreLocation& location) {
    history_.visit(location);
    showHistoryStep(true);
}

void ExplorerWindow::showHistoryStep(bool moved) {
    if (!moved) return;
    automaticRaises_ = 0;
    showLocationTexts();
    startDrawing(true);
}

void ExplorerWindow::moveTo(const mandel::ExploreLocation& next, const QTransform& placeholder) {
    view_->movePicture(placeholder);
    history_.visit(next);
    showHistoryStep(true);
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
    moveTo(mandel::panByPixels(location(), {size.width(), size.height()}, dx, dy),
           QTransform::fromTranslate(-dx, -dy));
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
    if (size == drawnSize_) return;
    const double k = static_cast<double>(std::min(size.width(), size.height())) /
                     std::min(drawnSize_.width(), drawnSize_.height());
    view_->movePicture(QTransform::fromTranslate(-drawnSize_.width() / 2.0, -drawnSize_.height() / 2.0) *
                       QTransform::fromScale(k, k) *
                       QTransform::fromTranslate(size.width() / 2.0, size.height() / 2.0));
    startDrawing(true);
}

// ---------------------------------------------------------------------------
// Drawing

void ExplorerWindow::startDrawing(bool preview) {
    const QSize size = viewPixels().expandedTo(QSize(mandel::kMinDeepSize, mandel::kMinDeepSize));
    drawnSize_ = size;
    ExplorerJob job;
    job.location = location();
    job.width = size.width();
    job.height = size.height();
    job.preview = preview;
    job.automaticLimit = automaticLimit();
    // Without a preview the rows come in over the picture on the view.
    if (!preview) job.background = view_->picture();
    drawingClock_.start();
    drawing_.start(job);
    drawingState_ = DrawingState::Running;
    progress_ = -1;
    statusTicker_.start();
    showDrawingStatus();
}

// The automatic rule's limit and base belong to this place in the history.
void ExplorerWindow::adoptLimitAndBase(const mandel::ExploreLocation& chosen) {
    if (chosen == location()) return;
    history_.updateCurrent(chosen);
    showLocationTexts();
}

void ExplorerWindow::previewReady(const ExplorerPicture& picture) {
    reference_ = picture.reference;
    view_->setPicture(picture.image);
    adoptLimitAndBase(picture.location);
    showDrawingStatus();
    emit previewShown();
}

void ExplorerWindow::pictureReady(const ExplorerPicture& picture) {
    reference_ = picture.reference;
    view_->setPicture(picture.image);
    adoptLimitAndBase(picture.location);
    if (picture.location.limit > picture.drawnLimit && automaticRaises_ < kMaxAutomaticRaises) {
        // The limit cut the view's boundary off: draw again with the raised one.
        ++automaticRaises_;
        startDrawing(false);
        return;
    }
    drawingState_ = DrawingState::Done;
    finishedMs_ = picture.milliseconds;
    statusTicker_.stop();
    showDrawingStatus();
    emit drawingFinished();
}

void ExplorerWindow::progressed(double fraction, double) {
    progress_ = fraction;
    showDrawingStatus();
}

void ExplorerWindow::drawingFailed(const QString& reason) {
    drawingState_ = DrawingState::Failed;
    statusTicker_.stop();
    showDrawingStatus();
    statusBar()->showMessage(QStringLiteral("描画できません: ") + reason);
}

// The drawing's state and time, the depth (the power of ten of the side),
// the reference's length and precision, and the pixels' number type.
void ExplorerWindow::showDrawingStatus() {
    QString text;
    switch (drawingState_) {
    case DrawingState::Running:
        text = QStringLiteral("描画中");
        if (progress_ >= 0) text += QStringLiteral(" %1%").arg(static_cast<int>(progress_ * 100));
        text += QStringLiteral(" %1 秒").arg(drawingClock_.elapsed() / 1000.0, 0, 'f', 1);
        break;
    case DrawingState::Done: text = QStringLiteral("完了 %1 秒").arg(finishedMs_ / 1000.0, 0, 'f', 2); break;
    case DrawingState::Failed: text = QStringLiteral("描画できません"); break;
    }
    text += QStringLiteral("  深さ 1e%1").arg(location().side.leadingExponent());
    if (reference_.length > 0)
        text += QStringLiteral("  参照 %1 回 %2 bit  数 %3")
                    .arg(reference_.length)
                    .arg(reference_.precisionBits)
                    .arg(QString::fromStdString(reference_.numberType));
    drawingStatus_->setText(text);
}

}  // namespace mandel_ui
