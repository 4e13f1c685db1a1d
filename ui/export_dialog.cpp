#include "export_dialog.h"

#include <QDialogButtonBox>
#include <QKeyEvent>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>

#include "files/picture_file.h"

namespace mandel_ui {

namespace {

const QString kPngFilter = QStringLiteral("PNG 画像 (*.png)");
const QString kBmpFilter = QStringLiteral("BMP 画像 (*.bmp)");

QString text(const std::string& s) { return QString::fromStdString(s); }

}  // namespace

QString exportTitle() { return QStringLiteral("画像エクスポート"); }

QString freeExportPath(const QString& folder) {
    const QDir dir(folder);
    for (int n = 1;; ++n) {
        const QString path = dir.filePath(QStringLiteral("mandelbrot-%1.png").arg(n));
        if (!QFileInfo::exists(path)) return path;
    }
}

ExportDialog::ExportDialog(const ExportRequest& proposal, QWidget* parent) : QDialog(parent), proposal_(proposal) {
    setObjectName(QStringLiteral("exportDialog"));
    setWindowTitle(exportTitle());
    if (parent) setFont(parent->font());  // a dialog is a window of its own and does not inherit it

    const mandel::RegionTexts& r = proposal.region;
    regionText = new QLabel(QStringLiteral("実部最小値 %1　虚部最小値 %2　描画領域 %3　計算回数 %4")
                                .arg(text(r.real), text(r.imag), text(r.side), text(r.limit)),
                            this);
    regionText->setObjectName(QStringLiteral("regionText"));
    regionText->setTextInteractionFlags(Qt::TextSelectableByMouse);

    // The export is not the window's single-precision drawing: say so.
    arithmeticNote = new QLabel(QStringLiteral("書き出す画像は任意精度の計算で描きます。どの大きさでも、この領域を正確に表します"
                                               "(色はウィンドウと同じです。ウィンドウの単精度の描画とは細部が異なることがあります)。"),
                                this);
    arithmeticNote->setObjectName(QStringLiteral("arithmeticNote"));
    arithmeticNote->setWordWrap(true);

    sizeBox = new QSpinBox(this);
    sizeBox->setObjectName(QStringLiteral("sizeBox"));
    sizeBox->setRange(mandel::kMinPictureSize, mandel::kMaxPictureSize);
    sizeBox->setValue(proposal.size);
    sizeBox->setSuffix(QStringLiteral(" ピクセル四方"));
    sizeBox->setGroupSeparatorShown(false);
    sizeBox->installEventFilter(this);
    sizeRange = new QLabel(QStringLiteral("(%1～%2)").arg(mandel::kMinPictureSize).arg(mandel::kMaxPictureSize), this);
    sizeRange->setObjectName(QStringLiteral("sizeRange"));
    auto* sizeRow = new QHBoxLayout;
    sizeRow->addWidget(sizeBox);
    sizeRow->addWidget(sizeRange, 1);

    pathEdit = new QLineEdit(QDir::toNativeSeparators(proposal.path), this);
    pathEdit->setObjectName(QStringLiteral("pathEdit"));
    pathEdit->setMinimumWidth(360);
    browseButton = new QPushButton(QStringLiteral("参照(&B)..."), this);
    browseButton->setObjectName(QStringLiteral("browseButton"));
    auto* fileRow = new QHBoxLayout;
    fileRow->addWidget(pathEdit, 1);
    fileRow->addWidget(browseButton);

    auto* buttons = new QDialogButtonBox(this);
    exportButton = buttons->addButton(QStringLiteral("書き出し(&O)"), QDialogButtonBox::AcceptRole);
    exportButton->setObjectName(QStringLiteral("exportButton"));
    buttons->addButton(QStringLiteral("キャンセル"), QDialogButtonBox::RejectRole);

    auto* form = new QFormLayout(this);
    form->addRow(QStringLiteral("描画する領域:"), regionText);
    form->addRow(QStringLiteral("計算:"), arithmeticNote);
    form->addRow(QStringLiteral("大きさ(&Z):"), sizeRow);
    form->addRow(QStringLiteral("ファイル(&F):"), fileRow);
    form->addRow(buttons);
    // The access keys of the rows' labels focus their fields.
    static_cast<QLabel*>(form->labelForField(sizeRow))->setBuddy(sizeBox);
    static_cast<QLabel*>(form->labelForField(fileRow))->setBuddy(pathEdit);

    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(browseButton, &QPushButton::clicked, this, &ExportDialog::browse);
    connect(pathEdit, &QLineEdit::textChanged, this, &ExportDialog::updateState);
    connect(sizeBox->findChild<QLineEdit*>(), &QLineEdit::textChanged, this, &ExportDialog::updateState);
    updateState();
}

ExportRequest ExportDialog::request() const {
    ExportRequest request = proposal_;
    request.size = sizeBox->value();
    QString path = QDir::fromNativeSeparators(pathEdit->text().trimmed());
    if (path.isEmpty()) return request;
    if (QFileInfo(path).isRelative()) path = QDir(QFileInfo(proposal_.path).absolutePath()).absoluteFilePath(path);
    if (QFileInfo(path).suffix().isEmpty()) path += QStringLiteral(".png");
    request.path = QDir::cleanPath(path);
    return request;
}

void ExportDialog::updateState() {
    const bool sizeTyped = sizeBox->hasAcceptableInput();
    sizeRange->setStyleSheet(sizeTyped ? QString() : QStringLiteral("color: red"));
    exportButton->setEnabled(sizeTyped && !pathEdit->text().trimmed().isEmpty());
}

bool ExportDialog::eventFilter(QObject* watched, QEvent* event) {
    if (watched == sizeBox && !sizeBox->hasAcceptableInput()) {
        if (event->type() == QEvent::FocusOut) return true;  // the spin box would put the old size back
        if (event->type() == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent*>(event)->key();
            if (key == Qt::Key_Return || key == Qt::Key_Enter) {
                QMessageBox::warning(this, windowTitle(),
                                     QStringLiteral("大きさは %1 から %2 ピクセルの範囲で入力してください。")
                                         .arg(mandel::kMinPictureSize)
                                         .arg(mandel::kMaxPictureSize));
                return true;
            }
        }
    }
    return QDialog::eventFilter(watched, event);
}

bool ExportDialog::refuseUnwritableSuffix(const QString& path) {
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == QStringLiteral("png") || suffix == QStringLiteral("bmp")) return false;
    QMessageBox refusal(QMessageBox::Warning, windowTitle(),
                        QStringLiteral("%1\n\n「.%2」の形式では書き出せません。PNG (.png) か BMP (.bmp) を選んでください。")
                            .arg(QDir::toNativeSeparators(path), QFileInfo(path).suffix()),
                        QMessageBox::Ok, this);
    refusal.setObjectName(QStringLiteral("suffixRefusal"));
    refusal.exec();
    return true;
}

void ExportDialog::browse() {
    const QString current = request().path;
    QFileDialog files(this, exportTitle());
    files.setObjectName(QStringLiteral("exportFileDialog"));
    files.setAcceptMode(QFileDialog::AcceptSave);
    files.setFileMode(QFileDialog::AnyFile);
    files.setNameFilters({kPngFilter, kBmpFilter});
    const bool bmp = mandel::pictureFormatForPath(current.toStdString()) == mandel::PictureFormat::Bmp;
    files.selectNameFilter(bmp ? kBmpFilter : kPngFilter);
    files.setDefaultSuffix(bmp ? QStringLiteral("bmp") : QStringLiteral("png"));
    connect(&files, &QFileDialog::filterSelected, &files, [&files](const QString& filter) {
        files.setDefaultSuffix(filter == kBmpFilter ? QStringLiteral("bmp") : QStringLiteral("png"));
    });
    const QFileInfo info(current);
    files.setDirectory(info.absolutePath());
    files.selectFile(info.fileName());
    if (files.exec() == QDialog::Accepted && !files.selectedFiles().isEmpty()) {
        confirmedPath_ = files.selectedFiles().constFirst();
        pathEdit->setText(QDir::toNativeSeparators(confirmedPath_));
    }
}

void ExportDialog::accept() {
    if (!sizeBox->hasAcceptableInput()) return;  // the export button is off then; Return is caught before
    const QString path = request().path;
    if (refuseUnwritableSuffix(path)) return;
    if (QFileInfo::exists(path) && QFileInfo(path) != QFileInfo(confirmedPath_)) {
        QMessageBox question(QMessageBox::Question, windowTitle(),
                             QStringLiteral("%1 は既にあります。\n置き換えますか?").arg(QDir::toNativeSeparators(path)),
                             QMessageBox::Yes | QMessageBox::No, this);
        question.setObjectName(QStringLiteral("replaceQuestion"));
        question.setDefaultButton(QMessageBox::No);
        if (question.exec() != QMessageBox::Yes) return;
    }
    QDialog::accept();
}

}  // namespace mandel_ui
