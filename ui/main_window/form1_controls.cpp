// Building the window's controls from the design's tables; each builder also
// connects its controls to their handlers.
#include <QLabel>
#include <QLayout>
#include <QMessageBox>
#include <QPushButton>
#include <string_view>
#include <vector>

#include "app_icon.h"
#include "command_button.h"
#include "drawing_surface.h"
#include "form1.h"
#include "mouse_back_button.h"
#include "parameter_scroll_bar.h"
#include "window_design.h"
#include "window_style.h"

namespace mandel_ui {

namespace {

QLabel* addLabel(QWidget* client, const LabelDesign& design, LabelStyle style) {
    auto* label = new QLabel(QString::fromUtf8(design.text), client);
    label->setObjectName(QLatin1String(design.name));
    label->setGeometry(pixelRect(design.rect));
    label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    applyLabelStyle(label, style);
    return label;
}

QPushButton* addButton(QWidget* client, const char* name, const QString& caption, const TwipsRect& rect) {
    auto* button = new CommandButton(caption, client);
    button->setObjectName(QLatin1String(name));
    button->setGeometry(pixelRect(rect));
    return button;
}

QPushButton* addButton(QWidget* client, const ButtonDesign& design) {
    QPushButton* button = addButton(client, design.name, QString::fromUtf8(design.caption), design.rect);
    if (design.points > 0) button->setFont(gothicFont(design.points));
    return button;
}

ParameterScrollBar* addScrollBar(QWidget* client, const ParameterGroup& group) {
    auto* bar = new ParameterScrollBar(client);
    bar->setObjectName(QLatin1String(group.bar));
    bar->setGeometry(pixelRect(group.barRect));
    bar->setRange(group.range.minimum, group.range.maximum);
    bar->setValue(group.start);
    bar->setSingleStep(1);
    bar->setPageStep(group.pageStep);
    return bar;
}

}  // namespace

void Form1::setUpWindow() {
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
}

QWidget* Form1::createClientArea() {
    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    client->setFixedSize(pixels(kClientArea.width), pixels(kClientArea.height));
    setCentralWidget(client);
    return client;
}

void Form1::createPicture(QWidget* client) {
    Pic1 = new DrawingSurface(client);
    Pic1->setObjectName(QStringLiteral("Pic1"));
    Pic1->setGeometry(pixelRect(kPictureRect));
    connect(Pic1, &DrawingSurface::squareSelected, this, &Form1::zoomToSquare);
    connect(Pic1, &DrawingSurface::wheelNotch, this, &Form1::zoomAtPoint);
    connect(Pic1, &DrawingSurface::backRequested, this, &Form1::goBack);
    // The mouse's back button goes back from anywhere over the window.
    connect(new MouseBackButton(this), &MouseBackButton::pressed, this, &Form1::goBack);
}

void Form1::createParameterGroups(QWidget* client) {
    std::vector<QLabel*> directionWords;
    for (std::size_t i = 0; i < kParameterGroups.size(); ++i) {
        const ParameterGroup& group = kParameterGroups[i];
        addLabel(client, group.caption, LabelStyle::Caption);
        ParameterControls& p = parameters_[i];
        p.design = &group;
        p.readout = addLabel(client, group.readout, LabelStyle::Readout);
        p.bar = addScrollBar(client, group);
        // Connected after the start value is set: Form_Load fills the
        // read-outs, not the construction. valueChanged: every change of the
        // value (arrows, track, keys, the end of a drag, setValue);
        // sliderMoved: every step of a drag, so the read-out follows the thumb.
        connect(p.bar, &QScrollBar::valueChanged, this, [this, &p] { Hbar_Change(p); });
        connect(p.bar, &QScrollBar::sliderMoved, this, [this, &p] { Hbar_Scroll(p); });
        for (const LabelDesign& word : {group.wordAtMinimum, group.wordAtMaximum})
            if (word.name) directionWords.push_back(addLabel(client, word, LabelStyle::DirectionWord));
    }
    // The words' labels are narrow: they share one size of the window's font
    // at which every word shows whole.
    fitTogether(directionWords, font());
}

void Form1::createTimeRows(QWidget* client) {
    addLabel(client, kStartTimeCaption, LabelStyle::TimeCaption);
    lblstart = addLabel(client, kStartTimeReadout, LabelStyle::TimeReadout);
    addLabel(client, kEndTimeCaption, LabelStyle::TimeCaption);
    lblend = addLabel(client, kEndTimeReadout, LabelStyle::TimeReadout);
}

void Form1::createPresetButtons(QWidget* client) {
    for (const PresetButton& preset : kPresetButtons) {
        const std::string_view caption = preset.preset->name;
        QPushButton* button =
            addButton(client, preset.name, QString::fromUtf8(caption.data(), caption.size()), preset.rect);
        if (preset.toolTip) button->setToolTip(QString::fromUtf8(preset.toolTip));
        connect(button, &QPushButton::clicked, this, [this, &preset] { preset_Click(preset); });
    }
}

void Form1::createCommandRow(QWidget* client) {
    btnstart = addButton(client, kStartButton);
    btncls = addButton(client, kClearButton);
    btnend = addButton(client, kEndButton);
    addLabel(client, kNote, LabelStyle::Note);
    btnstart->setDefault(true);
    connect(btnstart, &QPushButton::clicked, this, &Form1::btnstart_Click);
    connect(btncls, &QPushButton::clicked, this, &Form1::btncls_Click);
    connect(btnend, &QPushButton::clicked, this, &Form1::btnend_Click);
}

// Keyboard focus follows the design's tab indexes, from the picture on;
// labels take no focus.
void Form1::setFocusOrder() {
    QWidget* previous = nullptr;
    for (const char* name : kFocusOrder) {
        QWidget* next = findChild<QWidget*>(QLatin1String(name));
        if (previous) setTabOrder(previous, next);
        previous = next;
    }
}

// The window keeps the size of its client area plus the menu bar.
void Form1::fixWindowSize() {
    layout()->setSizeConstraint(QLayout::SetFixedSize);
    layout()->activate();
}

}  // namespace mandel_ui
