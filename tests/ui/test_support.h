#pragma once

// Shared by the window's tests: a clock that says what the test wants, a
// window wired to it and to a temporary folder, and the picture the engine's
// point-by-point pass gives for a region.

#include <QAction>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QScrollBar>
#include <QStringList>
#include <QTemporaryDir>
#include <QWheelEvent>
#include <QWindow>
#include <QtTest>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "drawing_surface.h"
#include "form1.h"
#include "drawing/render_pass.h"

namespace test {

class FixedClock : public mandel_ui::WindowClock {
public:
    std::string text = "2026/01/02 3:04:05";
    int minuteNow = 0;
    std::string dateTimeText() const override { return text; }
    int minute() const override { return minuteNow; }
};

// The read-out text of a bar value v in ten-thousandths, worked out digit by
// digit: sign, whole part, and the four decimals without trailing zeros.
inline QString expectedReadout(int v) {
    const int magnitude = std::abs(v);
    QString text = (v < 0 ? QStringLiteral("-") : QString()) + QString::number(magnitude / 10000);
    QString fraction = QStringLiteral("%1").arg(magnitude % 10000, 4, 10, QLatin1Char('0'));
    while (fraction.endsWith(QLatin1Char('0'))) fraction.chop(1);
    if (!fraction.isEmpty()) text += QLatin1Char('.') + fraction;
    return text;
}

// Whether f is the float nearest to v / 10000. f·10000 is exact in double
// (24 + 14 bits), and so is its distance from the integer v.
inline bool isNearestFloat(float f, int v) {
    const auto distance = [v](float g) { return std::fabs(static_cast<double>(g) * 10000.0 - v); };
    return distance(f) < distance(std::nextafter(f, INFINITY)) && distance(f) < distance(std::nextafter(f, -INFINITY));
}

// A control of the window found by its object name. A missing control stops
// the test program at once, naming it.
template <typename T>
T* child(const QObject& window, const char* name) {
    T* found = window.findChild<T*>(QString::fromLatin1(name));
    if (!found) qFatal("no %s named %s", T::staticMetaObject.className(), name);
    return found;
}

// The controls of the window's design that the tests work with, by name.
struct Controls {
    explicit Controls(const QObject& w)
        : Pic1(child<mandel_ui::DrawingSurface>(w, "Pic1")),
          lbl1(child<QLabel>(w, "lbl1")),
          lbl2(child<QLabel>(w, "lbl2")),
          lbl3(child<QLabel>(w, "lbl3")),
          lbl4(child<QLabel>(w, "lbl4")),
          lblstart(child<QLabel>(w, "lblstart")),
          lblend(child<QLabel>(w, "lblend")),
          Hbar1(child<QScrollBar>(w, "Hbar1")),
          Hbar2(child<QScrollBar>(w, "Hbar2")),
          Hbar3(child<QScrollBar>(w, "Hbar3")),
          Hbar4(child<QScrollBar>(w, "Hbar4")),
          btnstart(child<QPushButton>(w, "btnstart")),
          btncls(child<QPushButton>(w, "btncls")),
          btnend(child<QPushButton>(w, "btnend")),
          btbsa1(child<QPushButton>(w, "btbsa1")),
          btnsa2(child<QPushButton>(w, "btnsa2")),
          btnsa3(child<QPushButton>(w, "btnsa3")),
          Command1(child<QPushButton>(w, "Command1")),
          Command2(child<QPushButton>(w, "Command2")),
          sample6(child<QPushButton>(w, "sample6")),
          mnufile(child<QMenu>(w, "mnufile")),
          mnuhelp(child<QMenu>(w, "mnuhelp")),
          mnuprint(child<QAction>(w, "mnuprint")),
          mnuexport(child<QAction>(w, "mnuexport")),
          mnuexplore(child<QAction>(w, "mnuexplore")),
          mnuend(child<QAction>(w, "mnuend")),
          mnuver(child<QAction>(w, "mnuver")) {}

    mandel_ui::DrawingSurface* Pic1;
    QLabel *lbl1, *lbl2, *lbl3, *lbl4, *lblstart, *lblend;
    QScrollBar *Hbar1, *Hbar2, *Hbar3, *Hbar4;
    QPushButton *btnstart, *btncls, *btnend;
    QPushButton *btbsa1, *btnsa2, *btnsa3, *Command1, *Command2, *sample6;  // the presets
    QMenu *mnufile, *mnuhelp;
    QAction *mnuprint, *mnuexport, *mnuexplore, *mnuend, *mnuver;
};

// A window as the program builds it, with the clock, the save folder, the
// message boxes, the sound and the end of the program captured.
struct Harness {
    Harness() {
        auto fixed = std::make_unique<FixedClock>();
        clock = fixed.get();
        form.setClock(std::move(fixed));
        form.setSaveFolder(folder.path());
        form.setMessagePresenter([this](const mandel_ui::MessageRequest& request) {
            messages.push_back(request);
            events << QStringLiteral("message");
        });
        form.setNotificationSound([this] { events << QStringLiteral("sound"); });
        form.setProgramEnd([this] { events << QStringLiteral("end"); });
        form.Form_Load();
    }

    QTemporaryDir folder;
    mandel_ui::Form1 form;
    Controls ui{form};
    FixedClock* clock = nullptr;
    std::vector<mandel_ui::MessageRequest> messages;
    QStringList events;
};

// The picture of a W × H surface after the engine's point-by-point pass over
// the region of the four read-out texts: every plotted point in scan order,
// logical (x, y) at pixel (floor(x·W/500), floor(y·H/500)), the later point
// winning, nothing for points on the far edges.
inline QImage referencePicture(const std::string& real, const std::string& imag, const std::string& side,
                               const std::string& limit, QSize size) {
    struct Recorder : mandel::PassSurface {
        QImage picture;
        void Cls() override { picture.fill(mandel_ui::DrawingSurface::backgroundColour()); }
        void PSet(float x, float y, std::uint32_t colour) override {
            const int px = static_cast<int>(x) * picture.width() / 500;
            const int py = static_cast<int>(y) * picture.height() / 500;
            if (px < picture.width() && py < picture.height())
                picture.setPixel(px, py, qRgb(colour & 0xff, (colour >> 8) & 0xff, (colour >> 16) & 0xff));
        }
        float ScaleWidth() const override { return 500; }
        float ScaleHeight() const override { return 500; }
    };
    struct Controls : mandel::PassControls {
        Recorder* surface = nullptr;
        std::string texts[4];
        void runClearCommand() override { surface->Cls(); }
        std::string shownReadout(mandel::Readout which) const override { return texts[static_cast<int>(which) - 1]; }
        void setStartTimeText(const std::string&) override {}
        void setEndTimeText(const std::string&) override {}
        void setButtonEnabled(mandel::PassButton, bool) override {}
    };
    Recorder recorder;
    recorder.picture = QImage(size, QImage::Format_RGB32);
    Controls controls;
    controls.surface = &recorder;
    controls.texts[0] = real;
    controls.texts[1] = imag;
    controls.texts[2] = side;
    controls.texts[3] = limit;
    FixedClock clock;
    mandel::RenderSettings settings;
    mandel::runRenderPass(settings, controls, recorder, clock, {mandel::PassEngine::Reference});
    return recorder.picture;
}

inline QStringList readouts(const Controls& c) {
    return {c.lbl1->text(), c.lbl2->text(), c.lbl3->text(), c.lbl4->text()};
}

// One wheel event of `delta` (120 per notch) at `at` in `target`.
inline void wheel(QWidget* target, QPoint at, int delta) {
    QWheelEvent event(QPointF(at), QPointF(target->mapToGlobal(at)), QPoint(), QPoint(0, delta), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(target, &event);
}

// A click of the mouse's back button over `control`, delivered to the
// window as the platform delivers it.
inline void backButton(mandel_ui::Form1& form, QWidget* control, QPoint at) {
    QTest::mouseClick(form.windowHandle(), Qt::BackButton, {}, control->mapTo(&form, at));
}

inline QImage rgb(const QImage& image) { return image.convertToFormat(QImage::Format_RGB32); }

}  // namespace test
