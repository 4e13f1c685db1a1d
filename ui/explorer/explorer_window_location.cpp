// The explorer's location line, clipboard, pictures opened or dropped, and menus.
#include <QAction>
#include <QClipboard>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QEvent>
#include <QFileDialog>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QVBoxLayout>
#include <algorithm>
#include <array>
#include <new>

#include "deep/picture_location.h"
#include "explorer_export.h"
#include "explorer_input.h"
#include "explorer_view.h"
#include "explorer_window.h"

namespace mandel_ui {

namespace {

QLineEdit* addField(QHBoxLayout* row, const char* name, const QString& caption, int stretch) {
    auto* label = new QLabel(caption);
    auto* field = new QLineEdit;
    field->setObjectName(QLatin1String(name));
    label->setBuddy(field);
    row->addWidget(label);
    row->addWidget(field, stretch);
    return field;
}

QString droppedPicture(const QMimeData* data) {
    if (!data || !data->hasUrls() || data->urls().size() != 1) return {};
    const QString path = data->urls().front().toLocalFile();
    return path.endsWith(QStringLiteral(".png"), Qt::CaseInsensitive) ? path : QString();
}

}  // namespace

void ExplorerWindow::createLocationLine() {
    auto* line = new QWidget(centralWidget());
    auto* row = new QHBoxLayout(line);
    row->setContentsMargins(4, 4, 4, 4);
    realEdit_ = addField(row, "centreReal", QStringLiteral("実部(&R)"), 4);
    imagEdit_ = addField(row, "centreImag", QStringLiteral("虚部(&I)"), 4);
    sideEdit_ = addField(row, "side", QStringLiteral("幅(&S)"), 2);
    limitEdit_ = addField(row, "limit", QStringLiteral("上限(&L)"), 1);
    for (QLineEdit* field : locationFields()) {
        // Qt would cut a text at 32767 characters: a longer one is refused instead.
        field->setMaxLength(kFieldMaxLength);
        field->installEventFilter(this);
        connect(field, &QLineEdit::returnPressed, this, &ExplorerWindow::locationEntered);
        connect(field, &QLineEdit::textEdited, this, [this, field] { markField(field, false); });
    }
    static_cast<QVBoxLayout*>(centralWidget()->layout())->addWidget(line);
}

void ExplorerWindow::createMenus() {
    QMenu* file = menuBar()->addMenu(QStringLiteral("ファイル(&F)"));
    file->addAction(QStringLiteral("画像を開く(&O)..."), this, [this] {
        const QString path =
            QFileDialog::getOpenFileName(this, QStringLiteral("画像を開く"), QString(), QStringLiteral("PNG (*.png)"));
        if (!path.isEmpty()) openPicture(path);
    });
    QAction* exportView = file->addAction(QStringLiteral("画像エクスポート(&X)..."), this,
                                          [this] { startExplorerExport(this, location(), viewPixels()); });
    exportView->setObjectName(QStringLiteral("explorerExport"));
    file->addAction(QStringLiteral("閉じる(&C)"), this, &QWidget::close);

    QMenu* edit = menuBar()->addMenu(QStringLiteral("編集(&E)"));
    QAction* copy = edit->addAction(QStringLiteral("位置のコピー(&C)"), this, &ExplorerWindow::copyLocation);
    copy->setShortcut(QKeySequence::Copy);
    QAction* paste = edit->addAction(QStringLiteral("位置の貼り付け(&P)"), this, &ExplorerWindow::pasteLocation);
    paste->setShortcut(QKeySequence::Paste);

    QMenu* viewMenu = menuBar()->addMenu(QStringLiteral("表示(&V)"));
    automaticAction_ = viewMenu->addAction(QStringLiteral("上限と配色を自動で選ぶ(&A)"));
    automaticAction_->setObjectName(QStringLiteral("automaticLimit"));
    automaticAction_->setCheckable(true);
    automaticAction_->setChecked(true);
    connect(automaticAction_, &QAction::toggled, this, &ExplorerWindow::automaticLimitToggled);
}

bool ExplorerWindow::automaticLimit() const { return automaticAction_->isChecked(); }

void ExplorerWindow::automaticLimitToggled(bool on) {
    // Switched on, the rule applies to the picture on the view at once.
    if (on) startDrawing(false);
}

// ---------------------------------------------------------------------------
// The location line

std::array<QLineEdit*, 4> ExplorerWindow::locationFields() const {
    return {realEdit_, imagEdit_, sideEdit_, limitEdit_};
}

void ExplorerWindow::showLocationTexts() {
    const mandel::LocationTexts texts = mandel::displayTexts(location());
    const std::pair<QLineEdit*, const std::string*> fields[] = {{realEdit_, &texts.centreReal},
                                                                {imagEdit_, &texts.centreImag},
                                                                {sideEdit_, &texts.side},
                                                                {limitEdit_, &texts.limit}};
    for (const auto& [field, text] : fields) {
        // A text the user is editing stays until Enter.
        if (field->hasFocus() && field->isModified()) continue;
        field->setText(QString::fromStdString(*text));
        field->setCursorPosition(0);
        markField(field, false);
    }
}

void ExplorerWindow::restoreLocationLine() {
    for (QLineEdit* field : locationFields()) field->setModified(false);
    showLocationTexts();
    clearStatusMessage();
}

bool ExplorerWindow::eventFilter(QObject* watched, QEvent* event) {
    const auto fields = locationFields();
    if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape &&
        std::find(fields.begin(), fields.end(), watched) != fields.end()) {
        restoreLocationLine();
        return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

void ExplorerWindow::markField(QLineEdit* field, bool bad) {
    field->setProperty("bad", bad);
    field->setStyleSheet(bad ? QStringLiteral("QLineEdit { border: 2px solid red; }") : QString());
}

// Only the fields the user edited are read: the others keep the location's
// exact values, whatever their texts show.
void ExplorerWindow::locationEntered() {
    try {
        const auto fields = locationFields();
        std::array<QString, kLocationFields> texts;
        std::array<bool, kLocationFields> edited{};
        for (std::size_t i = 0; i < kLocationFields; ++i) {
            texts[i] = fields[i]->text();
            edited[i] = fields[i]->isModified();
        }
        const ExplorerReading reading = readLocationFields(texts, edited, location());
        for (std::size_t i = 0; i < kLocationFields; ++i) markField(fields[i], reading.bad[i]);
        if (!reading.location) return showStatusMessage(QStringLiteral("この位置には行けません: ") + reading.problem);
        // Refused for its memory, the texts stay as typed, to be changed.
        if (!fitsTheBudget(*reading.location, drawingSize())) return;
        clearStatusMessage();
        for (QLineEdit* field : fields) field->setModified(false);
        goTo(*reading.location);
        view_->setFocus(Qt::OtherFocusReason);
    } catch (const std::bad_alloc&) {
        showStatusMessage(outOfMemoryText());
    }
}

// ---------------------------------------------------------------------------
// Clipboard and pictures

void ExplorerWindow::copyLocation() {
    const QSize size = viewPixels();
    QGuiApplication::clipboard()->setText(
        QString::fromStdString(mandel::clipboardText(location(), size.width(), size.height())));
}

void ExplorerWindow::pasteLocation() {
    try {
        const ExplorerReading reading = readPastedLine(QGuiApplication::clipboard()->text());
        if (!reading.location)
            return showStatusMessage(QStringLiteral("貼り付けた位置を読めません: ") + reading.problem);
        clearStatusMessage();
        goTo(*reading.location);
    } catch (const std::bad_alloc&) {
        showStatusMessage(outOfMemoryText());
    }
}

bool ExplorerWindow::openPicture(const QString& path) {
    const QString cannot = QStringLiteral("画像の位置を読めません: ");
    try {
        const mandel::PictureLocationRead read = mandel::readPictureLocation(path.toStdString());
        if (!read.location) {
            showStatusMessage(cannot + pictureProblemText(read));
            return false;
        }
        const mandel::LocationReading reading = mandel::locationFromView(read.location->view, read.location->base);
        if (!reading.ok) {
            showStatusMessage(cannot + escapedText(std::string_view(reading.problem), 2 * kShownCharacters));
            return false;
        }
        clearStatusMessage();
        return goTo(reading.location);
    } catch (const std::bad_alloc&) {
        showStatusMessage(outOfMemoryText());
        return false;
    }
}

void ExplorerWindow::dragEnterEvent(QDragEnterEvent* event) {
    if (!droppedPicture(event->mimeData()).isEmpty()) event->acceptProposedAction();
}

void ExplorerWindow::dropEvent(QDropEvent* event) {
    const QString path = droppedPicture(event->mimeData());
    if (path.isEmpty()) return;
    event->acceptProposedAction();
    openPicture(path);
}

}  // namespace mandel_ui
