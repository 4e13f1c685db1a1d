#pragma once

// The explorer's 配色 (colouring) menu, and the colouring of the counts a
// drawing leaves behind: the window keeps each full picture's counts and
// continuous counts, so that a change of palette, density, offset or
// colouring is a new picture at once, without iterating again.

#include <QImage>
#include <QObject>
#include <QString>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "colour/colouring.h"
#include "deep/colour_outputs.h"
#include "deep/deep_picture_colours.h"

class QAction;
class QActionGroup;
class QMenu;
class QMenuBar;

namespace mandel_ui {

// A drawing's samples as the window keeps them.
struct HeldCounts {
    std::vector<std::int32_t> counts;
    std::vector<float> excess;    // ν − count of each sample, NaN inside
    std::vector<float> distance;  // in pixels, and the slope shading (distance colouring only)
    std::vector<float> slope;
    int width = 0;  // samples across and down (K times the picture's)
    int height = 0;
    std::int64_t limit = 1;
    int supersample = 1;  // K

    // Room for width × height samples, with distances or without.
    void allocate(int samplesAcross, int samplesDown, bool withDistance);
    // Samples offset .. offset + size − 1, as the engine fills them and as the colouring reads them.
    mandel::ColourOutputs outputs(std::size_t offset, std::size_t size);
    mandel::SampleRows rows(std::size_t offset, std::size_t size) const;
};

// The choice with its automatic density resolved on the held samples.
mandel::Colouring resolvedColouring(const mandel::Colouring& choice, const HeldCounts& held);
// The same on some samples drawn at `limit` (K × K a pixel).
mandel::Colouring resolvedColouring(const mandel::Colouring& choice, const mandel::SampleRows& samples,
                                    std::int64_t limit, int supersample);

// The picture of the held samples in a resolved colouring (its supersample
// is the held one), the bands spread from `base`: the renderer's colours,
// byte for byte.
QImage colourHeldCounts(const HeldCounts& held, const mandel::Colouring& resolved, std::int64_t base);

// Counts and continuous counts of width × height samples (K × K a pixel) in
// the choice's colouring, its automatic density resolved on these counts (a
// preview, the rows of a full picture drawn so far).
QImage colourCountsAs(const mandel::SampleRows& samples, std::int64_t limit, std::int64_t base,
                      const mandel::Colouring& choice, int supersample);

// Whether a drawing for this choice carries the derivative (distance shading).
bool needsDistance(const mandel::Colouring& choice);

// The colouring a pasted renderer line names with its colouring options, or
// nullopt when it names none or one of them is bad.
std::optional<mandel::Colouring> colouringInLine(const QString& line);

// The samples a pixel takes across (K) for a drawing of this choice at
// width × height: the choice's, fewer where K times the picture would pass
// the largest drawing.
int screenSupersample(const mandel::Colouring& choice, int width, int height);

// K of the explorer's exports unless the menu says otherwise.
inline constexpr int kDefaultExportSupersample = 3;

class ColourMenu : public QObject {
    Q_OBJECT

public:
    // Adds the 配色 menu to the bar.
    ColourMenu(QMenuBar* bar, QObject* parent);

    const mandel::Colouring& choice() const { return choice_; }
    // A colouring read from a picture or a pasted line; the menu shows it
    // (no changed signal: the window draws the picture's location next).
    void setChoice(const mandel::Colouring& colouring);
    // The colouring the picture on the screen shows (density resolved), the
    // base of changes of density and offset made while it is automatic.
    void setShown(const mandel::Colouring& shown) { shown_ = shown; }
    int exportSupersample() const { return exportSupersample_; }
    // K of the exports; a K the menu does not offer is ignored.
    void setExportSupersample(int k);

signals:
    // The colouring changed: a new picture from the held counts, or (the
    // screen's supersampling changed) a new drawing.
    void changed(bool newSamples);

private:
    QMenu* buildPaletteMenu(QMenu* menu);
    void buildDensityItems(QMenu* menu);
    QActionGroup* buildSupersampleMenu(QMenu* menu, const QString& title, std::initializer_list<int> choices,
                                       int chosen, bool screen);
    void scaleDensity(double factor);
    void shiftOffset(double cycles);
    void showChoice();
    void choose(bool newSamples);

    mandel::Colouring choice_;
    mandel::Colouring shown_;
    int exportSupersample_ = kDefaultExportSupersample;
    QAction* bands_ = nullptr;
    QAction* smooth_ = nullptr;
    QAction* distance_ = nullptr;
    QAction* automaticDensity_ = nullptr;
    QAction* logScale_ = nullptr;
    QActionGroup* palettes_ = nullptr;
    QActionGroup* screenSamples_ = nullptr;
    QActionGroup* exportSamples_ = nullptr;
};

}  // namespace mandel_ui
