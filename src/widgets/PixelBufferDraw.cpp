#include "widgets/PixelBufferDraw.h"

#include "core/PixelBuffer.h"

#include <QImage>
#include <QPainter>

void DrawPixelBuffer(QPainter& painter, int x, int y, const TPixelBuffer& buffer) {
    if (buffer.Width() <= 0 || buffer.Height() <= 0 || buffer.Bits() == nullptr) return;
    // Byte order blue, green, red in memory is Qt's BGR888; the const constructor keeps the
    // image a read-only view over the buffer's storage.
    const QImage view(buffer.Bits(), buffer.Width(), buffer.Height(), buffer.Stride(), QImage::Format_BGR888);
    painter.drawImage(x, y, view);
}
