#pragma once

#include <QMainWindow>
#include <QString>
#include <functional>
#include <memory>

#include "region_navigation.h"
#include "render_settings.h"
#include "save_location.h"
#include "window_clock.h"

class QAction;
class QLabel;
class QMenu;
class QMessageBox;
class QPushButton;

namespace mandel_ui {

class DrawingSurface;
class ExportCommand;
class ParameterScrollBar;
class WindowCentring;

// A message the window shows to the user in a modal box.
struct MessageRequest {
    enum class Kind { Information, Error };
    Kind kind = Kind::Information;
    QString title;
    QString text;  // as displayed: lines end with '\n'
};

// Shows a message and returns when the user has closed it.
using MessagePresenter = std::function<void(const MessageRequest&)>;

// The box for a message: one OK button, no icon for information, the
// critical icon for errors, plain text.
std::unique_ptr<QMessageBox> makeMessageBox(const MessageRequest& request, QWidget* parent);

// The version box's message as the program composes it, with Windows line
// ends: the version line, CR CR LF, the rights line, CR CR LF, the e-mail
// line, CR LF, the web-address line.
QString versionMessage();

// The message as a Qt box shows it: a CR LF pair and a lone CR each end a line.
QString displayText(const QString& windowsText);

inline const QString kVersionBoxTitle = QStringLiteral("バージョン情報");

// The program's one window: the picture on the left, the parameters, time
// read-outs, presets and commands on the right, File and Help menus.
// Controls and handlers carry the names of the window's design so that the
// code reads against it.
class Form1 : public QMainWindow {
    Q_OBJECT

public:
    explicit Form1(QWidget* parent = nullptr);
    ~Form1() override;

    // Controls, all owned by the window.
    DrawingSurface* Pic1;
    QLabel *Label1, *Label2, *Label3, *Label4, *Label5, *Label6, *Label7;
    QLabel *Label8, *Label9, *Label10, *Label11, *Label12, *Label13;
    QLabel *lbl1, *lbl2, *lbl3, *lbl4, *lblstart, *lblend;
    ParameterScrollBar *Hbar1, *Hbar2, *Hbar3, *Hbar4;
    QPushButton *btbsa1, *btnsa2, *btnsa3, *Command1, *Command2, *sample6;
    QPushButton *btnstart, *btncls, *btnend;
    QMenu *mnufile, *mnuhelp;
    QAction *mnuprint, *mnuexport, *mnuend, *mnuver;

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

public slots:
    void Form_Load();

    void btnstart_Click();
    void btncls_Click();
    void btnend_Click();
    void mnuend_Click();
    void mnuprint_Click();
    void mnuexport_Click();
    void mnuver_Click();

    void Hbar1_Change();
    void Hbar2_Change();
    void Hbar3_Change();
    void Hbar4_Change();
    void Hbar1_Scroll();
    void Hbar2_Scroll();
    void Hbar3_Scroll();
    void Hbar4_Scroll();

    void btbsa1_Click();
    void btnsa2_Click();
    void btnsa3_Click();
    void Command1_Click();
    void Command2_Click();
    void sample6_Click();

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

    void applyPreset(int index);  // 0..5: sample1..sample6
    // Sets each bar's value (which updates its read-out when it changes) and
    // then writes the read-out text, so the two agree either way.
    void setBars(const Region& region);
    // The region the read-outs hold; nullopt when one is not a number.
    std::optional<Region> readoutRegion() const;
    // The drawn region with the limit now chosen on Hbar4; nullopt with no picture.
    std::optional<Region> gestureStart() const;
    void drawRegion(const Region& region);
    void setDrawnRegion(std::optional<Region> region);
    void updateExportItem();
    void showMessage(const MessageRequest& request);

    mandel::RenderSettings settings_;
    std::unique_ptr<PassControls> passControls_;
    WindowCentring* centring_ = nullptr;  // owned by the window
    std::unique_ptr<WindowClock> clock_;
    SaveLocation saveLocation_;
    MessagePresenter presenter_;
    std::function<void()> notificationSound_;
    std::function<void()> programEnd_;
    RegionHistory history_;  // regions of the last drawings, for going back
    std::optional<Region> drawn_;
    ExportCommand* exportCommand_ = nullptr;  // owned by the window
};

}  // namespace mandel_ui
