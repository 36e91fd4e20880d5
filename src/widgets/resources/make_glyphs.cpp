// Draws the toolbar glyph strip, the zoom cursor and the application icon into PNG files.
// Run once when a picture changes; the PNG files are kept in the repository:
//   g++ -std=c++20 -fPIC make_glyphs.cpp $(pkg-config --cflags --libs Qt6Gui) -o make_glyphs
//   QT_QPA_PLATFORM=offscreen ./make_glyphs .
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>

#include <cmath>
#include <functional>

namespace {

const QColor Outline(48, 48, 48);
const QColor Sky(150, 200, 245);
const QColor Hill(60, 150, 60);
const QColor Sun(250, 210, 40);

// Glyphs are pixel pictures: hard edges, so greying over a key colour stays clean.
QImage Hard(QImage image) {
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const QRgb c = line[x];
            line[x] = qAlpha(c) >= 128 ? qRgba(qRed(c) * 255 / qAlpha(c), qGreen(c) * 255 / qAlpha(c),
                                               qBlue(c) * 255 / qAlpha(c), 255)
                                       : 0;
        }
    }
    return image;
}

// A framed picture of a landscape: sky, a sun, two hills.
void Landscape(QPainter& p, QRect r, QColor sky = Sky, QColor hill = Hill, QColor sun = Sun, bool upsideDown = false) {
    p.save();
    if (upsideDown) {
        p.translate(0, 2 * r.y() + r.height());
        p.scale(1, -1);
    }
    p.fillRect(r, sky);
    p.setClipRect(r);
    p.setPen(Qt::NoPen);
    p.setBrush(sun);
    p.drawRect(r.right() - 4, r.y() + 2, 2, 2);
    p.setBrush(hill);
    QPolygon hills;
    hills << QPoint(r.left(), r.bottom() - 2) << QPoint(r.left() + r.width() / 3, r.bottom() - r.height() / 2)
          << QPoint(r.left() + r.width() / 2, r.bottom() - r.height() / 3)
          << QPoint(r.right() - r.width() / 4, r.bottom() - r.height() / 2 - 1) << QPoint(r.right() + 1, r.bottom() - 2)
          << QPoint(r.right() + 1, r.bottom() + 1) << QPoint(r.left(), r.bottom() + 1);
    p.drawPolygon(hills);
    p.setClipping(false);
    p.setBrush(Qt::NoBrush);
    p.setPen(Outline);
    p.drawRect(r.adjusted(0, 0, -1, -1));
    p.restore();
}

void Arrowhead(QPainter& p, QPoint tip, int dx, int dy, QColor color) {
    // A filled triangle pointing along (dx, dy), which is one of the 8 directions.
    p.setPen(color);
    p.setBrush(color);
    const QPoint back(tip.x() - 3 * dx, tip.y() - 3 * dy);
    const QPoint side(-dy, dx);
    QPolygon head;
    head << tip << back + side * 3 << back - side * 3;
    if (dx != 0 && dy != 0) {
        head.clear();
        head << tip << QPoint(tip.x() - 4 * dx, tip.y()) << QPoint(tip.x(), tip.y() - 4 * dy);
    }
    p.drawPolygon(head);
    p.setBrush(Qt::NoBrush);
}

void RotateArrow(QPainter& p, bool right) {
    Landscape(p, QRect(right ? 1 : 5, 6, 10, 9));
    // Drawn turning left; mirrored for the right turn.
    p.save();
    if (right) {
        p.translate(16, 0);
        p.scale(-1, 1);
    }
    const QColor arrow(20, 80, 200);
    p.setPen(QPen(arrow, 2, Qt::SolidLine, Qt::FlatCap));
    p.drawArc(QRectF(3, 1, 10, 8), 0, 150 * 16);
    p.setPen(Qt::NoPen);
    p.setBrush(arrow);
    p.drawPolygon(QPolygonF({QPointF(0, 4), QPointF(7, 4), QPointF(3.5, 8)}));
    p.restore();
}

void Magnifier(QPainter& p, bool plus) {
    p.setPen(QPen(QColor(90, 60, 30), 3, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(10, 10, 14, 14);
    p.setPen(Outline);
    p.setBrush(QColor(215, 235, 255));
    p.drawEllipse(QRect(1, 1, 10, 10));
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(Qt::black, 1));
    p.drawLine(4, 6, 8, 6);
    if (plus) p.drawLine(6, 4, 6, 8);
}

void Sheet(QPainter& p, QRect r) {
    p.setPen(Outline);
    p.setBrush(Qt::white);
    p.drawRect(r.adjusted(0, 0, -1, -1));
    p.setPen(QColor(120, 120, 150));
    for (int y = r.y() + 3; y < r.bottom() - 1; y += 2) p.drawLine(r.x() + 2, y, r.right() - 2, y);
    p.setBrush(Qt::NoBrush);
}

using TPainter = std::function<void(QPainter&)>;

const TPainter Pictures[26] = {
    // 0 opening folder
    [](QPainter& p) {
        p.setPen(Outline);
        p.setBrush(QColor(220, 170, 60));
        p.drawPolygon(
            QPolygon({QPoint(1, 3), QPoint(5, 3), QPoint(6, 4), QPoint(12, 4), QPoint(12, 13), QPoint(1, 13)}));
        p.setBrush(QColor(250, 215, 100));
        p.drawPolygon(QPolygon({QPoint(3, 7), QPoint(15, 7), QPoint(12, 13), QPoint(1, 13)}));
        p.setPen(QPen(QColor(20, 120, 20), 1));
        p.drawLine(10, 1, 13, 1);
        p.drawLine(13, 1, 13, 4);
        p.drawPoint(12, 3);
        p.drawPoint(14, 3);
    },
    // 1 floppy disk
    [](QPainter& p) {
        p.setPen(Outline);
        p.setBrush(QColor(40, 70, 160));
        p.drawPolygon(QPolygon({QPoint(1, 1), QPoint(13, 1), QPoint(14, 2), QPoint(14, 14), QPoint(1, 14)}));
        p.setBrush(Qt::white);
        p.drawRect(3, 1, 9, 6);
        p.setPen(QColor(160, 160, 200));
        p.drawLine(5, 3, 10, 3);
        p.drawLine(5, 5, 10, 5);
        p.setPen(Outline);
        p.setBrush(QColor(200, 200, 200));
        p.drawRect(4, 10, 7, 4);
        p.fillRect(5, 11, 2, 3, QColor(40, 70, 160));
    },
    // 2 two sheets
    [](QPainter& p) {
        Sheet(p, QRect(1, 1, 9, 11));
        Sheet(p, QRect(6, 4, 9, 11));
    },
    // 3 clipboard with a sheet
    [](QPainter& p) {
        p.setPen(Outline);
        p.setBrush(QColor(170, 110, 50));
        p.drawRect(1, 2, 10, 12);
        p.setBrush(QColor(200, 200, 200));
        p.drawRect(3, 1, 6, 2);
        Sheet(p, QRect(6, 6, 9, 10));
    },
    // 4 rotate -90
    [](QPainter& p) { RotateArrow(p, false); },
    // 5 rotate +90
    [](QPainter& p) { RotateArrow(p, true); },
    // 6 unused
    [](QPainter&) {},
    // 7 landscape with arrows at the corners
    [](QPainter& p) {
        Landscape(p, QRect(4, 4, 8, 8));
        const QColor arrow(20, 80, 200);
        Arrowhead(p, QPoint(0, 0), -1, -1, arrow);
        Arrowhead(p, QPoint(15, 0), 1, -1, arrow);
        Arrowhead(p, QPoint(0, 15), -1, 1, arrow);
        Arrowhead(p, QPoint(15, 15), 1, 1, arrow);
    },
    // 8 magnifier with minus
    [](QPainter& p) { Magnifier(p, false); },
    // 9 magnifier with plus
    [](QPainter& p) { Magnifier(p, true); },
    [](QPainter&) {},
    [](QPainter&) {},
    [](QPainter&) {},
    [](QPainter&) {},
    // 14 gamma curve
    [](QPainter& p) {
        p.fillRect(2, 1, 13, 13, Qt::white);
        p.setPen(Outline);
        p.drawLine(1, 1, 1, 14);
        p.drawLine(1, 14, 14, 14);
        p.setPen(QPen(QColor(200, 30, 30), 1));
        QPoint last(2, 13);
        for (int x = 2; x <= 14; ++x) {
            const double t = (x - 2) / 12.0;
            const QPoint next(x, 13 - static_cast<int>(std::lround(std::pow(t, 0.45) * 11)));
            p.drawLine(last, next);
            last = next;
        }
    },
    // 15 crop marks
    [](QPainter& p) {
        p.setPen(QPen(Outline, 2, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin));
        p.drawPolyline(QPolygon({QPoint(4, 1), QPoint(4, 12), QPoint(15, 12)}));
        p.drawPolyline(QPolygon({QPoint(1, 4), QPoint(12, 4), QPoint(12, 15)}));
        p.fillRect(5, 5, 7, 7, Sky);
    },
    // 16 bent arrow forward: the arrow back, mirrored
    [](QPainter& p) {
        const QColor arrow(20, 80, 200);
        p.setPen(QPen(arrow, 2, Qt::SolidLine, Qt::FlatCap));
        QPainterPath path(QPointF(11, 5));
        path.lineTo(7, 5);
        path.cubicTo(1, 5, 1, 13, 7, 13);
        path.lineTo(10, 13);
        p.drawPath(path);
        Arrowhead(p, QPoint(14, 5), 1, 0, arrow);
    },
    // 17 bent arrow back
    [](QPainter& p) {
        const QColor arrow(20, 80, 200);
        p.setPen(QPen(arrow, 2, Qt::SolidLine, Qt::FlatCap));
        QPainterPath path(QPointF(5, 5));
        path.lineTo(9, 5);
        path.cubicTo(15, 5, 15, 13, 9, 13);
        path.lineTo(6, 13);
        p.drawPath(path);
        Arrowhead(p, QPoint(1, 5), -1, 0, arrow);
    },
    // 18 bright landscape
    [](QPainter& p) {
        Landscape(p, QRect(1, 3, 14, 11), QColor(215, 240, 255), QColor(140, 220, 120), QColor(255, 250, 120));
    },
    // 19 dark landscape
    [](QPainter& p) {
        Landscape(p, QRect(1, 3, 14, 11), QColor(40, 50, 110), QColor(20, 70, 30), QColor(230, 230, 180));
    },
    // 20 landscape
    [](QPainter& p) { Landscape(p, QRect(1, 3, 14, 11)); },
    // 21 mirrored landscape
    [](QPainter& p) { Landscape(p, QRect(1, 3, 14, 11), Sky, Hill, Sun, true); },
    // 22 pipette
    [](QPainter& p) {
        p.setPen(QPen(Outline, 1));
        p.setBrush(QColor(210, 230, 250));
        p.drawPolygon(QPolygon({QPoint(1, 14), QPoint(2, 11), QPoint(9, 4), QPoint(11, 6), QPoint(4, 13)}));
        p.setBrush(QColor(60, 60, 60));
        p.drawPolygon(QPolygon({QPoint(8, 3), QPoint(11, 0), QPoint(15, 4), QPoint(12, 7)}));
        p.setPen(QColor(200, 30, 30));
        p.drawLine(3, 11, 5, 9);
    },
    // 23 landscape in a yellow-green tint
    [](QPainter& p) {
        Landscape(p, QRect(1, 3, 14, 11), QColor(200, 230, 120), QColor(120, 170, 30), QColor(250, 240, 60));
    },
    // 24 dotted rectangle with a pointer
    [](QPainter& p) {
        p.setPen(QPen(Outline, 1, Qt::DotLine));
        p.drawRect(1, 1, 11, 9);
        p.setPen(Qt::black);
        p.setBrush(Qt::white);
        p.drawPolygon(QPolygon({QPoint(8, 6), QPoint(8, 15), QPoint(10, 13), QPoint(12, 15), QPoint(13, 14),
                                QPoint(11, 12), QPoint(14, 12)}));
    },
    // 25 question mark in a blue circle
    [](QPainter& p) {
        p.setPen(QColor(10, 40, 140));
        p.setBrush(QColor(30, 90, 210));
        p.drawEllipse(QRect(0, 0, 15, 15));
        QFont font("DejaVu Sans");
        font.setPixelSize(13);
        font.setBold(true);
        font.setStyleStrategy(QFont::NoAntialias);
        p.setFont(font);
        p.setPen(Qt::white);
        p.drawText(QRect(0, 0, 16, 16), Qt::AlignCenter, QStringLiteral("?"));
    },
};

QImage GlyphStrip() {
    QImage strip(26 * 16, 16, QImage::Format_ARGB32);
    strip.fill(Qt::transparent);
    for (int i = 0; i < 26; ++i) {
        QImage glyph(16, 16, QImage::Format_ARGB32_Premultiplied);
        glyph.fill(Qt::transparent);
        {
            QPainter p(&glyph);
            Pictures[i](p);
        }
        glyph = Hard(glyph.convertToFormat(QImage::Format_ARGB32));
        glyph.setPixel(0, 15, 0);  // the bottom-left pixel is the list's transparent colour
        QPainter p(&strip);
        p.setCompositionMode(QPainter::CompositionMode_Source);
        p.drawImage(i * 16, 0, glyph);
    }
    return strip;
}

QImage ZoomCursorImage() {
    QImage image(32, 32, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter p(&image);
    // White halo under black lines so the cursor shows on dark and light pictures alike.
    for (const auto& [color, width] : {std::pair{QColor(Qt::white), 3}, std::pair{QColor(Qt::black), 1}}) {
        p.setPen(QPen(color, width));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(QRect(1, 1, 12, 12));
        p.drawLine(4, 7, 10, 7);
        p.drawLine(7, 4, 7, 10);
        p.setPen(QPen(color, width + 2));
        p.drawLine(13, 13, 19, 19);
    }
    p.end();
    return Hard(image);
}

QImage AppIcon(int size) {
    QImage image(256, 256, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(QColor(40, 60, 110), 8));
        p.setBrush(QColor(150, 200, 245));
        p.drawRoundedRect(QRectF(16, 24, 200, 168), 20, 20);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(250, 210, 40));
        p.drawEllipse(QPointF(165, 70), 22, 22);
        p.setBrush(QColor(60, 150, 60));
        QPainterPath hills(QPointF(20, 160));
        hills.cubicTo(60, 90, 100, 100, 130, 140);
        hills.cubicTo(160, 110, 190, 110, 212, 140);
        hills.lineTo(212, 170);
        hills.quadTo(212, 188, 196, 188);
        hills.lineTo(36, 188);
        hills.quadTo(20, 188, 20, 170);
        hills.closeSubpath();
        p.drawPath(hills);
        p.setPen(QPen(QColor(90, 60, 30), 26, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(200, 200), QPointF(238, 238));
        p.setPen(QPen(QColor(30, 30, 30), 12));
        p.setBrush(QColor(255, 255, 255, 110));
        p.drawEllipse(QPointF(165, 165), 48, 48);
    }
    return image.scaled(size, size, Qt::KeepAspectRatio, Qt::SmoothTransformation)
        .convertToFormat(QImage::Format_ARGB32);
}

}  // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    const QDir out(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("."));
    const bool ok = GlyphStrip().save(out.filePath("glyphs.png")) && ZoomCursorImage().save(out.filePath("ZOOM.png")) &&
                    AppIcon(48).save(out.filePath("pixamo-48.png")) &&
                    AppIcon(256).save(out.filePath("pixamo-256.png"));
    return ok ? 0 : 1;
}
