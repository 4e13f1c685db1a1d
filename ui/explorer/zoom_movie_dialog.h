#pragma once

// ファイル → ズーム動画...: a movie from the explorer's view out to the whole
// set, of the size, length and frame rate chosen, into the Pictures folder,
// with its progress and a cancel button. The work runs on a thread of its own
// (zoom_movie_job.h); closing the dialog cancels it.

#include <QDialog>
#include <QString>
#include <atomic>
#include <thread>

#include "colour/colouring.h"
#include "explore/explore_location.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QSpinBox;

namespace mandel_ui {

// A movie file name in folder that does not exist yet: mandelbrot-zoom-1.mp4, -2, ...
QString freeMoviePath(const QString& folder);

class ZoomMovieDialog : public QDialog {
    Q_OBJECT

public:
    // The movie goes into `folder` (the Pictures folder unless a test says).
    ZoomMovieDialog(const mandel::ExploreLocation& from, const QString& folder, QWidget* parent = nullptr);
    ~ZoomMovieDialog() override;  // cancels the work and waits for it

    bool running() const { return worker_.joinable() && !done_; }

    QComboBox* sizeBox;
    QSpinBox* secondsBox;
    QComboBox* fpsBox;
    QComboBox* colouringBox;  // the mode: smooth (default), distance, bands
    QComboBox* paletteBox;    // the gradient of smooth and distance
    QLineEdit* pathEdit;
    QProgressBar* progressBar;
    QLabel* statusText;
    QPushButton* startButton;
    QPushButton* cancelButton;

signals:
    // The work ended: the movie is at path (ok), or the message says why not.
    void movieDone(bool ok, const QString& message);

public slots:
    void start();
    void cancel();  // stops the work, or closes the dialog when none runs
    void reject() override;

private:
    void showProgress(int phase, int done, int total);
    void finish(bool ok, const QString& message);
    void setEditable(bool editable);
    mandel::Colouring colouring() const;  // as the boxes choose it

    mandel::ExploreLocation from_;
    QString keyframesDir_;
    std::thread worker_;
    std::atomic<bool> cancel_{false};
    bool done_ = false;
};

// Opens the dialog for the explorer's location, into the Pictures folder.
void openZoomMovieDialog(QWidget* parent, const mandel::ExploreLocation& from);

}  // namespace mandel_ui
