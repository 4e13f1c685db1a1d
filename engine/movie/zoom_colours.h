#pragma once

// The smooth colouring of a whole zoom: one gradient position for each
// continuous count ν, the same in every keyframe and every frame, so that a
// point keeps its colour all through the movie. (A density chosen for each
// keyframe on its own would move every colour a little between two keyframes,
// a keyframe being under three frames of a movie: the colours would flicker.)
//
// With the automatic density the map's density follows the counts the zoom
// shows: at the deepest keyframe's typical count it is the automatic density
// of that keyframe, at the whole set's typical count that of the whole set,
// and between them a power of ν (a straight line from one to the other in
// log ν and log density); beyond them it is the nearer one's. A density given
// on the command line is the map's density everywhere (linear or per doubling).

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "colour/colouring.h"

namespace mandel {

// A view's typical continuous count (the median of its escaped pixels' ν)
// and its automatic density there (smooth_colouring.h); nu is 0 for a view in
// which nothing escaped.
struct ColourAnchor {
    double nu = 0;
    double density = 0;

    bool operator==(const ColourAnchor&) const = default;
};

// counts and excess of one drawing at `limit` (excess as ColourOutputs gives it).
ColourAnchor colourAnchor(std::span<const std::int32_t> counts, std::span<const float> excess, std::int64_t limit);

struct ZoomColourMap {
    bool automatic = true;
    SmoothScale fixed;           // without automatic: the colouring's own scale
    ColourAnchor shallow, deep;  // with automatic: shallow.nu <= deep.nu
    double offset = 0;           // with automatic: the user's shift, in cycles

    // The gradient position of ν >= 1.
    double position(double nu) const;
    // The map's density (d position / d ν) at ν.
    double density(double nu) const;
    // The linear scale that touches the map at ν (the same position and
    // density there): a keyframe's picture, coloured by the engine in this
    // scale about its typical count, shows the movie's colours there.
    SmoothScale tangent(double nu) const;

    bool operator==(const ZoomColourMap& other) const;
};

// A map's positions for the movie's frames, as position() gives them up to
// rounding: worked out with the platform's logarithm and power, and what
// every position shares worked out once (several times faster; a frame's
// bytes need not be the same on every machine, unlike a keyframe's scale).
class FramePositions {
public:
    explicit FramePositions(const ZoomColourMap& map);
    double operator()(double nu) const;

private:
    ZoomColourMap map_;
    double power_ = 0;   // β of the density between the anchors
    double atDeep_ = 0;  // the position at the deep anchor, less the offset
};

// The map for a colouring of the zoom from two views' anchors (in either
// order); a missing anchor (nu 0) takes the other's, and with neither the
// density is that of a view too flat to measure.
ZoomColourMap zoomColourMap(const Colouring& colouring, const ColourAnchor& a, const ColourAnchor& b);

// "automatic NU D NU D OFFSET" or "fixed linear|log D OFFSET", numbers in
// their shortest exact texts; and back (nullopt for anything else).
std::string colourMapText(const ZoomColourMap& map);
std::optional<ZoomColourMap> parseColourMapText(std::string_view text);

}  // namespace mandel
