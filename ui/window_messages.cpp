#include "window_messages.h"

#include <QMessageBox>

#include "files/program_version.h"

namespace mandel_ui {

std::unique_ptr<QMessageBox> makeMessageBox(const MessageRequest& request, QWidget* parent) {
    auto box = std::make_unique<QMessageBox>(parent);
    box->setWindowTitle(request.title);
    box->setTextFormat(Qt::PlainText);
    box->setText(request.text);
    box->setIcon(request.kind == MessageRequest::Kind::Error ? QMessageBox::Critical : QMessageBox::NoIcon);
    box->setStandardButtons(QMessageBox::Ok);
    box->setDefaultButton(QMessageBox::Ok);
    box->setWindowModality(Qt::ApplicationModal);
    return box;
}

QString versionMessage() {
    const QString crcrlf = QStringLiteral("\r\r\n");
    const QString version =
        QString::fromUtf8(mandel::kProgramVersion.data(), static_cast<qsizetype>(mandel::kProgramVersion.size()));
    return QStringLiteral("    マンデルブロ集合   Ver.  ") + version + crcrlf +
           QStringLiteral("　　Copyright (C) 2026 Mandelbrot Works") + crcrlf +
           QStringLiteral("　　E-mail: support@mandelbrot-works.example") + QStringLiteral("\r\n") +
           QStringLiteral("　　Web: https://www.mandelbrot-works.example/");
}

QString displayText(const QString& windowsText) {
    QString text = windowsText;
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

}  // namespace mandel_ui
