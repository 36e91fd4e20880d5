// WMF records: 16-bit coordinates, parameters stored in the reverse order of the GDI call's
// arguments, objects placed in the lowest free slot of the object table.
#include "Players.h"
#include "RecordReader.h"

#include "platform/Dib.h"

#include <algorithm>
#include <optional>

namespace {

enum : std::uint16_t {
    META_EOF = 0x0000,
    META_SAVEDC = 0x001E,
    META_REALIZEPALETTE = 0x0035,
    META_SETPALENTRIES = 0x0037,
    META_CREATEPALETTE = 0x00F7,
    META_SETBKMODE = 0x0102,
    META_SETMAPMODE = 0x0103,
    META_SETROP2 = 0x0104,
    META_SETRELABS = 0x0105,
    META_SETPOLYFILLMODE = 0x0106,
    META_SETSTRETCHBLTMODE = 0x0107,
    META_SETTEXTCHAREXTRA = 0x0108,
    META_RESTOREDC = 0x0127,
    META_INVERTREGION = 0x012A,
    META_PAINTREGION = 0x012B,
    META_SELECTCLIPREGION = 0x012C,
    META_SELECTOBJECT = 0x012D,
    META_SETTEXTALIGN = 0x012E,
    META_RESIZEPALETTE = 0x0139,
    META_DIBCREATEPATTERNBRUSH = 0x0142,
    META_SETLAYOUT = 0x0149,
    META_DELETEOBJECT = 0x01F0,
    META_CREATEPATTERNBRUSH = 0x01F9,
    META_SETBKCOLOR = 0x0201,
    META_SETTEXTCOLOR = 0x0209,
    META_SETTEXTJUSTIFICATION = 0x020A,
    META_SETWINDOWORG = 0x020B,
    META_SETWINDOWEXT = 0x020C,
    META_SETVIEWPORTORG = 0x020D,
    META_SETVIEWPORTEXT = 0x020E,
    META_OFFSETWINDOWORG = 0x020F,
    META_OFFSETVIEWPORTORG = 0x0211,
    META_LINETO = 0x0213,
    META_MOVETO = 0x0214,
    META_OFFSETCLIPRGN = 0x0220,
    META_FILLREGION = 0x0228,
    META_SETMAPPERFLAGS = 0x0231,
    META_SELECTPALETTE = 0x0234,
    META_CREATEPENINDIRECT = 0x02FA,
    META_CREATEFONTINDIRECT = 0x02FB,
    META_CREATEBRUSHINDIRECT = 0x02FC,
    META_POLYGON = 0x0324,
    META_POLYLINE = 0x0325,
    META_SCALEWINDOWEXT = 0x0410,
    META_SCALEVIEWPORTEXT = 0x0412,
    META_EXCLUDECLIPRECT = 0x0415,
    META_INTERSECTCLIPRECT = 0x0416,
    META_ELLIPSE = 0x0418,
    META_FLOODFILL = 0x0419,
    META_RECTANGLE = 0x041B,
    META_SETPIXEL = 0x041F,
    META_FRAMEREGION = 0x0429,
    META_ANIMATEPALETTE = 0x0436,
    META_TEXTOUT = 0x0521,
    META_POLYPOLYGON = 0x0538,
    META_EXTFLOODFILL = 0x0548,
    META_ROUNDRECT = 0x061C,
    META_PATBLT = 0x061D,
    META_ESCAPE = 0x0626,
    META_CREATEREGION = 0x06FF,
    META_ARC = 0x0817,
    META_PIE = 0x081A,
    META_CHORD = 0x0830,
    META_BITBLT = 0x0922,
    META_DIBBITBLT = 0x0940,
    META_EXTTEXTOUT = 0x0A32,
    META_STRETCHBLT = 0x0B23,
    META_DIBSTRETCHBLT = 0x0B41,
    META_SETDIBTODEV = 0x0D33,
    META_STRETCHDIB = 0x0F43,
};

// Slots of the object table; a file may ask for up to 65535.
constexpr std::size_t MaxObjects = 65535;

class TWmfPlayer {
public:
    TWmfPlayer(TMetafileCanvas& canvas, TPlayStatistics& statistics, int objectCount)
        : canvas_(canvas), statistics_(statistics), objects_(static_cast<std::size_t>(std::max(objectCount, 0))) {}

    // False at the end record.
    bool Play(const TRecord& record);

private:
    // Parameter i, counted in 16-bit words after the record's function.
    std::int16_t P(const TRecord& r, std::uint64_t i) const { return r.S16(6 + 2 * i); }
    std::uint16_t U(const TRecord& r, std::uint64_t i) const { return r.U16(6 + 2 * i); }
    std::uint32_t U32(const TRecord& r, std::uint64_t i) const { return r.U32(6 + 2 * i); }
    std::size_t Words(const TRecord& r) const { return (r.Size() - 6) / 2; }

    void AddObject(TGdiObject object);
    const TGdiObject* Object(std::uint16_t index) const {
        return index < objects_.size() && objects_[index] ? &*objects_[index] : nullptr;
    }
    std::vector<TPointD> Points(const TRecord& r, std::uint64_t firstWord, std::uint64_t count) const;
    void CreateRegion(const TRecord& r);
    void CreateFont(const TRecord& r);
    void ExtTextOut(const TRecord& r);
    void Blit(const TRecord& r, std::uint16_t function);
    TRegion RegionOf(std::uint16_t index) const;

    TMetafileCanvas& canvas_;
    TPlayStatistics& statistics_;
    std::vector<std::optional<TGdiObject>> objects_;
    std::size_t firstFree_ = 0;
};

void TWmfPlayer::AddObject(TGdiObject object) {
    // The lowest free slot; none below firstFree_ is free.
    for (; firstFree_ < objects_.size(); ++firstFree_) {
        if (!objects_[firstFree_]) {
            objects_[firstFree_++] = std::move(object);
            return;
        }
    }
    // More objects than the header announced: grow, up to what a 16-bit index reaches.
    if (objects_.size() < MaxObjects) {
        objects_.push_back(std::move(object));
        firstFree_ = objects_.size();
    }
}

std::vector<TPointD> TWmfPlayer::Points(const TRecord& r, std::uint64_t firstWord, std::uint64_t count) const {
    r.Require(6 + 2 * firstWord, 4 * count);
    std::vector<TPointD> points(count);
    for (std::uint64_t i = 0; i < count; ++i)
        points[i] = {double(P(r, firstWord + 2 * i)), double(P(r, firstWord + 2 * i + 1))};
    return points;
}

TRegion TWmfPlayer::RegionOf(std::uint16_t index) const {
    const TGdiObject* object = Object(index);
    if (!object || object->Kind != TGdiObject::TKind::Region || !object->Region) return TRegion();
    return canvas_.RegionFromLogical(object->Region->Rects);
}

void TWmfPlayer::CreateRegion(const TRecord& r) {
    // nextInChain, ObjectType, ObjectCount (4), RegionSize, ScanCount, MaxScan, bounding box,
    // then the scans: count, top, bottom, count / 2 pairs of left and right, count again.
    auto region = std::make_shared<TRegionObject>();
    std::uint16_t scans = U(r, 5);
    std::uint64_t at = 6 + 2 * 11;
    for (std::uint16_t s = 0; s < scans; ++s) {
        std::uint16_t count = r.U16(at);
        std::int16_t top = r.S16(at + 2), bottom = r.S16(at + 4);
        r.Require(at + 6, 2 * std::uint64_t{count} + 2);
        for (std::uint16_t k = 0; k + 1 < count; k += 2)
            region->Rects.push_back({r.S16(at + 6 + 2 * k), top, r.S16(at + 8 + 2 * k), bottom});
        at += 6 + 2 * std::uint64_t{count} + 2;
    }
    TGdiObject object;
    object.Kind = TGdiObject::TKind::Region;
    object.Region = std::move(region);
    AddObject(std::move(object));
}

void TWmfPlayer::CreateFont(const TRecord& r) {
    auto font = std::make_shared<TFont>();
    font->Height = P(r, 0);
    font->Width = P(r, 1);
    font->Escapement = P(r, 2);
    font->Weight = P(r, 4);
    font->Italic = r.U8(16) != 0;
    font->Underline = r.U8(17) != 0;
    font->StrikeOut = r.U8(18) != 0;
    font->CharSet = r.U8(19);
    // The face name: up to 32 bytes, ended by a zero or by the record.
    std::size_t length = 0;
    while (length < 32 && r.Has(24 + length, 1) && r.U8(24 + length) != 0) ++length;
    font->Face = Utf8Of(DecodeAnsi(r.Data() + 24, length, 0));
    TGdiObject object;
    object.Kind = TGdiObject::TKind::Font;
    object.Font = std::move(font);
    AddObject(std::move(object));
}

void TWmfPlayer::ExtTextOut(const TRecord& r) {
    TMetafileCanvas::TTextOut text;
    text.Reference = {double(P(r, 1)), double(P(r, 0))};
    std::uint16_t count = U(r, 2);
    text.Options = U(r, 3);
    std::uint64_t at = 6 + 8;
    if (text.Options & (ETO_OPAQUE | ETO_CLIPPED)) {
        text.HasRect = true;
        text.RectLeft = r.S16(at);
        text.RectTop = r.S16(at + 2);
        text.RectRight = r.S16(at + 4);
        text.RectBottom = r.S16(at + 6);
        at += 8;
    }
    const std::uint8_t* bytes = r.Bytes(at, count);
    text.Text = DecodeAnsi(bytes, count, canvas_.State().Font->CharSet);
    at += count + (count & 1);
    // Advances follow when the record has room for them.
    if (r.Has(at, 2 * std::uint64_t{count})) {
        for (std::uint16_t i = 0; i < count; ++i) text.Dx.push_back(r.S16(at + 2 * i));
    }
    if (text.Options & ETO_GLYPH_INDEX) return;  // glyph numbers of a font we do not have
    canvas_.TextOut(text);
}

void TWmfPlayer::Blit(const TRecord& r, std::uint16_t function) {
    // Records without a bitmap are one word longer than their function's parameter count says
    // only when they carry one; the bare form has a reserved word instead.
    bool bare = r.Size() / 2 == static_cast<std::size_t>((function >> 8) + 3);
    std::uint32_t rop = U32(r, 0);
    std::shared_ptr<TSurface> surface;
    double x, y, w, h, sx, sy, sw, sh;
    bool bottomUp = false;
    auto dib = [&](std::uint64_t word, bool paletteIndices) {
        std::uint64_t offset = 6 + 2 * word;
        r.Require(offset, 4);
        // A packed DIB: the header and colour table, then the bits.
        std::uint32_t headerSize = r.U32(offset);
        std::uint64_t infoSize = headerSize;
        if (headerSize >= 16 && r.Has(offset, 16)) {
            int bits = r.U16(offset + 14);
            std::uint32_t compression = headerSize >= 20 ? r.U32(offset + 16) : 0;
            std::uint32_t used = headerSize >= 36 ? r.U32(offset + 32) : 0;
            std::uint64_t colors = bits <= 8 ? (used ? used : (1u << bits)) : (compression == 3 ? 3 : 0);
            if (bits <= 8 && used > (1u << bits)) throw EMalformedRecord();
            infoSize += colors * (paletteIndices ? 2 : 4);
            bottomUp = r.S32(offset + 8) > 0;
        } else if (headerSize == 12) {
            int bits = r.U16(offset + 10);
            infoSize += bits <= 8 ? (std::uint64_t{1} << bits) * (paletteIndices ? 2 : 3) : 0;
            bottomUp = true;
        }
        r.Require(offset, infoSize);
        surface = SurfaceFromDib(r.Data() + offset, infoSize, r.Data() + offset + infoSize,
                                 r.Size() - offset - infoSize, paletteIndices, canvas_.State().Palette.get(), false);
    };
    switch (function) {
        case META_PATBLT:
            h = P(r, 2), w = P(r, 3), y = P(r, 4), x = P(r, 5);
            canvas_.StretchBlt(nullptr, x, y, w, h, 0, 0, 1, 1, rop);
            return;
        case META_DIBBITBLT:
        case META_BITBLT: {
            int k = bare ? 1 : 0;
            sy = P(r, 2), sx = P(r, 3);
            h = P(r, 4 + k), w = P(r, 5 + k), y = P(r, 6 + k), x = P(r, 7 + k);
            sw = w, sh = h;
            if (!bare) {
                if (function == META_DIBBITBLT) {
                    dib(8, false);
                } else {
                    // Bitmap16: type, width, height, width bytes, planes and bits per pixel, bits.
                    std::uint64_t b = 6 + 16;
                    if (r.U8(b + 8) != 1 || r.U8(b + 9) != 1) return;  // only monochrome ones
                    surface = SurfaceFromMonochrome(r.Data() + b + 10, r.Size() - b - 10, r.S16(b + 2), r.S16(b + 4),
                                                    r.S16(b + 6));
                }
            }
            break;
        }
        case META_DIBSTRETCHBLT:
        case META_STRETCHBLT: {
            int k = bare ? 1 : 0;
            sh = P(r, 2), sw = P(r, 3), sy = P(r, 4), sx = P(r, 5);
            h = P(r, 6 + k), w = P(r, 7 + k), y = P(r, 8 + k), x = P(r, 9 + k);
            if (!bare) {
                if (function == META_DIBSTRETCHBLT) {
                    dib(10, false);
                } else {
                    std::uint64_t b = 6 + 20;
                    if (r.U8(b + 8) != 1 || r.U8(b + 9) != 1) return;
                    surface = SurfaceFromMonochrome(r.Data() + b + 10, r.Size() - b - 10, r.S16(b + 2), r.S16(b + 4),
                                                    r.S16(b + 6));
                }
            }
            break;
        }
        case META_STRETCHDIB: {
            bool indices = U(r, 2) == 1;
            sh = P(r, 3), sw = P(r, 4), sy = P(r, 5), sx = P(r, 6);
            h = P(r, 7), w = P(r, 8), y = P(r, 9), x = P(r, 10);
            dib(11, indices);
            // StretchDIBits counts source rows from the bottom of a bottom-up bitmap.
            if (bottomUp && surface) sy = surface->Height() - sy - sh;
            break;
        }
        case META_SETDIBTODEV: {
            bool indices = U(r, 0) == 1;
            sh = P(r, 5), sw = P(r, 6), sy = P(r, 3), sx = P(r, 4);
            y = P(r, 7), x = P(r, 8);
            w = sw, h = sh;
            dib(9, indices);
            if (bottomUp && surface) sy = surface->Height() - sy - sh;
            rop = 0x00CC0020;
            break;
        }
        default:
            return;
    }
    canvas_.StretchBlt(surface.get(), x, y, w, h, sx, sy, sw, sh, rop);
}

bool TWmfPlayer::Play(const TRecord& r) {
    std::uint16_t function = r.U16(4);
    TDcState& dc = canvas_.State();
    switch (function) {
        case META_EOF:
            return false;
        case META_SAVEDC:
            canvas_.SaveDC();
            break;
        case META_RESTOREDC:
            canvas_.RestoreDC(P(r, 0));
            break;
        case META_SETBKCOLOR:
            dc.BkColor = canvas_.ResolveColor(U32(r, 0));
            break;
        case META_SETTEXTCOLOR:
            dc.TextColor = canvas_.ResolveColor(U32(r, 0));
            break;
        case META_SETBKMODE:
            dc.Opaque = U(r, 0) == 2;
            break;
        case META_SETMAPMODE:
            canvas_.SetMapMode(U(r, 0));
            break;
        case META_SETROP2:
            dc.Rop2 = U(r, 0);
            break;
        case META_SETPOLYFILLMODE:
            dc.Winding = U(r, 0) == 2;
            break;
        case META_SETSTRETCHBLTMODE:
            dc.StretchMode = U(r, 0);
            break;
        case META_SETTEXTCHAREXTRA:
            dc.CharExtra = P(r, 0);
            break;
        case META_SETTEXTALIGN:
            dc.TextAlign = U(r, 0);
            break;
        case META_SETWINDOWORG:
            canvas_.SetWindowOrg(P(r, 1), P(r, 0));
            break;
        case META_SETWINDOWEXT:
            canvas_.SetWindowExt(P(r, 1), P(r, 0));
            break;
        case META_SETVIEWPORTORG:
            canvas_.SetViewportOrg(P(r, 1), P(r, 0));
            break;
        case META_SETVIEWPORTEXT:
            canvas_.SetViewportExt(P(r, 1), P(r, 0));
            break;
        case META_OFFSETWINDOWORG:
            canvas_.SetWindowOrg(dc.WindowOrg.X + P(r, 1), dc.WindowOrg.Y + P(r, 0));
            break;
        case META_OFFSETVIEWPORTORG:
            canvas_.SetViewportOrg(dc.ViewportOrg.X + P(r, 1), dc.ViewportOrg.Y + P(r, 0));
            break;
        case META_SCALEWINDOWEXT:
            canvas_.ScaleWindowExt(P(r, 3), P(r, 2), P(r, 1), P(r, 0));
            break;
        case META_SCALEVIEWPORTEXT:
            canvas_.ScaleViewportExt(P(r, 3), P(r, 2), P(r, 1), P(r, 0));
            break;
        case META_MOVETO:
            canvas_.MoveTo(P(r, 1), P(r, 0));
            break;
        case META_LINETO:
            canvas_.LineTo(P(r, 1), P(r, 0));
            break;
        case META_EXCLUDECLIPRECT:
            canvas_.ExcludeClipRect(P(r, 3), P(r, 2), P(r, 1), P(r, 0));
            break;
        case META_INTERSECTCLIPRECT:
            canvas_.IntersectClipRect(P(r, 3), P(r, 2), P(r, 1), P(r, 0));
            break;
        case META_OFFSETCLIPRGN:
            canvas_.OffsetClip(P(r, 1), P(r, 0));
            break;
        case META_RECTANGLE:
            canvas_.Rectangle(P(r, 3), P(r, 2), P(r, 1), P(r, 0));
            break;
        case META_ELLIPSE:
            canvas_.Ellipse(P(r, 3), P(r, 2), P(r, 1), P(r, 0));
            break;
        case META_ROUNDRECT:
            canvas_.RoundRect(P(r, 5), P(r, 4), P(r, 3), P(r, 2), P(r, 1), P(r, 0));
            break;
        case META_ARC:
        case META_PIE:
        case META_CHORD: {
            auto kind = function == META_ARC   ? TMetafileCanvas::TArcKind::Arc
                        : function == META_PIE ? TMetafileCanvas::TArcKind::Pie
                                               : TMetafileCanvas::TArcKind::Chord;
            canvas_.Arc(kind, P(r, 7), P(r, 6), P(r, 5), P(r, 4), P(r, 3), P(r, 2), P(r, 1), P(r, 0));
            break;
        }
        case META_SETPIXEL:
            canvas_.SetPixel(P(r, 3), P(r, 2), canvas_.ResolveColor(U32(r, 0)));
            break;
        case META_POLYGON:
        case META_POLYLINE: {
            std::vector<TPointD> points = Points(r, 1, U(r, 0));
            if (function == META_POLYGON) {
                canvas_.PolyPolygon({std::move(points)});
            } else {
                canvas_.Polyline(points);
            }
            break;
        }
        case META_POLYPOLYGON: {
            std::uint16_t polygons = U(r, 0);
            r.Require(8, 2 * std::uint64_t{polygons});
            std::vector<std::vector<TPointD>> all;
            std::uint64_t word = 1 + polygons;
            for (std::uint16_t i = 0; i < polygons; ++i) {
                std::uint16_t count = U(r, 1 + i);
                all.push_back(Points(r, word, count));
                word += 2 * std::uint64_t{count};
            }
            canvas_.PolyPolygon(all);
            break;
        }
        case META_TEXTOUT: {
            std::uint16_t count = U(r, 0);
            TMetafileCanvas::TTextOut text;
            text.Text = DecodeAnsi(r.Bytes(8, count), count, dc.Font->CharSet);
            std::uint64_t word = 1 + (count + 1) / 2;
            text.Reference = {double(P(r, word + 1)), double(P(r, word))};
            canvas_.TextOut(text);
            break;
        }
        case META_EXTTEXTOUT:
            ExtTextOut(r);
            break;
        case META_SELECTOBJECT:
            if (const TGdiObject* object = Object(U(r, 0))) canvas_.SelectObject(*object);
            break;
        case META_SELECTPALETTE:
            if (const TGdiObject* object = Object(U(r, 0)); object && object->Kind == TGdiObject::TKind::Palette)
                canvas_.SelectObject(*object);
            break;
        case META_DELETEOBJECT:
            if (U(r, 0) < objects_.size()) {
                objects_[U(r, 0)].reset();
                firstFree_ = std::min<std::size_t>(firstFree_, U(r, 0));
            }
            break;
        case META_CREATEPENINDIRECT: {
            auto pen = std::make_shared<TPen>();
            pen->Style = U(r, 0);
            pen->Width = P(r, 1);
            pen->Color = canvas_.ResolveColor(r.U32(12));
            TGdiObject object;
            object.Pen = std::move(pen);
            AddObject(std::move(object));
            break;
        }
        case META_CREATEBRUSHINDIRECT: {
            auto brush = std::make_shared<TBrush>();
            brush->Style = U(r, 0);
            brush->Color = canvas_.ResolveColor(U32(r, 1));
            brush->Hatch = U(r, 3);
            if (brush->Style != BS_SOLID && brush->Style != BS_NULL && brush->Style != BS_HATCHED)
                brush->Style = BS_SOLID;  // patterns need a bitmap this record cannot carry
            TGdiObject object;
            object.Kind = TGdiObject::TKind::Brush;
            object.Brush = std::move(brush);
            AddObject(std::move(object));
            break;
        }
        case META_DIBCREATEPATTERNBRUSH:
        case META_CREATEPATTERNBRUSH: {
            auto brush = std::make_shared<TBrush>();
            brush->Style = BS_DIBPATTERN;
            // The object takes its slot even when its bitmap cannot be read.
            try {
                if (function == META_CREATEPATTERNBRUSH || U(r, 0) == BS_PATTERN) {
                    std::uint64_t b = function == META_CREATEPATTERNBRUSH ? 6 : 10;
                    std::uint64_t bits = function == META_CREATEPATTERNBRUSH ? 6 + 32 : b + 10;
                    if (r.U8(b + 8) == 1 && r.U8(b + 9) == 1) {
                        r.Require(bits, 0);
                        brush->Pattern = SurfaceFromMonochrome(r.Data() + bits, r.Size() - bits, r.S16(b + 2),
                                                               r.S16(b + 4), r.S16(b + 6));
                        brush->Monochrome = true;
                    }
                } else {
                    r.Require(10, 0);
                    TRecord dibRecord(r.Data() + 10, r.Size() - std::min<std::size_t>(r.Size(), 10));
                    std::uint32_t headerSize = dibRecord.U32(0);
                    std::uint64_t info = headerSize;
                    bool indices = U(r, 1) == 1;
                    if (headerSize >= 16) {
                        int bitCount = dibRecord.U16(14);
                        std::uint32_t used = headerSize >= 36 ? dibRecord.U32(32) : 0;
                        std::uint32_t compression = headerSize >= 20 ? dibRecord.U32(16) : 0;
                        if (bitCount <= 8 && used > (1u << bitCount)) throw EMalformedRecord();
                        std::uint64_t colors =
                            bitCount <= 8 ? (used ? used : (1u << bitCount)) : (compression == 3 ? 3 : 0);
                        info += colors * (indices ? 2 : 4);
                    }
                    dibRecord.Require(0, info);
                    brush->Pattern = SurfaceFromDib(dibRecord.Data(), info, dibRecord.Data() + info,
                                                    dibRecord.Size() - info, indices, dc.Palette.get(), false);
                }
            } catch (const Exception&) {
                ++statistics_.Malformed;
                brush->Style = BS_SOLID;
                brush->Color = 0;
            }
            TGdiObject object;
            object.Kind = TGdiObject::TKind::Brush;
            object.Brush = std::move(brush);
            AddObject(std::move(object));
            break;
        }
        case META_CREATEFONTINDIRECT:
            CreateFont(r);
            break;
        case META_CREATEPALETTE: {
            auto palette = std::make_shared<TLogPalette>();
            std::uint16_t count = U(r, 1);
            r.Require(10, 4 * std::uint64_t{count});
            for (std::uint16_t i = 0; i < count; ++i)
                palette->Entries.push_back(RGBColor(r.U8(10 + 4 * i), r.U8(11 + 4 * i), r.U8(12 + 4 * i)));
            TGdiObject object;
            object.Kind = TGdiObject::TKind::Palette;
            object.Palette = std::move(palette);
            AddObject(std::move(object));
            break;
        }
        case META_SETPALENTRIES:
        case META_ANIMATEPALETTE: {
            if (!dc.Palette) break;
            std::uint16_t start = U(r, 0), count = U(r, 1);
            r.Require(10, 4 * std::uint64_t{count});
            auto palette = std::make_shared<TLogPalette>(*dc.Palette);
            for (std::uint16_t i = 0; i < count && start + i < static_cast<int>(palette->Entries.size()); ++i)
                palette->Entries[start + i] = RGBColor(r.U8(10 + 4 * i), r.U8(11 + 4 * i), r.U8(12 + 4 * i));
            dc.Palette = std::move(palette);
            break;
        }
        case META_RESIZEPALETTE:
            if (dc.Palette) {
                auto palette = std::make_shared<TLogPalette>(*dc.Palette);
                palette->Entries.resize(std::min<std::size_t>(U(r, 0), 1024));
                dc.Palette = std::move(palette);
            }
            break;
        case META_CREATEREGION:
            try {
                CreateRegion(r);
            } catch (const EMalformedRecord&) {
                // Keep the table's numbering: the slot still fills.
                ++statistics_.Malformed;
                TGdiObject object;
                object.Kind = TGdiObject::TKind::Region;
                object.Region = std::make_shared<TRegionObject>();
                AddObject(std::move(object));
            }
            break;
        case META_SELECTCLIPREGION: {
            // Region 0 (or none) resets the clip.
            const TGdiObject* object = Object(U(r, 0));
            if (!object || object->Kind != TGdiObject::TKind::Region) {
                canvas_.SelectClipRegion(nullptr, TRegionOp::Copy);
            } else {
                TRegion region = RegionOf(U(r, 0));
                canvas_.SelectClipRegion(&region, TRegionOp::Copy);
            }
            break;
        }
        case META_FILLREGION:
        case META_FRAMEREGION: {
            const TGdiObject* brush = Object(U(r, 1));
            if (!brush || !brush->Brush) break;
            if (function == META_FILLREGION) {
                canvas_.FillRegion(RegionOf(U(r, 0)), *brush->Brush);
            } else {
                canvas_.FrameRegion(RegionOf(U(r, 0)), *brush->Brush, P(r, 3), P(r, 2));
            }
            break;
        }
        case META_PAINTREGION:
            canvas_.FillRegion(RegionOf(U(r, 0)), *dc.Brush);
            break;
        case META_INVERTREGION:
            canvas_.InvertRegion(RegionOf(U(r, 0)));
            break;
        case META_PATBLT:
        case META_BITBLT:
        case META_DIBBITBLT:
        case META_STRETCHBLT:
        case META_DIBSTRETCHBLT:
        case META_STRETCHDIB:
        case META_SETDIBTODEV:
            Blit(r, function);
            break;
        case META_REALIZEPALETTE:
        case META_SETRELABS:
        case META_SETMAPPERFLAGS:
        case META_SETTEXTJUSTIFICATION:
        case META_SETLAYOUT:
        case META_ESCAPE:
        case META_FLOODFILL:
        case META_EXTFLOODFILL:
            break;  // nothing to draw, or nothing a replay can do faithfully
        default:
            ++statistics_.Unknown;
            break;
    }
    return true;
}

}  // namespace

void PlayWmfRecords(const std::uint8_t* data, std::size_t size, const TMetafileHeader& header, TMetafileCanvas& canvas,
                    TPlayStatistics& statistics) {
    TWmfPlayer player(canvas, statistics, header.ObjectCount);
    std::size_t at = header.FirstRecord;
    while (true) {
        if (size - at < 6) {
            // No end record: the file stops after its last whole record, or earlier.
            statistics.Truncated = at != size;
            return;
        }
        std::uint64_t words = ReadLittleEndian32(data + at);
        if (words < 3 || words > (size - at) / 2) {
            statistics.Truncated = true;
            return;
        }
        TRecord record(data + at, static_cast<std::size_t>(words * 2));
        ++statistics.Records;
        try {
            if (!player.Play(record)) return;
        } catch (const EMalformedRecord&) {
            ++statistics.Malformed;
        } catch (const Exception&) {
            // A bitmap the DIB reader refuses, a picture too large for memory: the record goes.
            ++statistics.Malformed;
        }
        at += static_cast<std::size_t>(words * 2);
    }
}
