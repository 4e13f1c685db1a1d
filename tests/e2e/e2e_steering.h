#pragma once

// Subcommands of the real-window helper that steer a zoom towards structure.

// Waits until the window's picture has settled: it differs from BEFORE (when
// given) and three grabs in a row are the same. Saves the last grab to OUT.
int settleWindow(const char* windowId, const char* outPath, const char* beforePath);

// Prints "X Y", the pixel of the picture nearest its centre whose 5×5
// neighbourhood is all palette colours, at least three of them, one of them
// the colour of points that reached the limit. Exit 1 when there is none.
int boundaryPixel(const char* picturePath);
