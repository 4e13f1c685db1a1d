// Where the save command writes: the program's folder while it is writable,
// else the user's Pictures folder, with one note per session.

#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>
#include <unistd.h>

#include "drawing_surface.h"
#include "form1.h"
#include "save_location.h"
#include "test_support.h"

using mandel_ui::MessageRequest;
using mandel_ui::SaveLocation;

namespace {

// A program folder that exists and a Pictures folder that does not, in a
// scratch folder; the writable check says what the test wants.
struct Folders {
    QTemporaryDir scratch;
    QString program = scratch.filePath("bin");
    QString pictures = scratch.filePath("home/Pictures");
    bool programWritable = true;
    Folders() { QDir().mkpath(program); }
    SaveLocation location() {
        return SaveLocation(program, pictures,
                            [this](const QString& folder) { return folder == program && programWritable; });
    }
};

}  // namespace

class SaveLocationTest : public QObject {
    Q_OBJECT

private slots:
    void aWritableProgramFolderIsKept() {
        Folders f;
        SaveLocation location = f.location();
        QCOMPARE(location.folder(), f.program);
        location.prepareFolder();
        QVERIFY(location.noteAfterSave(f.program + "/M_sample3.bmp").isEmpty());
        QVERIFY(!QFileInfo::exists(f.pictures));
    }

    // Unwritable: the Pictures folder, made when first needed, and one note
    // naming the saved file; later saves say nothing.
    void anUnwritableProgramFolderSendsPicturesToThePicturesFolder() {
        Folders f;
        f.programWritable = false;
        SaveLocation location = f.location();
        QCOMPARE(location.folder(), f.pictures);
        QVERIFY(!QFileInfo::exists(f.pictures));  // asking does not create it
        location.prepareFolder();
        QVERIFY(QFileInfo(f.pictures).isDir());
        const QString saved = f.pictures + "/M_sample3.bmp";
        const QString note = location.noteAfterSave(saved);
        QVERIFY2(note.contains(saved), qPrintable(note));
        location.prepareFolder();
        QVERIFY(location.noteAfterSave(f.pictures + "/M_sample4.bmp").isEmpty());
    }

    // The choice follows the folder: it becomes writable, saves go back there.
    void theChoiceIsMadeAtEachSave() {
        Folders f;
        f.programWritable = false;
        SaveLocation location = f.location();
        QCOMPARE(location.folder(), f.pictures);
        f.programWritable = true;
        QCOMPARE(location.folder(), f.program);
        location.prepareFolder();
        QVERIFY(location.noteAfterSave(f.program + "/M_sample0.bmp").isEmpty());
    }

    void aFixedFolderIsUsedAsItIs() {
        Folders f;
        f.programWritable = false;
        SaveLocation location = f.location();
        const QString fixed = f.scratch.filePath("missing");
        location.setFixedFolder(fixed);
        QCOMPARE(location.folder(), fixed);
        location.prepareFolder();
        QVERIFY(!QFileInfo::exists(fixed) && !QFileInfo::exists(f.pictures));
        QVERIFY(location.noteAfterSave(fixed + "/M_sample1.bmp").isEmpty());
    }

    void theWritableCheckOfTheFileSystem() {
        QTemporaryDir scratch;
        QVERIFY(SaveLocation::isWritableFolder(scratch.path()));
        QVERIFY(!SaveLocation::isWritableFolder(scratch.filePath("missing")));
        QFile file(scratch.filePath("file"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(!SaveLocation::isWritableFolder(file.fileName()));
    }

    void aReadOnlyFolderIsNotWritable() {
        if (geteuid() == 0) QSKIP("permissions do not stop root; the install test runs this as another user");
        QTemporaryDir scratch;
        QVERIFY(QFile::setPermissions(scratch.path(), QFile::ReadOwner | QFile::ExeOwner));
        const bool writable = SaveLocation::isWritableFolder(scratch.path());
        QFile::setPermissions(scratch.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QVERIFY(!writable);
    }

    // The window saves the picture into the Pictures folder and shows the
    // note after the first save only.
    void theWindowSavesIntoPicturesAndSaysSoOnce() {
        Folders f;
        f.programWritable = false;
        test::Harness h;
        h.form.setSaveLocation(f.location());
        h.clock->minuteNow = 7;
        h.ui.btbsa1->click();
        h.ui.btnstart->click();
        h.ui.mnuprint->trigger();
        const QString saved = f.pictures + "/M_sample7.bmp";
        QCOMPARE(test::rgb(QImage(saved, "BMP")), test::rgb(h.ui.Pic1->image()));
        QVERIFY(QDir(f.program).isEmpty());
        QCOMPARE(h.messages.size(), std::size_t(1));
        QCOMPARE(h.messages[0].kind, MessageRequest::Kind::Information);
        QCOMPARE(h.messages[0].title, QStringLiteral("画像データ保存"));
        QVERIFY2(h.messages[0].text.contains(saved), qPrintable(h.messages[0].text));

        h.clock->minuteNow = 8;
        h.ui.mnuprint->trigger();
        QVERIFY(QFileInfo::exists(f.pictures + "/M_sample8.bmp"));
        QCOMPARE(h.messages.size(), std::size_t(1));
    }
};

QTEST_MAIN(SaveLocationTest)
#include "save_location_test.moc"
