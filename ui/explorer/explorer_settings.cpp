#include "explorer_settings.h"

#include <QSettings>
#include <QString>
#include <memory>

namespace mandel_ui {

namespace {

// The settings file: ~/.config/mandelbrot/explorer.ini (under XDG_CONFIG_HOME when set).
std::unique_ptr<QSettings> explorerSettings() {
    return std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("mandelbrot"),
                                       QStringLiteral("explorer"));
}

}  // namespace

void rememberExplorerPlace(const ExplorerPlace& place) {
    const std::unique_ptr<QSettings> stored = explorerSettings();
    QSettings& settings = *stored;
    const mandel::LocationTexts texts = mandel::displayTexts(place.location);
    settings.setValue(QStringLiteral("place/centreReal"), QString::fromStdString(texts.centreReal));
    settings.setValue(QStringLiteral("place/centreImag"), QString::fromStdString(texts.centreImag));
    settings.setValue(QStringLiteral("place/side"), QString::fromStdString(texts.side));
    settings.setValue(QStringLiteral("place/limit"), QString::fromStdString(texts.limit));
    settings.setValue(QStringLiteral("place/base"), static_cast<qlonglong>(place.location.base));
    settings.setValue(QStringLiteral("place/automaticLimit"), place.automaticLimit);
}

std::optional<ExplorerPlace> rememberedExplorerPlace() {
    const std::unique_ptr<QSettings> stored = explorerSettings();
    QSettings& settings = *stored;
    if (!settings.contains(QStringLiteral("place/side"))) return std::nullopt;
    const auto text = [&settings](const char* key) {
        return settings.value(QStringLiteral("place/") + QLatin1String(key)).toString().toStdString();
    };
    const mandel::LocationTexts texts{text("centreReal"), text("centreImag"), text("side"), text("limit")};
    const mandel::LocationReading reading =
        mandel::parseEditedTexts(texts, settings.value(QStringLiteral("place/base")).toLongLong());
    if (!reading.ok) return std::nullopt;
    return ExplorerPlace{reading.location, settings.value(QStringLiteral("place/automaticLimit"), true).toBool()};
}

}  // namespace mandel_ui
