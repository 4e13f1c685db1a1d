#include <QApplication>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>

#include "explore/explore_location.h"
#include "explorer_settings.h"
#include "explorer_window.h"
#include "form1.h"
#include "qt_translations.h"
#include "files/safe_file.h"
#include "quit_on_signals.h"
#include "region/readout_text.h"

namespace {

// `--explore [REAL_MIN IMAG_MIN SIDE LIMIT]`: the explorer's opening location;
// without values, where the explorer last closed, or else the main window's
// start-up region. Prints the reason and gives nothing for bad arguments.
std::optional<mandel::ExploreLocation> exploreArguments(int count, char* values[]) {
    mandel::RegionTexts texts = mandel::regionTexts(mandel::kStartRegion);
    if (count == 0) {
        if (const auto remembered = mandel_ui::rememberedExplorerPlace()) return remembered->location;
    } else if (count == 4) {
        texts = {values[0], values[1], values[2], values[3]};
    } else if (count != 0) {
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

// A cancelled drawing of the explorer ends within milliseconds, unless a long
// step of the engine keeps its worker busy: the program waits this long for
// the workers, then ends without them.
constexpr auto kWorkerWait = std::chrono::milliseconds(500);

int endWithoutWaitingLong(int status) {
    if (mandel_ui::ExplorerDrawing::waitForWorkers(kWorkerWait)) return status;
    std::fflush(nullptr);
    std::_Exit(status);
}

}  // namespace

int main(int argc, char* argv[]) {
    // The explorer's arguments are read before Qt starts, so that bad ones
    // end the program the same way with or without a display.
    const bool explore = argc > 1 && std::strcmp(argv[1], "--explore") == 0;
    std::optional<mandel::ExploreLocation> opening;
    if (explore) {
        opening = exploreArguments(argc - 2, argv + 2);
        if (!opening) return 2;
    }
    QApplication app(argc, argv);
    QGuiApplication::setDesktopFileName(QStringLiteral(MANDEL_APP_ID));
    mandel_ui::installQtTranslations(app);
    mandel_ui::QuitOnSignals quitOnSignals;
    // Lets the tests try the hidden temporary file that file systems without
    // unnamed files get.
    if (std::getenv("MANDEL_NAMED_TEMPORARY_FILES") != nullptr) mandel::safeFileCalls().unnamedFiles = false;

    int status = 0;
    if (explore) {
        mandel_ui::ExplorerWindow explorer(*opening);
        if (argc == 2)
            if (const auto remembered = mandel_ui::rememberedExplorerPlace())
                explorer.setAutomaticLimit(remembered->automaticLimit);
        explorer.show();
        status = app.exec();
    } else {
        mandel_ui::Form1 w;
        w.Form_Load();
        w.show();
        status = app.exec();
    }
    // The windows are gone, their drawings cancelled.
    return endWithoutWaitingLong(status);
}
