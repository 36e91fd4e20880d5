// EMF records: 32-bit little-endian fields, objects at the table index each record names, the
// world transform, paths, and bitmaps with their info header and bits at offsets inside the
// record. EMF+ records travel in comments and are skipped; their GDI twins are drawn.
#include "Players.h"
#include "RecordReader.h"

#include "platform/Dib.h"

#include <algorithm>
#include <array>
#include <optional>

namespace {

enum : std::uint32_t {
    EMR_HEADER = 1,
    EMR_POLYBEZIER = 2,
    EMR_POLYGON = 3,
    EMR_POLYLINE = 4,
    EMR_POLYBEZIERTO = 5,
    EMR_POLYLINETO = 6,
    EMR_POLYPOLYLINE = 7,
    EMR_POLYPOLYGON = 8,
    EMR_SETWINDOWEXTEX = 9,
    EMR_SETWINDOWORGEX = 10,
    EMR_SETVIEWPORTEXTEX = 11,
    EMR_SETVIEWPORTORGEX = 12,
    EMR_SETBRUSHORGEX = 13,
    EMR_EOF = 14,
    EMR_SETPIXELV = 15,
    EMR_SETMAPPERFLAGS = 16,
    EMR_SETMAPMODE = 17,
    EMR_SETBKMODE = 18,
    EMR_SETPOLYFILLMODE = 19,
    EMR_SETROP2 = 20,
    EMR_SETSTRETCHBLTMODE = 21,
    EMR_SETTEXTALIGN = 22,
    EMR_SETCOLORADJUSTMENT = 23,
    EMR_SETTEXTCOLOR = 24,
    EMR_SETBKCOLOR = 25,
    EMR_OFFSETCLIPRGN = 26,
    EMR_MOVETOEX = 27,
    EMR_SETMETARGN = 28,
    EMR_EXCLUDECLIPRECT = 29,
    EMR_INTERSECTCLIPRECT = 30,
    EMR_SCALEVIEWPORTEXTEX = 31,
    EMR_SCALEWINDOWEXTEX = 32,
    EMR_SAVEDC = 33,
    EMR_RESTOREDC = 34,
    EMR_SETWORLDTRANSFORM = 35,
    EMR_MODIFYWORLDTRANSFORM = 36,
    EMR_SELECTOBJECT = 37,
    EMR_CREATEPEN = 38,
    EMR_CREATEBRUSHINDIRECT = 39,
    EMR_DELETEOBJECT = 40,
    EMR_ANGLEARC = 41,
    EMR_ELLIPSE = 42,
    EMR_RECTANGLE = 43,
    EMR_ROUNDRECT = 44,
    EMR_ARC = 45,
    EMR_CHORD = 46,
    EMR_PIE = 47,
    EMR_SELECTPALETTE = 48,
    EMR_CREATEPALETTE = 49,
    EMR_SETPALETTEENTRIES = 50,
    EMR_RESIZEPALETTE = 51,
    EMR_REALIZEPALETTE = 52,
    EMR_EXTFLOODFILL = 53,
    EMR_LINETO = 54,
    EMR_ARCTO = 55,
    EMR_POLYDRAW = 56,
    EMR_SETARCDIRECTION = 57,
    EMR_SETMITERLIMIT = 58,
    EMR_BEGINPATH = 59,
    EMR_ENDPATH = 60,
    EMR_CLOSEFIGURE = 61,
    EMR_FILLPATH = 62,
    EMR_STROKEANDFILLPATH = 63,
    EMR_STROKEPATH = 64,
    EMR_FLATTENPATH = 65,
    EMR_WIDENPATH = 66,
    EMR_SELECTCLIPPATH = 67,
    EMR_ABORTPATH = 68,
    EMR_GDICOMMENT = 70,
    EMR_FILLRGN = 71,
    EMR_FRAMERGN = 72,
    EMR_INVERTRGN = 73,
    EMR_PAINTRGN = 74,
    EMR_EXTSELECTCLIPRGN = 75,
    EMR_BITBLT = 76,
    EMR_STRETCHBLT = 77,
    EMR_MASKBLT = 78,
    EMR_PLGBLT = 79,
    EMR_SETDIBITSTODEVICE = 80,
    EMR_STRETCHDIBITS = 81,
    EMR_EXTCREATEFONTINDIRECTW = 82,
    EMR_EXTTEXTOUTA = 83,
    EMR_EXTTEXTOUTW = 84,
    EMR_POLYBEZIER16 = 85,
    EMR_POLYGON16 = 86,
    EMR_POLYLINE16 = 87,
    EMR_POLYBEZIERTO16 = 88,
    EMR_POLYLINETO16 = 89,
    EMR_POLYPOLYLINE16 = 90,
    EMR_POLYPOLYGON16 = 91,
    EMR_POLYDRAW16 = 92,
    EMR_CREATEMONOBRUSH = 93,
    EMR_CREATEDIBPATTERNBRUSHPT = 94,
    EMR_EXTCREATEPEN = 95,
    EMR_POLYTEXTOUTA = 96,
    EMR_POLYTEXTOUTW = 97,
    EMR_SETICMMODE = 98,
    EMR_CREATECOLORSPACE = 99,
    EMR_SETCOLORSPACE = 100,
    EMR_DELETECOLORSPACE = 101,
    EMR_GLSRECORD = 102,
    EMR_GLSBOUNDEDRECORD = 103,
    EMR_PIXELFORMAT = 104,
    EMR_SMALLTEXTOUT = 108,
    EMR_FORCEUFIMAPPING = 109,
    EMR_NAMEDESCAPE = 110,
    EMR_COLORCORRECTPALETTE = 111,
    EMR_SETICMPROFILEA = 112,
    EMR_SETICMPROFILEW = 113,
    EMR_ALPHABLEND = 114,
    EMR_SETLAYOUT = 115,
    EMR_TRANSPARENTBLT = 116,
    EMR_GRADIENTFILL = 118,
    EMR_SETLINKEDUFIS = 119,
    EMR_SETTEXTJUSTIFICATION = 120,
    EMR_COLORMATCHTOTARGETW = 121,
    EMR_CREATECOLORSPACEW = 122,
};

// Handles a file may use; the table grows to the largest index seen, up to this.
constexpr std::size_t MaxHandles = 65536;
constexpr std::uint32_t StockObject = 0x80000000u;

class TEmfPlayer {
public:
    TEmfPlayer(TMetafileCanvas& canvas, TPlayStatistics& statistics, int handles)
        : canvas_(canvas), statistics_(statistics), objects_(static_cast<std::size_t>(std::max(handles, 1))) {}

    // False at the end record.
    bool Play(const TRecord& record);

private:
    void SetObject(std::uint32_t index, TGdiObject object);
    const TGdiObject* Object(std::uint32_t index) const {
        return index < objects_.size() && objects_[index] ? &*objects_[index] : nullptr;
    }
    // count points of 32-bit (or 16-bit) coordinates from offset.
    std::vector<TPointD> Points(const TRecord& r, std::uint64_t offset, std::uint64_t count, bool small) const;
    std::vector<std::vector<TPointD>> PolyPoints(const TRecord& r, bool small) const;
    TRegion Region(const TRecord& r, std::uint64_t offset, std::uint64_t size, bool device) const;
    std::shared_ptr<TSurface> Dib(const TRecord& r, std::uint64_t offBmi, std::uint64_t cbBmi, std::uint64_t offBits,
                                  std::uint64_t cbBits, std::uint32_t usage, bool keepAlpha,
                                  bool* bottomUp = nullptr) const;
    void CreatePen(const TRecord& r);
    void CreateFont(const TRecord& r);
    void CreatePatternBrush(const TRecord& r, bool monochrome);
    void TextOut(const TRecord& r, std::uint64_t emrText, std::uint32_t graphicsMode, bool wide);
    void SmallTextOut(const TRecord& r);
    void Blit(const TRecord& r, std::uint32_t type);
    void GradientFill(const TRecord& r);

    TMetafileCanvas& canvas_;
    TPlayStatistics& statistics_;
    std::vector<std::optional<TGdiObject>> objects_;
};

void TEmfPlayer::SetObject(std::uint32_t index, TGdiObject object) {
    // Index 0 stands for the metafile itself.
    if (index == 0 || index >= MaxHandles) throw EMalformedRecord();
    if (index >= objects_.size()) objects_.resize(index + 1);
    objects_[index] = std::move(object);
}

std::vector<TPointD> TEmfPlayer::Points(const TRecord& r, std::uint64_t offset, std::uint64_t count, bool small) const {
    std::uint64_t step = small ? 4 : 8;
    r.Require(offset, count * step);
    std::vector<TPointD> points(count);
    for (std::uint64_t i = 0; i < count; ++i) {
        std::uint64_t at = offset + i * step;
        points[i] = small ? TPointD{double(r.S16(at)), double(r.S16(at + 2))}
                          : TPointD{double(r.S32(at)), double(r.S32(at + 4))};
    }
    return points;
}

std::vector<std::vector<TPointD>> TEmfPlayer::PolyPoints(const TRecord& r, bool small) const {
    // bounds, number of polygons, number of points, the counts, the points.
    std::uint32_t polygons = r.U32(24);
    std::uint32_t total = r.U32(28);
    r.Require(32, 4 * std::uint64_t{polygons});
    std::uint64_t pointsAt = 32 + 4 * std::uint64_t{polygons};
    r.Require(pointsAt, std::uint64_t{total} * (small ? 4 : 8));
    std::vector<std::vector<TPointD>> all;
    std::uint64_t used = 0;
    for (std::uint32_t i = 0; i < polygons; ++i) {
        std::uint32_t count = r.U32(32 + 4 * std::uint64_t{i});
        if (count > total - used) throw EMalformedRecord();
        all.push_back(Points(r, pointsAt + used * (small ? 4 : 8), count, small));
        used += count;
    }
    return all;
}

TRegion TEmfPlayer::Region(const TRecord& r, std::uint64_t offset, std::uint64_t size, bool device) const {
    // RGNDATA: header size, type, rectangle count, buffer size, bounds, then the rectangles.
    r.Require(offset, size);
    std::uint32_t headerSize = r.U32(offset);
    std::uint32_t count = r.U32(offset + 8);
    if (headerSize < 32 || headerSize > size) throw EMalformedRecord();
    if (std::uint64_t{count} * 16 > size - headerSize) throw EMalformedRecord();
    std::vector<TRegionRect> rects(count);
    for (std::uint32_t i = 0; i < count; ++i) {
        std::uint64_t at = offset + headerSize + 16 * std::uint64_t{i};
        rects[i] = {r.S32(at), r.S32(at + 4), r.S32(at + 8), r.S32(at + 12)};
    }
    return device ? canvas_.RegionFromDevice(rects) : canvas_.RegionFromLogical(rects);
}

std::shared_ptr<TSurface> TEmfPlayer::Dib(const TRecord& r, std::uint64_t offBmi, std::uint64_t cbBmi,
                                          std::uint64_t offBits, std::uint64_t cbBits, std::uint32_t usage,
                                          bool keepAlpha, bool* bottomUp) const {
    if (cbBmi == 0) return nullptr;
    const std::uint8_t* info = r.Bytes(offBmi, cbBmi);
    const std::uint8_t* bits = r.Bytes(offBits, cbBits);
    if (bottomUp) *bottomUp = cbBmi >= 12 && (ReadLittleEndian32(info) == 12 || (cbBmi >= 12 && r.S32(offBmi + 8) > 0));
    return SurfaceFromDib(info, cbBmi, bits, cbBits, usage == 1, canvas_.State().Palette.get(), keepAlpha);
}

void TEmfPlayer::CreatePen(const TRecord& r) {
    std::uint32_t index = r.U32(8);
    auto pen = std::make_shared<TPen>();
    pen->Style = r.U32(12);
    pen->Width = r.S32(16);
    pen->Color = canvas_.ResolveColor(r.U32(24));
    TGdiObject object;
    object.Pen = std::move(pen);
    SetObject(index, std::move(object));
}

void TEmfPlayer::CreateFont(const TRecord& r) {
    std::uint32_t index = r.U32(8);
    auto font = std::make_shared<TFont>();
    font->Height = r.S32(12);
    font->Width = r.S32(16);
    font->Escapement = r.S32(20);
    font->Weight = r.S32(28);
    font->Italic = r.U8(32) != 0;
    font->Underline = r.U8(33) != 0;
    font->StrikeOut = r.U8(34) != 0;
    font->CharSet = r.U8(35);
    std::u32string face;
    for (std::uint64_t i = 0; i < 32 && r.Has(40 + 2 * i, 2); ++i) {
        char16_t c = r.U16(40 + 2 * i);
        if (c == 0) break;
        face += char32_t{c};
    }
    font->Face = Utf8Of(face);
    TGdiObject object;
    object.Kind = TGdiObject::TKind::Font;
    object.Font = std::move(font);
    SetObject(index, std::move(object));
}

void TEmfPlayer::CreatePatternBrush(const TRecord& r, bool monochrome) {
    std::uint32_t index = r.U32(8);
    auto brush = std::make_shared<TBrush>();
    brush->Style = BS_DIBPATTERNPT;
    brush->Monochrome = monochrome;
    try {
        // A monochrome brush draws its dark pixels in the text colour, its light ones in the
        // background colour.
        brush->Pattern = Dib(r, r.U32(16), r.U32(20), r.U32(24), r.U32(28), r.U32(12), false);
    } catch (const Exception&) {
        ++statistics_.Malformed;
        brush->Style = BS_SOLID;
        brush->Color = 0;
    }
    TGdiObject object;
    object.Kind = TGdiObject::TKind::Brush;
    object.Brush = std::move(brush);
    SetObject(index, std::move(object));
}

void TEmfPlayer::TextOut(const TRecord& r, std::uint64_t at, std::uint32_t graphicsMode, bool wide) {
    // EMRTEXT: reference point, character count, string offset, options, rectangle, advances.
    TMetafileCanvas::TTextOut text;
    text.Reference = {double(r.S32(at)), double(r.S32(at + 4))};
    std::uint32_t count = r.U32(at + 8);
    std::uint32_t offString = r.U32(at + 12);
    text.Options = r.U32(at + 16);
    text.RectLeft = r.S32(at + 20);
    text.RectTop = r.S32(at + 24);
    text.RectRight = r.S32(at + 28);
    text.RectBottom = r.S32(at + 32);
    text.HasRect = (text.Options & (ETO_OPAQUE | ETO_CLIPPED)) != 0;
    std::uint32_t offDx = r.U32(at + 36);
    if (wide) {
        const std::uint8_t* p = r.Bytes(offString, 2 * std::uint64_t{count});
        for (std::uint32_t i = 0; i < count; ++i) {
            char32_t c = ReadLittleEndian16(p + 2 * i);
            // Surrogate pairs make one character.
            if (c >= 0xD800 && c < 0xDC00 && i + 1 < count) {
                char32_t low = ReadLittleEndian16(p + 2 * (i + 1));
                if (low >= 0xDC00 && low < 0xE000) {
                    c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
                    ++i;
                }
            }
            text.Text += c;
        }
    } else {
        text.Text = DecodeAnsi(r.Bytes(offString, count), count, canvas_.State().Font->CharSet);
    }
    std::uint64_t dxCount = std::uint64_t{count} * ((text.Options & ETO_PDY) ? 2 : 1);
    if (offDx != 0 && r.Has(offDx, 4 * dxCount)) {
        // Advances belong to the UTF-16 units; a pair's second advance is dropped with its unit.
        for (std::uint64_t i = 0; i < dxCount; ++i) text.Dx.push_back(r.S32(offDx + 4 * i));
        if (text.Text.size() < count) text.Dx.clear();
    }
    if (text.Options & ETO_GLYPH_INDEX) {
        // Glyph numbers of the writer's font; another font's glyphs would be noise. The opaque
        // rectangle still shows.
        text.Text.clear();
        text.Dx.clear();
    }
    TDcState& dc = canvas_.State();
    bool advanced = dc.AdvancedGraphics;
    dc.AdvancedGraphics = graphicsMode == 2;
    canvas_.TextOut(text);
    canvas_.State().AdvancedGraphics = advanced;
}

void TEmfPlayer::SmallTextOut(const TRecord& r) {
    TMetafileCanvas::TTextOut text;
    text.Reference = {double(r.S32(8)), double(r.S32(12))};
    std::uint32_t count = r.U32(16);
    text.Options = r.U32(20);
    std::uint32_t graphicsMode = r.U32(24);
    std::uint64_t at = 36;
    constexpr std::uint32_t ETO_NO_RECT = 0x100, ETO_SMALL_CHARS = 0x200;
    if (!(text.Options & ETO_NO_RECT)) {
        text.RectLeft = r.S32(at);
        text.RectTop = r.S32(at + 4);
        text.RectRight = r.S32(at + 8);
        text.RectBottom = r.S32(at + 12);
        text.HasRect = (text.Options & (ETO_OPAQUE | ETO_CLIPPED)) != 0;
        at += 16;
    }
    if (text.Options & ETO_SMALL_CHARS) {
        text.Text = DecodeAnsi(r.Bytes(at, count), count, canvas_.State().Font->CharSet);
    } else {
        const std::uint8_t* p = r.Bytes(at, 2 * std::uint64_t{count});
        for (std::uint32_t i = 0; i < count; ++i) text.Text += char32_t{ReadLittleEndian16(p + 2 * i)};
    }
    if (text.Options & ETO_GLYPH_INDEX) text.Text.clear();
    TDcState& dc = canvas_.State();
    bool advanced = dc.AdvancedGraphics;
    dc.AdvancedGraphics = graphicsMode == 2;
    canvas_.TextOut(text);
    canvas_.State().AdvancedGraphics = advanced;
}

void TEmfPlayer::Blit(const TRecord& r, std::uint32_t type) {
    double x = r.S32(24), y = r.S32(28);
    switch (type) {
        case EMR_BITBLT:
        case EMR_STRETCHBLT:
        case EMR_ALPHABLEND:
        case EMR_TRANSPARENTBLT: {
            double w = r.S32(32), h = r.S32(36);
            std::uint32_t rop = r.U32(40);
            double sx = r.S32(44), sy = r.S32(48);
            std::uint32_t usage = r.U32(80);
            std::uint32_t offBmi = r.U32(84), cbBmi = r.U32(88), offBits = r.U32(92), cbBits = r.U32(96);
            double sw = w, sh = h;
            if (type != EMR_BITBLT) {
                sw = r.S32(100);
                sh = r.S32(104);
            }
            // The source is the bitmap of the source device at its own scale (xformSrc).
            TMatrix source{r.F32(52), r.F32(56), r.F32(60), r.F32(64), r.F32(68), r.F32(72)};
            if (source.Finite() && source.Determinant() != 0) {
                TPointD origin = source.Apply(sx, sy);
                TPointD size = source.ApplyLinear(sw, sh);
                sx = origin.X, sy = origin.Y, sw = size.X, sh = size.Y;
            }
            if (type == EMR_ALPHABLEND) {
                std::shared_ptr<TSurface> surface =
                    Dib(r, offBmi, cbBmi, offBits, cbBits, usage, (rop >> 24) & 1 /* AC_SRC_ALPHA */);
                if (surface) canvas_.AlphaBlend(*surface, x, y, w, h, sx, sy, sw, sh, (rop >> 16) & 0xFF);
                return;
            }
            std::shared_ptr<TSurface> surface = Dib(r, offBmi, cbBmi, offBits, cbBits, usage, false);
            if (type == EMR_TRANSPARENTBLT) {
                if (!surface) return;
                // The colour named in place of the raster operation lets the canvas through.
                auto keyed = std::make_shared<TSurface>(surface->Width(), surface->Height(), true);
                if (!keyed->Handle()) return;
                std::uint32_t key =
                    (std::uint32_t{RedOf(rop)} << 16) | (std::uint32_t{GreenOf(rop)} << 8) | BlueOf(rop);
                for (int row = 0; row < surface->Height(); ++row) {
                    const std::uint32_t* in = surface->Row(row);
                    std::uint32_t* out = keyed->Row(row);
                    for (int col = 0; col < surface->Width(); ++col)
                        out[col] = (in[col] & 0xFFFFFF) == key ? 0 : (in[col] | 0xFF000000u);
                }
                canvas_.AlphaBlend(*keyed, x, y, w, h, sx, sy, sw, sh, 255);
                return;
            }
            canvas_.StretchBlt(surface.get(), x, y, w, h, sx, sy, sw, sh, rop);
            return;
        }
        case EMR_STRETCHDIBITS:
        case EMR_SETDIBITSTODEVICE: {
            double sx = r.S32(32), sy = r.S32(36), sw = r.S32(40), sh = r.S32(44);
            std::uint32_t offBmi = r.U32(48), cbBmi = r.U32(52), offBits = r.U32(56), cbBits = r.U32(60);
            std::uint32_t usage = r.U32(64);
            std::uint32_t rop = 0x00CC0020;
            double w = sw, h = sh;
            if (type == EMR_STRETCHDIBITS) {
                rop = r.U32(68);
                w = r.S32(72);
                h = r.S32(76);
            }
            bool bottomUp = false;
            std::shared_ptr<TSurface> surface = Dib(r, offBmi, cbBmi, offBits, cbBits, usage, false, &bottomUp);
            if (!surface) return;
            if (type == EMR_SETDIBITSTODEVICE) {
                // The bits hold cScans rows from iStartScan: those are the rows we have.
                std::uint32_t startScan = r.U32(68);
                if (bottomUp) sy = sy - startScan;
                sy = std::clamp(sy, 0.0, double(surface->Height()));
            }
            // StretchDIBits counts source rows from the bottom of a bottom-up bitmap.
            if (bottomUp) sy = surface->Height() - sy - sh;
            canvas_.StretchBlt(surface.get(), x, y, w, h, sx, sy, sw, sh, rop);
            return;
        }
        default:
            return;
    }
}

void TEmfPlayer::GradientFill(const TRecord& r) {
    std::uint32_t vertices = r.U32(24), shapes = r.U32(28), mode = r.U32(32);
    r.Require(36, 16 * std::uint64_t{vertices});
    auto vertex = [&](std::uint32_t i) {
        if (i >= vertices) throw EMalformedRecord();
        std::uint64_t at = 36 + 16 * std::uint64_t{i};
        TMetafileCanvas::TVertex v;
        v.Position = {double(r.S32(at)), double(r.S32(at + 4))};
        v.Color = RGBColor(r.U16(at + 8) >> 8, r.U16(at + 10) >> 8, r.U16(at + 12) >> 8);
        return v;
    };
    std::uint64_t at = 36 + 16 * std::uint64_t{vertices};
    if (mode == 2) {  // GRADIENT_FILL_TRIANGLE
        r.Require(at, 12 * std::uint64_t{shapes});
        for (std::uint32_t i = 0; i < shapes; ++i) {
            std::uint64_t s = at + 12 * std::uint64_t{i};
            canvas_.GradientTriangle(vertex(r.U32(s)), vertex(r.U32(s + 4)), vertex(r.U32(s + 8)));
        }
    } else if (mode <= 1) {  // GRADIENT_FILL_RECT_H, _V
        r.Require(at, 8 * std::uint64_t{shapes});
        for (std::uint32_t i = 0; i < shapes; ++i) {
            std::uint64_t s = at + 8 * std::uint64_t{i};
            canvas_.GradientRect(vertex(r.U32(s)), vertex(r.U32(s + 4)), mode == 1);
        }
    }
}

bool TEmfPlayer::Play(const TRecord& r) {
    std::uint32_t type = r.U32(0);
    TDcState& dc = canvas_.State();
    auto rect = [&r](std::uint64_t at) {
        return std::array<double, 4>{double(r.S32(at)), double(r.S32(at + 4)), double(r.S32(at + 8)),
                                     double(r.S32(at + 12))};
    };
    switch (type) {
        case EMR_EOF:
            return false;
        case EMR_HEADER:
            break;
        case EMR_POLYBEZIER:
        case EMR_POLYGON:
        case EMR_POLYLINE:
        case EMR_POLYBEZIERTO:
        case EMR_POLYLINETO:
        case EMR_POLYBEZIER16:
        case EMR_POLYGON16:
        case EMR_POLYLINE16:
        case EMR_POLYBEZIERTO16:
        case EMR_POLYLINETO16: {
            bool small = type >= EMR_POLYBEZIER16;
            std::uint32_t kind = small ? type - EMR_POLYBEZIER16 + EMR_POLYBEZIER : type;
            std::vector<TPointD> points = Points(r, 28, r.U32(24), small);
            switch (kind) {
                case EMR_POLYBEZIER:
                    canvas_.PolyBezier(points);
                    break;
                case EMR_POLYGON:
                    canvas_.PolyPolygon({std::move(points)});
                    break;
                case EMR_POLYLINE:
                    canvas_.Polyline(points);
                    break;
                case EMR_POLYBEZIERTO:
                    canvas_.PolyBezierTo(points);
                    break;
                default:
                    canvas_.PolylineTo(points);
                    break;
            }
            break;
        }
        case EMR_POLYPOLYLINE:
        case EMR_POLYPOLYLINE16:
            canvas_.PolyPolyline(PolyPoints(r, type == EMR_POLYPOLYLINE16));
            break;
        case EMR_POLYPOLYGON:
        case EMR_POLYPOLYGON16:
            canvas_.PolyPolygon(PolyPoints(r, type == EMR_POLYPOLYGON16));
            break;
        case EMR_POLYDRAW:
        case EMR_POLYDRAW16: {
            bool small = type == EMR_POLYDRAW16;
            std::uint32_t count = r.U32(24);
            std::vector<TPointD> points = Points(r, 28, count, small);
            const std::uint8_t* types = r.Bytes(28 + std::uint64_t{count} * (small ? 4 : 8), count);
            canvas_.PolyDraw(points, std::vector<std::uint8_t>(types, types + count));
            break;
        }
        case EMR_SETWINDOWEXTEX:
            canvas_.SetWindowExt(r.S32(8), r.S32(12));
            break;
        case EMR_SETWINDOWORGEX:
            canvas_.SetWindowOrg(r.S32(8), r.S32(12));
            break;
        case EMR_SETVIEWPORTEXTEX:
            canvas_.SetViewportExt(r.S32(8), r.S32(12));
            break;
        case EMR_SETVIEWPORTORGEX:
            canvas_.SetViewportOrg(r.S32(8), r.S32(12));
            break;
        case EMR_SCALEVIEWPORTEXTEX:
            canvas_.ScaleViewportExt(r.S32(8), r.S32(12), r.S32(16), r.S32(20));
            break;
        case EMR_SCALEWINDOWEXTEX:
            canvas_.ScaleWindowExt(r.S32(8), r.S32(12), r.S32(16), r.S32(20));
            break;
        case EMR_SETPIXELV:
            canvas_.SetPixel(r.S32(8), r.S32(12), canvas_.ResolveColor(r.U32(16)));
            break;
        case EMR_SETMAPMODE:
            canvas_.SetMapMode(static_cast<int>(r.U32(8)));
            break;
        case EMR_SETBKMODE:
            dc.Opaque = r.U32(8) == 2;
            break;
        case EMR_SETPOLYFILLMODE:
            dc.Winding = r.U32(8) == 2;
            break;
        case EMR_SETROP2:
            dc.Rop2 = static_cast<int>(r.U32(8) & 0xFF);
            break;
        case EMR_SETSTRETCHBLTMODE:
            dc.StretchMode = static_cast<int>(r.U32(8) & 0xFF);
            break;
        case EMR_SETTEXTALIGN:
            dc.TextAlign = r.U32(8);
            break;
        case EMR_SETTEXTCOLOR:
            dc.TextColor = canvas_.ResolveColor(r.U32(8));
            break;
        case EMR_SETBKCOLOR:
            dc.BkColor = canvas_.ResolveColor(r.U32(8));
            break;
        case EMR_OFFSETCLIPRGN:
            canvas_.OffsetClip(r.S32(8), r.S32(12));
            break;
        case EMR_MOVETOEX:
            canvas_.MoveTo(r.S32(8), r.S32(12));
            break;
        case EMR_LINETO:
            canvas_.LineTo(r.S32(8), r.S32(12));
            break;
        case EMR_EXCLUDECLIPRECT:
        case EMR_INTERSECTCLIPRECT: {
            auto [l, t, rr, b] = rect(8);
            if (type == EMR_EXCLUDECLIPRECT) {
                canvas_.ExcludeClipRect(l, t, rr, b);
            } else {
                canvas_.IntersectClipRect(l, t, rr, b);
            }
            break;
        }
        case EMR_SAVEDC:
            canvas_.SaveDC();
            break;
        case EMR_RESTOREDC:
            canvas_.RestoreDC(r.S32(8));
            break;
        case EMR_SETWORLDTRANSFORM:
        case EMR_MODIFYWORLDTRANSFORM: {
            TMatrix m{r.F32(8), r.F32(12), r.F32(16), r.F32(20), r.F32(24), r.F32(28)};
            if (type == EMR_SETWORLDTRANSFORM) {
                canvas_.SetWorldTransform(m);
            } else {
                canvas_.ModifyWorldTransform(m, static_cast<int>(r.U32(32)));
            }
            break;
        }
        case EMR_SELECTOBJECT:
        case EMR_SELECTPALETTE: {
            std::uint32_t index = r.U32(8);
            if (index & StockObject) {
                canvas_.SelectStockObject(index & ~StockObject);
            } else if (const TGdiObject* object = Object(index)) {
                if (type == EMR_SELECTOBJECT || object->Kind == TGdiObject::TKind::Palette)
                    canvas_.SelectObject(*object);
            }
            break;
        }
        case EMR_DELETEOBJECT: {
            std::uint32_t index = r.U32(8);
            if (index < objects_.size()) objects_[index].reset();
            break;
        }
        case EMR_CREATEPEN:
            CreatePen(r);
            break;
        case EMR_EXTCREATEPEN: {
            // ih, the pattern bitmap's offsets and sizes, then LOGPEN_EX.
            std::uint32_t index = r.U32(8);
            auto pen = std::make_shared<TPen>();
            pen->Extended = true;
            pen->Style = r.U32(28);
            pen->Width = r.U32(32);
            std::uint32_t brushStyle = r.U32(36);
            pen->Color = brushStyle == BS_NULL ? 0 : canvas_.ResolveColor(r.U32(40));
            if (brushStyle == BS_NULL) pen->Style = (pen->Style & ~PS_STYLE_MASK) | PS_NULL;
            std::uint32_t entries = r.U32(48);
            if ((pen->Style & PS_STYLE_MASK) == PS_USERSTYLE) {
                r.Require(52, 4 * std::uint64_t{entries});
                for (std::uint32_t i = 0; i < entries && i < 64; ++i) pen->Dashes.push_back(r.U32(52 + 4 * i));
            }
            TGdiObject object;
            object.Pen = std::move(pen);
            SetObject(index, std::move(object));
            break;
        }
        case EMR_CREATEBRUSHINDIRECT: {
            std::uint32_t index = r.U32(8);
            auto brush = std::make_shared<TBrush>();
            brush->Style = r.U32(12);
            brush->Color = canvas_.ResolveColor(r.U32(16));
            brush->Hatch = r.U32(20);
            if (brush->Style != BS_SOLID && brush->Style != BS_NULL && brush->Style != BS_HATCHED)
                brush->Style = BS_SOLID;
            TGdiObject object;
            object.Kind = TGdiObject::TKind::Brush;
            object.Brush = std::move(brush);
            SetObject(index, std::move(object));
            break;
        }
        case EMR_CREATEMONOBRUSH:
        case EMR_CREATEDIBPATTERNBRUSHPT:
            CreatePatternBrush(r, type == EMR_CREATEMONOBRUSH);
            break;
        case EMR_EXTCREATEFONTINDIRECTW:
            CreateFont(r);
            break;
        case EMR_CREATEPALETTE: {
            std::uint32_t index = r.U32(8);
            std::uint16_t count = r.U16(14);
            r.Require(16, 4 * std::uint64_t{count});
            auto palette = std::make_shared<TLogPalette>();
            for (std::uint16_t i = 0; i < count; ++i)
                palette->Entries.push_back(RGBColor(r.U8(16 + 4 * i), r.U8(17 + 4 * i), r.U8(18 + 4 * i)));
            TGdiObject object;
            object.Kind = TGdiObject::TKind::Palette;
            object.Palette = std::move(palette);
            SetObject(index, std::move(object));
            break;
        }
        case EMR_SETPALETTEENTRIES: {
            std::uint32_t index = r.U32(8), start = r.U32(12), count = r.U32(16);
            r.Require(20, 4 * std::uint64_t{count});
            if (index >= objects_.size() || !objects_[index] || !objects_[index]->Palette) break;
            auto palette = std::make_shared<TLogPalette>(*objects_[index]->Palette);
            for (std::uint32_t i = 0; i < count && std::uint64_t{start} + i < palette->Entries.size(); ++i)
                palette->Entries[start + i] = RGBColor(r.U8(20 + 4 * i), r.U8(21 + 4 * i), r.U8(22 + 4 * i));
            if (dc.Palette == objects_[index]->Palette) dc.Palette = palette;
            objects_[index]->Palette = std::move(palette);
            break;
        }
        case EMR_RESIZEPALETTE: {
            std::uint32_t index = r.U32(8), count = r.U32(12);
            if (index >= objects_.size() || !objects_[index] || !objects_[index]->Palette) break;
            auto palette = std::make_shared<TLogPalette>(*objects_[index]->Palette);
            palette->Entries.resize(std::min<std::uint32_t>(count, 1024));
            if (dc.Palette == objects_[index]->Palette) dc.Palette = palette;
            objects_[index]->Palette = std::move(palette);
            break;
        }
        case EMR_ANGLEARC:
            canvas_.AngleArc(r.S32(8), r.S32(12), r.U32(16), r.F32(20), r.F32(24));
            break;
        case EMR_ELLIPSE:
        case EMR_RECTANGLE: {
            auto [l, t, rr, b] = rect(8);
            if (type == EMR_ELLIPSE) {
                canvas_.Ellipse(l, t, rr, b);
            } else {
                canvas_.Rectangle(l, t, rr, b);
            }
            break;
        }
        case EMR_ROUNDRECT: {
            auto [l, t, rr, b] = rect(8);
            canvas_.RoundRect(l, t, rr, b, r.S32(24), r.S32(28));
            break;
        }
        case EMR_ARC:
        case EMR_CHORD:
        case EMR_PIE:
        case EMR_ARCTO: {
            auto [l, t, rr, b] = rect(8);
            auto kind = type == EMR_ARC     ? TMetafileCanvas::TArcKind::Arc
                        : type == EMR_CHORD ? TMetafileCanvas::TArcKind::Chord
                        : type == EMR_PIE   ? TMetafileCanvas::TArcKind::Pie
                                            : TMetafileCanvas::TArcKind::ArcTo;
            canvas_.Arc(kind, l, t, rr, b, r.S32(24), r.S32(28), r.S32(32), r.S32(36));
            break;
        }
        case EMR_SETARCDIRECTION:
            dc.Clockwise = r.U32(8) == 2;
            break;
        case EMR_SETMITERLIMIT:
            dc.MiterLimit = r.U32(8);
            break;
        case EMR_BEGINPATH:
            canvas_.BeginPath();
            break;
        case EMR_ENDPATH:
            canvas_.EndPath();
            break;
        case EMR_ABORTPATH:
            canvas_.AbortPath();
            break;
        case EMR_CLOSEFIGURE:
            canvas_.CloseFigure();
            break;
        case EMR_FILLPATH:
            canvas_.FillPath();
            break;
        case EMR_STROKEPATH:
            canvas_.StrokePath();
            break;
        case EMR_STROKEANDFILLPATH:
            canvas_.StrokeAndFillPath();
            break;
        case EMR_FLATTENPATH:
            canvas_.FlattenPath();
            break;
        case EMR_WIDENPATH:
            canvas_.WidenPath();
            break;
        case EMR_SELECTCLIPPATH: {
            std::uint32_t mode = r.U32(8);
            if (mode >= 1 && mode <= 5) canvas_.SelectClipPath(static_cast<TRegionOp>(mode));
            break;
        }
        case EMR_GDICOMMENT: {
            // EMF+ records ride in comments that start with "EMF+".
            std::uint32_t length = r.U32(8);
            if (length >= 4 && r.Has(12, 4) && r.U32(12) == 0x2B464D45u) ++statistics_.EmfPlus;
            break;
        }
        case EMR_FILLRGN:
        case EMR_FRAMERGN: {
            std::uint32_t size = r.U32(24);
            const TGdiObject* brush = nullptr;
            std::uint32_t brushIndex = r.U32(28);
            std::shared_ptr<TBrush> stock;
            if (brushIndex & StockObject) {
                // Stock brushes by number: draw with a copy of what selecting one would give.
                TDcState keep = canvas_.State();
                canvas_.SelectStockObject(brushIndex & ~StockObject);
                stock = std::make_shared<TBrush>(*canvas_.State().Brush);
                canvas_.State() = std::move(keep);
            } else {
                brush = Object(brushIndex);
                if (!brush || !brush->Brush) break;
            }
            const TBrush& use = stock ? *stock : *brush->Brush;
            if (type == EMR_FILLRGN) {
                canvas_.FillRegion(Region(r, 32, size, false), use);
            } else {
                canvas_.FrameRegion(Region(r, 40, size, false), use, r.S32(32), r.S32(36));
            }
            break;
        }
        case EMR_PAINTRGN:
            canvas_.FillRegion(Region(r, 28, r.U32(24), false), *dc.Brush);
            break;
        case EMR_INVERTRGN:
            canvas_.InvertRegion(Region(r, 28, r.U32(24), false));
            break;
        case EMR_EXTSELECTCLIPRGN: {
            std::uint32_t size = r.U32(8), mode = r.U32(12);
            if (mode < 1 || mode > 5) break;
            if (size == 0) {
                canvas_.SelectClipRegion(nullptr, static_cast<TRegionOp>(mode));
            } else {
                TRegion region = Region(r, 16, size, true);
                canvas_.SelectClipRegion(&region, static_cast<TRegionOp>(mode));
            }
            break;
        }
        case EMR_BITBLT:
        case EMR_STRETCHBLT:
        case EMR_ALPHABLEND:
        case EMR_TRANSPARENTBLT:
        case EMR_STRETCHDIBITS:
        case EMR_SETDIBITSTODEVICE:
            Blit(r, type);
            break;
        case EMR_EXTTEXTOUTA:
        case EMR_EXTTEXTOUTW:
            TextOut(r, 36, r.U32(24), type == EMR_EXTTEXTOUTW);
            break;
        case EMR_POLYTEXTOUTA:
        case EMR_POLYTEXTOUTW: {
            std::uint32_t strings = r.U32(36);
            r.Require(40, 40 * std::uint64_t{strings});
            for (std::uint32_t i = 0; i < strings; ++i)
                TextOut(r, 40 + 40 * std::uint64_t{i}, r.U32(24), type == EMR_POLYTEXTOUTW);
            break;
        }
        case EMR_SMALLTEXTOUT:
            SmallTextOut(r);
            break;
        case EMR_GRADIENTFILL:
            GradientFill(r);
            break;
        case EMR_SETBRUSHORGEX:
        case EMR_SETMAPPERFLAGS:
        case EMR_SETCOLORADJUSTMENT:
        case EMR_SETMETARGN:
        case EMR_REALIZEPALETTE:
        case EMR_EXTFLOODFILL:
        case EMR_MASKBLT:
        case EMR_PLGBLT:
        case EMR_SETICMMODE:
        case EMR_CREATECOLORSPACE:
        case EMR_SETCOLORSPACE:
        case EMR_DELETECOLORSPACE:
        case EMR_GLSRECORD:
        case EMR_GLSBOUNDEDRECORD:
        case EMR_PIXELFORMAT:
        case EMR_FORCEUFIMAPPING:
        case EMR_NAMEDESCAPE:
        case EMR_COLORCORRECTPALETTE:
        case EMR_SETICMPROFILEA:
        case EMR_SETICMPROFILEW:
        case EMR_SETLAYOUT:
        case EMR_SETLINKEDUFIS:
        case EMR_SETTEXTJUSTIFICATION:
        case EMR_COLORMATCHTOTARGETW:
        case EMR_CREATECOLORSPACEW:
            break;  // nothing to draw, or nothing a replay can do faithfully
        default:
            ++statistics_.Unknown;
            break;
    }
    return true;
}

}  // namespace

void PlayEmfRecords(const std::uint8_t* data, std::size_t size, const TMetafileHeader& header, TMetafileCanvas& canvas,
                    TPlayStatistics& statistics) {
    TEmfPlayer player(canvas, statistics, header.ObjectCount);
    std::size_t at = header.FirstRecord;
    while (true) {
        if (size - at < 8) {
            statistics.Truncated = at != size;
            return;
        }
        std::uint32_t length = ReadLittleEndian32(data + at + 4);
        if (length < 8 || length > size - at) {
            statistics.Truncated = true;
            return;
        }
        TRecord record(data + at, length);
        ++statistics.Records;
        try {
            if (!player.Play(record)) return;
        } catch (const Exception&) {
            // Too short for what it claims, or a bitmap the DIB reader refuses: the record goes.
            ++statistics.Malformed;
        }
        at += length;
    }
}
