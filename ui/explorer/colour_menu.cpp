#include "colour_menu.h"

#include <QAction>
#include <QActionGroup>
#include <QMenu>
#include <QMenuBar>
#include <QRegularExpression>
#include <QStringList>
#include <new>

#include "colour/gradients.h"
#include "deep/deep_picture_colours.h"

namespace mandel_ui {

namespace {

// One press of 密度を上げる / 下げる, and of 色をずらす.
constexpr double kDensityStep = 1.5;
constexpr double kOffsetStep = 0.125;

}  // namespace

void HeldCounts::allocate(int samplesAcross, int samplesDown, bool withDistance) {
    width = samplesAcross;
    height = samplesDown;
    const std::size_t size = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    counts.assign(size, 0);
    excess.assign(size, 0);
    distance.assign(withDistance ? size : 0, 0);
    slope.assign(withDistance ? size : 0, 0);
}

mandel::ColourOutputs HeldCounts::outputs(std::size_t offset, std::size_t size) {
    auto part = [&](std::vector<float>& v) {
        return v.empty() ? std::span<float>() : std::span(v).subspan(offset, size);
    };
    return {part(excess), part(distance), part(slope)};
}

mandel::SampleRows HeldCounts::rows(std::size_t offset, std::size_t size) const {
    auto part = [&](const std::vector<float>& v) {
        return v.empty() ? std::span<const float>() : std::span(v).subspan(offset, size);
    };
    return {std::span(counts).subspan(offset, size),
            part(excess),
            part(distance),
            part(slope),
            static_cast<std::size_t>(width),
            size / static_cast<std::size_t>(width)};
}

mandel::Colouring resolvedColouring(const mandel::Colouring& choice, const HeldCounts& held) {
    return resolvedColouring(choice, held.rows(0, held.counts.size()), held.limit, held.supersample);
}

mandel::Colouring resolvedColouring(const mandel::Colouring& choice, const mandel::SampleRows& samples,
                                    std::int64_t limit, int supersample) {
    mandel::Colouring resolved = choice;
    resolved.supersample = supersample;
    if (!mandel::usesGradient(choice) || !choice.automaticDensity) return resolved;
    resolved.automaticDensity = false;
    resolved.scale =
        mandel::automaticScale(samples.counts, samples.excess, limit, choice.scale.scale, choice.scale.offset);
    return resolved;
}

QImage colourHeldCounts(const HeldCounts& held, const mandel::Colouring& resolved, std::int64_t base) {
    const int k = held.supersample;
    QImage image(held.width / k, held.height / k, QImage::Format_RGB32);
    if (image.isNull()) throw std::bad_alloc();
    mandel::PictureColouring colouring{resolved, held.limit, base};
    colouring.colouring.supersample = k;
    std::vector<mandel::Rgb> colours;
    const mandel::SampleRows samples{held.counts,
                                     held.excess,
                                     held.distance,
                                     held.slope,
                                     static_cast<std::size_t>(held.width),
                                     static_cast<std::size_t>(held.height)};
    // Held without distances (drawn for another colouring): shaded by nothing.
    if (resolved.mode == mandel::ColouringMode::Distance && held.distance.empty())
        colouring.colouring.mode = mandel::ColouringMode::Smooth;
    mandel::colourSamples(samples, colouring, colours);
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        const mandel::Rgb* row = colours.data() + static_cast<std::size_t>(y) * image.width();
        for (int x = 0; x < image.width(); ++x) line[x] = qRgb(row[x].red, row[x].green, row[x].blue);
    }
    return image;
}

QImage colourCountsAs(const mandel::SampleRows& samples, std::int64_t limit, std::int64_t base,
                      const mandel::Colouring& choice, int supersample) {
    HeldCounts held;
    held.counts.assign(samples.counts.begin(), samples.counts.end());
    held.excess.assign(samples.excess.begin(), samples.excess.end());
    held.distance.assign(samples.distance.begin(), samples.distance.end());
    held.slope.assign(samples.slope.begin(), samples.slope.end());
    held.width = static_cast<int>(samples.width);
    held.height = static_cast<int>(samples.rows);
    held.limit = limit;
    held.supersample = supersample;
    return colourHeldCounts(held, resolvedColouring(choice, held), base);
}

bool needsDistance(const mandel::Colouring& choice) { return choice.mode == mandel::ColouringMode::Distance; }

int screenSupersample(const mandel::Colouring& choice, int width, int height) {
    return mandel::supersampleWithin(choice.supersample, width, height);
}

std::optional<mandel::Colouring> colouringInLine(const QString& line) {
    const QStringList words = line.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
    mandel::Colouring colouring;
    bool named = false;
    for (qsizetype i = 0; i + 1 < words.size(); ++i) {
        const std::string option = words[i].toStdString();
        if (!mandel::isColouringOption(option)) continue;
        if (!mandel::applyColouringOption(colouring, option, words[++i].toStdString()).empty()) return std::nullopt;
        named = true;
    }
    if (!named) return std::nullopt;
    return colouring;
}

ColourMenu::ColourMenu(QMenuBar* bar, QObject* parent) : QObject(parent) {
    // Smooth colour on a repeating gradient with the automatic density: at
    // depth the 17 bands turn into a two-colour moiré where the counts step
    // from pixel to pixel. The bands stay a choice of the menu.
    choice_.mode = mandel::ColouringMode::Smooth;
    // Alt+C: Alt+L is the location line's 上限(&L).
    QMenu* menu = bar->addMenu(QStringLiteral("配色(&C)"));
    menu->setObjectName(QStringLiteral("colourMenu"));
    auto* modes = new QActionGroup(this);
    bands_ = menu->addAction(QStringLiteral("17 色の帯(&B)"));
    smooth_ = menu->addAction(QStringLiteral("なめらか(&S)"));
    distance_ = menu->addAction(QStringLiteral("なめらか＋距離の陰影(&H)"));
    for (QAction* mode : {bands_, smooth_, distance_}) {
        mode->setCheckable(true);
        modes->addAction(mode);
        connect(mode, &QAction::triggered, this, [this, mode] {
            const bool hadDistance = needsDistance(choice_);
            choice_.mode = mode == bands_    ? mandel::ColouringMode::Bands
                           : mode == smooth_ ? mandel::ColouringMode::Smooth
                                             : mandel::ColouringMode::Distance;
            // Distances come only with a drawing that carries the derivative.
            choose(needsDistance(choice_) && !hadDistance);
        });
    }
    distance_->setObjectName(QStringLiteral("colourDistance"));
    bands_->setObjectName(QStringLiteral("colourBands"));
    smooth_->setObjectName(QStringLiteral("colourSmooth"));
    menu->addSeparator();
    buildPaletteMenu(menu);
    buildDensityItems(menu);
    menu->addSeparator();
    screenSamples_ = buildSupersampleMenu(menu, QStringLiteral("画面のアンチエイリアス(&A)"), {1, 2, 3, 4}, 1, true);
    exportSamples_ = buildSupersampleMenu(menu, QStringLiteral("エクスポートのアンチエイリアス(&E)"),
                                          {1, 2, 3, 4, 6, 8}, kDefaultExportSupersample, false);
    showChoice();
}

QMenu* ColourMenu::buildPaletteMenu(QMenu* menu) {
    QMenu* palettes = menu->addMenu(QStringLiteral("パレット(&P)"));
    palettes_ = new QActionGroup(this);
    for (const mandel::Gradient& gradient : mandel::builtInGradients()) {
        const QString name = QString::fromUtf8(gradient.name.data(), static_cast<qsizetype>(gradient.name.size()));
        QAction* item = palettes->addAction(name);
        item->setCheckable(true);
        item->setData(name);
        palettes_->addAction(item);
        connect(item, &QAction::triggered, this, [this, name] {
            choice_.palette = name.toStdString();
            if (choice_.mode == mandel::ColouringMode::Bands) choice_.mode = mandel::ColouringMode::Smooth;
            choose(false);
        });
    }
    return palettes;
}

void ColourMenu::buildDensityItems(QMenu* menu) {
    automaticDensity_ = menu->addAction(QStringLiteral("密度を自動で選ぶ(&D)"));
    automaticDensity_->setCheckable(true);
    connect(automaticDensity_, &QAction::triggered, this, [this](bool on) {
        choice_.automaticDensity = on;
        if (on) choice_.scale.offset = 0;
        choose(false);
    });
    menu->addAction(QStringLiteral("密度を上げる(&+)"), this, [this] { scaleDensity(kDensityStep); });
    menu->addAction(QStringLiteral("密度を下げる(&-)"), this, [this] { scaleDensity(1 / kDensityStep); });
    logScale_ = menu->addAction(QStringLiteral("対数の目盛(&G)"));
    logScale_->setCheckable(true);
    connect(logScale_, &QAction::triggered, this, [this](bool on) {
        choice_.scale.scale = on ? mandel::DensityScale::Log : mandel::DensityScale::Linear;
        // A density of the other scale means nothing here: choose it anew.
        choice_.automaticDensity = true;
        choice_.scale.offset = 0;
        choose(false);
    });
    menu->addAction(QStringLiteral("色をずらす(&O)"), this, [this] { shiftOffset(kOffsetStep); });
}

QActionGroup* ColourMenu::buildSupersampleMenu(QMenu* menu, const QString& title, std::initializer_list<int> choices,
                                               int chosen, bool screen) {
    QMenu* sub = menu->addMenu(title);
    auto* group = new QActionGroup(this);
    for (const int k : choices) {
        QAction* item = sub->addAction(k == 1 ? QStringLiteral("なし") : QStringLiteral("%1 × %1").arg(k));
        item->setCheckable(true);
        item->setChecked(k == chosen);
        item->setData(k);
        item->setObjectName(QStringLiteral("%1Supersample%2").arg(screen ? "screen" : "export").arg(k));
        group->addAction(item);
        connect(item, &QAction::triggered, this, [this, k, screen] {
            if (!screen) {
                exportSupersample_ = k;
                return;
            }
            choice_.supersample = k;
            choose(true);
        });
    }
    return group;
}

// Leaves the automatic density at the one shown, then scales it.
void ColourMenu::scaleDensity(double factor) {
    if (choice_.automaticDensity) {
        choice_.scale = shown_.scale;
        choice_.automaticDensity = false;
    }
    if (choice_.scale.density <= 0) return;
    choice_.scale.density = std::min(choice_.scale.density * factor, mandel::kMaxDensity);
    if (choice_.mode == mandel::ColouringMode::Bands) choice_.mode = mandel::ColouringMode::Smooth;
    choose(false);
}

void ColourMenu::shiftOffset(double cycles) {
    choice_.scale.offset = mandel::wrapOffset(choice_.scale.offset + cycles);
    if (choice_.mode == mandel::ColouringMode::Bands) choice_.mode = mandel::ColouringMode::Smooth;
    choose(false);
}

void ColourMenu::setChoice(const mandel::Colouring& colouring) {
    choice_ = colouring;
    showChoice();
}

void ColourMenu::setExportSupersample(int k) {
    for (QAction* item : exportSamples_->actions())
        if (item->data().toInt() == k) {
            item->setChecked(true);
            exportSupersample_ = k;
        }
}

void ColourMenu::showChoice() {
    bands_->setChecked(choice_.mode == mandel::ColouringMode::Bands);
    smooth_->setChecked(choice_.mode == mandel::ColouringMode::Smooth);
    distance_->setChecked(choice_.mode == mandel::ColouringMode::Distance);
    automaticDensity_->setChecked(choice_.automaticDensity);
    logScale_->setChecked(choice_.scale.scale == mandel::DensityScale::Log);
    for (QAction* item : palettes_->actions())
        item->setChecked(item->data().toString().toStdString() == choice_.palette);
    for (QAction* item : screenSamples_->actions()) item->setChecked(item->data().toInt() == choice_.supersample);
}

void ColourMenu::choose(bool newSamples) {
    showChoice();
    emit changed(newSamples);
}

}  // namespace mandel_ui
