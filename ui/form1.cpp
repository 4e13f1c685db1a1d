#include "form1.h"

#include <QCoreApplication>
#include <QDir>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QPointer>
#include <algorithm>
#include <array>
#include <initializer_list>
#include <cmath>
#include <exception>

#include "app_icon.h"
#include "command_button.h"
#include "drawing_surface.h"
#include "export_command.h"
#include "mouse_back_button.h"
#include "notification_sound.h"
#include "parameter_scroll_bar.h"
#include "readout_format.h"
#include "render_pass.h"
#include "window_centring.h"

namespace mandel_ui {

namespace {

constexpr int kVersionMajor = MANDEL_VERSION_MAJOR;
constexpr int kVersionMinor = MANDEL_VERSION_MINOR;
constexpr int kVersionRevision = MANDEL_VERSION_PATCH;

// Scroll-bar positions of a preset: ten-thousandths for the real-part
// minimum, the imaginary-part minimum and the side length, iterations for the
// limit.
constexpr std::array<Region, 6> kPresets = {{
    {-7500, -2750, 500, 106},      // sample1
    {-18558, -11730, 24232, 100},  // sample2: the widest region
    {-7750, 1070, 100, 180},       // sample3; samples 5 and 4 zoom into it
    {-7717, 1165, 1, 180},         // sample4
    {-7720, 1163, 5, 180},         // sample5
    {-7612, 664, 13015, 100},      // sample6
}};

// Positions and sizes are designed in twips; 15 twips make one pixel at 96 dpi
// and Qt's own high-DPI scaling takes care of other screens.
constexpr double kTwipsPerPixel = 15.0;

int pixels(int twips) { return static_cast<int>(std::lround(twips / kTwipsPerPixel)); }

QRect twipsRect(int left, int top, int width, int height) {
    return QRect(pixels(left), pixels(top), pixels(width), pixels(height));
}

// The Japanese Gothic face of the design, with the free IPA face as the
// stand-in where it is missing (fontconfig has no alias between them, and its
// default Japanese face is the monospaced one).
QFont gothicFont(double points) {
    QFont font;
    font.setFamilies({QStringLiteral("ＭＳ Ｐゴシック"), QStringLiteral("MS PGothic"),
                      QStringLiteral("IPAPGothic")});
    font.setPointSizeF(points);
    font.setWeight(QFont::Normal);
    font.setItalic(false);
    font.setUnderline(false);
    font.setStrikeOut(false);
    return font;
}

// The direction words under the scroll bars have narrow labels. They share
// one size of the window's font: the largest, up to the window's own, at
// which every word fits its label, so that none is cut off.
void fitTogether(std::initializer_list<QLabel*> labels, QFont font) {
    const auto fits = [&labels](const QFont& candidate) {
        const QFontMetrics metrics(candidate);
        return std::all_of(labels.begin(), labels.end(), [&metrics](const QLabel* l) {
            return metrics.horizontalAdvance(l->text()) <= l->contentsRect().width();
        });
    };
    while (font.pointSizeF() > 6 && !fits(font)) font.setPointSizeF(font.pointSizeF() - 0.25);
    for (QLabel* l : labels) l->setFont(font);
}

void setBackground(QWidget* widget, const QColor& colour) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, colour);
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

void setTextColour(QWidget* widget, const QColor& colour) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, colour);
    widget->setPalette(palette);
}

}  // namespace

// ---------------------------------------------------------------------------
// Messages

std::unique_ptr<QMessageBox> makeMessageBox(const MessageRequest& request, QWidget* parent) {
    auto box = std::make_unique<QMessageBox>(parent);
    box->setWindowTitle(request.title);
    box->setTextFormat(Qt::PlainText);
    box->setText(request.text);
    box->setIcon(request.kind == MessageRequest::Kind::Error ? QMessageBox::Critical
                                                             : QMessageBox::NoIcon);
    box->setStandardButtons(QMessageBox::Ok);
    box->setDefaultButton(QMessageBox::Ok);
    box->setWindowModality(Qt::ApplicationModal);
    return box;
}

QString versionMessage() {
    const QString crcrlf = QStringLiteral("\r\r\n");
    return QStringLiteral("    マンデルブロ集合   Ver.  ") + QString::number(kVersionMajor) +
           QLatin1Char('.') + QString::number(kVersionMinor) + QLatin1Char('.') +
           QString::number(kVersionRevision) + crcrlf +
           QStringLiteral("　　Copyright (C) 2026 Mandelbrot Works") + crcrlf +
           QStringLiteral("　　E-mail: support@mandelbrot-works.example") + QStringLiteral("\r\n") +
           QStringLiteral("　　Web: https://www.mandelbrot-works.example/");
}

QString displayText(const QString& windowsText) {
    QString text = windowsText;
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

// ---------------------------------------------------------------------------
// What the render pass uses of the window

class Form1::PassControls final : public mandel::PassControls {
public:
    explicit PassControls(Form1& form) : form_(form) {}

    void runClearCommand() override { form_.btncls_Click(); }

    std::string readoutText(mandel::Readout which) const override {
        switch (which) {
        case mandel::Readout::Real:
            return form_.lbl1->text().toStdString();
        case mandel::Readout::Imag:
            return form_.lbl2->text().toStdString();
        case mandel::Readout::Side:
            return form_.lbl3->text().toStdString();
        case mandel::Readout::Limit:
            return form_.lbl4->text().toStdString();
        }
        return std::string();
    }

    void setStartTimeText(const std::string& text) override {
        form_.lblstart->setText(QString::fromStdString(text));
    }

    void setEndTimeText(const std::string& text) override {
        form_.lblend->setText(QString::fromStdString(text));
    }

    void setButtonEnabled(mandel::PassButton button, bool enabled) override {
        switch (button) {
        case mandel::PassButton::Start:
            form_.btnstart->setEnabled(enabled);
            break;
        case mandel::PassButton::Clear:
            form_.btncls->setEnabled(enabled);
            break;
        case mandel::PassButton::End:
            form_.btnend->setEnabled(enabled);
            break;
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
      programEnd_([] { QCoreApplication::exit(0); }),
      exportCommand_(new ExportCommand(this, [this](const MessageRequest& request) { showMessage(request); })) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("マンデルブロ集合(Ｃ＊Ｃ＋Ｃ）"));
    setWindowIcon(makeAppIcon());
    presenter_ = [this](const MessageRequest& request) { makeMessageBox(request, this)->exec(); };
    // The window's default font, for every control without a font of its
    // own, for the menus and for the message boxes: the proportional
    // Japanese Gothic at 9 points. (Left to fontconfig, Japanese text in a
    // Latin face would fall back to a monospaced Japanese face.)
    setAttribute(Qt::WA_WindowPropagation);
    setFont(gothicFont(9));

    // The client area below the menu bar: 11340 × 6975 twips.
    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    client->setFixedSize(pixels(11340), pixels(6975));
    setCentralWidget(client);

    const QFont font105 = gothicFont(10.5);

    auto label = [client](QLabel*& member, const char* name, const QString& text, QRect rect) {
        member = new QLabel(text, client);
        member->setObjectName(QLatin1String(name));
        member->setGeometry(rect);
        member->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        return member;
    };
    auto button = [client](QPushButton*& member, const char* name, const QString& text, QRect rect) {
        member = new CommandButton(text, client);
        member->setObjectName(QLatin1String(name));
        member->setGeometry(rect);
        return member;
    };
    auto scrollBar = [client](ParameterScrollBar*& member, const char* name, QRect rect, int minimum,
                              int maximum, int start, int pageStep) {
        member = new ParameterScrollBar(client);
        member->setObjectName(QLatin1String(name));
        member->setGeometry(rect);
        member->setRange(minimum, maximum);
        member->setValue(start);
        member->setSingleStep(1);
        member->setPageStep(pageStep);
        return member;
    };

    // The picture.
    Pic1 = new DrawingSurface(client);
    Pic1->setObjectName(QStringLiteral("Pic1"));
    Pic1->setGeometry(twipsRect(135, 45, 6795, 6795));

    // Parameters: caption and read-out above each scroll bar, direction words below.
    label(Label1, "Label1", QStringLiteral("実部最小値"), twipsRect(7170, 120, 1425, 255));
    label(lbl1, "lbl1", QString(), twipsRect(8610, 120, 1995, 255));
    scrollBar(Hbar1, "Hbar1", twipsRect(7170, 510, 3915, 252), -20000, 10000, -11507, 100);
    label(Label8, "Label8", QStringLiteral("right"), twipsRect(7185, 795, 390, 255));
    label(Label9, "Label9", QStringLiteral("left"), twipsRect(10830, 795, 240, 255));

    label(Label3, "Label3", QStringLiteral("虚部最小値"), twipsRect(7185, 1065, 1425, 255));
    label(lbl2, "lbl2", QString(), twipsRect(8610, 1065, 1995, 255));
    scrollBar(Hbar2, "Hbar2", twipsRect(7185, 1455, 3915, 252), -30000, 10000, -4793, 100);
    label(Label10, "Label10", QStringLiteral("down"), twipsRect(7185, 1725, 390, 255));
    label(Label11, "Label11", QStringLiteral("up"), twipsRect(10890, 1725, 300, 255));

    label(Label5, "Label5", QStringLiteral("描画領域"), twipsRect(7185, 1995, 1230, 255));
    label(lbl3, "lbl3", QString(), twipsRect(8610, 1995, 1995, 255));
    scrollBar(Hbar3, "Hbar3", twipsRect(7185, 2370, 3915, 252), 1, 30000, 5000, 100);
    label(Label12, "Label12", QStringLiteral("large"), twipsRect(7185, 2655, 390, 255));
    label(Label13, "Label13", QStringLiteral("small"), twipsRect(10695, 2655, 390, 255));

    label(Label6, "Label6", QStringLiteral("計算回数"), twipsRect(7215, 2925, 1230, 255));
    label(lbl4, "lbl4", QStringLiteral("   "), twipsRect(8610, 2910, 1995, 270));
    scrollBar(Hbar4, "Hbar4", twipsRect(7215, 3315, 3915, 252), 100, 1500, 100, 10);

    // Start and end time.
    label(Label2, "Label2", QStringLiteral("開始時刻"), twipsRect(7215, 3855, 1035, 255));
    label(lblstart, "lblstart", QString(), twipsRect(8250, 3855, 2340, 255));
    label(Label4, "Label4", QStringLiteral("終了時刻"), twipsRect(7215, 4335, 1035, 255));
    label(lblend, "lblend", QString(), twipsRect(8250, 4335, 2355, 255));

    // Presets.
    button(btbsa1, "btbsa1", QStringLiteral("sample1"), twipsRect(7170, 4845, 1260, 396));
    button(btnsa2, "btnsa2", QStringLiteral("sample2"), twipsRect(8505, 4845, 1260, 396));
    button(btnsa3, "btnsa3", QStringLiteral("sample3"), twipsRect(9840, 4845, 1260, 396));
    button(Command1, "Command1", QStringLiteral("sample4"), twipsRect(7185, 5370, 1260, 396));
    button(Command2, "Command2", QStringLiteral("sample5"), twipsRect(8512, 5370, 1260, 396));
    button(sample6, "sample6", QStringLiteral("sample6"), twipsRect(9840, 5370, 1260, 390));
    btnsa2->setToolTip(QStringLiteral("約２分"));

    // Commands and the note under them.
    button(btnstart, "btnstart", QStringLiteral("描画開始"), twipsRect(7170, 5985, 1275, 855));
    button(btncls, "btncls", QStringLiteral("画像消去"), twipsRect(8497, 5985, 1275, 444));
    button(btnend, "btnend", QStringLiteral("終 了"), twipsRect(9825, 5985, 1275, 444));
    label(Label7, "Label7", QStringLiteral("※描画中は、反応がなくなります"),
          twipsRect(8580, 6570, 2520, 390));
    btnstart->setDefault(true);

    // Fonts, alignment and colours.
    for (QLabel* l : {Label1, lbl1, Label3, lbl2, Label5, lbl3, Label6, lbl4, Label2, lblstart, Label4,
                      lblend})
        l->setFont(font105);
    btnstart->setFont(gothicFont(9.75));
    btnend->setFont(gothicFont(9.75));
    Label7->setFont(gothicFont(8.25));
    Label7->setWordWrap(true);
    Label7->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    for (QLabel* l : {Label1, Label3, Label5, Label6}) l->setAlignment(Qt::AlignCenter);
    for (QLabel* l : {lbl1, lbl2, lbl3, lbl4}) setBackground(l, Qt::white);
    // The time read-outs take the colour of an active title bar's text.
    const QColor titleText = palette().color(QPalette::Active, QPalette::HighlightedText);
    for (QLabel* l : {lblstart, lblend}) {
        setBackground(l, titleText);
        setTextColour(l, Qt::black);
    }
    setTextColour(Label7, QColor(192, 0, 0));
    fitTogether({Label8, Label9, Label10, Label11, Label12, Label13}, font());

    // Keyboard focus follows the design's tab indexes, from the picture on;
    // labels take no focus.
    QWidget* const focusOrder[] = {Pic1, btnstart, btncls, btnend, Hbar1, Hbar2, Hbar3, Hbar4,
                                   btbsa1, btnsa2, btnsa3, Command1, Command2, sample6};
    for (std::size_t i = 1; i < std::size(focusOrder); ++i)
        setTabOrder(focusOrder[i - 1], focusOrder[i]);

    // Menus.
    mnufile = menuBar()->addMenu(QStringLiteral("ファイル(&F)"));
    mnufile->setObjectName(QStringLiteral("mnufile"));
    mnuprint = mnufile->addAction(QStringLiteral("画像データ保存(&S)"));
    mnuprint->setObjectName(QStringLiteral("mnuprint"));
    mnuexport = mnufile->addAction(QStringLiteral("画像エクスポート(&X)..."));
    mnuexport->setObjectName(QStringLiteral("mnuexport"));
    mnuexport->setEnabled(false);  // until there is a picture
    mnuend = mnufile->addAction(QStringLiteral("終了(&E)"));
    mnuend->setObjectName(QStringLiteral("mnuend"));
    mnuhelp = menuBar()->addMenu(QStringLiteral("ヘルプ(&H)"));
    mnuhelp->setObjectName(QStringLiteral("mnuhelp"));
    mnuver = mnuhelp->addAction(QStringLiteral("バージョン情報(&V)"));
    mnuver->setObjectName(QStringLiteral("mnuver"));
    // The menus are windows of the menu bar, not of this window: give them
    // the window's font explicitly.
    for (QMenu* menu : {mnufile, mnuhelp}) menu->setFont(font());

    // Events. The bars are connected after their start values are set, so
    // the read-outs are filled by Form_Load, not by the construction.
    connect(btnstart, &QPushButton::clicked, this, &Form1::btnstart_Click);
    connect(btncls, &QPushButton::clicked, this, &Form1::btncls_Click);
    connect(btnend, &QPushButton::clicked, this, &Form1::btnend_Click);
    connect(btbsa1, &QPushButton::clicked, this, &Form1::btbsa1_Click);
    connect(btnsa2, &QPushButton::clicked, this, &Form1::btnsa2_Click);
    connect(btnsa3, &QPushButton::clicked, this, &Form1::btnsa3_Click);
    connect(Command1, &QPushButton::clicked, this, &Form1::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &Form1::Command2_Click);
    connect(sample6, &QPushButton::clicked, this, &Form1::sample6_Click);
    connect(mnuprint, &QAction::triggered, this, &Form1::mnuprint_Click);
    connect(mnuexport, &QAction::triggered, this, &Form1::mnuexport_Click);
    connect(mnuend, &QAction::triggered, this, &Form1::mnuend_Click);
    connect(mnuver, &QAction::triggered, this, &Form1::mnuver_Click);
    connect(exportCommand_, &ExportCommand::runningChanged, this, &Form1::updateExportItem);
    connect(Pic1, &DrawingSurface::squareSelected, this, &Form1::zoomToSquare);
    connect(Pic1, &DrawingSurface::wheelNotch, this, &Form1::zoomAtPoint);
    connect(Pic1, &DrawingSurface::backRequested, this, &Form1::goBack);
    connect(new MouseBackButton(this), &MouseBackButton::pressed, this, &Form1::goBack);
    // valueChanged: every change of the value (arrows, track, keys, the end of
    // a drag, setValue). sliderMoved: every step of a drag, so the read-out
    // follows the thumb while it moves.
    connect(Hbar1, &QScrollBar::valueChanged, this, &Form1::Hbar1_Change);
    connect(Hbar2, &QScrollBar::valueChanged, this, &Form1::Hbar2_Change);
    connect(Hbar3, &QScrollBar::valueChanged, this, &Form1::Hbar3_Change);
    connect(Hbar4, &QScrollBar::valueChanged, this, &Form1::Hbar4_Change);
    connect(Hbar1, &QScrollBar::sliderMoved, this, &Form1::Hbar1_Scroll);
    connect(Hbar2, &QScrollBar::sliderMoved, this, &Form1::Hbar2_Scroll);
    connect(Hbar3, &QScrollBar::sliderMoved, this, &Form1::Hbar3_Scroll);
    connect(Hbar4, &QScrollBar::sliderMoved, this, &Form1::Hbar4_Scroll);

    // The window keeps the size of its client area plus the menu bar.
    layout()->setSizeConstraint(QLayout::SetFixedSize);
    layout()->activate();
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
    Pic1->setScaleWidth(500);
    Pic1->setScaleHeight(500);

    lbl1->setText(readoutText(Hbar1->value()));
    lbl2->setText(readoutText(Hbar2->value()));
    lbl3->setText(readoutText(Hbar3->value()));
    lbl4->setText(iterationText(Hbar4->value()));

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
    updateExportItem();
    Pic1->setPointingEnabled(drawn_.has_value());
}

void Form1::btnend_Click() {
    close();
    if (programEnd_) programEnd_();
}

void Form1::mnuend_Click() { btnend_Click(); }

void Form1::updateExportItem() { mnuexport->setEnabled(drawn_.has_value() && !exportCommand_->isRunning()); }

// The picture on the surface at any size: its region, not that of read-outs
// moved since it was drawn.
void Form1::mnuexport_Click() {
    if (!drawn_) return;
    exportCommand_->run({readoutText(drawn_->real).toStdString(), readoutText(drawn_->imag).toStdString(),
                         readoutText(drawn_->side).toStdString(), iterationText(drawn_->limit).toStdString()});
}

void Form1::mnuprint_Click() {
    const QString title = QStringLiteral("画像データ保存");
    saveLocation_.prepareFolder();
    const QString path = savePath();
    const SaveResult result = Pic1->save(path);
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
// Scroll bars: each Change only runs its Scroll, so each read-out rule is here once.

void Form1::Hbar1_Change() { Hbar1_Scroll(); }
void Form1::Hbar2_Change() { Hbar2_Scroll(); }
void Form1::Hbar3_Change() { Hbar3_Scroll(); }
void Form1::Hbar4_Change() { Hbar4_Scroll(); }

void Form1::Hbar1_Scroll() { lbl1->setText(readoutText(Hbar1->sliderPosition())); }
void Form1::Hbar2_Scroll() { lbl2->setText(readoutText(Hbar2->sliderPosition())); }
void Form1::Hbar3_Scroll() { lbl3->setText(readoutText(Hbar3->sliderPosition())); }
void Form1::Hbar4_Scroll() { lbl4->setText(iterationText(Hbar4->sliderPosition())); }

// ---------------------------------------------------------------------------
// Presets

void Form1::applyPreset(int index) {
    btncls_Click();
    setBars(kPresets.at(static_cast<std::size_t>(index)));
}

void Form1::setBars(const Region& region) {
    // Setting a value runs the bar's Change when it differs; the explicit text
    // afterwards makes the read-out right also when it does not.
    Hbar1->setValue(region.real);
    lbl1->setText(readoutText(region.real));
    Hbar2->setValue(region.imag);
    lbl2->setText(readoutText(region.imag));
    Hbar3->setValue(region.side);
    lbl3->setText(readoutText(region.side));
    Hbar4->setValue(region.limit);
    lbl4->setText(iterationText(region.limit));
}

std::optional<Region> Form1::readoutRegion() const {
    return regionFromReadouts(lbl1->text().toStdString(), lbl2->text().toStdString(),
                              lbl3->text().toStdString(), lbl4->text().toStdString());
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
    start.limit = Hbar4->value();
    return start;
}

void Form1::zoomToSquare(double left, double top, double width) {
    const auto start = gestureStart();
    if (!start) return;
    if (const auto next = mandel_ui::zoomToSquare(*start, left, top, width)) drawRegion(*next);
}

void Form1::zoomAtPoint(double x, double y, bool zoomIn) {
    const auto start = gestureStart();
    if (!start) return;
    if (const auto next = mandel_ui::zoomAtPoint(*start, x, y, zoomIn)) drawRegion(*next);
}

void Form1::goBack() {
    if (const auto previous = history_.back()) drawRegion(*previous);
}

void Form1::btbsa1_Click() { applyPreset(0); }
void Form1::btnsa2_Click() { applyPreset(1); }
void Form1::btnsa3_Click() { applyPreset(2); }
void Form1::Command1_Click() { applyPreset(3); }
void Form1::Command2_Click() { applyPreset(4); }
void Form1::sample6_Click() { applyPreset(5); }

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
