// Texts the window writes: the read-outs and the time read-outs.

#include <QLocale>
#include <QtTest>
#include <clocale>

#include "readout_format.h"
#include "render_settings.h"
#include "test_support.h"
#include "window_clock.h"

using mandel_ui::iterationText;
using mandel_ui::readoutText;

class TextFormatTest : public QObject {
    Q_OBJECT

private slots:
    void readoutExamples_data() {
        QTest::addColumn<int>("value");
        QTest::addColumn<QString>("text");
        QTest::newRow("start of Hbar1") << -11507 << "-1.1507";
        QTest::newRow("Hbar1 minimum") << -20000 << "-2";
        QTest::newRow("Hbar1 maximum") << 10000 << "1";
        QTest::newRow("zero") << 0 << "0";
        QTest::newRow("trailing zeros") << -7500 << "-0.75";
        QTest::newRow("start of Hbar2") << -4793 << "-0.4793";
        QTest::newRow("minus one step") << -1 << "-0.0001";
        QTest::newRow("start of Hbar3") << 5000 << "0.5";
        QTest::newRow("sample1 side") << 500 << "0.05";
        QTest::newRow("one step") << 1 << "0.0001";
        QTest::newRow("sample2 side") << 24232 << "2.4232";
        QTest::newRow("Hbar3 maximum") << 30000 << "3";
        QTest::newRow("Hbar2 minimum") << -30000 << "-3";
        QTest::newRow("16-bit minimum") << -32768 << "-3.2768";
        QTest::newRow("16-bit maximum") << 32767 << "3.2767";
        QTest::newRow("inner zero") << 10001 << "1.0001";
    }
    void readoutExamples() {
        QFETCH(int, value);
        QFETCH(QString, text);
        QCOMPARE(readoutText(value), text);
    }

    // The whole 16-bit range: the digit-by-digit text, and the engine's parse
    // reads each one back as the float nearest to value / 10000.
    void everySixteenBitValue() {
        for (int v = -32768; v <= 32767; ++v) {
            const QString text = readoutText(v);
            if (text != test::expectedReadout(v))
                QFAIL(qPrintable(QStringLiteral("%1 gives %2").arg(v).arg(text)));
            if (!test::isNearestFloat(mandel::parseReadout(text.toStdString()), v))
                QFAIL(qPrintable(QStringLiteral("%1 does not parse back to the nearest float").arg(text)));
        }
    }

    // A user whose locale writes a decimal comma still gets points: the
    // engine's parse accepts nothing else.
    void readoutIgnoresTheUsersLocale() {
        const QLocale saved;
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        const char* cLocale = std::setlocale(LC_ALL, "de_DE.UTF-8");  // may be missing; fine
        QCOMPARE(readoutText(-11507), QStringLiteral("-1.1507"));
        QCOMPARE(readoutText(24232), QStringLiteral("2.4232"));
        QCOMPARE(iterationText(1500), QStringLiteral("1500"));
        if (cLocale) std::setlocale(LC_ALL, "C");
        QLocale::setDefault(saved);
    }

    void iterationTextIsTheBareInteger() {
        QCOMPARE(iterationText(100), QStringLiteral("100"));
        QCOMPARE(iterationText(106), QStringLiteral("106"));
        QCOMPARE(iterationText(1500), QStringLiteral("1500"));
    }

    // Short date and a time with seconds, in the locale's own order.
    void dateTimeTextHasTheShortDateAndSeconds_data() {
        QTest::addColumn<QLocale>("locale");
        QTest::newRow("Japanese") << QLocale(QLocale::Japanese, QLocale::Japan);
        QTest::newRow("US English") << QLocale(QLocale::English, QLocale::UnitedStates);
        QTest::newRow("German") << QLocale(QLocale::German, QLocale::Germany);
        QTest::newRow("C") << QLocale::c();
    }
    void dateTimeTextHasTheShortDateAndSeconds() {
        QFETCH(QLocale, locale);
        const QDateTime when(QDate(2026, 1, 2), QTime(15, 4, 5));
        const QString text = mandel_ui::dateTimeText(when, locale);
        const QString date = locale.toString(when.date(), QLocale::ShortFormat);
        QVERIFY2(text.startsWith(date + QLatin1Char(' ')), qPrintable(text));
        QVERIFY2(text.contains(QStringLiteral("04:05")), qPrintable(text));
        // Seconds are there in every locale, hours nowhere doubled.
        QCOMPARE(text.count(QStringLiteral("04")), date.count(QStringLiteral("04")) + 1);
        QVERIFY2(text.contains(QStringLiteral("15")) || text.contains(QStringLiteral("3:04:05 PM")), qPrintable(text));
    }

    void japaneseExample() {
        const QDateTime when(QDate(2026, 1, 2), QTime(3, 4, 5));
        QCOMPARE(mandel_ui::dateTimeText(when, QLocale(QLocale::Japanese, QLocale::Japan)),
                 QStringLiteral("2026/01/02 3:04:05"));
    }

    void systemClockMinute() {
        const int before = QTime::currentTime().minute();
        const int minute = mandel_ui::SystemClock().minute();
        const int after = QTime::currentTime().minute();
        QVERIFY(minute == before || minute == after);
        QVERIFY(!mandel_ui::SystemClock().dateTimeText().empty());
    }
};

QTEST_MAIN(TextFormatTest)
#include "text_format_test.moc"
