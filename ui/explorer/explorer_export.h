#pragma once

#include <QSize>

#include "colour/colouring.h"
#include "explore/explore_location.h"

class QWidget;

namespace mandel_ui {

class ExportCommand;

// The explorer's export command, a child of the window: created on first use,
// then the same one, so that one export runs at a time and the next proposes
// the last size, shape and folder.
ExportCommand* explorerExportCommand(QWidget* window);

// Exports the explorer's view: the export dialog (size up to 32000 on the
// longer side, the view's shape or square, PNG, BMP or count map), then the
// deep engine's drawing of the location in the view's colours (its limit and
// base), with progress and cancel. viewPixels is the view's size on the
// screen, which gives the shape; colouring is the view's (its density
// resolved) with the export's K × K samples (by default the bands at one
// sample). Does nothing while an export runs.
void startExplorerExport(QWidget* parent, const mandel::ExploreLocation& location, QSize viewPixels,
                         const mandel::Colouring& colouring = {});

}  // namespace mandel_ui
