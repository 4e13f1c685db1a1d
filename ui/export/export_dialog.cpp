#include "export_dialog.h"

#include <QButtonGroup>
#include <QComboBox>
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
#include <QRadioButton>
#include <QSpinBox>
#include <cstdint>
#include <exception>
#include <new>

#include "deep/deep_memory.h"

namespace mandel_ui {

namespace {

const QString kPngFilter = QStringLiteral("PNG 画像 (*.png)");
const QString kBmpFilter = QStringLiteral("BMP 画像 (*.bmp)");
const QString kNpyFilter = QStringLiteral("カウントマップ (*.npy)");

// The explorer's formats in the order of the format box, with their suffixes.
const QString kFormatSuffixes[] = {QStringLiteral("png"), QStringLiteral("bmp"), QStringLiteral("npy")};

int formatIndex(ExportFormat format) {
    switch (format) {
        case ExportFormat::Bmp: return 1;
        case ExportFormat::CountMap: return 2;
        case ExportFormat::Png: break;
    }
    return 0;
}

QString text(const std::string& s) { return QString::fromStdString(s); }

// The read-outs of a region, or the explorer's location with its colours.
QString placeText(const ExportRequest& proposal) {
    if (proposal.explorer) {
        const mandel::ExploreLocation& where = proposal.explorer->location;
        const mandel::LocationTexts t = mandel::displayTexts(where);
        return QStringLiteral("中心の実部 %1　中心の虚部 %2　描画領域 %3　計算回数 %4　色の基準 %5")
            .arg(text(t.centreReal), text(t.centreImag), text(t.side), text(t.limit))
            .arg(where.base);
    }
    const mandel::RegionTexts& r = proposal.region;
    return QStringLiteral("実部最小値 %1　虚部最小値 %2　描画領域 %3　計算回数 %4")
        .arg(text(r.real), text(r.imag), text(r.side), text(r.limit));
}

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

    regionText = new QLabel(placeText(proposal), this);
    regionText->setWordWrap(proposal.explorer.has_value());  // deep locations have many digits
    regionText->setObjectName(QStringLiteral("regionText"));
    regionText->setTextInteractionFlags(Qt::TextSelectableByMouse);

    // The export is not the window's single-precision drawing: say so.
    arithmeticNote = new QLabel(
        QStringLiteral("書き出す画像は任意精度の計算で描きます。どの大きさでも、この領域を正確に表します"
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
    if (proposal.explorer) addExplorerRows(form, 3);
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

void ExportDialog::addExplorerRows(QFormLayout* form, int row) {
    sizeBox->setSuffix(QStringLiteral(" ピクセル(長辺)"));
    viewShapeButton = new QRadioButton(QStringLiteral("表示と同じ形(&V)"), this);
    viewShapeButton->setObjectName(QStringLiteral("viewShapeButton"));
    squareButton = new QRadioButton(QStringLiteral("正方形(&Q)"), this);
    squareButton->setObjectName(QStringLiteral("squareButton"));
    (proposal_.explorer->square ? squareButton : viewShapeButton)->setChecked(true);
    auto* shapes = new QButtonGroup(this);
    shapes->addButton(viewShapeButton);
    shapes->addButton(squareButton);
    pixelsText = new QLabel(this);
    pixelsText->setObjectName(QStringLiteral("pixelsText"));
    auto* shapeRow = new QHBoxLayout;
    shapeRow->addWidget(viewShapeButton);
    shapeRow->addWidget(squareButton);
    shapeRow->addWidget(pixelsText, 1);

    formatBox = new QComboBox(this);
    formatBox->setObjectName(QStringLiteral("formatBox"));
    formatBox->addItems(
        {QStringLiteral("PNG 画像"), QStringLiteral("BMP 画像"), QStringLiteral("カウントマップ (NumPy .npy)")});
    formatBox->setCurrentIndex(formatIndex(exportFormatForPath(proposal_.path)));

    form->insertRow(row, QStringLiteral("形:"), shapeRow);
    form->insertRow(row + 1, QStringLiteral("形式(&T):"), formatBox);
    static_cast<QLabel*>(form->labelForField(formatBox))->setBuddy(formatBox);
    connect(shapes, &QButtonGroup::buttonToggled, this, &ExportDialog::updateState);
    connect(sizeBox, &QSpinBox::valueChanged, this, &ExportDialog::updateState);
    connect(formatBox, &QComboBox::currentIndexChanged, this, &ExportDialog::followFormat);
    updateState();
}

// The file's name keeps its stem and takes the chosen format's suffix.
void ExportDialog::followFormat(int index) {
    if (index < 0 || index >= int(std::size(kFormatSuffixes))) return;
    const QString typed = pathEdit->text().trimmed();
    const QFileInfo info(typed);
    if (typed.isEmpty() || info.suffix().compare(kFormatSuffixes[index], Qt::CaseInsensitive) == 0) return;
    const QString stem = info.suffix().isEmpty() ? typed : typed.chopped(info.suffix().size() + 1);
    pathEdit->setText(stem + "." + kFormatSuffixes[index]);
}

QString ExportDialog::typedPath() const {
    const QString path = QDir::fromNativeSeparators(pathEdit->text().trimmed());
    if (path.isEmpty() || !QFileInfo(path).isRelative()) return path;
    return QDir(QFileInfo(proposal_.path).absolutePath()).absoluteFilePath(path);
}

ExportRequest ExportDialog::request() const {
    ExportRequest request = proposal_;
    request.size = sizeBox->value();
    QString path = typedPath();
    if (path.isEmpty()) return request;
    if (QFileInfo(path).suffix().isEmpty())
        path += "." + (formatBox ? kFormatSuffixes[formatBox->currentIndex()] : QStringLiteral("png"));
    request.path = QDir::cleanPath(path);
    if (request.explorer) request.explorer->square = squareButton->isChecked();
    return request;
}

void ExportDialog::updateState() {
    const bool sizeTyped = sizeBox->hasAcceptableInput();
    sizeRange->setStyleSheet(sizeTyped ? QString() : QStringLiteral("color: red"));
    exportButton->setEnabled(sizeTyped && !pathEdit->text().trimmed().isEmpty());
    if (!formatBox) return;
    const QString typed = pathEdit->text().trimmed();
    if (!QFileInfo(typed).suffix().isEmpty()) {
        const QSignalBlocker quiet(formatBox);
        formatBox->setCurrentIndex(formatIndex(exportFormatForPath(typed)));
    }
    const QSize pixels = exportedPixels(request());
    pixelsText->setText(QStringLiteral("%1 × %2 ピクセル").arg(pixels.width()).arg(pixels.height()));
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

void ExportDialog::showRefusal(const QString& objectName, const QString& text) {
    QMessageBox refusal(QMessageBox::Warning, windowTitle(), text, QMessageBox::Ok, this);
    refusal.setObjectName(objectName);
    refusal.exec();
}

bool ExportDialog::refuseUnwritableSuffix(const QString& path) {
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == QStringLiteral("png") || suffix == QStringLiteral("bmp")) return false;
    if (formatBox && suffix == QStringLiteral("npy")) return false;
    const QString choices = formatBox ? QStringLiteral("PNG (.png)、BMP (.bmp) かカウントマップ (.npy)")
                                      : QStringLiteral("PNG (.png) か BMP (.bmp)");
    showRefusal(QStringLiteral("suffixRefusal"),
                QStringLiteral("%1\n\n「.%2」の形式では書き出せません。%3 を選んでください。")
                    .arg(QDir::toNativeSeparators(path), QFileInfo(path).suffix(), choices));
    return true;
}

// A folder typed as the file (which would otherwise become "folder.png"
// beside it, or fail), or a file of that name that is a folder, a FIFO or a
// device: the export writes regular files only (a FIFO would wait for a
// reader for good).
bool ExportDialog::refuseWhatIsNoFile(const QString& path) {
    const QString typed = typedPath();
    const bool typedFolder = QFileInfo(typed).isDir() || typed.endsWith(QLatin1Char('/'));
    const QString culprit = typedFolder ? typed : path;
    const QFileInfo info(culprit);
    if (!typedFolder && (!info.exists() || info.isFile())) return false;
    const QString shown = QDir::toNativeSeparators(culprit);
    if (typedFolder || info.isDir()) {
        showRefusal(
            QStringLiteral("folderRefusal"),
            QStringLiteral("%1\n\nこれはフォルダーを指しています。ファイルの名前まで入力してください"
                           "(例: %2)。")
                .arg(shown, QDir::toNativeSeparators(QDir(culprit).filePath(QStringLiteral("mandelbrot.png")))));
    } else {
        showRefusal(QStringLiteral("notAFileRefusal"),
                    QStringLiteral("%1\n\nこれは通常のファイルではありません(名前付きパイプやデバイスなど)。"
                                   "画像は通常のファイルにだけ書き出せます。")
                        .arg(shown));
    }
    return true;
}

// The engine's own estimate against its budget, so that a picture too large
// for the memory is refused here, with the way out, rather than after the
// export has started.
bool ExportDialog::refuseAboveMemoryBudget(const ExportRequest& request) {
    std::uint64_t estimate = 0;
    try {
        estimate = mandel::deepMemoryEstimate(exportedView(request));
    } catch (const std::bad_alloc&) {
        throw;
    } catch (const std::exception&) {
        return false;  // a view the engine refuses: the export says why
    }
    const std::uint64_t budget = mandel::defaultMemoryBudget();
    if (estimate <= budget) return false;
    const QSize pixels = exportedPixels(request);
    showRefusal(QStringLiteral("memoryRefusal"),
                QStringLiteral("メモリが足りません。\n\n%1 × %2 ピクセルのこの画像を描くには約 %3 のメモリが要り、"
                               "使えるメモリ (%4) を超えます。大きさか計算回数を小さくしてください。")
                    .arg(pixels.width())
                    .arg(pixels.height())
                    .arg(QString::fromStdString(mandel::memoryText(estimate)),
                         QString::fromStdString(mandel::memoryText(budget))));
    return true;
}

void ExportDialog::browse() {
    const QString current = request().path;
    QFileDialog files(this, exportTitle());
    files.setObjectName(QStringLiteral("exportFileDialog"));
    files.setAcceptMode(QFileDialog::AcceptSave);
    files.setFileMode(QFileDialog::AnyFile);
    QStringList filters{kPngFilter, kBmpFilter};
    if (formatBox) filters.append(kNpyFilter);
    files.setNameFilters(filters);
    const int format = formatBox ? formatIndex(exportFormatForPath(current))
                                 : formatIndex(exportFormatForPath(current)) == 1;  // the window: PNG or BMP
    files.selectNameFilter(filters[format]);
    files.setDefaultSuffix(kFormatSuffixes[format]);
    connect(&files, &QFileDialog::filterSelected, &files, [&files, filters](const QString& filter) {
        files.setDefaultSuffix(kFormatSuffixes[std::max<qsizetype>(0, filters.indexOf(filter))]);
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
    try {
        const ExportRequest asked = request();
        const QString path = asked.path;
        if (refuseWhatIsNoFile(path) || refuseUnwritableSuffix(path) || refuseAboveMemoryBudget(asked)) return;
        if (QFileInfo::exists(path) && QFileInfo(path) != QFileInfo(confirmedPath_)) {
            QMessageBox question(
                QMessageBox::Question, windowTitle(),
                QStringLiteral("%1 は既にあります。\n置き換えますか?").arg(QDir::toNativeSeparators(path)),
                QMessageBox::Yes | QMessageBox::No, this);
            question.setObjectName(QStringLiteral("replaceQuestion"));
            question.setDefaultButton(QMessageBox::No);
            if (question.exec() != QMessageBox::Yes) return;
        }
    } catch (const std::bad_alloc&) {
        // Nothing was started; the dialog stays for a smaller picture.
        QMessageBox::warning(this, windowTitle(), QStringLiteral("メモリが足りません。"));
        return;
    }
    QDialog::accept();
}

}  // namespace mandel_ui
