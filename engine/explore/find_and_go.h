#pragma once

// The explorer's "find and go": a minibrot's nucleus or a Misiurewicz point
// near a pixel, and the location that shows it. The searches themselves are
// deep/minibrot_finder.h and explore/misiurewicz_finder.h.
//
// Where the view goes: centred on the point found, with every digit the
// search gave; for a minibrot a side of kSizesPerView times its size and a
// limit of at least kLimitPerPeriod times its period (the counts about a
// minibrot of period p come in multiples of p); for a Misiurewicz point a
// side of kSizesPerView times its size but no larger than the view's, the
// limit kept. The automatic rule then adjusts the limit from the counts.

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>

#include "deep/ext_real.h"
#include "explore/explore_location.h"
#include "region/picture_size.h"

namespace mandel {

inline constexpr int kSizesPerView = 4;
inline constexpr std::int64_t kLimitPerPeriod = 8;
// The search disc's radius is the view's side divided by this.
inline constexpr std::int64_t kSearchRadiusDivisor = 8;

enum class FoundKind { Minibrot, Misiurewicz };

struct FoundPoint {
    FoundKind kind = FoundKind::Minibrot;
    std::string re;  // decimal texts
    std::string im;
    std::int64_t period = 0;
    std::int64_t preperiod = 0;  // Misiurewicz points only
    ExtReal size;
};

// The point under pixel (x, y) of a W × H view (as explore_gestures.h
// defines pixels), its move from the centre rounded onto the location's grid.
struct PixelPoint {
    Decimal re;
    Decimal im;
};
PixelPoint pointAtPixel(const ExploreLocation& from, PictureSize size, int x, int y);

// Searches the disc of `radius` about (re, im) (decimal texts); maxPeriod 0
// leaves the searches' own limit (for a minibrot, kLeastMaxPeriod).
std::optional<FoundPoint> findAround(FoundKind kind, const std::string& re, const std::string& im,
                                     const std::string& radius, std::int64_t maxPeriod,
                                     const std::atomic<bool>* cancel = nullptr);

// Searches around a point of the view (a pixel's, or the centre) within the
// view's side / kSearchRadiusDivisor, for periods up to a multiple of the
// view's limit.
std::optional<FoundPoint> findNear(FoundKind kind, const ExploreLocation& from, const PixelPoint& point,
                                   const std::atomic<bool>* cancel = nullptr);

// The location that shows the point (see above), or nothing when the point's
// texts or size cannot make one.
std::optional<ExploreLocation> locationShowing(const FoundPoint& point, const ExploreLocation& from);

// "1.25e-40": a size in scientific notation with 3 significant digits.
std::string sizeText(const ExtReal& size);

}  // namespace mandel
