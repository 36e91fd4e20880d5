// The program's own pictures: the toolbar and menu glyphs, the zoom cursor and the
// application icon.
#pragma once

#include <QCursor>
#include <QIcon>

#include <memory>

class QObject;
class TImageList;

// Indices of the 16 × 16 glyph list. 6 and 10 to 13 hold empty glyphs.
enum TGlyphIndex : int {
    giOpen = 0,         // opening folder
    giSave = 1,         // floppy disk
    giCopy = 2,         // two sheets
    giPaste = 3,        // clipboard with a sheet
    giRotateLeft = 4,   // landscape with a curved arrow to the left
    giRotateRight = 5,  // the same to the right
    giScale = 7,        // landscape with arrows at the corners
    giZoomOut = 8,      // magnifier with minus
    giZoomIn = 9,       // magnifier with plus; also the zoom tool
    giGamma = 14,       // curve
    giCrop = 15,        // crop marks
    giRedo = 16,        // bent arrow forward
    giUndo = 17,        // bent arrow back
    giEnlighten = 18,   // bright landscape; also the colour-effects button
    giEndarken = 19,    // dark landscape
    giFlip = 20,        // landscape
    giFlop = 21,        // mirrored landscape
    giColorPick = 22,   // pipette
    giMix = 23,         // landscape in a yellow-green tint
    giSelect = 24,      // dotted rectangle with a pointer
    giAbout = 25,       // question mark in a blue circle
};
constexpr int GlyphCount = 26;
constexpr int GlyphSize = 16;

// The 26 glyphs, in index order.
std::unique_ptr<TImageList> CreateGlyphList(QObject* parent = nullptr);
// The 32 × 32 magnifier of the zoom tool, hot spot at (4, 4).
QCursor ZoomCursor();
// 48 × 48 and 256 × 256.
QIcon ApplicationIcon();
