#pragma once

class QCoreApplication;

namespace mandel_ui {

// Loads Qt's own translations (qtbase: standard buttons, file dialogs) for
// the system's locale from Qt's translations folder and installs them in
// app. The program's own texts are Japanese whatever the locale. Returns
// whether a translation was found (none is needed for English).
bool installQtTranslations(QCoreApplication& app);

}  // namespace mandel_ui
