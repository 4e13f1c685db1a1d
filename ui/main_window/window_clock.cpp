#include "window_clock.h"

namespace mandel_ui {

namespace {

// The locale's short time format with seconds: most short formats stop at the
// minutes ("H:mm", "h:mm AP"), so ":ss" goes right after them.
QString timeFormatWithSeconds(const QLocale& locale) {
    QString format = locale.timeFormat(QLocale::ShortFormat);
    if (format.contains(QLatin1Char('s'))) return format;
    const qsizetype minutes = format.indexOf(QLatin1String("mm"));
    if (minutes < 0) return locale.timeFormat(QLocale::LongFormat);
    format.insert(minutes + 2, QLatin1String(":ss"));
    return format;
}

}  // namespace

QString dateTimeText(const QDateTime& when, const QLocale& locale) {
    return locale.toString(when.date(), QLocale::ShortFormat) + QLatin1Char(' ') +
           locale.toString(when.time(), timeFormatWithSeconds(locale));
}

std::string SystemClock::dateTimeText() const {
    return mandel_ui::dateTimeText(QDateTime::currentDateTime(), QLocale()).toStdString();
}

int SystemClock::minute() const { return QTime::currentTime().minute(); }

}  // namespace mandel_ui
