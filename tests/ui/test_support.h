#pragma once

// Shared by the window's tests: a clock that says what the test wants, a
// window wired to it and to a temporary folder, and the picture the engine's
// point-by-point pass gives for a region.

#include <QImage>
#include <QLabel>
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
#include "render_pass.h"

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
    return distance(f) < distance(std::nextafter(f, INFINITY)) &&
           distance(f) < distance(std::nextafter(f, -INFINITY));
}

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
    FixedClock* clock = nullptr;
    std::vector<mandel_ui::MessageRequest> messages;
    QStringList events;
};

// The picture of a W × H surface after the engine's point-by-point pass over
// the region of the four read-out texts: every plotted point in scan order,
// logical (x, y) at pixel (floor(x·W/500), floor(y·H/500)), the later point
// winning, nothing for points on the far edges.
inline QImage referencePicture(const std::string& real, const std::string& imag,
                               const std::string& side, const std::string& limit, QSize size) {
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
        std::string readoutText(mandel::Readout which) const override {
            return texts[static_cast<int>(which) - 1];
        }
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

inline QStringList readouts(const mandel_ui::Form1& f) {
    return {f.lbl1->text(), f.lbl2->text(), f.lbl3->text(), f.lbl4->text()};
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
