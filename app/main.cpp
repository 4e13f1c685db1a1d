#include <QApplication>
#include <QStringList>
#include <cstdio>
#include <cstdlib>
#include <optional>

#include "explore/explore_location.h"
#include "explorer_export.h"
#include "explorer_window.h"
#include "form1.h"
#include "qt_translations.h"
#include "files/safe_file.h"
#include "quit_on_signals.h"
#include "region/readout_text.h"

namespace {

// `--explore [REAL_MIN IMAG_MIN SIDE LIMIT]`: the explorer's opening location,
// the main window's start-up region without values. Prints the reason and
// gives nothing for bad arguments.
std::optional<mandel::ExploreLocation> exploreArguments(const QStringList& values) {
    mandel::RegionTexts texts = mandel::regionTexts(mandel::kStartRegion);
    if (values.size() == 4) {
        texts = {values[0].toStdString(), values[1].toStdString(), values[2].toStdString(), values[3].toStdString()};
    } else if (!values.isEmpty()) {
        std::fprintf(stderr, "usage: mandelbrot --explore [REAL_MIN IMAG_MIN SIDE LIMIT]\n");
        return std::nullopt;
    }
    const mandel::LocationReading reading =
        mandel::locationFromReadouts(texts.real, texts.imag, texts.side, texts.limit);
    if (!reading.ok) {
        std::fprintf(stderr, "mandelbrot: --explore: %s\n", reading.problem.c_str());
        return std::nullopt;
    }
    return reading.location;
}

}  // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QGuiApplication::setDesktopFileName(QStringLiteral(MANDEL_APP_ID));
    mandel_ui::installQtTranslations(app);
    mandel_ui::QuitOnSignals quitOnSignals;
    // Lets the tests try the hidden temporary file that file systems without
    // unnamed files get.
    if (std::getenv("MANDEL_NAMED_TEMPORARY_FILES") != nullptr) mandel::safeFileCalls().unnamedFiles = false;

    const QStringList arguments = app.arguments();
    if (arguments.size() > 1 && arguments[1] == QStringLiteral("--explore")) {
        const auto opening = exploreArguments(arguments.mid(2));
        if (!opening) return 2;
        mandel_ui::ExplorerWindow explorer(*opening);
        mandel_ui::connectExplorerExport(&explorer);
        explorer.show();
        return app.exec();
    }
    mandel_ui::Form1 w;
    w.Form_Load();
    w.show();
    return app.exec();
}
