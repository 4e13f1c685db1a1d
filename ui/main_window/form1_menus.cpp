// The menu bar: its menus and their items, each with its handler.
#include <QMenu>
#include <QMenuBar>

#include "form1.h"

namespace mandel_ui {

namespace {

struct MenuDesign {
    const char* name;
    const char* title;  // '&' marks the access key
};

struct MenuItemDesign {
    const char* menu;  // the name of the menu it is in
    const char* name;
    const char* caption;
    void (Form1::*handler)();
};

constexpr MenuDesign kMenus[] = {
    {"mnufile", "ファイル(&F)"},
    {"mnuhelp", "ヘルプ(&H)"},
};

// In each menu in this order; no shortcut keys, check marks or separators.
constexpr MenuItemDesign kMenuItems[] = {
    {"mnufile", "mnuprint", "画像データ保存(&S)", &Form1::mnuprint_Click},
    {"mnufile", "mnuexport", "画像エクスポート(&X)...", &Form1::mnuexport_Click},
    {"mnufile", "mnuexplore", "探索ウィンドウ(&W)...", &Form1::mnuexplore_Click},
    {"mnufile", "mnuend", "終了(&E)", &Form1::mnuend_Click},
    {"mnuhelp", "mnuver", "バージョン情報(&V)", &Form1::mnuver_Click},
};

}  // namespace

void Form1::createMenus() {
    for (const MenuDesign& design : kMenus) {
        QMenu* menu = menuBar()->addMenu(QString::fromUtf8(design.title));
        menu->setObjectName(QLatin1String(design.name));
        // The menus are windows of the menu bar, not of this window: give
        // them the window's font explicitly.
        menu->setFont(font());
        for (const MenuItemDesign& item : kMenuItems) {
            if (qstrcmp(item.menu, design.name) != 0) continue;
            QAction* action = menu->addAction(QString::fromUtf8(item.caption));
            action->setObjectName(QLatin1String(item.name));
            connect(action, &QAction::triggered, this, item.handler);
        }
    }
}

}  // namespace mandel_ui
