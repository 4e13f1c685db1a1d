// Drawing, clear, save, version box, end, and the six presets.

#include <QFile>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QtTest>

#include "colour/banding.h"
#include "drawing_surface.h"
#include "form1.h"
#include "parameter_scroll_bar.h"
#include "test_support.h"

using mandel_ui::MessageRequest;

namespace {

bool isBlank(const QImage& image) {
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixel(x, y) != qRgb(255, 255, 255)) return false;
    return true;
}

QImage referenceFor(const test::Controls& c) {
    return test::referencePicture(c.lbl1->text().toStdString(), c.lbl2->text().toStdString(),
                                  c.lbl3->text().toStdString(), c.lbl4->text().toStdString(), c.Pic1->image().size());
}

struct PresetRow {
    const char* button;
    int real, imag, side, limit;
    const char *realText, *imagText, *sideText, *limitText;
};
const PresetRow kPresets[] = {
    {"btbsa1", -7500, -2750, 500, 106, "-0.75", "-0.275", "0.05", "106"},
    {"btnsa2", -18558, -11730, 24232, 100, "-1.8558", "-1.173", "2.4232", "100"},
    {"btnsa3", -7750, 1070, 100, 180, "-0.775", "0.107", "0.01", "180"},
    {"Command1", -7717, 1165, 1, 180, "-0.7717", "0.1165", "0.0001", "180"},
    {"Command2", -7720, 1163, 5, 180, "-0.772", "0.1163", "0.0005", "180"},
    {"sample6", -7612, 664, 13015, 100, "-0.7612", "0.0664", "1.3015", "100"},
};

}  // namespace

class CommandsTest : public QObject {
    Q_OBJECT

private slots:
    // ---- drawing

    void startDrawsTheRegionOfTheReadouts() {
        test::Harness h;
        h.ui.btbsa1->click();
        h.ui.btnstart->click();
        QCOMPARE(test::rgb(h.ui.Pic1->image()), referenceFor(h.ui));
        QCOMPARE(h.ui.lblstart->text(), QStringLiteral("2026/01/02 3:04:05"));
        QCOMPARE(h.ui.lblend->text(), QStringLiteral("2026/01/02 3:04:05"));
        QVERIFY(h.ui.btnstart->isEnabled() && h.ui.btncls->isEnabled() && h.ui.btnend->isEnabled());
        QVERIFY(h.messages.empty());
        QCOMPARE(h.ui.Pic1->image().size(), QSize(453, 453));
        QVERIFY(!isBlank(h.ui.Pic1->image()));
        // Point (246, 1) of the first preset has the escape count 84; it is the
        // last point to land in pixel (222, 0) (246 · 453 / 500 = 222.9, and
        // 247 and 2 fall into the next pixels).
        const mandel::Rgb c = mandel::Palette[mandel::cstepcol(84, 106, 106.0f / 16)];
        QCOMPARE(h.ui.Pic1->image().pixel(222, 0), qRgb(c.red, c.green, c.blue));
    }

    // The three buttons go off in order before the scan and on again after
    // it; meanwhile the start time shows and the end time is empty.
    void buttonsDuringTheDrawing() {
        struct Watcher : QObject {
            const test::Controls* ui = nullptr;
            QStringList seen;
            bool eventFilter(QObject* object, QEvent* event) override {
                if (event->type() == QEvent::EnabledChange) {
                    auto* w = static_cast<QWidget*>(object);
                    seen << w->objectName() + (w->isEnabled() ? " on" : " off") + " [" + ui->lblstart->text() + "|" +
                                ui->lblend->text() + "]";
                }
                return false;
            }
        } watcher;
        test::Harness h;
        watcher.ui = &h.ui;
        for (QWidget* w : {h.ui.btnstart, h.ui.btncls, h.ui.btnend}) w->installEventFilter(&watcher);
        h.ui.btbsa1->click();
        h.clock->text = std::string(1, 'T');
        h.ui.btnstart->click();
        QCOMPARE(watcher.seen, (QStringList{"btnstart off [T|]", "btncls off [T|]", "btnend off [T|]",
                                            "btnstart on [T|]", "btncls on [T|]", "btnend on [T|]"}));
        QCOMPARE(h.ui.lblend->text(), QStringLiteral("T"));
    }

    // The read-outs as the window starts (501 points a row) and after a bar
    // moved: the pass reads the read-outs, whatever drew them.
    void startUsesTheCurrentReadouts() {
        test::Harness h;
        h.ui.btnstart->click();
        QCOMPARE(test::rgb(h.ui.Pic1->image()), referenceFor(h.ui));
        h.ui.Hbar4->setValue(300);
        h.ui.lbl3->setText("0.25");  // the read-out, not the bar, is what counts
        h.ui.btnstart->click();
        QCOMPARE(test::rgb(h.ui.Pic1->image()), referenceFor(h.ui));
        QCOMPARE(h.form.renderSettings().cmax, 300.0f);
        QCOMPARE(h.form.renderSettings().side, 0.25f);
    }

    // Enter starts a drawing when no other button has the focus.
    void enterPressesTheStartButton() {
        test::Harness h;
        h.ui.btbsa1->click();
        h.form.show();
        QVERIFY(QTest::qWaitForWindowActive(&h.form));
        h.ui.Hbar2->setFocus();
        QTest::keyClick(h.ui.Hbar2, Qt::Key_Return);
        QCOMPARE(h.ui.lblstart->text(), QStringLiteral("2026/01/02 3:04:05"));
        QVERIFY(!isBlank(h.ui.Pic1->image()));
    }

    void aBadReadoutShowsAnErrorAndTheWindowCarriesOn() {
        test::Harness h;
        h.form.show();
        h.ui.lbl3->setText("abc");
        h.ui.btnstart->click();
        QCOMPARE(h.messages.size(), std::size_t(1));
        QCOMPARE(h.messages[0].kind, MessageRequest::Kind::Error);
        QVERIFY(h.messages[0].text.contains("abc"));
        QVERIFY(h.ui.btnstart->isEnabled() && h.ui.btncls->isEnabled() && h.ui.btnend->isEnabled());
        QVERIFY(h.form.isVisible());

        // An iteration limit past the 16-bit counter fails in the load as well.
        h.ui.lbl3->setText("0.5");
        h.ui.lbl4->setText("40000");
        h.ui.btnstart->click();
        QCOMPARE(h.messages.size(), std::size_t(2));
        QVERIFY(h.ui.btnstart->isEnabled());

        // And a correct read-out draws again.
        h.ui.lbl4->setText("100");
        h.ui.btnstart->click();
        QCOMPARE(h.messages.size(), std::size_t(2));
        QCOMPARE(test::rgb(h.ui.Pic1->image()), referenceFor(h.ui));
    }

    // ---- clear

    void clearEmptiesOnlyThePicture() {
        test::Harness h;
        h.ui.btbsa1->click();
        h.ui.btnstart->click();
        const QStringList texts = {h.ui.lbl1->text(), h.ui.lbl2->text(),     h.ui.lbl3->text(),
                                   h.ui.lbl4->text(), h.ui.lblstart->text(), h.ui.lblend->text()};
        const int value = h.ui.Hbar1->value();
        QVERIFY(!isBlank(h.ui.Pic1->image()));
        h.ui.btncls->click();
        QVERIFY(isBlank(h.ui.Pic1->image()));
        QCOMPARE((QStringList{h.ui.lbl1->text(), h.ui.lbl2->text(), h.ui.lbl3->text(), h.ui.lbl4->text(),
                              h.ui.lblstart->text(), h.ui.lblend->text()}),
                 texts);
        QCOMPARE(h.ui.Hbar1->value(), value);
    }

    // ---- save

    void saveIsNamedAfterTheMinute_data() {
        QTest::addColumn<int>("minute");
        QTest::addColumn<QString>("name");
        QTest::newRow("full hour") << 0 << "M_sample0.bmp";
        QTest::newRow("five past") << 5 << "M_sample5.bmp";
        QTest::newRow("last minute") << 59 << "M_sample59.bmp";
    }
    void saveIsNamedAfterTheMinute() {
        QFETCH(int, minute);
        QFETCH(QString, name);
        test::Harness h;
        h.clock->minuteNow = minute;
        h.ui.btbsa1->click();
        h.ui.btnstart->click();
        QCOMPARE(h.form.savePath(), h.folder.path() + "/" + name);
        h.ui.mnuprint->trigger();
        QVERIFY(h.messages.empty());
        QCOMPARE(QDir(h.folder.path()).entryList(QDir::Files), QStringList{name});
        QCOMPARE(test::rgb(QImage(h.folder.filePath(name), "BMP")), test::rgb(h.ui.Pic1->image()));
    }

    void saveFolderIsTheProgramsByDefault() {
        mandel_ui::Form1 form;
        auto clock = std::make_unique<test::FixedClock>();
        clock->minuteNow = 14;
        form.setClock(std::move(clock));
        QCOMPARE(form.savePath(), QCoreApplication::applicationDirPath() + "/M_sample14.bmp");
    }

    void aSecondSaveInTheSameMinuteReplacesTheFirst() {
        test::Harness h;
        h.clock->minuteNow = 5;
        h.ui.btbsa1->click();
        h.ui.btnstart->click();
        h.form.mnuprint_Click();
        const QImage first = test::rgb(h.ui.Pic1->image());
        h.ui.Command2->click();
        h.ui.btnstart->click();
        QVERIFY(test::rgb(h.ui.Pic1->image()) != first);
        h.form.mnuprint_Click();
        QCOMPARE(QDir(h.folder.path()).entryList(QDir::Files), QStringList{"M_sample5.bmp"});
        QCOMPARE(test::rgb(QImage(h.folder.filePath("M_sample5.bmp"), "BMP")), test::rgb(h.ui.Pic1->image()));
        QVERIFY(h.messages.empty());
    }

    void anUnwritableFolderShowsTheErrorAndKeepsThePicture() {
        test::Harness h;
        h.form.show();
        h.clock->minuteNow = 42;
        const QString folder = h.folder.filePath("removed");
        h.form.setSaveFolder(folder);
        h.ui.btbsa1->click();
        h.ui.btnstart->click();
        const QImage picture = h.ui.Pic1->image().copy();
        h.ui.mnuprint->trigger();
        QCOMPARE(h.messages.size(), std::size_t(1));
        const MessageRequest& message = h.messages[0];
        QCOMPARE(message.kind, MessageRequest::Kind::Error);
        QVERIFY2(message.text.contains(folder + "/M_sample42.bmp"), qPrintable(message.text));
        // The reason follows the path.
        QVERIFY(message.text.section(folder + "/M_sample42.bmp", 1).trimmed().size() > 3);
        QVERIFY(h.form.isVisible());
        QCOMPARE(h.ui.Pic1->image(), picture);
        QVERIFY(!QFile::exists(folder + "/M_sample42.bmp"));
        QVERIFY(!h.events.contains("end"));
    }

    // ---- version box

    void versionBox() {
        test::Harness h;
        h.ui.mnuver->trigger();
        QCOMPARE(h.events, (QStringList{"message", "sound"}));  // the sound after the box closed
        QCOMPARE(h.messages.size(), std::size_t(1));
        const MessageRequest& box = h.messages[0];
        QCOMPARE(box.title, QStringLiteral("バージョン情報"));
        QCOMPARE(box.kind, MessageRequest::Kind::Information);

        const QString raw = mandel_ui::versionMessage();
        QVERIFY(raw.startsWith(QStringLiteral("    マンデルブロ集合   Ver.  1.1.8\r\r\n")));
        const QStringList parts = raw.split(QRegularExpression("\r\r\n|\r\n"));
        QCOMPARE(parts.size(), 4);
        QCOMPARE(raw.count("\r\r\n"), 2);
        QCOMPARE(raw.count('\n'), 3);
        QVERIFY(raw.indexOf("\r\r\n", raw.indexOf("\r\r\n") + 3) < raw.lastIndexOf("\r\n"));
        QVERIFY(!raw.endsWith('\n'));
        for (int i = 1; i < 4; ++i) {
            QVERIFY2(parts[i].at(0).isSpace(), qPrintable(parts[i]));  // indented (full-width or plain)
            QVERIFY(!parts[i].trimmed().isEmpty());
        }
        QVERIFY(parts[2].contains('@'));
        QVERIFY(parts[3].contains("://"));

        // As shown: version, empty, rights, empty, e-mail and the web line right below.
        const QStringList lines = box.text.split('\n');
        QCOMPARE(lines, (QStringList{parts[0], "", parts[1], "", parts[2], parts[3]}));
        QVERIFY(!box.text.contains('\r'));
    }

    void messageBoxes() {
        const auto info = mandel_ui::makeMessageBox(
            {MessageRequest::Kind::Information, "バージョン情報", mandel_ui::displayText(mandel_ui::versionMessage())},
            nullptr);
        QCOMPARE(info->windowTitle(), QStringLiteral("バージョン情報"));
        QCOMPARE(info->icon(), QMessageBox::NoIcon);
        QCOMPARE(info->standardButtons(), QMessageBox::StandardButtons(QMessageBox::Ok));
        QCOMPARE(info->buttons().size(), 1);
        QCOMPARE(info->textFormat(), Qt::PlainText);
        QVERIFY(info->text().startsWith("    マンデルブロ集合   Ver.  1.1.8\n\n"));

        const auto error = mandel_ui::makeMessageBox({MessageRequest::Kind::Error, "t", "x"}, nullptr);
        QCOMPARE(error->icon(), QMessageBox::Critical);
        QCOMPARE(error->buttons().size(), 1);

        // The real box closes with its OK button (Enter), and the sound follows.
        mandel_ui::Form1 form;
        QStringList events;
        form.setNotificationSound([&] { events << "sound"; });
        QTimer::singleShot(0, [&] {
            QTRY_VERIFY(QApplication::activeModalWidget());
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            events << (box ? box->windowTitle() : QString("no box"));
            QTest::keyClick(QApplication::activeModalWidget(), Qt::Key_Return);
        });
        form.mnuver_Click();
        QCOMPARE(events, (QStringList{"バージョン情報", "sound"}));
    }

    // ---- end

    void endButtonAndMenuCloseTheWindow() {
        for (const bool fromMenu : {false, true}) {
            test::Harness h;
            h.ui.btbsa1->click();
            h.ui.btnstart->click();  // an unsaved drawing asks nothing
            h.form.show();
            QVERIFY(h.form.isVisible());
            if (fromMenu)
                h.ui.mnuend->trigger();
            else
                h.ui.btnend->click();
            QVERIFY(!h.form.isVisible());
            QCOMPARE(h.events, QStringList{"end"});
            QVERIFY(h.messages.empty());
        }
    }

    // ---- presets

    void presets_data() {
        QTest::addColumn<int>("row");
        for (int i = 0; i < 6; ++i) QTest::newRow(kPresets[i].button) << i;
    }
    void presets() {
        QFETCH(int, row);
        const PresetRow& p = kPresets[row];
        test::Harness h;
        auto* button = h.form.centralWidget()->findChild<QPushButton*>(p.button);
        QVERIFY(button);
        for (int press = 0; press < 2; ++press) {  // twice: the same state, and still clearing
            h.ui.Pic1->PSet(250, 250, 0);
            // On the second press no bar value changes; the preset still
            // writes every read-out itself.
            if (press == 1)
                for (QLabel* l : {h.ui.lbl1, h.ui.lbl2, h.ui.lbl3, h.ui.lbl4}) l->setText("stale");
            button->click();
            QCOMPARE(h.ui.Hbar1->value(), p.real);
            QCOMPARE(h.ui.Hbar2->value(), p.imag);
            QCOMPARE(h.ui.Hbar3->value(), p.side);
            QCOMPARE(h.ui.Hbar4->value(), p.limit);
            QCOMPARE((QStringList{h.ui.lbl1->text(), h.ui.lbl2->text(), h.ui.lbl3->text(), h.ui.lbl4->text()}),
                     (QStringList{p.realText, p.imagText, p.sideText, p.limitText}));
            QVERIFY(isBlank(h.ui.Pic1->image()));
            QVERIFY(h.ui.lblstart->text().isEmpty());  // no drawing started
        }
    }

    void aPresetAfterADrawingClearsAndKeepsTheTimes() {
        test::Harness h;
        h.ui.btbsa1->click();
        h.ui.btnstart->click();
        QVERIFY(!isBlank(h.ui.Pic1->image()));
        h.clock->text = "later";
        h.ui.btnsa3->click();
        QVERIFY(isBlank(h.ui.Pic1->image()));
        QCOMPARE(h.ui.lblstart->text(), QStringLiteral("2026/01/02 3:04:05"));
        QCOMPARE(h.ui.lblend->text(), QStringLiteral("2026/01/02 3:04:05"));
        QCOMPARE(h.form.renderSettings().cmax, 106.0f);  // settings wait for the next drawing
        h.ui.btnstart->click();
        QCOMPARE(h.form.renderSettings().cmax, 180.0f);
        QCOMPARE(h.ui.lblend->text(), QStringLiteral("later"));
    }
};

QTEST_MAIN(CommandsTest)
#include "commands_test.moc"
