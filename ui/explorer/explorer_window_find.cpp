// The explorer's find gesture, its stop, the read-out under the pointer,
// the context menu, the tooltips and the help.
#include <QLabel>
#include <QLineEdit>
#include <QMenu>

#include "explore/find_and_go.h"
#include "explorer_help.h"
#include "explorer_input.h"
#include "explorer_view.h"
#include "explorer_window.h"

namespace mandel_ui {

namespace {

// A coordinate for the status bar: its beginning and end around "…" when long.
constexpr qsizetype kShownHead = 16;
constexpr qsizetype kShownTail = 8;
constexpr qsizetype kLongestToolTip = 400;

QString shortened(const std::string& text) {
    const QString all = QString::fromStdString(text);
    if (all.size() <= kShownHead + kShownTail + 1) return all;
    return all.first(kShownHead) + QStringLiteral("…") + all.last(kShownTail);
}

QString kindName(mandel::FoundKind kind) {
    return kind == mandel::FoundKind::Minibrot ? QStringLiteral("ミニブロ") : QStringLiteral("ミシュレヴィッチ点");
}

mandel::FoundKind kindOf(FindTarget target) {
    return target == FindTarget::Minibrot ? mandel::FoundKind::Minibrot : mandel::FoundKind::Misiurewicz;
}

}  // namespace

void ExplorerWindow::stopDrawing() {
    if (finder_.running()) {
        finder_.cancel();
        showStatusMessage(QStringLiteral("探すのを中止しました"));
    }
    if (drawingState_ != DrawingState::Running) return;
    drawing_.cancel();
    drawingState_ = DrawingState::Stopped;
    statusTicker_.stop();
    showDrawingStatus();
}

void ExplorerWindow::pointerMoved(int x, int y) {
    const QSize size = viewPixels();
    if (x < 0 || y < 0 || x >= size.width() || y >= size.height()) return pointerStatus_->clear();
    const mandel::PixelPoint point = mandel::pointAtPixel(location(), {size.width(), size.height()}, x, y);
    QString count = QStringLiteral("—");
    if (drawingState_ == DrawingState::Done && shownCounts_ && drawnSize_ == size) {
        const std::int32_t value = (*shownCounts_)[static_cast<std::size_t>(y) * size.width() + x];
        count =
            value >= location().limit ? QStringLiteral("%1（上限）").arg(groupedNumber(value)) : groupedNumber(value);
    }
    const std::string re = point.re.plainText(), im = point.im.plainText();
    pointerStatus_->setText(QStringLiteral("回数 %1  実 %2  虚 %3").arg(count, shortened(re), shortened(im)));
    pointerStatus_->setToolTip(QStringLiteral("ポインタの下の点\n実部 %1\n虚部 %2")
                                   .arg(escapedText(re, kLongestToolTip), escapedText(im, kLongestToolTip)));
}

void ExplorerWindow::showContextMenu(QPoint global, int x, int y) {
    QMenu menu(this);
    menu.addAction(QStringLiteral("ここに近いミニブロへ(&M)\tN"), this,
                   [this, x, y] { findAt(x, y, FindTarget::Minibrot); });
    menu.addAction(QStringLiteral("ここに近いミシュレヴィッチ点へ(&P)\tM"), this,
                   [this, x, y] { findAt(x, y, FindTarget::Misiurewicz); });
    menu.addSeparator();
    menu.addAction(QStringLiteral("戻る(&B)\tAlt+←"), this, [this] { stepHistory(false); })
        ->setEnabled(history_.canGoBack());
    menu.addAction(QStringLiteral("進む(&F)\tAlt+→"), this, [this] { stepHistory(true); })
        ->setEnabled(history_.canGoForward());
    menu.exec(global);
}

void ExplorerWindow::findAt(int x, int y, FindTarget target) {
    const QSize size = viewPixels();
    findAround(mandel::pointAtPixel(location(), {size.width(), size.height()}, x, y), target);
}

void ExplorerWindow::findAroundCentre(FindTarget target) {
    findAround({location().centreReal, location().centreImag}, target);
}

void ExplorerWindow::findAround(const mandel::PixelPoint& point, FindTarget target) {
    finder_.start(kindOf(target), location(), point);
    showStatusMessage(QStringLiteral("近くの%1を探しています…（Esc で中止）").arg(kindName(kindOf(target))));
}

void ExplorerWindow::findAnswered(const FindAnswer& answer) {
    const QString seconds = QString::number(answer.milliseconds / 1000.0, 'f', 2);
    if (!answer.point) {
        showStatusMessage(QStringLiteral("探した点の近く（幅の 1/%1 以内）に%2が見つかりません（%3 秒）")
                              .arg(mandel::kSearchRadiusDivisor)
                              .arg(kindName(answer.kind), seconds));
        return;
    }
    const mandel::FoundPoint& point = *answer.point;
    const std::optional<mandel::ExploreLocation> target = mandel::locationShowing(point, answer.from);
    if (!target) return showStatusMessage(QStringLiteral("見つけた%1の位置を読めません").arg(kindName(answer.kind)));
    const QString size = QString::fromStdString(mandel::sizeText(point.size));
    const QString what = answer.kind == mandel::FoundKind::Minibrot
                             ? QStringLiteral("周期 %1 のミニブロ（大きさ %2）").arg(groupedNumber(point.period), size)
                             : QStringLiteral("前周期 %1・周期 %2 のミシュレヴィッチ点（大きさ %3）")
                                   .arg(groupedNumber(point.preperiod), groupedNumber(point.period), size);
    if (goTo(*target)) showStatusMessage(what + QStringLiteral("へ移動しました（探索 %1 秒）").arg(seconds));
}

void ExplorerWindow::addToolTips() {
    realEdit_->setToolTip(QStringLiteral("中心の実部。入力した桁はすべて保たれます。Enter で移動、Esc で元に戻す"));
    imagEdit_->setToolTip(QStringLiteral("中心の虚部。入力した桁はすべて保たれます。Enter で移動、Esc で元に戻す"));
    sideEdit_->setToolTip(QStringLiteral("表示の短い辺が表す幅（例 1e-30）。Enter で移動、Esc で元に戻す"));
    limitEdit_->setToolTip(QStringLiteral("反復の上限。入力すると自動選択は切れます（表示メニューで戻せます）"));
    drawingStatus_->setToolTip(
        QStringLiteral("描画の状態と時間、上限とその決め方、深さ（幅の 10 の冪）、"
                       "参照軌道の長さと精度、画素の数の型"));
    pointerStatus_->setToolTip(QStringLiteral("ポインタの下の点の回数と座標"));
    view_->setToolTip(QString());
}

void ExplorerWindow::showHelp() { showExplorerHelp(this); }

}  // namespace mandel_ui
