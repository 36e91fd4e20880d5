#include "widgets/Glyphs.h"

#include "widgets/ImageList.h"

#include <QImage>
#include <QPixmap>

// The pictures live in a resource of this static library; registering it here keeps the
// linker from dropping it.
static void InitWidgetResources() { Q_INIT_RESOURCE(pixamo_widgets); }

std::unique_ptr<TImageList> CreateGlyphList(QObject* parent) {
    InitWidgetResources();
    auto list = std::make_unique<TImageList>(GlyphSize, GlyphSize, parent);
    const QImage strip(QStringLiteral(":/pixamo/glyphs.png"));
    for (int i = 0; i < GlyphCount; ++i) list->Add(strip.copy(i * GlyphSize, 0, GlyphSize, GlyphSize));
    return list;
}

QCursor ZoomCursor() {
    InitWidgetResources();
    return QCursor(QPixmap(QStringLiteral(":/pixamo/ZOOM.png")), 4, 4);
}

QIcon ApplicationIcon() {
    InitWidgetResources();
    QIcon icon;
    icon.addFile(QStringLiteral(":/pixamo/pixamo-48.png"), QSize(48, 48));
    icon.addFile(QStringLiteral(":/pixamo/pixamo-256.png"), QSize(256, 256));
    return icon;
}
