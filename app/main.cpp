#include <QApplication>
#include <cstdlib>

#include "form1.h"
#include "qt_translations.h"
#include "files/safe_file.h"
#include "quit_on_signals.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QGuiApplication::setDesktopFileName(QStringLiteral(MANDEL_APP_ID));
    mandel_ui::installQtTranslations(app);
    mandel_ui::QuitOnSignals quitOnSignals;
    // Lets the tests try the hidden temporary file that file systems without
    // unnamed files get.
    if (std::getenv("MANDEL_NAMED_TEMPORARY_FILES") != nullptr) mandel::safeFileCalls().unnamedFiles = false;
    mandel_ui::Form1 w;
    w.Form_Load();
    w.show();
    return app.exec();
}
