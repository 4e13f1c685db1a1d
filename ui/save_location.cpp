#include "save_location.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace mandel_ui {

QString picturesFolder() { return QStandardPaths::writableLocation(QStandardPaths::PicturesLocation); }

SaveLocation::SaveLocation() : SaveLocation(QCoreApplication::applicationDirPath(), picturesFolder()) {}

SaveLocation::SaveLocation(QString programFolder, QString picturesFolder, WritableCheck isWritable)
    : programFolder_(std::move(programFolder)),
      picturesFolder_(std::move(picturesFolder)),
      isWritable_(std::move(isWritable)) {}

bool SaveLocation::usesPictures() const { return fixedFolder_.isEmpty() && !isWritable_(programFolder_); }

QString SaveLocation::folder() const {
    if (!fixedFolder_.isEmpty()) return fixedFolder_;
    return usesPictures() ? picturesFolder_ : programFolder_;
}

void SaveLocation::prepareFolder() {
    preparedPictures_ = usesPictures();
    // A failure here shows up as the save's own error, with the path.
    if (preparedPictures_) QDir().mkpath(picturesFolder_);
}

QString SaveLocation::noteAfterSave(const QString& savedPath) {
    if (!preparedPictures_ || noted_) return {};
    noted_ = true;
    return QStringLiteral("プログラムのフォルダーには書き込めないため、次の場所に保存しました。\n\n") +
           QDir::toNativeSeparators(savedPath) + QStringLiteral("\n\nこの後の保存も同じフォルダーに保存します。");
}

bool SaveLocation::isWritableFolder(const QString& folder) {
    const QFileInfo info(folder);
    return info.isDir() && info.isWritable();
}

}  // namespace mandel_ui
