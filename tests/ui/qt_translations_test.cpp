// Qt's own texts (standard buttons) follow the system's language: run with
// LANG=ja_JP.UTF-8, a message box's Yes and No speak Japanese.
#include <QMessageBox>
#include <QPushButton>
#include <QtTest>

#include "qt_translations.h"

class QtTranslationsTest : public QObject {
    Q_OBJECT

private slots:
    void standardButtonsSpeakTheSystemsLanguage() {
        QCOMPARE(QLocale::system().language(), QLocale::Japanese);
        QVERIFY(mandel_ui::installQtTranslations(*QCoreApplication::instance()));
        QMessageBox question(QMessageBox::Question, QStringLiteral("t"), QStringLiteral("q"),
                             QMessageBox::Yes | QMessageBox::No);
        QCOMPARE(question.button(QMessageBox::Yes)->text().remove('&'), QStringLiteral("はい(Y)"));
        QCOMPARE(question.button(QMessageBox::No)->text().remove('&'), QStringLiteral("いいえ(N)"));
    }
};

QTEST_MAIN(QtTranslationsTest)
#include "qt_translations_test.moc"
