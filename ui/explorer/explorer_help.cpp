#include "explorer_help.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QVBoxLayout>

namespace mandel_ui {

namespace {

// Each row: the gesture or key, and what it does.
constexpr const char16_t* kRows[][2] = {
    {u"ホイール", u"ポインタを中心に 1 目盛りで 2 倍に拡大・縮小"},
    {u"左ドラッグ", u"四角で囲んだところへ拡大（Esc か右ボタンで取り消し）"},
    {u"中ドラッグ / Shift+左ドラッグ / 矢印キー", u"移動（矢印は表示の 1/8）"},
    {u"+ / −", u"中心を動かさずに 2 倍に拡大・縮小"},
    {u"N（右クリックのメニュー）", u"ポインタに近いミニブロを探し、その周期より大きな上限で中心に表示"},
    {u"M（右クリックのメニュー）", u"ポインタに近いミシュレヴィッチ点を探して中心に表示"},
    {u"Esc", u"描画（と探索）を中止。描きかけの画像は未完成のまま残ります"},
    {u"Alt+← / Backspace / マウスの戻るボタン", u"前の場所へ（その場所の上限も戻ります）"},
    {u"Alt+→ / マウスの進むボタン", u"次の場所へ"},
    {u"Home", u"開いたときの場所へ"},
    {u"位置の欄で Enter / Esc", u"入力した位置へ移動 / 表示中の値に戻す"},
    {u"Ctrl+C / Ctrl+V", u"位置をレンダラーの引数としてコピー / 貼り付け（--size S も WxH も可）"},
    {u"Ctrl+O / Ctrl+E", u"画像の位置を開く / 画像エクスポート"},
    {u"F1", u"この説明"},
};

QString helpText() {
    QString text = QStringLiteral(
        "<p>上限は自動で選ばれます: 境界が上限で切れていれば上げ、何も脱出しない表示は"
        "集合の内部と確かめられない限り天井まで上げ、無駄なときは下げます。"
        "上限を入力すると自動選択は切れ、表示メニューで戻せます。</p><table cellspacing=6>");
    for (const auto& row : kRows)
        text += QStringLiteral("<tr><td><b>%1</b></td><td>%2</td></tr>")
                    .arg(QString::fromUtf16(row[0]).toHtmlEscaped(), QString::fromUtf16(row[1]).toHtmlEscaped());
    return text + QStringLiteral("</table>");
}

}  // namespace

void showExplorerHelp(QWidget* parent) {
    auto* dialog = new QDialog(parent);
    dialog->setObjectName(QStringLiteral("explorerHelp"));
    dialog->setWindowTitle(QStringLiteral("探索ウィンドウの操作"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    auto* layout = new QVBoxLayout(dialog);
    auto* label = new QLabel(helpText(), dialog);
    label->setWordWrap(true);
    label->setTextFormat(Qt::RichText);
    layout->addWidget(label);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, dialog);
    QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::close);
    layout->addWidget(buttons);
    dialog->show();
}

}  // namespace mandel_ui
