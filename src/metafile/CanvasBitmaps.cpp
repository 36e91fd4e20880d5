// Bitmaps of the records: device-independent bitmaps decoded by the bitmap file reader's DIB code,
// monochrome device-dependent bitmaps of old WMF records, and the blits that draw them.
#include "Canvas.h"
#include "RecordReader.h"

#include "platform/Dib.h"
#include "platform/Stream.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>

namespace {

const char* const DibLabel = "Windows metafile";
// The most pixels one bitmap of a record may have; larger ones are not drawn.
constexpr std::uint64_t MaxDibPixels = std::uint64_t{1} << 26;

constexpr std::uint32_t SRCCOPY = 0x00CC0020, SRCPAINT = 0x00EE0086, SRCAND = 0x008800C6, SRCINVERT = 0x00660046,
                        NOTSRCCOPY = 0x00330008, PATCOPY = 0x00F00021, PATINVERT = 0x005A0049, DSTINVERT = 0x00550009,
                        BLACKNESS = 0x00000042, WHITENESS = 0x00FF0062, DSTCOPY = 0x00AA0029;

}  // namespace

TSurface::TSurface(int width, int height, bool alpha) : width_(width), height_(height), alpha_(alpha) {
    if (width <= 0 || height <= 0 || width > 32767 || height > 32767) return;
    surface_ = cairo_image_surface_create(alpha ? CAIRO_FORMAT_ARGB32 : CAIRO_FORMAT_RGB24, width, height);
    if (cairo_surface_status(surface_) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(surface_);
        surface_ = nullptr;
    }
}

TSurface::~TSurface() {
    if (surface_) cairo_surface_destroy(surface_);
}

std::uint32_t* TSurface::Row(int y) {
    return reinterpret_cast<std::uint32_t*>(cairo_image_surface_get_data(surface_) +
                                            static_cast<std::ptrdiff_t>(y) * cairo_image_surface_get_stride(surface_));
}

std::shared_ptr<TSurface> SurfaceFromDib(const std::uint8_t* info, std::size_t infoSize, const std::uint8_t* bits,
                                         std::size_t bitsSize, bool paletteIndices, const TLogPalette* palette,
                                         bool keepAlpha) {
    if (infoSize < 12) throw EMalformedRecord();
    std::vector<std::uint8_t> bytes(info, info + infoSize);
    std::uint32_t headerSize = ReadLittleEndian32(info);
    if (paletteIndices && headerSize >= 12 && headerSize <= infoSize) {
        // DIB_PAL_COLORS: the colour table holds 16-bit indices into the selected palette.
        bool core = headerSize == 12;
        int bitCount = core ? ReadLittleEndian16(info + 10) : (headerSize >= 16 ? ReadLittleEndian16(info + 14) : 0);
        if (bitCount >= 1 && bitCount <= 8) {
            std::uint32_t count = 1u << bitCount;
            if (!core && headerSize >= 36 && ReadLittleEndian32(info + 32) != 0)
                count = std::min(count, ReadLittleEndian32(info + 32));
            std::size_t entry = core ? 3 : 4;
            bytes.resize(headerSize + count * entry);
            for (std::uint32_t i = 0; i < count; ++i) {
                std::size_t at = headerSize + 2 * std::size_t{i};
                std::uint16_t index = at + 2 <= infoSize ? ReadLittleEndian16(info + at) : 0;
                TColor c = palette && index < palette->Entries.size() ? palette->Entries[index] : 0;
                std::uint8_t* e = bytes.data() + headerSize + i * entry;
                e[0] = BlueOf(c);
                e[1] = GreenOf(c);
                e[2] = RedOf(c);
                if (entry == 4) e[3] = 0;
            }
        }
    }
    const std::int64_t pixelStart = static_cast<std::int64_t>(bytes.size());
    bytes.insert(bytes.end(), bits, bits + bitsSize);
    const std::int64_t end = static_cast<std::int64_t>(bytes.size());
    TMemoryStream stream(std::move(bytes));
    TDibHeader header = ReadDibHeader(stream, pixelStart, DibLabel);
    if (static_cast<std::uint64_t>(header.Width) * static_cast<std::uint64_t>(header.Height) > MaxDibPixels)
        throw EMalformedRecord();
    TBitmap bitmap;
    ReadDibPixels(stream, header, pixelStart, end, bitmap, DibLabel);

    bool alpha = keepAlpha && bitmap.PixelFormat() == TPixelFormat::pf32bit;
    auto surface = std::make_shared<TSurface>(bitmap.Width(), bitmap.Height(), alpha);
    if (!surface->Handle()) throw EMalformedRecord();
    cairo_surface_flush(surface->Handle());
    for (int y = 0; y < bitmap.Height(); ++y) {
        std::uint32_t* out = surface->Row(y);
        const std::uint8_t* in = bitmap.ScanLine(y);
        switch (bitmap.PixelFormat()) {
            case TPixelFormat::pf24bit:
                for (int x = 0; x < bitmap.Width(); ++x, in += 3)
                    out[x] = 0xFF000000u | (std::uint32_t{in[2]} << 16) | (std::uint32_t{in[1]} << 8) | in[0];
                break;
            case TPixelFormat::pf32bit:
                for (int x = 0; x < bitmap.Width(); ++x, in += 4) {
                    std::uint32_t a = alpha ? in[3] : 255;
                    // Premultiplied samples never exceed their alpha.
                    auto clampTo = [a](std::uint8_t v) { return std::min<std::uint32_t>(v, a); };
                    out[x] = (a << 24) | (clampTo(in[2]) << 16) | (clampTo(in[1]) << 8) | clampTo(in[0]);
                }
                break;
            default:
                for (int x = 0; x < bitmap.Width(); ++x) {
                    TColor c = bitmap.Pixel(x, y);
                    out[x] =
                        0xFF000000u | (std::uint32_t{RedOf(c)} << 16) | (std::uint32_t{GreenOf(c)} << 8) | BlueOf(c);
                }
                break;
        }
    }
    cairo_surface_mark_dirty(surface->Handle());
    return surface;
}

std::shared_ptr<TSurface> SurfaceFromMonochrome(const std::uint8_t* bits, std::size_t size, int width, int height,
                                                int widthBytes) {
    if (width <= 0 || height <= 0 || widthBytes <= 0) throw EMalformedRecord();
    if (static_cast<std::uint64_t>(widthBytes) * 8 < static_cast<std::uint64_t>(width) ||
        static_cast<std::uint64_t>(widthBytes) * static_cast<std::uint64_t>(height) > size)
        throw EMalformedRecord();
    auto surface = std::make_shared<TSurface>(width, height, false);
    if (!surface->Handle()) throw EMalformedRecord();
    cairo_surface_flush(surface->Handle());
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* row = bits + static_cast<std::size_t>(y) * static_cast<std::size_t>(widthBytes);
        std::uint32_t* out = surface->Row(y);
        for (int x = 0; x < width; ++x) out[x] = (row[x >> 3] & (0x80 >> (x & 7))) ? 0xFFFFFFFFu : 0xFF000000u;
    }
    cairo_surface_mark_dirty(surface->Handle());
    return surface;
}

namespace {
// The source-to-canvas transform of a blit, or false when it cannot be inverted.
bool BlitPattern(cairo_pattern_t* pattern, TPointD p0, TPointD px, TPointD py, double sx, double sy, double sw,
                 double sh) {
    if (sw == 0 || sh == 0) return false;
    cairo_matrix_t m;
    m.xx = (px.X - p0.X) / sw;
    m.yx = (px.Y - p0.Y) / sw;
    m.xy = (py.X - p0.X) / sh;
    m.yy = (py.Y - p0.Y) / sh;
    m.x0 = p0.X - m.xx * sx - m.xy * sy;
    m.y0 = p0.Y - m.yx * sx - m.yy * sy;
    double det = m.xx * m.yy - m.yx * m.xy;
    if (!std::isfinite(det) || std::abs(det) < 1e-12) return false;
    if (cairo_matrix_invert(&m) != CAIRO_STATUS_SUCCESS) return false;
    cairo_pattern_set_matrix(pattern, &m);
    return true;
}
}  // namespace

void TMetafileCanvas::BlitQuad(TPointD p0, TPointD px, TPointD py) {
    cairo_new_path(cr_);
    cairo_move_to(cr_, p0.X, p0.Y);
    cairo_line_to(cr_, px.X, px.Y);
    cairo_line_to(cr_, px.X + py.X - p0.X, px.Y + py.Y - p0.Y);
    cairo_line_to(cr_, py.X, py.Y);
    cairo_close_path(cr_);
    cairo_set_fill_rule(cr_, CAIRO_FILL_RULE_WINDING);
}

void TMetafileCanvas::StretchBlt(const TSurface* surface, double x, double y, double w, double h, double sx, double sy,
                                 double sw, double sh, std::uint32_t rop) {
    TPointD p0 = ToCanvas(x, y), px = ToCanvas(x + w, y), py = ToCanvas(x, y + h);
    ApplyClip();
    BlitQuad(p0, px, py);
    cairo_operator_t op = CAIRO_OPERATOR_OVER;
    bool fromSource = surface && surface->Handle();
    bool invert = false;
    switch (rop) {
        case DSTCOPY:
            cairo_new_path(cr_);
            return;
        case BLACKNESS:
        case WHITENESS:
            SetSourceColor(rop == BLACKNESS ? 0 : 0xFFFFFF);
            fromSource = false;
            break;
        case DSTINVERT:
            SetSourceColor(0xFFFFFF);
            op = CAIRO_OPERATOR_DIFFERENCE;
            fromSource = false;
            break;
        case PATCOPY:
        case PATINVERT:
            if (!SetBrushSource(*state_.Brush, false)) {
                cairo_new_path(cr_);
                return;
            }
            if (rop == PATINVERT) op = CAIRO_OPERATOR_DIFFERENCE;
            fromSource = false;
            break;
        case SRCPAINT:
            op = CAIRO_OPERATOR_LIGHTEN;
            break;
        case SRCAND:
            op = CAIRO_OPERATOR_MULTIPLY;
            break;
        case SRCINVERT:
            op = CAIRO_OPERATOR_DIFFERENCE;
            break;
        case NOTSRCCOPY:
            invert = true;
            break;
        default:
            // Other raster operations draw the source as it is; without one, the brush.
            if (!fromSource && !SetBrushSource(*state_.Brush, false)) {
                cairo_new_path(cr_);
                return;
            }
            break;
    }
    if (fromSource) {
        std::shared_ptr<TSurface> inverted;
        const TSurface* source = surface;
        if (invert) {
            inverted = std::make_shared<TSurface>(surface->Width(), surface->Height(), false);
            if (!inverted->Handle()) {
                cairo_new_path(cr_);
                return;
            }
            cairo_surface_flush(surface->Handle());
            for (int row = 0; row < surface->Height(); ++row) {
                const std::uint32_t* in = const_cast<TSurface*>(surface)->Row(row);
                std::uint32_t* out = inverted->Row(row);
                for (int col = 0; col < surface->Width(); ++col) out[col] = 0xFF000000u | (~in[col] & 0xFFFFFF);
            }
            cairo_surface_mark_dirty(inverted->Handle());
            source = inverted.get();
        }
        cairo_pattern_t* pattern = cairo_pattern_create_for_surface(source->Handle());
        if (!BlitPattern(pattern, p0, px, py, sx, sy, sw, sh)) {
            cairo_pattern_destroy(pattern);
            cairo_new_path(cr_);
            return;
        }
        // Enlarged pixels stay sharp as GDI draws them, unless the file asks for halftoning;
        // reduced pictures are filtered.
        double scale =
            std::sqrt(std::abs((px.X - p0.X) * (py.Y - p0.Y) - (px.Y - p0.Y) * (py.X - p0.X)) / std::abs(sw * sh));
        bool sharp = scale >= 1 && state_.StretchMode != 4;
        cairo_pattern_set_filter(pattern, sharp ? CAIRO_FILTER_NEAREST : CAIRO_FILTER_GOOD);
        cairo_pattern_set_extend(pattern, CAIRO_EXTEND_PAD);
        cairo_set_source(cr_, pattern);
        cairo_pattern_destroy(pattern);
    }
    cairo_set_operator(cr_, op);
    cairo_fill(cr_);
    cairo_set_operator(cr_, CAIRO_OPERATOR_OVER);
}

void TMetafileCanvas::AlphaBlend(const TSurface& surface, double x, double y, double w, double h, double sx, double sy,
                                 double sw, double sh, int constantAlpha) {
    if (!surface.Handle()) return;
    TPointD p0 = ToCanvas(x, y), px = ToCanvas(x + w, y), py = ToCanvas(x, y + h);
    ApplyClip();
    cairo_pattern_t* pattern = cairo_pattern_create_for_surface(surface.Handle());
    if (!BlitPattern(pattern, p0, px, py, sx, sy, sw, sh)) {
        cairo_pattern_destroy(pattern);
        return;
    }
    cairo_pattern_set_filter(pattern, CAIRO_FILTER_GOOD);
    cairo_pattern_set_extend(pattern, CAIRO_EXTEND_PAD);
    cairo_save(cr_);
    BlitQuad(p0, px, py);
    cairo_clip(cr_);
    cairo_set_source(cr_, pattern);
    cairo_set_operator(cr_, CAIRO_OPERATOR_OVER);
    cairo_paint_with_alpha(cr_, std::clamp(constantAlpha, 0, 255) / 255.0);
    cairo_restore(cr_);
    cairo_pattern_destroy(pattern);
}
