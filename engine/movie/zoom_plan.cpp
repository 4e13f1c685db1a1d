#include "movie/zoom_plan.h"

#include <algorithm>

#include "explore/exact_decimal.h"

namespace mandel::movie {

namespace {

// Corners are rounded to this many decimal places below the deepest side's
// leading digit: far below every keyframe's pixel spacing.
constexpr std::int64_t kCornerDigitsBelowSide = 40;
// Keyframes beyond 2^-log2(side) searched for the whole set: room for a
// centre far from the origin.
constexpr std::int64_t kSearchMarginKeyframes = 64;

Decimal decimalOf(const std::string& text) { return *Decimal::parse(text); }

Decimal powerOfTwo(int k) {
    Decimal result(1), square(2);
    for (unsigned e = static_cast<unsigned>(k); e != 0; e >>= 1) {
        if ((e & 1U) != 0) result = result * square;
        square = square * square;
    }
    return result;
}

// Keyframe k's corner coordinate on one axis: the deepest corner moved out
// by side·(2^k − 1)·edge / (2·m), m the shorter edge, so that the centre stays.
Decimal movedCorner(const Decimal& corner, const Decimal& side, int k, int edge, int shorter) {
    const Decimal shift = side * (powerOfTwo(k) - Decimal(1)) * Decimal(edge);
    const std::int64_t quantum = side.leadingExponent() - kCornerDigitsBelowSide;
    return corner - shift.dividedRounded(2 * static_cast<std::int64_t>(shorter), quantum);
}

}  // namespace

DeepView keyframeView(const DeepView& deepest, int k, std::int64_t limit) {
    DeepView view = deepest;
    view.location.limit = limit;
    if (k == 0) return view;
    const Decimal side = decimalOf(deepest.location.side);
    const int shorter = std::min(deepest.width, deepest.height);
    view.location.realMin =
        movedCorner(decimalOf(deepest.location.realMin), side, k, deepest.width, shorter).scientificText();
    view.location.imagMin =
        movedCorner(decimalOf(deepest.location.imagMin), side, k, deepest.height, shorter).scientificText();
    view.location.side = (side * powerOfTwo(k)).scientificText();
    return view;
}

bool showsWholeSet(const DeepView& view) {
    const Decimal side = decimalOf(view.location.side);
    const int shorter = std::min(view.width, view.height);
    const Decimal realMin = decimalOf(view.location.realMin), imagMin = decimalOf(view.location.imagMin);
    // The far edges: corner + side·edge/m, compared as corner·m + side·edge.
    const Decimal m(shorter);
    const Decimal realMax = realMin * m + side * Decimal(view.width);
    const Decimal imagMax = imagMin * m + side * Decimal(view.height);
    const Decimal top = *Decimal::parse("1.15");
    return Decimal::compare(realMin, Decimal(-2)) <= 0 && Decimal::compare(imagMin, -top) <= 0 &&
           Decimal::compare(realMax, *Decimal::parse("0.5") * m) >= 0 && Decimal::compare(imagMax, top * m) >= 0;
}

int keyframesToWholeSet(const DeepView& deepest) {
    // The views grow about one centre, so "shows the whole set" turns true
    // once and stays: a binary search for the first k where it does.
    // Searched up to a little beyond the side's own power of two (10 < 2^4).
    const std::int64_t sideExponent = decimalOf(deepest.location.side).leadingExponent();
    const std::int64_t reach = std::max<std::int64_t>(0, -4 * sideExponent) + kSearchMarginKeyframes;
    int low = 0, high = static_cast<int>(std::min<std::int64_t>(kMaxKeyframes - 1, reach));
    if (!showsWholeSet(keyframeView(deepest, high, deepest.location.limit))) return high + 1;
    while (low < high) {
        const int middle = low + (high - low) / 2;
        if (showsWholeSet(keyframeView(deepest, middle, deepest.location.limit)))
            high = middle;
        else
            low = middle + 1;
    }
    return low + 1;
}

}  // namespace mandel::movie
