#pragma once

#include <QDateTime>
#include <QLocale>
#include <QString>
#include <string>

#include "drawing/render_pass.h"

namespace mandel_ui {

// The clock the window reads: the date-and-time text of the time read-outs
// and the minute that names the saved picture.
class WindowClock : public mandel::Clock {
public:
    virtual int minute() const = 0;  // 0..59
};

// The local date and time as the time read-outs show them: the locale's short
// date, a space, and the locale's short time with seconds added where it has
// none (e.g. "2026/01/02 3:04:05" in Japanese, "1/2/26 3:04:05 AM" in US English).
QString dateTimeText(const QDateTime& when, const QLocale& locale);

// The machine's clock in the user's locale.
class SystemClock : public WindowClock {
public:
    std::string dateTimeText() const override;
    int minute() const override;
};

}  // namespace mandel_ui
