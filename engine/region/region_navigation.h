#pragma once

#include <optional>
#include <string>
#include <vector>

#include "region/region.h"

// Turning gestures on the picture into scroll-bar positions (Region).
namespace mandel {

// The region the read-outs describe (their texts, as the drawing reads them).
// nullopt when a text is not a read-out number.
std::optional<Region> regionFromReadouts(const std::string& real, const std::string& imag, const std::string& side,
                                         const std::string& limit);

// A square dragged on the picture, in the surface's logical units
// (mandel::kLogicalSize across): left and top edge and width. The imaginary part grows downwards, so the top
// edge gives the new imaginary-part minimum. nullopt when the square rounds to
// less than one step of the side-length bar.
std::optional<Region> zoomToSquare(const Region& current, double left, double top, double width);

// One wheel notch at logical point (x, y): forward halves the side length,
// back doubles it, keeping the plane point under the pointer in place as far
// as the bars' steps and ranges allow. nullopt when nothing would change.
std::optional<Region> zoomAtPoint(const Region& current, double x, double y, bool zoomIn);

// Regions of the last drawings, newest last, at most `capacity` of them.
class RegionHistory {
public:
    explicit RegionHistory(std::size_t capacity = 50) : capacity_(capacity) {}
    // Records a drawing of `region`; a repeat of the newest entry is not stored twice.
    void recordDrawing(const Region& region);
    // Forgets the newest drawing and returns the one before it, if any.
    std::optional<Region> back();
    std::size_t size() const { return regions_.size(); }

private:
    std::size_t capacity_;
    std::vector<Region> regions_;
};

}  // namespace mandel
