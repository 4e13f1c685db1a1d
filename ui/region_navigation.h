#pragma once

#include <optional>
#include <string>
#include <vector>

// Turning gestures on the picture into scroll-bar positions. Positions are in
// the bars' units: ten-thousandths for the real-part minimum, the
// imaginary-part minimum and the side length, iterations for the limit.
namespace mandel_ui {

struct Region {
    int real = 0;   // Hbar1
    int imag = 0;   // Hbar2
    int side = 1;   // Hbar3
    int limit = 100;  // Hbar4
    bool operator==(const Region&) const = default;
};

struct BarRange {
    int minimum;
    int maximum;
};

inline constexpr BarRange kRealRange{-20000, 10000};
inline constexpr BarRange kImagRange{-30000, 10000};
inline constexpr BarRange kSideRange{1, 30000};

// The region the read-outs describe (their texts, as the drawing reads them).
// nullopt when a text is not a read-out number.
std::optional<Region> regionFromReadouts(const std::string& real, const std::string& imag,
                                         const std::string& side, const std::string& limit);

// A square dragged on the picture, in logical units of the 500-unit surface:
// left and top edge and width. The imaginary part grows downwards, so the top
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

}  // namespace mandel_ui
