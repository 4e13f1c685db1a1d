// Texts the window writes: the read-outs and the time read-outs.

#include <QLocale>
#include <QtTest>
#include <clocale>

#include "readout_format.h"
#include "region/render_settings.h"
#include "test_support.h"
#include "window_clock.h"

using mandel_ui::positionQString;

class TextFormatTest : public QObject {
    Q_OBJECT

private slots:
    void readoutEdgeCases() {
        QCOMPARE(positionQString(-11507), QStringLiteral("-1.1507"));
        QCOMPARE(positionQString(-20000), QStringLiteral("-2"));  // whole: no point
        QCOMPARE(positionQString(0), QStringLiteral("0"));        // no sign, no point
        QCOMPARE(positionQString(5000), QStringLiteral("0.5"));   // no trailing zeros
        QCOMPARE(positionQString(1), QStringLiteral("0.0001"));   // never 1e-04
        QCOMPARE(positionQString(-1), QStringLiteral("-0.0001"));
        QCOMPARE(positionQString(10001), QStringLiteral("1.0001"));  // inner zeros kept
        QCOMPARE(mandel_ui::iterationText(1500), QStringLiteral("1500"));
    }

    // The whole 16-bit range: the digit-by-digit text, and the engine's parse
    // reads each one back as the float nearest to value / 10000.
    void everySixteenBitValue() {
        for (int v = -32768; v <= 32767; ++v) {
            const QString text = positionQString(v);
            if (text != test::expectedReadout(v)) QFAIL(qPrintable(QStringLiteral("%1 gives %2").arg(v).arg(text)));
            if (!test::isNearestFloat(mandel::parseReadout(text.toStdString()), v))
                QFAIL(qPrintable(text + QStringLiteral(" does not parse back to the nearest float")));
        }
    }

    // A locale with a decimal comma changes nothing: the engine's parse takes points only.
    void readoutIgnoresTheUsersLocale() {
        const QLocale saved;
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        const bool cLocaleSet = std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr;  // where installed
        QCOMPARE(positionQString(24232), QStringLiteral("2.4232"));
        QCOMPARE(mandel_ui::iterationText(1500), QStringLiteral("1500"));
        if (cLocaleSet) std::setlocale(LC_ALL, "C");
        QLocale::setDefault(saved);
    }

    // The locale's short date, then the time with seconds.
    void dateTimeText() {
        const QDateTime when(QDate(2026, 1, 2), QTime(15, 4, 5));
        QCOMPARE(mandel_ui::dateTimeText(when, QLocale(QLocale::Japanese, QLocale::Japan)),
                 QStringLiteral("2026/01/02 15:04:05"));
        QCOMPARE(mandel_ui::dateTimeText(when, QLocale(QLocale::German, QLocale::Germany)),
                 QStringLiteral("02.01.26 15:04:05"));
        const QLocale us(QLocale::English, QLocale::UnitedStates);
        QCOMPARE(mandel_ui::dateTimeText(when, us), us.toString(when.date(), QLocale::ShortFormat) + " 3:04:05 PM");
        const int minute = mandel_ui::SystemClock().minute();
        QVERIFY(minute >= 0 && minute <= 59);
    }
};

QTEST_MAIN(TextFormatTest)
#include "text_format_test.moc"
