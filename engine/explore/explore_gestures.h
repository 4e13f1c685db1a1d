#pragma once

// The explorer's gestures as exact decimal arithmetic on its location, and its
// history. Pixels are those of the W × H view as toDeepView defines them:
// pixel (x, y) is the point centre + ((x − W/2)·s/m, (y − H/2)·s/m), m = min(W, H),
// the imaginary part growing downward.
//
// Rounding: each gesture computes the new side exactly as a fraction and
// rounds it once onto its grid 10^q (locationQuantumExponent), to nearest,
// ties to the even multiple; the centre then moves by the exact fraction that
// keeps the point under the pointer put with the rounded side, and only that
// move is rounded onto the grid. The centre's own digits are never rounded:
// a location typed with 35 digits keeps them through any number of zooms
// about the centre, which do not move it at all. The limit and base are kept.

#include <cstdint>
#include <vector>

#include "explore/explore_location.h"
#include "region/picture_size.h"

namespace mandel {

// High-resolution wheels report eighths of a degree; one notch is 120 units.
inline constexpr int kWheelUnitsPerNotch = 120;

// 2^(−units/120) as an exact decimal when units is a multiple of 120, else
// rounded to 30 significant digits (MPFR, correctly rounded, then to nearest).
Decimal wheelScale(std::int64_t units);

// Zoom by 2^(units/120) about pixel (x, y): positive units zoom in (the side
// shrinks), and the point under the pixel stays under it.
ExploreLocation zoomAboutPixel(const ExploreLocation& from, PictureSize size, int x, int y, std::int64_t units);

// Zoom by 2^(units/120) about the view's centre: the centre stays exactly.
ExploreLocation zoomAboutCentre(const ExploreLocation& from, std::int64_t units);

// Moves the centre by (dx, dy) pixels: positive dx towards larger real parts
// (right), positive dy towards larger imaginary parts (down). A drag that
// moves the picture with the hand pans by the negated drag.
ExploreLocation panByPixels(const ExploreLocation& from, PictureSize size, std::int64_t dx, std::int64_t dy);

// The square of `pixels` pixels with its top-left corner at pixel (x, y)
// becomes the new view: its centre the square's centre, its side pixels·s/m.
ExploreLocation zoomToSquare(const ExploreLocation& from, PictureSize size, int x, int y, int pixels);

// Back / forward / home. visit() records a new location after the current one
// (dropping any forward entries). home() visits the first location again, so
// back returns from it.
class ExploreHistory {
public:
    explicit ExploreHistory(ExploreLocation opening);
    const ExploreLocation& current() const { return entries_[index_]; }
    void visit(ExploreLocation location);
    // Replaces the current entry (e.g. the automatic limit and base after a drawing).
    void updateCurrent(ExploreLocation location) { entries_[index_] = std::move(location); }
    bool canGoBack() const { return index_ > 0; }
    bool canGoForward() const { return index_ + 1 < entries_.size(); }
    bool back();     // false when there is nothing before
    bool forward();  // false when there is nothing after
    void home();

private:
    std::vector<ExploreLocation> entries_;
    std::size_t index_ = 0;
};

}  // namespace mandel
