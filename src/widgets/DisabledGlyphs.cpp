#include "widgets/DisabledGlyphs.h"

#include "widgets/ImageList.h"

#include <QPainter>

namespace {

int GrayLevel(int r, int g, int b) {
    const int a = (r + g + b) / 3;
    const int e = (127 - a) / 2;
    return (a + e) * 2 / 3 + 84;
}

}  // namespace

TColor GreyColor(TColor color) {
    const int v = GrayLevel(RedOf(color), GreenOf(color), BlueOf(color));
    return RGBColor(static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v));
}

QColor GreyColor(const QColor& color) {
    const int v = GrayLevel(color.red(), color.green(), color.blue());
    return QColor(v, v, v, color.alpha());
}

QRgb GrayRgb(QRgb pixel) {
    const int v = GrayLevel(qRed(pixel), qGreen(pixel), qBlue(pixel));
    return qRgba(v, v, v, qAlpha(pixel));
}

void GreyCopy(const QImage& source, QImage& target) {
    if (source.isNull() || source.width() == 0 || source.height() == 0) return;
    QImage copy = source.convertToFormat(QImage::Format_ARGB32);
    const QRgb transparent = copy.pixel(0, copy.height() - 1);
    for (int y = 0; y < copy.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(copy.scanLine(y));
        for (int x = 0; x < copy.width(); ++x) {
            if (line[x] != transparent) line[x] = GrayRgb(line[x]);
        }
    }
    target = copy;
}

void AppendGreyGlyph(QImage& bitmap) {
    if (bitmap.isNull() || bitmap.width() == 0 || bitmap.height() == 0) return;
    const QImage left = bitmap.convertToFormat(QImage::Format_ARGB32);
    QImage grayed;
    GreyCopy(left, grayed);
    QImage wide(left.width() * 2, left.height(), QImage::Format_ARGB32);
    wide.fill(Qt::transparent);
    {
        QPainter p(&wide);
        p.setCompositionMode(QPainter::CompositionMode_Source);
        p.drawImage(0, 0, left);
        p.drawImage(left.width(), 0, grayed);
    }
    bitmap = wide.convertToFormat(bitmap.format());
}

void BuildDisabledImageList(const TImageList& images, TImageList& disabled) {
    constexpr QRgb magenta = 0xFFFF00FFu;
    disabled.SetSize(images.Width(), images.Height());
    for (int i = 0; i < images.Count(); ++i) {
        QImage canvas(images.Size(), QImage::Format_ARGB32);
        canvas.fill(magenta);
        {
            QPainter p(&canvas);
            images.Draw(p, 0, 0, i);
        }
        QImage grayed;
        GreyCopy(canvas, grayed);
        disabled.AddMasked(grayed, magenta);
    }
}
