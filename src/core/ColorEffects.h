// Colour effects that rewrite every pixel of a picture through per-channel tables.
#pragma once

#include "PixelBuffer.h"

// Colour effects on the whole picture.
TPixel24 ColorToPixel(TColor color);
void BlendWithColor(TPixelBuffer& image, TColor color, double amount);
void ApplyGamma(TPixelBuffer& image, float gamma);
inline void Enlighten(TPixelBuffer& image) { BlendWithColor(image, 0xFFFFFF, 0.1); }
inline void Endarken(TPixelBuffer& image) { BlendWithColor(image, 0x000000, 0.1); }
inline void MixWithColor(TPixelBuffer& image, TColor color) { BlendWithColor(image, color, 0.3); }
