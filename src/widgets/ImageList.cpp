#include "widgets/ImageList.h"

#include "widgets/DisabledGlyphs.h"

#include <QPainter>
#include <QPixmap>

TImageList::TImageList(int width, int height, QObject* parent) : QObject(parent), width_(width), height_(height) {}

void TImageList::SetSize(int width, int height) {
    width_ = width;
    height_ = height;
    images_.clear();
    emit Changed();
}

void TImageList::Clear() {
    images_.clear();
    emit Changed();
}

int TImageList::Add(const QImage& image) {
    QImage glyph = image.convertToFormat(QImage::Format_ARGB32);
    if (glyph.size() != Size()) glyph = glyph.copy(0, 0, width_, height_);  // outside the source: transparent
    images_.push_back(glyph);
    emit Changed();
    return Count() - 1;
}

int TImageList::AddMasked(const QImage& image, QRgb transparentColor) {
    QImage glyph = image.convertToFormat(QImage::Format_ARGB32);
    const QRgb key = transparentColor | 0xFF000000u;
    for (int y = 0; y < glyph.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(glyph.scanLine(y));
        for (int x = 0; x < glyph.width(); ++x) {
            if ((line[x] | 0xFF000000u) == key && qAlpha(line[x]) == 255) line[x] = 0;
        }
    }
    return Add(glyph);
}

QImage TImageList::Image(int index) const {
    return HasImage(index) ? images_[static_cast<std::size_t>(index)] : QImage();
}

void TImageList::Draw(QPainter& painter, int x, int y, int index, bool enabled) const {
    if (!HasImage(index)) return;
    const QImage& glyph = images_[static_cast<std::size_t>(index)];
    if (enabled) {
        painter.drawImage(x, y, glyph);
        return;
    }
    QImage canvas(Size(), QImage::Format_ARGB32);
    canvas.fill(Qt::white);
    {
        QPainter p(&canvas);
        p.drawImage(0, 0, glyph);
    }
    const QRgb background = canvas.pixel(0, canvas.height() - 1);
    const bool brushed = painter.brush().style() != Qt::NoBrush;
    const QRgb brush = painter.brush().color().rgb();
    for (int row = 0; row < canvas.height(); ++row) {
        auto* line = reinterpret_cast<QRgb*>(canvas.scanLine(row));
        for (int col = 0; col < canvas.width(); ++col) {
            if (line[col] == background)
                line[col] = brushed ? brush : 0;
            else
                line[col] = GrayRgb(line[col]);
        }
    }
    painter.drawImage(x, y, canvas);
}

QIcon TImageList::Icon(int index, const TImageList* disabled) const {
    QIcon icon;
    if (!HasImage(index)) return icon;
    icon.addPixmap(QPixmap::fromImage(Image(index)), QIcon::Normal);
    if (disabled != nullptr && disabled->HasImage(index))
        icon.addPixmap(QPixmap::fromImage(disabled->Image(index)), QIcon::Disabled);
    return icon;
}
