#pragma once

#include <QString>
#include <functional>

namespace mandel_ui {

// The user's Pictures folder: where saves go when the program's folder is
// not writable, and where exports start.
QString picturesFolder();

// The folder the save command writes into. The program's own folder while
// the user can write there (as in the build tree); an installed program's
// folder is not writable, and then pictures go, under the same names, into
// the user's Pictures folder, and the user is told so once.
class SaveLocation {
public:
    using WritableCheck = std::function<bool(const QString& folder)>;

    // The executable's folder and the user's Pictures folder.
    SaveLocation();
    SaveLocation(QString programFolder, QString picturesFolder, WritableCheck isWritable = isWritableFolder);

    // From now on, saves go into exactly this folder, whatever it is.
    void setFixedFolder(const QString& folder) { fixedFolder_ = folder; }

    // Where the next picture goes.
    QString folder() const;
    // Makes the folder ready for a save: creates the Pictures folder when it
    // is the one chosen and does not exist yet.
    void prepareFolder();
    // After a picture was saved at savedPath into the prepared folder: the
    // note that tells the user where it went, the first time a picture went
    // to the Pictures folder; empty otherwise.
    QString noteAfterSave(const QString& savedPath);

    // An existing folder in which this user may create files.
    static bool isWritableFolder(const QString& folder);

private:
    bool usesPictures() const;

    QString programFolder_;
    QString picturesFolder_;
    QString fixedFolder_;
    WritableCheck isWritable_;
    bool preparedPictures_ = false;
    bool noted_ = false;
};

}  // namespace mandel_ui
