#include "widgets/PixelBufferDraw.h"

#include "core/PixelBuffer.h"

#include <QImage>
#include <QPainter>

namespace {

// Byte order blue, green, red in memory is Qt's BGR888; the const constructor keeps the image a
// read-only view over the buffer's storage.
QImage ImageOver(const TPixelBuffer& buffer) {
    return QImage(buffer.Bits(), buffer.Width(), buffer.Height(), buffer.Stride(), QImage::Format_BGR888);
}

bool Drawable(const TPixelBuffer& buffer) {
    return buffer.Width() > 0 && buffer.Height() > 0 && buffer.Bits() != nullptr;
}

}  // namespace

void DrawPixelBuffer(QPainter& painter, int x, int y, const TPixelBuffer& buffer) {
    if (Drawable(buffer)) painter.drawImage(x, y, ImageOver(buffer));
}

void DrawPixelBuffer(QPainter& painter, const QRectF& target, const TPixelBuffer& buffer, const QRectF& source) {
    if (Drawable(buffer)) painter.drawImage(target, ImageOver(buffer), source);
}
