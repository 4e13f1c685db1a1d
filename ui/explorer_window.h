#pragma once

// The explorer: a resizable window whose picture fills it at the screen's
// device pixels, drawn by the deep engine at any depth; gestures move about,
// the location line shows and takes the location with every digit, and the
// iteration limit and colour base follow the view (automatic, switchable).

#include <QElapsedTimer>
#include <QImage>
#include <QMainWindow>
#include <QSize>
#include <QTimer>
#include <array>

#include "explore/explore_gestures.h"
#include "explore/explore_location.h"
#include "explorer_drawing.h"

class QAction;
class QLabel;
class QLineEdit;
class QTransform;

namespace mandel_ui {

class ExplorerView;

class ExplorerWindow : public QMainWindow {
    Q_OBJECT

public:
    explicit ExplorerWindow(const mandel::ExploreLocation& opening, QWidget* parent = nullptr);
    ~ExplorerWindow() override;

    mandel::ExploreLocation location() const { return history_.current(); }
    // Goes to a location (a step in the history) and draws it.
    void goTo(const mandel::ExploreLocation& location);
    // The picture on the screen (device pixels): the full picture once
    // drawingFinished, a scaled-up preview before.
    QImage image() const;
    QSize viewPixels() const;
    ExplorerView* view() const { return view_; }
    bool automaticLimit() const;

    // Goes to the location recorded in a PNG the program wrote; false (and
    // the reason in the status bar) when it has none.
    bool openPicture(const QString& path);
    void copyLocation();
    void pasteLocation();

signals:
    void previewShown();
    void drawingFinished();  // the full picture of the current location is shown

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void createLocationLine();
    void createMenus();
    void connectView();

    // Each gesture: the new location, and how the old picture moves as its placeholder.
    void moveTo(const mandel::ExploreLocation& next, const QTransform& placeholder);
    void wheelTurned(int x, int y, int units);
    void squareChosen(int x, int y, int pixels);
    void panned(int dx, int dy);
    void zoomKey(int units);
    void viewResized();
    // Draws the location the history now holds; `before` is where the view was,
    // for moving the old picture there as a placeholder.
    void showHistoryStep(bool moved, const mandel::ExploreLocation& before);

    void startDrawing(bool preview);
    void adoptLimitAndBase(const mandel::ExploreLocation& chosen);
    void previewReady(const ExplorerPicture& picture);
    void pictureReady(const ExplorerPicture& picture);
    void progressed(double fraction, double milliseconds);
    void drawingFailed(const QString& reason);
    void automaticLimitToggled(bool on);

    void locationEntered();
    void showLocationTexts();
    void markField(QLineEdit* field, bool bad);
    void showProblem(const QString& what, const std::string& problem);
    void showDrawingStatus();

    ExplorerView* view_ = nullptr;
    QLineEdit* realEdit_ = nullptr;
    QLineEdit* imagEdit_ = nullptr;
    QLineEdit* sideEdit_ = nullptr;
    QLineEdit* limitEdit_ = nullptr;
    QLabel* drawingStatus_ = nullptr;
    QAction* automaticAction_ = nullptr;

    mandel::ExploreHistory history_;
    ExplorerDrawing drawing_;
    QSize drawnSize_;  // device pixels of the picture on the view
    QElapsedTimer drawingClock_;
    QTimer statusTicker_;
    enum class DrawingState { Running, Done, Failed };
    DrawingState drawingState_ = DrawingState::Running;
    double progress_ = -1;  // of the full picture's rows, 0..1; < 0 before they start
    double finishedMs_ = 0;
    std::int64_t uncertifiedPixels_ = 0;  // of the finished picture
    mandel::DeepReferenceInfo reference_;
    int automaticRaises_ = 0;  // redraws with a raised limit since the last gesture
};

}  // namespace mandel_ui
