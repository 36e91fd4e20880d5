// Greyed glyphs for the disabled look.
#pragma once

#include "platform/Bitmap.h"

#include <QColor>
#include <QImage>
#include <QRgb>

class TImageList;

// The light grey that stands for a colour on a disabled glyph: from 126 for black to 211 for
// white, keeping a little of the colour's brightness.
TColor GreyColor(TColor color);
QColor GreyColor(const QColor& color);
// Same on a Qt pixel value; the alpha is kept.
QRgb GrayRgb(QRgb pixel);

// The target becomes a copy of the source with every pixel that differs from the source's
// bottom-left pixel (its transparent colour) replaced by its grey. An empty source changes
// nothing.
void GreyCopy(const QImage& source, QImage& target);
// Doubles the width of the bitmap: the right half is the grayed copy of the left half, the
// transparent colour (the bottom-left pixel) kept as it is. An empty bitmap stays empty.
void AppendGreyGlyph(QImage& bitmap);
// Rebuilds the list of disabled glyphs from the normal one: each glyph drawn over magenta,
// grayed, and added with magenta as its transparent colour, at the same index.
void BuildDisabledImageList(const TImageList& images, TImageList& disabled);
