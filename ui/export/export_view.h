#pragma once

#include <QSize>
#include <QString>
#include <cstdint>
#include <optional>

#include "colour/colouring.h"
#include "deep/deep_view.h"
#include "drawing/picture_scan.h"
#include "explore/explore_location.h"

namespace mandel_ui {

inline constexpr int kDefaultExportSize = 2000;

// The explorer's view, exported instead of a region of the main window.
struct ExplorerExportView {
    mandel::ExploreLocation location;  // its limit and base are the view's colours
    QSize viewPixels;                  // the view on the screen, for its shape
    bool square = false;               // a square about the centre instead of the view's shape
    // The view's colouring (density resolved) and the export's K × K samples
    // (fewer where K times the picture would pass the largest drawing).
    mandel::Colouring colouring = {};
};

// One picture to export: the region (its read-out texts), the picture's side
// in pixels, and the file (PNG, or BMP by its suffix). For the explorer the
// view replaces the region, the size is the longer side, and a count map
// (.npy) can be written too.
struct ExportRequest {
    mandel::RegionTexts region;
    int size = kDefaultExportSize;
    QString path;
    std::optional<ExplorerExportView> explorer = std::nullopt;
};

enum class ExportFormat { Png, Bmp, CountMap };

// By the file's suffix (any case): .bmp, .npy, and PNG for anything else.
ExportFormat exportFormatForPath(const QString& path);

// The picture's width and height: size × size for a region or a square;
// otherwise the longer side is size and the shorter keeps the view's aspect,
// rounded to the nearest pixel and at least mandel::kMinPictureSize.
QSize exportedPixels(const ExportRequest& request);

// The deep engine's view that the request draws: the region's texts as
// given, or the explorer's location at exportedPixels.
mandel::DeepView exportedView(const ExportRequest& request);

// The colour base count: 0 for a region (the window's colours), the
// location's base for the explorer.
std::int64_t exportedBase(const ExportRequest& request);

}  // namespace mandel_ui
