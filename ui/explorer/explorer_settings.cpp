#include "explorer_settings.h"

#include <QSettings>
#include <QString>
#include <iterator>
#include <memory>
#include <string>

namespace mandel_ui {

namespace {

// The settings file: ~/.config/mandelbrot/explorer.ini (under XDG_CONFIG_HOME when set).
std::unique_ptr<QSettings> explorerSettings() {
    return std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("mandelbrot"),
                                       QStringLiteral("explorer"));
}

// The colouring's keys, each with the renderer's option its value is read as.
struct ColouringKey {
    const char* key;
    const char* option;
};
constexpr ColouringKey kColouringKeys[] = {
    {"colouring/mode", "--colouring"},  {"colouring/palette", "--palette"},
    {"colouring/density", "--density"}, {"colouring/densityScale", "--density-scale"},
    {"colouring/offset", "--offset"},   {"colouring/screenSupersample", "--supersample"}};
const QString kExportSupersampleKey = QStringLiteral("colouring/exportSupersample");

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

void rememberExplorerColouring(const ExplorerColouring& colouring) {
    const std::unique_ptr<QSettings> stored = explorerSettings();
    const mandel::Colouring& choice = colouring.choice;
    const std::string values[] = {
        std::string(mandel::colouringModeName(choice.mode)),
        choice.palette,
        choice.automaticDensity ? std::string("auto") : mandel::exactNumberText(choice.scale.density),
        std::string(mandel::densityScaleName(choice.scale.scale)),
        mandel::exactNumberText(choice.scale.offset),
        std::to_string(choice.supersample)};
    for (std::size_t i = 0; i < std::size(kColouringKeys); ++i)
        stored->setValue(QLatin1String(kColouringKeys[i].key), QString::fromStdString(values[i]));
    stored->setValue(kExportSupersampleKey, colouring.exportSupersample);
}

ExplorerColouring rememberedExplorerColouring(const ExplorerColouring& fallback) {
    const std::unique_ptr<QSettings> stored = explorerSettings();
    ExplorerColouring remembered = fallback;
    for (const ColouringKey& key : kColouringKeys) {
        const QString name = QLatin1String(key.key);
        if (!stored->contains(name)) continue;
        // Each value on its own: a bad one leaves the others.
        mandel::Colouring tried = remembered.choice;
        if (mandel::applyColouringOption(tried, key.option, stored->value(name).toString().toStdString()).empty())
            remembered.choice = tried;
    }
    bool readable = false;
    const int exportSamples = stored->value(kExportSupersampleKey).toInt(&readable);
    if (readable && exportSamples >= 1 && exportSamples <= mandel::kMaxSupersample)
        remembered.exportSupersample = exportSamples;
    return remembered;
}

}  // namespace mandel_ui
