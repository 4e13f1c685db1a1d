#include <QApplication>

#include "form1.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QGuiApplication::setDesktopFileName(QStringLiteral(MANDEL_APP_ID));
    mandel_ui::Form1 w;
    w.Form_Load();
    w.show();
    return app.exec();
}
