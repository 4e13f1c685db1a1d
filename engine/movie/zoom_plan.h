#pragma once

// The keyframes of a zoom: keyframe k is the deepest view zoomed out by 2^k
// about the same centre (side SIDE·2^k, the same picture size), up to the
// first keyframe that shows the whole Mandelbrot set.

#include <cstdint>

#include "deep/deep_view.h"

namespace mandel::movie {

// More keyframes than a zoom from the deepest side the texts allow needs.
inline constexpr int kMaxKeyframes = 400000;

// Keyframe k of the zoom whose deepest view is `deepest`, with the limit
// given: keyframe 0 is `deepest` itself (its texts as given); the others'
// corners are exact up to far below their pixels (decimal texts).
DeepView keyframeView(const DeepView& deepest, int k, std::int64_t limit);

// Whether the view contains the whole set: the box from −2 − 1.15i to
// 0.5 + 1.15i.
bool showsWholeSet(const DeepView& view);

// The number of keyframes from `deepest` up to and including the first that
// shows the whole set (1 when `deepest` already does), at most kMaxKeyframes.
int keyframesToWholeSet(const DeepView& deepest);

}  // namespace mandel::movie
