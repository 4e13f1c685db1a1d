// The explorer's location line, clipboard, pictures opened or dropped, and menus.
#include <QAction>
#include <QCloseEvent>
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
#include <QStringList>
#include <QVBoxLayout>
#include <algorithm>
#include <array>
#include <new>

#include "colour_menu.h"
#include "deep/deep_picture_colours.h"
#include "deep/picture_location.h"
#include "explorer_export.h"
#include "explorer_input.h"
#include "explorer_settings.h"
#include "explorer_view.h"
#include "explorer_window.h"
#include "zoom_movie_dialog.h"

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
    QAction* open = file->addAction(QStringLiteral("画像を開く(&O)..."), this, [this] {
        const QString path =
            QFileDialog::getOpenFileName(this, QStringLiteral("画像を開く"), QString(), QStringLiteral("PNG (*.png)"));
        if (!path.isEmpty()) openPicture(path);
    });
    open->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    QAction* exportView = file->addAction(QStringLiteral("画像エクスポート(&X)..."), this, [this] {
        startExplorerExport(this, location(), viewPixels(), exportColouring());
    });
    exportView->setObjectName(QStringLiteral("explorerExport"));
    exportView->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_E));
    file->addAction(QStringLiteral("ズーム動画(&M)..."), this, [this] { openZoomMovieDialog(this, location()); })
        ->setObjectName(QStringLiteral("zoomMovie"));
    file->addAction(QStringLiteral("閉じる(&C)"), this, &QWidget::close);

    QMenu* edit = menuBar()->addMenu(QStringLiteral("編集(&E)"));
    QAction* copy = edit->addAction(QStringLiteral("位置のコピー(&C)"), this, &ExplorerWindow::copyLocation);
    copy->setShortcut(QKeySequence::Copy);
    QAction* paste = edit->addAction(QStringLiteral("位置の貼り付け(&P)"), this, &ExplorerWindow::pasteLocation);
    paste->setShortcut(QKeySequence::Paste);
    QAction* copyStatus = edit->addAction(QStringLiteral("状態行のコピー(&S)"), this, &ExplorerWindow::copyStatusLine);
    copyStatus->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_C));

    QMenu* viewMenu = menuBar()->addMenu(QStringLiteral("表示(&V)"));
    automaticAction_ = viewMenu->addAction(QStringLiteral("上限と配色を自動で選ぶ(&A)"));
    automaticAction_->setObjectName(QStringLiteral("automaticLimit"));
    automaticAction_->setCheckable(true);
    automaticAction_->setChecked(true);
    connect(automaticAction_, &QAction::toggled, this, &ExplorerWindow::automaticLimitToggled);
    // Esc itself is the view's key (in the location line it puts the texts back).
    viewMenu->addAction(QStringLiteral("描画を中止(&S)\tEsc"), this, &ExplorerWindow::stopDrawing)
        ->setObjectName(QStringLiteral("stopDrawing"));
    createGoMenu();
    colourMenu_ = new ColourMenu(menuBar(), this);
    // The colouring chosen when the explorer last closed.
    const ExplorerColouring colouring =
        rememberedExplorerColouring({colourMenu_->choice(), colourMenu_->exportSupersample()});
    colourMenu_->setChoice(colouring.choice);
    colourMenu_->setExportSupersample(colouring.exportSupersample);
    connect(colourMenu_, &ColourMenu::changed, this, &ExplorerWindow::colouringChanged);

    QMenu* help = menuBar()->addMenu(QStringLiteral("ヘルプ(&H)"));
    help->addAction(QStringLiteral("操作の説明(&H)"), this, &ExplorerWindow::showHelp)
        ->setShortcut(QKeySequence::HelpContents);
}

void ExplorerWindow::createGoMenu() {
    QMenu* go = menuBar()->addMenu(QStringLiteral("移動(&G)"));
    QAction* back = go->addAction(QStringLiteral("戻る(&B)"), this, [this] { stepHistory(false); });
    back->setObjectName(QStringLiteral("goBack"));
    back->setShortcut(QKeySequence(Qt::ALT | Qt::Key_Left));
    QAction* forward = go->addAction(QStringLiteral("進む(&F)"), this, [this] { stepHistory(true); });
    forward->setObjectName(QStringLiteral("goForward"));
    forward->setShortcut(QKeySequence(Qt::ALT | Qt::Key_Right));
    // Home and the find keys are the view's: in the location line they edit.
    go->addAction(QStringLiteral("開いた場所へ(&H)\tHome"), this, &ExplorerWindow::goHome);
    go->addSeparator();
    go->addAction(QStringLiteral("中心に近いミニブロへ(&M)\tN"), this, [this] {
          findAroundCentre(FindTarget::Minibrot);
      })->setObjectName(QStringLiteral("findMinibrot"));
    go->addAction(QStringLiteral("中心に近いミシュレヴィッチ点へ(&P)\tM"), this, [this] {
          findAroundCentre(FindTarget::Misiurewicz);
      })->setObjectName(QStringLiteral("findMisiurewicz"));
}

mandel::Colouring ExplorerWindow::exportColouring() const {
    mandel::Colouring colouring = shownColouring_;
    colouring.supersample = colourMenu_->exportSupersample();
    return colouring;
}

void ExplorerWindow::colouringChanged(bool newSamples) {
    // The first drawing, not started yet, takes the choice. Other samples
    // (anti-aliasing, distances) need a drawing; any other change colours the
    // held counts again, or, while a drawing runs, its rows so far and to
    // come: the drawing goes on.
    if (drawnSize_.isEmpty()) return;
    if (newSamples) {
        if (drawingState_ != DrawingState::Refused) startDrawing(false);
        return;
    }
    if (drawingState_ == DrawingState::Running)
        drawing_.setColouring(colourMenu_->choice());
    else
        recolourHeldCounts();
}

void ExplorerWindow::recolourHeldCounts() {
    if (!held_) return;
    try {
        shownColouring_ = resolvedColouring(colourMenu_->choice(), *held_);
        colourMenu_->setShown(shownColouring_);
        view_->setPicture(colourHeldCounts(*held_, shownColouring_, std::min(location().base, held_->limit - 1)));
    } catch (const std::bad_alloc&) {
        showStatusMessage(outOfMemoryText());
    }
}

bool ExplorerWindow::automaticLimit() const { return automaticAction_->isChecked(); }

void ExplorerWindow::setAutomaticLimit(bool on) { automaticAction_->setChecked(on); }

void ExplorerWindow::closeEvent(QCloseEvent* event) {
    rememberExplorerPlace({location(), automaticLimit()});
    rememberExplorerColouring({colourMenu_->choice(), colourMenu_->exportSupersample()});
    QMainWindow::closeEvent(event);
}

void ExplorerWindow::automaticLimitToggled(bool on) {
    // Switched on, the rule applies to the picture on the view at once.
    if (on) {
        automaticRaises_ = 0;
        clearStatusMessage();
        startDrawing(false);
    } else {
        limitState_ = LimitState::Typed;
        showDrawingStatus();
    }
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
        // A typed limit is the user's: the automatic rule stays off until
        // switched on again, and the window says so.
        const bool typedLimit =
            edited[static_cast<std::size_t>(LocationField::Limit)] && reading.location->limit != location().limit;
        if (typedLimit && automaticLimit()) {
            automaticAction_->setChecked(false);
            showStatusMessage(QStringLiteral("入力した上限 %1 を使います。自動選択は切りました（表示 → "
                                             "上限と配色を自動で選ぶ で戻せます）")
                                  .arg(groupedNumber(reading.location->limit)));
        }
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
    std::string line = mandel::clipboardText(location(), size.width(), size.height());
    // The bands at one sample need no options: the renderer's default.
    if (!mandel::usesColourIndices(shownColouring_)) {
        line += ' ';
        line += mandel::colouringArguments(shownColouring_);
    }
    QGuiApplication::clipboard()->setText(QString::fromStdString(line));
}

void ExplorerWindow::copyStatusLine() {
    QStringList parts;
    for (const QString& part : {statusMessage(), pointerStatus_->text(), drawingStatus_->text()})
        if (!part.isEmpty()) parts << part;
    QGuiApplication::clipboard()->setText(parts.join(QStringLiteral("  ")));
}

void ExplorerWindow::pasteLocation() {
    try {
        const ExplorerReading reading = readPastedLine(QGuiApplication::clipboard()->text());
        if (!reading.location)
            return showStatusMessage(QStringLiteral("貼り付けた位置を読めません: ") + reading.problem);
        clearStatusMessage();
        if (const std::optional<mandel::Colouring> colouring = colouringInLine(QGuiApplication::clipboard()->text()))
            colourMenu_->setChoice(*colouring);
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
        // The picture's colours; its samples (an export's anti-aliasing) stay the screen's own.
        mandel::Colouring colouring = read.location->colouring;
        colouring.supersample = colourMenu_->choice().supersample;
        colourMenu_->setChoice(colouring);
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
