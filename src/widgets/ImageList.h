// A list of equally sized glyphs, drawn by index. Toolbar buttons, menus and the main window
// share it; a second list of grayed copies serves disabled controls.
#pragma once

#include <QIcon>
#include <QImage>
#include <QObject>
#include <QRgb>

#include <vector>

class QPainter;

class TImageList : public QObject {
    Q_OBJECT
public:
    explicit TImageList(int width = 16, int height = 16, QObject* parent = nullptr);

    int Width() const { return width_; }
    int Height() const { return height_; }
    QSize Size() const { return {width_, height_}; }
    // Changing the size empties the list.
    void SetSize(int width, int height);
    int Count() const { return static_cast<int>(images_.size()); }
    bool HasImage(int index) const { return index >= 0 && index < Count(); }
    void Clear();

    // Appends a glyph; a picture of another size is cut or padded (transparent) to the list's
    // size. Returns the new index.
    int Add(const QImage& image);
    // Same, with every pixel of the transparent colour made transparent.
    int AddMasked(const QImage& image, QRgb transparentColor);
    // The glyph as 32-bit ARGB; a null image for an index outside the list.
    QImage Image(int index) const;

    // Enabled, the glyph is drawn as it is. Disabled, it is drawn over a bitmap of the list's
    // size; pixels of that bitmap's bottom-left colour take the painter's brush colour (stay
    // unpainted when the painter has no brush) and all others become their light grey.
    void Draw(QPainter& painter, int x, int y, int index, bool enabled = true) const;
    // An icon for menus and actions: the glyph, and the glyph of the disabled list for the
    // disabled look when one is given.
    QIcon Icon(int index, const TImageList* disabled = nullptr) const;

signals:
    void Changed();

private:
    int width_;
    int height_;
    std::vector<QImage> images_;
};
