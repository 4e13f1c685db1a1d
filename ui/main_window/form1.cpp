#include "form1.h"

#include <QCoreApplication>
#include <QDir>
#include <QKeyEvent>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <exception>

#include "drawing_surface.h"
#include "explore/explore_location.h"
#include "explorer_window.h"
#include "export_command.h"
#include "notification_sound.h"
#include "parameter_scroll_bar.h"
#include "picture_save.h"
#include "readout_format.h"
#include "region/readout_text.h"
#include "window_centring.h"
#include "window_design.h"

namespace mandel_ui {

// ---------------------------------------------------------------------------
// What the render pass uses of the window

class Form1::PassControls final : public mandel::PassControls {
public:
    explicit PassControls(Form1& form) : form_(form) {}

    void runClearCommand() override { form_.btncls_Click(); }

    std::string shownReadout(mandel::Readout which) const override {
        return form_.parameter(which).readout->text().toStdString();
    }

    void setStartTimeText(const std::string& text) override { form_.lblstart->setText(QString::fromStdString(text)); }

    void setEndTimeText(const std::string& text) override { form_.lblend->setText(QString::fromStdString(text)); }

    void setButtonEnabled(mandel::PassButton button, bool enabled) override {
        switch (button) {
            case mandel::PassButton::Start: form_.btnstart->setEnabled(enabled); break;
            case mandel::PassButton::Clear: form_.btncls->setEnabled(enabled); break;
            case mandel::PassButton::End: form_.btnend->setEnabled(enabled); break;
        }
    }

private:
    Form1& form_;
};

// ---------------------------------------------------------------------------
// The window

Form1::Form1(QWidget* parent)
    : QMainWindow(parent),
      passControls_(std::make_unique<PassControls>(*this)),
      clock_(std::make_unique<SystemClock>()),
      notificationSound_([] { mandel_ui::playNotificationSound(); }),
      programEnd_([] { QCoreApplication::exit(0); }) {
    setUpWindow();
    QWidget* client = createClientArea();
    createPicture(client);
    createParameterGroups(client);
    createTimeRows(client);
    createPresetButtons(client);
    createCommandRow(client);
    setFocusOrder();
    createMenus();
    fixWindowSize();

    exportCommand_ = new ExportCommand(this, [this](const MessageRequest& request) { showMessage(request); });
    mnuexport = findChild<QAction*>(QStringLiteral("mnuexport"));
    mnuexplore = findChild<QAction*>(QStringLiteral("mnuexplore"));
    connect(exportCommand_, &ExportCommand::runningChanged, this, &Form1::updateExportItem);
    updateExportItem();
}

Form1::~Form1() = default;

void Form1::setClock(std::unique_ptr<WindowClock> clock) { clock_ = std::move(clock); }

QString Form1::savePath() const {
    return saveLocation_.folder() + QStringLiteral("/M_sample") + QString::number(clock_->minute()) +
           QStringLiteral(".bmp");
}

void Form1::showMessage(const MessageRequest& request) {
    if (presenter_) presenter_(request);
}

void Form1::Form_Load() {
    // Centre the whole window, frame included where the platform knows it,
    // on the whole screen (not only the part a task bar leaves free). The
    // native window is created first so that its frame is known where the
    // platform can tell it before the window is shown; where a window
    // manager tells it later, the window is centred again then.
    winId();
    if (!centring_) centring_ = new WindowCentring(this);
    centring_->centre();

    Pic1->setPixelScaleMode();
    Pic1->setScaleWidth(mandel::kLogicalSize);
    Pic1->setScaleHeight(mandel::kLogicalSize);

    // The read-outs from the bars' start values, lbl1 to lbl4.
    for (const ParameterControls& p : parameters_) p.readout->setText(p.design->text(p.bar->value()));

    // The picture, first in the tab order, has the focus from the start.
    Pic1->setFocus(Qt::OtherFocusReason);
}

// ---------------------------------------------------------------------------
// Drawing and commands

void Form1::btnstart_Click() {
    // Disabling the focused start button passes the focus on; it comes back
    // after the drawing, so that keys do not move a scroll bar instead.
    const QPointer<QWidget> focused = focusWidget();
    try {
        mandel::runRenderPass(settings_, *passControls_, *Pic1, *clock_, {mandel::PassEngine::Fast});
        // The read-outs have not changed since the pass read them.
        setDrawnRegion(readoutRegion());
        if (drawn_) history_.recordDrawing(*drawn_);
    } catch (const std::exception& error) {
        showMessage({MessageRequest::Kind::Error, QStringLiteral("描画開始"),
                     QStringLiteral("描画できませんでした。\n\n") + QString::fromStdString(error.what())});
    }
    if (focused) focused->setFocus(Qt::OtherFocusReason);
    // The pass held the event loop; show the finished picture now.
    Pic1->repaint();
}

void Form1::btncls_Click() {
    Pic1->Cls();
    setDrawnRegion(std::nullopt);
}

void Form1::setDrawnRegion(std::optional<Region> region) {
    drawn_ = region;
    Pic1->setPointingEnabled(drawn_.has_value());
    updateExportItem();
}

void Form1::updateExportItem() {
    mnuexport->setEnabled(drawn_.has_value() && !exportCommand_->isRunning());
    mnuexplore->setEnabled(drawn_.has_value());
}

// The picture on the surface at any size: its region and limit, not those of
// read-outs moved since it was drawn.
void Form1::mnuexport_Click() {
    if (!drawn_) return;
    exportCommand_->run(mandel::regionTexts(*drawn_));
}

ExplorerWindow* Form1::explorer() const { return explorer_.data(); }

// The explorer at the drawn region and limit; one at a time: opening it
// again brings it to the front there.
void Form1::mnuexplore_Click() {
    if (!drawn_) return;
    const mandel::RegionTexts texts = mandel::regionTexts(*drawn_);
    const mandel::LocationReading reading =
        mandel::locationFromReadouts(texts.real, texts.imag, texts.side, texts.limit);
    if (!reading.ok) {
        showMessage(
            {MessageRequest::Kind::Error, QStringLiteral("探索ウィンドウ"), QString::fromStdString(reading.problem)});
        return;
    }
    if (explorer_) {
        explorer_->goTo(reading.location);
    } else {
        explorer_ = new ExplorerWindow(reading.location, this);
        explorer_->setAttribute(Qt::WA_DeleteOnClose);
    }
    explorer_->show();
    explorer_->raise();
    explorer_->activateWindow();
}

void Form1::btnend_Click() {
    close();
    if (programEnd_) programEnd_();
}

void Form1::mnuend_Click() { btnend_Click(); }

void Form1::mnuprint_Click() {
    const QString title = QStringLiteral("画像データ保存");
    saveLocation_.prepareFolder();
    const QString path = savePath();
    const SaveResult result = savePicture(Pic1->image(), path);
    if (result.ok) {
        if (const QString note = saveLocation_.noteAfterSave(path); !note.isEmpty())
            showMessage({MessageRequest::Kind::Information, title, note});
        return;
    }
    showMessage({MessageRequest::Kind::Error, title,
                 QStringLiteral("画像を保存できませんでした。\n\n") + QDir::toNativeSeparators(path) +
                     QStringLiteral("\n\n") + result.error});
}

void Form1::mnuver_Click() {
    showMessage({MessageRequest::Kind::Information, kVersionBoxTitle, displayText(versionMessage())});
    if (notificationSound_) notificationSound_();
}

// ---------------------------------------------------------------------------
// Scroll bars

void Form1::Hbar_Change(const ParameterControls& group) { Hbar_Scroll(group); }

void Form1::Hbar_Scroll(const ParameterControls& group) {
    group.readout->setText(group.design->text(group.bar->sliderPosition()));
}

// The groups come in the order of the read-outs, which mandel::Readout numbers from 1.
static_assert(kParameterGroups[0].position == &mandel::Region::real &&
              kParameterGroups[1].position == &mandel::Region::imag &&
              kParameterGroups[2].position == &mandel::Region::side &&
              kParameterGroups[3].position == &mandel::Region::limit);

const Form1::ParameterControls& Form1::parameter(mandel::Readout which) const {
    return parameters_.at(static_cast<std::size_t>(which) - 1);
}

// ---------------------------------------------------------------------------
// Presets

void Form1::preset_Click(const PresetButton& button) {
    btncls_Click();
    setBars(button.preset->region);
}

void Form1::setBars(const Region& region) {
    // Setting a value runs the bar's Change when it differs; the explicit text
    // afterwards makes the read-out right also when it does not.
    for (const ParameterControls& p : parameters_) {
        const int position = region.*p.design->position;
        p.bar->setValue(position);
        p.readout->setText(p.design->text(position));
    }
}

std::optional<Region> Form1::readoutRegion() const {
    const auto text = [this](mandel::Readout which) { return parameter(which).readout->text().toStdString(); };
    return mandel::regionFromReadouts(text(mandel::Readout::Real), text(mandel::Readout::Imag),
                                      text(mandel::Readout::Side), text(mandel::Readout::Limit));
}

void Form1::drawRegion(const Region& region) {
    setBars(region);
    btnstart_Click();
}

// The gestures point at the picture, so they start from its region, not
// from bars that may have moved since it was drawn. The iteration limit is
// not a place on the picture: the next drawing keeps the one the user chose.
std::optional<Region> Form1::gestureStart() const {
    if (!drawn_) return std::nullopt;
    Region start = *drawn_;
    start.limit = parameter(mandel::Readout::Limit).bar->value();
    return start;
}

void Form1::zoomToSquare(double left, double top, double width) {
    const auto start = gestureStart();
    if (!start) return;
    if (const auto next = mandel::zoomToSquare(*start, left, top, width)) drawRegion(*next);
}

void Form1::zoomAtPoint(double x, double y, bool zoomIn) {
    const auto start = gestureStart();
    if (!start) return;
    if (const auto next = mandel::zoomAtPoint(*start, x, y, zoomIn)) drawRegion(*next);
}

void Form1::goBack() {
    if (const auto previous = history_.back()) drawRegion(*previous);
}

// ---------------------------------------------------------------------------

void Form1::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        auto* focused = qobject_cast<QPushButton*>(focusWidget());
        QPushButton* target = focused ? focused : btnstart;
        if (target->isEnabled()) target->click();
        event->accept();
        return;
    }
    QMainWindow::keyPressEvent(event);
}

}  // namespace mandel_ui
