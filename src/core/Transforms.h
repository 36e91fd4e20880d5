// Geometric operations that make a new picture from part of another (the in-place flips and
// rotations are TPixelBuffer members).
#pragma once

#include "PixelBuffer.h"

#include <memory>

// A copy of the rectangle at (left, top) of the given size (callers keep it inside the picture).
std::unique_ptr<TPixelBuffer> CopyRect(const TPixelBuffer& source, int left, int top, int width, int height);
