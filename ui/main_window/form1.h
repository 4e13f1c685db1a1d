#pragma once

#include <QMainWindow>
#include <QPointer>
#include <QString>
#include <array>
#include <functional>
#include <memory>
#include <optional>

#include "region/region_navigation.h"
#include "drawing/render_pass.h"
#include "region/render_settings.h"
#include "save_location.h"
#include "window_clock.h"
#include "window_messages.h"

class QAction;
class QLabel;
class QPushButton;

namespace mandel_ui {

using mandel::Region;

class DrawingSurface;
class ExplorerWindow;
class ExportCommand;
class ParameterScrollBar;
class WindowCentring;
struct ParameterGroup;
struct PresetButton;

// The program's one window: the picture on the left, the parameters, time
// read-outs, presets and commands on the right, File and Help menus.
// Controls and handlers carry the names of the window's design so that the
// code reads against it; the controls are private, and tests and tools find
// them by those names (QObject::objectName). The design's tables are in
// window_design.h; the window is built from them in form1_controls.cpp, its
// menus in form1_menus.cpp.
class Form1 : public QMainWindow {
    Q_OBJECT

public:
    explicit Form1(QWidget* parent = nullptr);
    ~Form1() override;

    // What the window uses from outside, replaceable for tests.
    void setClock(std::unique_ptr<WindowClock> clock);
    // Where pictures are saved: by default the executable's folder, or the
    // user's Pictures folder when that one is not writable.
    void setSaveLocation(SaveLocation location) { saveLocation_ = std::move(location); }
    // Saves go into exactly this folder.
    void setSaveFolder(const QString& folder) { saveLocation_.setFixedFolder(folder); }
    void setMessagePresenter(MessagePresenter presenter) { presenter_ = std::move(presenter); }
    void setNotificationSound(std::function<void()> play) { notificationSound_ = std::move(play); }
    // Ends the event loop after the window has closed.
    void setProgramEnd(std::function<void()> end) { programEnd_ = std::move(end); }

    // Where the save command writes now: folder/M_sample<minute>.bmp.
    QString savePath() const;

    const mandel::RenderSettings& renderSettings() const { return settings_; }

    // The region of the picture on the surface: the read-outs of the last
    // drawing; nullopt while the surface shows none (before the first
    // drawing, after a clear). Gestures on the picture start from it.
    std::optional<Region> drawnRegion() const { return drawn_; }

    // The export of the picture on the surface at any size.
    ExportCommand* exportCommand() const { return exportCommand_; }

    // The explorer window, while one is open.
    ExplorerWindow* explorer() const;

public slots:
    void Form_Load();

    void btnstart_Click();
    void btncls_Click();
    void btnend_Click();
    void mnuend_Click();
    void mnuprint_Click();
    void mnuexport_Click();
    void mnuexplore_Click();
    void mnuver_Click();

    // Pointing at the picture: each sets the four bars as a preset does and
    // then draws, exactly as the start button.
    void zoomToSquare(double left, double top, double width);
    void zoomAtPoint(double x, double y, bool zoomIn);
    // Back to the region of the previous drawing.
    void goBack();

protected:
    // Enter presses the focused button, or the start button when the focus
    // is elsewhere: btnstart is the window's default button.
    void keyPressEvent(QKeyEvent* event) override;

private:
    class PassControls;

    // A parameter's read-out and scroll bar, made from its row of kParameterGroups.
    struct ParameterControls {
        const ParameterGroup* design = nullptr;
        QLabel* readout = nullptr;
        ParameterScrollBar* bar = nullptr;
    };

    // Building the window, in this order (form1_controls.cpp, form1_menus.cpp).
    void setUpWindow();
    QWidget* createClientArea();
    void createPicture(QWidget* client);
    void createParameterGroups(QWidget* client);
    void createTimeRows(QWidget* client);
    void createPresetButtons(QWidget* client);
    void createCommandRow(QWidget* client);
    void setFocusOrder();
    // A menu item is a row of kMenuItems in form1_menus.cpp plus its handler.
    void createMenus();
    void fixWindowSize();

    // Hbar1_Change .. Hbar4_Change and Hbar1_Scroll .. Hbar4_Scroll of the
    // design, one pair for every bar: any change of a bar's value runs its
    // Scroll handler, which writes the read-out, so each read-out rule is
    // here once.
    void Hbar_Change(const ParameterControls& group);
    void Hbar_Scroll(const ParameterControls& group);
    // btbsa1_Click, btnsa2_Click, btnsa3_Click, Command1_Click,
    // Command2_Click and sample6_Click of the design: clear, then set the bars.
    void preset_Click(const PresetButton& button);

    const ParameterControls& parameter(mandel::Readout which) const;
    // Sets each bar's value (which updates its read-out when it changes) and
    // then writes the read-out text, so the two agree either way.
    void setBars(const Region& region);
    // The region the read-outs hold; nullopt when one is not a number.
    std::optional<Region> readoutRegion() const;
    // The drawn region with the limit now chosen on Hbar4; nullopt with no picture.
    std::optional<Region> gestureStart() const;
    void drawRegion(const Region& region);
    void setDrawnRegion(std::optional<Region> region);
    // The export item is enabled while there is a picture and no export runs;
    // the explorer item while there is a picture.
    void updateExportItem();
    void showMessage(const MessageRequest& request);

    // The controls the window's own code uses, named as in the design.
    DrawingSurface* Pic1 = nullptr;
    std::array<ParameterControls, 4> parameters_;  // lbl1/Hbar1 .. lbl4/Hbar4
    QLabel* lblstart = nullptr;
    QLabel* lblend = nullptr;
    QPushButton* btnstart = nullptr;
    QPushButton* btncls = nullptr;
    QPushButton* btnend = nullptr;
    QAction* mnuexport = nullptr;
    QAction* mnuexplore = nullptr;

    mandel::RenderSettings settings_;
    std::unique_ptr<PassControls> passControls_;
    WindowCentring* centring_ = nullptr;  // owned by the window
    std::unique_ptr<WindowClock> clock_;
    SaveLocation saveLocation_;
    MessagePresenter presenter_;
    std::function<void()> notificationSound_;
    std::function<void()> programEnd_;
    mandel::RegionHistory history_;  // regions of the last drawings, for going back
    std::optional<Region> drawn_;
    ExportCommand* exportCommand_ = nullptr;  // owned by the window
    QPointer<ExplorerWindow> explorer_;       // owned by the window, deleted when closed
};

}  // namespace mandel_ui
