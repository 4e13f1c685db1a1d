#pragma once

#include <QString>
#include <functional>
#include <memory>

class QMessageBox;
class QWidget;

namespace mandel_ui {

// A message the window shows to the user in a modal box.
struct MessageRequest {
    enum class Kind { Information, Error };
    Kind kind = Kind::Information;
    QString title;
    QString text;  // as displayed: lines end with '\n'
};

// Shows a message and returns when the user has closed it.
using MessagePresenter = std::function<void(const MessageRequest&)>;

// The box for a message: one OK button, no icon for information, the
// critical icon for errors, plain text.
std::unique_ptr<QMessageBox> makeMessageBox(const MessageRequest& request, QWidget* parent);

// The version box's message as the program composes it, with Windows line
// ends: the version line, CR CR LF, the rights line, CR CR LF, the e-mail
// line, CR LF, the web-address line.
QString versionMessage();

// The message as a Qt box shows it: a CR LF pair and a lone CR each end a line.
QString displayText(const QString& windowsText);

inline const QString kVersionBoxTitle = QStringLiteral("バージョン情報");

}  // namespace mandel_ui
