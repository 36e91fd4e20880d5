// Geometric operations that make a new picture from part of another (the in-place flips and
// rotations are TPixelBuffer members).
#pragma once

#include "PixelBuffer.h"

#include <memory>

// A copy of the rectangle at (left, top) of the given size (callers keep it inside the picture).
std::unique_ptr<TPixelBuffer> CopyRect(const TPixelBuffer& source, int left, int top, int width, int height);

// Turns a picture stored with an EXIF orientation upright: 2 mirrors it left-right, 3 turns it
// half round, 4 mirrors it top-bottom, 5 and 7 mirror it left-right and then turn it a quarter
// counter-clockwise or clockwise, 6 and 8 turn it a quarter clockwise or counter-clockwise.
// 1 and any other value leave it as it is.
void ApplyOrientation(TPixelBuffer& picture, int orientation);
