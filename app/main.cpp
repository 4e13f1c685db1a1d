#include <QApplication>

#include "form1.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    mandel_ui::Form1 w;
    w.Form_Load();
    w.show();
    return app.exec();
}
