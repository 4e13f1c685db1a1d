#include "zoom_movie_dialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QStandardPaths>
#include <QUuid>
#include <QVBoxLayout>

#include "colour/gradients.h"
#include "save_location.h"
#include "movie/zoom_movie.h"
#include "zoom_movie_job.h"

namespace mandel_ui {

namespace {

// The movie's sizes (even, as H.264's yuv420p needs), the first the default.
constexpr QSize kMovieSizes[] = {{640, 360}, {1280, 720}, {1920, 1080}, {320, 180}};
constexpr int kFrameRates[] = {30, 24, 60};
constexpr int kDefaultSeconds = 30;
constexpr int kMaxSeconds = 600;

QString title() { return QStringLiteral("ズーム動画"); }

struct ColouringItem {
    mandel::ColouringMode mode;
    const char* text;
};
// The colourings offered, the first the default.
constexpr ColouringItem kColourings[] = {{mandel::ColouringMode::Smooth, "滑らか"},
                                         {mandel::ColouringMode::Distance, "距離で陰影"},
                                         {mandel::ColouringMode::Bands, "17 色の帯"}};

}  // namespace

QString freeMoviePath(const QString& folder) {
    const QDir dir(folder);
    for (int n = 1;; ++n) {
        const QString path = dir.filePath(QStringLiteral("mandelbrot-zoom-%1.mp4").arg(n));
        if (!QFileInfo::exists(path)) return path;
    }
}

ZoomMovieDialog::ZoomMovieDialog(const mandel::ExploreLocation& from, const QString& folder, QWidget* parent)
    : QDialog(parent), from_(from) {
    setObjectName(QStringLiteral("zoomMovieDialog"));
    setWindowTitle(title());
    if (parent) setFont(parent->font());  // a dialog is a window of its own and does not inherit it
    auto* what = new QLabel(QStringLiteral("今の表示（深さ 1e%1）から集合の全体まで、一定の速さでズームアウトします。")
                                .arg(from.side.leadingExponent()),
                            this);
    what->setWordWrap(true);
    sizeBox = new QComboBox(this);
    for (const QSize size : kMovieSizes)
        sizeBox->addItem(QStringLiteral("%1 × %2").arg(size.width()).arg(size.height()), size);
    secondsBox = new QSpinBox(this);
    secondsBox->setRange(1, kMaxSeconds);
    secondsBox->setValue(kDefaultSeconds);
    secondsBox->setSuffix(QStringLiteral(" 秒"));
    fpsBox = new QComboBox(this);
    for (const int fps : kFrameRates) fpsBox->addItem(QStringLiteral("%1 fps").arg(fps), fps);
    colouringBox = new QComboBox(this);
    for (const ColouringItem& item : kColourings)
        colouringBox->addItem(QString::fromUtf8(item.text), static_cast<int>(item.mode));
    paletteBox = new QComboBox(this);
    for (const mandel::Gradient& gradient : mandel::builtInGradients()) {
        const QString name = QString::fromUtf8(gradient.name.data(), static_cast<qsizetype>(gradient.name.size()));
        paletteBox->addItem(name, name);
    }
    connect(colouringBox, &QComboBox::currentIndexChanged, this,
            [this] { paletteBox->setEnabled(colouringBox->isEnabled() && mandel::usesGradient(colouring())); });
    pathEdit = new QLineEdit(QDir::toNativeSeparators(freeMoviePath(folder)), this);
    progressBar = new QProgressBar(this);
    progressBar->setRange(0, 1);
    progressBar->setValue(0);
    statusText = new QLabel(this);
    statusText->setObjectName(QStringLiteral("zoomMovieStatus"));
    startButton = new QPushButton(QStringLiteral("作成(&S)"), this);
    cancelButton = new QPushButton(QStringLiteral("中止(&C)"), this);
    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(startButton, QDialogButtonBox::AcceptRole);
    buttons->addButton(cancelButton, QDialogButtonBox::RejectRole);
    connect(startButton, &QPushButton::clicked, this, &ZoomMovieDialog::start);
    connect(cancelButton, &QPushButton::clicked, this, &ZoomMovieDialog::cancel);

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("大きさ(&Z):"), sizeBox);
    form->addRow(QStringLiteral("長さ(&L):"), secondsBox);
    form->addRow(QStringLiteral("フレームレート(&F):"), fpsBox);
    form->addRow(QStringLiteral("配色(&O):"), colouringBox);
    form->addRow(QStringLiteral("グラデーション(&G):"), paletteBox);
    form->addRow(QStringLiteral("保存先(&P):"), pathEdit);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(what);
    layout->addLayout(form);
    layout->addWidget(progressBar);
    layout->addWidget(statusText);
    layout->addWidget(buttons);
}

ZoomMovieDialog::~ZoomMovieDialog() {
    cancel_.store(true);
    if (worker_.joinable()) worker_.join();
    if (!keyframesDir_.isEmpty()) QDir(keyframesDir_).removeRecursively();
}

mandel::Colouring ZoomMovieDialog::colouring() const {
    mandel::Colouring colouring = ZoomMovieJob::smoothColouring();
    colouring.mode = static_cast<mandel::ColouringMode>(colouringBox->currentData().toInt());
    colouring.palette = paletteBox->currentData().toString().toStdString();
    return colouring;
}

void ZoomMovieDialog::setEditable(bool editable) {
    for (QWidget* field :
         {static_cast<QWidget*>(sizeBox), static_cast<QWidget*>(secondsBox), static_cast<QWidget*>(fpsBox),
          static_cast<QWidget*>(colouringBox), static_cast<QWidget*>(pathEdit), static_cast<QWidget*>(startButton)})
        field->setEnabled(editable);
    paletteBox->setEnabled(editable && mandel::usesGradient(colouring()));
}

void ZoomMovieDialog::start() {
    if (running()) return;
    if (worker_.joinable()) worker_.join();
    const QString path = QDir::fromNativeSeparators(pathEdit->text().trimmed());
    if (path.isEmpty()) {
        statusText->setText(QStringLiteral("保存先を入れてください"));
        return;
    }
    QDir().mkpath(QFileInfo(path).absolutePath());
    // The keyframes are working files: in the cache, removed after.
    keyframesDir_ = QStandardPaths::writableLocation(QStandardPaths::CacheLocation) +
                    QStringLiteral("/zoom-keyframes/") + QUuid::createUuid().toString(QUuid::WithoutBraces);
    QDir().mkpath(keyframesDir_);
    const QSize size = sizeBox->currentData().toSize();
    ZoomMovieJob job{from_,
                     size.width(),
                     size.height(),
                     secondsBox->value(),
                     fpsBox->currentData().toInt(),
                     path.toStdString(),
                     keyframesDir_.toStdString(),
                     colouring()};
    cancel_.store(false);
    done_ = false;
    setEditable(false);
    statusText->setText(QStringLiteral("キーフレームを描いています"));
    worker_ = std::thread([this, job] {
        bool ok = false;
        QString message;
        try {
            runZoomMovieJob(job, cancel_, [this](ZoomMoviePhase phase, int done, int total) {
                QMetaObject::invokeMethod(
                    this, [this, phase, done, total] { showProgress(static_cast<int>(phase), done, total); },
                    Qt::QueuedConnection);
            });
            ok = true;
            message = QString::fromStdString(job.moviePath);
        } catch (const mandel::movie::InterruptedError&) {
            message = QStringLiteral("中止しました");
        } catch (const std::exception& error) {
            message = QStringLiteral("作れませんでした: ") + QString::fromUtf8(error.what());
        }
        QMetaObject::invokeMethod(
            this, [this, ok, message] { finish(ok, message); }, Qt::QueuedConnection);
    });
}

void ZoomMovieDialog::showProgress(int phase, int done, int total) {
    progressBar->setRange(0, total);
    progressBar->setValue(done);
    if (cancel_.load()) return;
    statusText->setText(static_cast<ZoomMoviePhase>(phase) == ZoomMoviePhase::Keyframes
                            ? QStringLiteral("キーフレーム %1 / %2").arg(done).arg(total)
                            : QStringLiteral("フレーム %1 / %2").arg(done).arg(total));
}

void ZoomMovieDialog::finish(bool ok, const QString& message) {
    if (worker_.joinable()) worker_.join();
    done_ = true;
    QDir(keyframesDir_).removeRecursively();
    keyframesDir_.clear();
    setEditable(true);
    statusText->setText(ok ? QStringLiteral("保存しました: ") + QDir::toNativeSeparators(message) : message);
    if (ok) pathEdit->setText(QDir::toNativeSeparators(freeMoviePath(QFileInfo(message).absolutePath())));
    emit movieDone(ok, message);
}

void ZoomMovieDialog::cancel() {
    if (!running()) {
        QDialog::reject();
        return;
    }
    cancel_.store(true);
    statusText->setText(QStringLiteral("中止しています"));
}

void ZoomMovieDialog::reject() {
    if (running())
        cancel();
    else
        QDialog::reject();
}

void openZoomMovieDialog(QWidget* parent, const mandel::ExploreLocation& from) {
    auto* dialog = new ZoomMovieDialog(from, picturesFolder(), parent);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->show();
}

}  // namespace mandel_ui
