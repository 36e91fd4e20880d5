// Sizes kept in proportion: the scale dialog's partner dimension and the command line's fitting
// into a box both round the same way.
#pragma once

#include <cstdint>

// value × numerator / denominator rounded to the nearest whole number, ties to even: the
// partner dimension of value in the proportion numerator : denominator. The product is taken
// in 64 bits, so it cannot wrap around. A denominator of 0 gives 0.
std::int64_t ProportionalDimension(std::int64_t value, std::int32_t numerator, std::int32_t denominator);

struct TFitSize {
    int Width = 0;
    int Height = 0;
};

// The size of a width × height picture scaled into a boxWidth × boxHeight box with its aspect
// ratio kept: the side that touches the box takes the box's size, the other is its partner
// dimension as the scale dialog computes it (at least 1 pixel). A picture that already fits
// keeps its size unless enlarge is set. All sizes must be above 0.
TFitSize FitIntoBox(int width, int height, int boxWidth, int boxHeight, bool enlarge);
