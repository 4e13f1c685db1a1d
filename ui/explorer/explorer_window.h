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
#include <cstdint>
#include <memory>
#include <vector>

#include "explore/explore_gestures.h"
#include "explore/explore_location.h"
#include "explorer_drawing.h"
#include "explorer_finder.h"
#include "explorer_status.h"
#include "explorer_view.h"

class QAction;
class QLabel;
class QLineEdit;
class QTransform;

namespace mandel_ui {

class ColourMenu;
class ExplorerMessage;
class ExplorerView;

class ExplorerWindow : public QMainWindow {
    Q_OBJECT

public:
    explicit ExplorerWindow(const mandel::ExploreLocation& opening, QWidget* parent = nullptr);
    ~ExplorerWindow() override;

    mandel::ExploreLocation location() const { return history_.current(); }
    // Goes to a location (a step in the history) and draws it; false, with
    // the reason in the status bar, when its drawing would take more memory
    // than the budget (the window then stays where it is).
    bool goTo(const mandel::ExploreLocation& location);
    // The picture on the screen (device pixels): the full picture once
    // drawingFinished, a scaled-up preview before.
    QImage image() const;
    QSize viewPixels() const;
    ExplorerView* view() const { return view_; }
    bool automaticLimit() const;
    void setAutomaticLimit(bool on);

    // The most memory a drawing may take, in bytes (startupMemoryBudget at first).
    std::uint64_t memoryBudget() const { return memoryBudget_; }
    void setMemoryBudget(std::uint64_t bytes) { memoryBudget_ = bytes; }
    // The status bar's message in full (the bar shortens it to its room).
    QString statusMessage() const;

    // Goes to the location recorded in a PNG the program wrote; false (and
    // the reason in the status bar) when it has none.
    bool openPicture(const QString& path);
    void copyLocation();
    // The status bar's texts in full, for pasting elsewhere.
    void copyStatusLine();
    void pasteLocation();

signals:
    void previewShown();
    void drawingFinished();  // the full picture of the current location is shown

protected:
    // Remembers the place for the next opening (explorer_settings.h).
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void createLocationLine();
    void createMenus();
    void createGoMenu();
    void addToolTips();
    void connectView();

    // Each gesture: the new location, and how the old picture moves as its placeholder.
    void moveTo(const mandel::ExploreLocation& next, const QTransform& placeholder);
    void wheelTurned(int x, int y, int units);
    void squareChosen(int x, int y, int pixels);
    void panned(int dx, int dy);
    void zoomKey(int units);
    void viewResized();
    // A step back or forward, undone when its drawing would not fit the budget.
    void stepHistory(bool forward);
    void goHome();
    // Draws the location the history now holds; `before` is where the view was,
    // for moving the old picture there as a placeholder.
    void showHistoryStep(bool moved, const mandel::ExploreLocation& before);

    // The view's size in device pixels, as drawn.
    QSize drawingSize() const;
    // Whether a drawing of target at size fits in the memory budget; when it
    // does not, the status bar says so.
    bool fitsTheBudget(const mandel::ExploreLocation& target, QSize size);
    void showRefusal(const ExplorerMemoryRefusal& refusal);
    // False when the drawing would not fit in the memory budget.
    bool startDrawing(bool preview);
    void adoptLimitAndBase(const mandel::ExploreLocation& chosen);
    void previewReady(const ExplorerPicture& picture);
    void pictureReady(const ExplorerPicture& picture);
    void progressed(const ExplorerProgress& progress);
    void drawingFailed(const QString& reason);
    void drawingRefused(const ExplorerMemoryRefusal& refusal);
    void automaticLimitToggled(bool on);
    // The 配色 menu's choice changed: the held picture coloured again, or
    // (the screen's samples changed) drawn again.
    void colouringChanged(bool newSamples);
    // The held counts in the menu's choice (nothing without them).
    void recolourHeldCounts();
    // The view's colouring with the export's K × K samples.
    mandel::Colouring exportColouring() const;

    // Esc and 描画を中止: the drawing stops, its partial picture stays.
    void stopDrawing();
    // The count and point under the pointer in the status bar.
    void pointerMoved(int x, int y);
    void showContextMenu(QPoint global, int x, int y);
    // The find gesture at a pixel, and its answer.
    void findAt(int x, int y, FindTarget target);
    void findAroundCentre(FindTarget target);
    void findAround(const mandel::PixelPoint& point, FindTarget target);
    void findAnswered(const FindAnswer& answer);
    void showHelp();

    std::array<QLineEdit*, 4> locationFields() const;
    void locationEntered();
    void showLocationTexts();
    // Esc in the location line: every field shows the location again, unmarked.
    void restoreLocationLine();
    void markField(QLineEdit* field, bool bad);
    // A one-line message in the status bar, left of the drawing's status.
    void showStatusMessage(const QString& text, bool refusal = false);
    void clearStatusMessage();
    void showDrawingStatus();

    ExplorerView* view_ = nullptr;
    QLineEdit* realEdit_ = nullptr;
    QLineEdit* imagEdit_ = nullptr;
    QLineEdit* sideEdit_ = nullptr;
    QLineEdit* limitEdit_ = nullptr;
    QLabel* drawingStatus_ = nullptr;
    ExplorerMessage* message_ = nullptr;
    QLabel* pointerStatus_ = nullptr;
    QAction* automaticAction_ = nullptr;
    ColourMenu* colourMenu_ = nullptr;
    // The finished picture's counts (null while a drawing runs or after it stopped).
    std::shared_ptr<const HeldCounts> held_;
    mandel::Colouring shownColouring_;  // what the picture on the view shows
    ExplorerFinder finder_;
    // The counts of the full picture on the view, unmoved (null otherwise).
    std::shared_ptr<const std::vector<std::int32_t>> shownCounts_;

    mandel::ExploreHistory history_;
    mandel::ExploreLocation home_;  // where Home goes: the history's first place
    std::uint64_t memoryBudget_ = 0;
    bool messageIsRefusal_ = false;  // the message says a drawing would not fit
    ExplorerDrawing drawing_;
    QSize drawnSize_;  // device pixels of the picture on the view
    QElapsedTimer drawingClock_;
    QTimer statusTicker_;
    // Refused: nothing was drawn, the first drawing would not fit the budget.
    // Stopped: the user stopped it; the view keeps the unfinished picture.
    enum class DrawingState { Running, Done, Failed, Refused, Stopped };
    DrawingState drawingState_ = DrawingState::Running;
    double progress_ = -1;             // of the full picture's rows, 0..1; < 0 before they start
    std::int64_t referenceDone_ = 0;   // iterations of the reference orbit so far,
    std::int64_t referenceTotal_ = 0;  // of this many (0: not being computed)
    double finishedMs_ = 0;
    std::int64_t uncertifiedPixels_ = 0;  // of the finished picture
    mandel::DeepReferenceInfo reference_;
    int automaticRaises_ = 0;                   // redraws with a raised limit since the last gesture
    LimitState limitState_ = LimitState::Kept;  // why the finished picture has its limit
};

}  // namespace mandel_ui
