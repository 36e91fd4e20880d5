#include "FitBox.h"

#include <algorithm>
#include <cmath>

std::int64_t ProportionalDimension(std::int64_t value, std::int32_t numerator, std::int32_t denominator) {
    if (denominator == 0) return 0;
    // The quotient in extended precision, rounded to nearest with ties to even.
    const long double quotient = static_cast<long double>(value * numerator) / denominator;
    return static_cast<std::int64_t>(std::nearbyint(quotient));
}

TFitSize FitIntoBox(int width, int height, int boxWidth, int boxHeight, bool enlarge) {
    if (!enlarge && width <= boxWidth && height <= boxHeight) return {width, height};
    // Width-bound when the picture is at least as wide, relative to its height, as the box.
    const bool widthBound = std::int64_t(width) * boxHeight >= std::int64_t(boxWidth) * height;
    if (widthBound) {
        const std::int64_t partner = ProportionalDimension(boxWidth, height, width);
        return {boxWidth, static_cast<int>(std::clamp<std::int64_t>(partner, 1, boxHeight))};
    }
    const std::int64_t partner = ProportionalDimension(boxHeight, width, height);
    return {static_cast<int>(std::clamp<std::int64_t>(partner, 1, boxWidth)), boxHeight};
}
