// Drawing a pixel buffer 1:1 onto a painter.
#pragma once

class QPainter;
class QRectF;
class TPixelBuffer;

// Draws the whole buffer with its top-left corner at (x, y), without stretching and without
// copying the pixels: the painter reads the buffer's B, G, R rows in place. An empty buffer
// draws nothing.
void DrawPixelBuffer(QPainter& painter, int x, int y, const TPixelBuffer& buffer);
// Draws the source rectangle of the buffer scaled into the target rectangle, the painter's
// smoothing as it is set.
void DrawPixelBuffer(QPainter& painter, const QRectF& target, const TPixelBuffer& buffer, const QRectF& source);
