#include "Canvas.h"

#include "platform/Exception.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

// Canvas coordinates stay well inside cairo's 24.8 fixed-point range.
constexpr double CoordinateLimit = 4.0e6;
// SaveDC levels kept; deeper saves are ignored.
constexpr std::size_t MaxSaveDepth = 1024;

double Limit(double v) {
    if (!std::isfinite(v)) return v > 0 ? CoordinateLimit : (v < 0 ? -CoordinateLimit : 0);
    return std::clamp(v, -CoordinateLimit, CoordinateLimit);
}

constexpr int R2_BLACK = 1, R2_NOTCOPYPEN = 4, R2_NOT = 6, R2_XORPEN = 7, R2_MASKPEN = 9, R2_NOP = 11, R2_MERGEPEN = 15,
              R2_WHITE = 16;

}  // namespace

// ---- matrices and paths ----

TMatrix TMatrix::After(const TMatrix& f) const {
    return TMatrix{A * f.A + C * f.B, B * f.A + D * f.B,     A * f.C + C * f.D,
                   B * f.C + D * f.D, A * f.E + C * f.F + E, B * f.E + D * f.F + F};
}

bool TMatrix::Finite() const {
    return std::isfinite(A) && std::isfinite(B) && std::isfinite(C) && std::isfinite(D) && std::isfinite(E) &&
           std::isfinite(F);
}

void TPath::MoveTo(TPointD p) {
    if (!Ops.empty() && Ops.back() == TOp::Move) {
        Points.back() = p;
        return;
    }
    Ops.push_back(TOp::Move);
    Points.push_back(p);
}

void TPath::LineTo(TPointD p) {
    Ops.push_back(TOp::Line);
    Points.push_back(p);
}

void TPath::CurveTo(TPointD a, TPointD b, TPointD c) {
    Ops.push_back(TOp::Curve);
    Points.push_back(a);
    Points.push_back(b);
    Points.push_back(c);
}

void TPath::Close() {
    if (!Ops.empty() && Ops.back() != TOp::Close) Ops.push_back(TOp::Close);
}

void TPath::Append(const TPath& other) {
    Ops.insert(Ops.end(), other.Ops.begin(), other.Ops.end());
    Points.insert(Points.end(), other.Points.begin(), other.Points.end());
}

std::vector<TPolygon> TPath::Polygons() const {
    std::vector<TPolygon> polygons;
    std::size_t k = 0;
    TPointD current{0, 0};
    for (TOp op : Ops) {
        switch (op) {
            case TOp::Move:
                polygons.emplace_back();
                current = Points[k++];
                polygons.back().push_back(current);
                break;
            case TOp::Line:
                if (polygons.empty()) polygons.emplace_back(1, current);
                current = Points[k++];
                polygons.back().push_back(current);
                break;
            case TOp::Curve: {
                if (polygons.empty()) polygons.emplace_back(1, current);
                TPointD p0 = current, p1 = Points[k], p2 = Points[k + 1], p3 = Points[k + 2];
                k += 3;
                // Enough steps for a curve of this length to look smooth, within reason.
                double length = std::hypot(p1.X - p0.X, p1.Y - p0.Y) + std::hypot(p2.X - p1.X, p2.Y - p1.Y) +
                                std::hypot(p3.X - p2.X, p3.Y - p2.Y);
                int steps = std::isfinite(length) ? std::clamp(static_cast<int>(length / 4), 2, 64) : 2;
                for (int i = 1; i <= steps; ++i) {
                    double t = double(i) / steps, u = 1 - t;
                    double a = u * u * u, b = 3 * u * u * t, c = 3 * u * t * t, d = t * t * t;
                    polygons.back().push_back(
                        {a * p0.X + b * p1.X + c * p2.X + d * p3.X, a * p0.Y + b * p1.Y + c * p2.Y + d * p3.Y});
                }
                current = p3;
                break;
            }
            case TOp::Close:
                if (!polygons.empty()) current = polygons.back().front();
                polygons.emplace_back(1, current);
                break;
        }
    }
    std::erase_if(polygons, [](const TPolygon& p) { return p.size() < 3; });
    return polygons;
}

// ---- the canvas ----

TMetafileCanvas::TMetafileCanvas(int width, int height, const TDeviceSpace& space)
    : width_(width), height_(height), space_(space), canvas_(width, height, false) {
    if (!canvas_.Handle()) throw EOutOfMemory(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4);
    cr_ = cairo_create(canvas_.Handle());
    cairo_set_source_rgb(cr_, 1, 1, 1);
    cairo_paint(cr_);
    cairo_set_tolerance(cr_, 0.1);
    state_.Pen = std::make_shared<TPen>();
    state_.Brush = std::make_shared<TBrush>();
    state_.Font = std::make_shared<TFont>();
    fullClip_.Region = TRegion::FromRect({0, 0, width, height});
}

TMetafileCanvas::~TMetafileCanvas() {
    if (cr_) cairo_destroy(cr_);
    ReleaseFonts();
}

void TMetafileCanvas::CopyTo(TBitmap& bitmap, int top) {
    cairo_surface_flush(canvas_.Handle());
    for (int y = 0; y < height_ && top + y < bitmap.Height(); ++y) {
        const std::uint32_t* in = canvas_.Row(y);
        std::uint8_t* out = bitmap.ScanLine(top + y);
        for (int x = 0; x < width_; ++x) {
            std::uint32_t p = in[x];
            out[3 * x] = p & 0xFF;
            out[3 * x + 1] = (p >> 8) & 0xFF;
            out[3 * x + 2] = (p >> 16) & 0xFF;
        }
    }
}

// ---- device context ----

void TMetafileCanvas::SetInitialWindow(TPointD org, TPointD ext, TPointD viewportExt) {
    state_.MapMode = MM_ANISOTROPIC;
    state_.WindowOrg = org;
    state_.WindowExt = ext;
    state_.ViewportOrg = {0, 0};
    state_.ViewportExt = viewportExt;
}

void TMetafileCanvas::SaveDC() {
    if (saved_.size() < MaxSaveDepth) saved_.push_back(state_);
}

void TMetafileCanvas::RestoreDC(int which) {
    // Negative: that many levels back; positive: the absolute level (1 the first save).
    std::size_t depth = saved_.size();
    std::size_t target;
    if (which < 0) {
        if (static_cast<std::size_t>(-static_cast<long long>(which)) > depth) return;
        target = depth - static_cast<std::size_t>(-static_cast<long long>(which));
    } else {
        if (which == 0 || static_cast<std::size_t>(which) > depth) return;
        target = static_cast<std::size_t>(which) - 1;
    }
    state_ = std::move(saved_[target]);
    saved_.resize(target);
}

void TMetafileCanvas::SetMapMode(int mode) {
    if (mode < MM_TEXT || mode > MM_ANISOTROPIC) return;
    state_.MapMode = mode;
    // Metric modes fix the extents; the scalable modes keep the ones they find.
    double mm = 0;
    switch (mode) {
        case MM_TEXT:
            state_.WindowExt = {1, 1};
            state_.ViewportExt = {1, 1};
            return;
        case MM_LOMETRIC:
            mm = 0.1;
            break;
        case MM_HIMETRIC:
            mm = 0.01;
            break;
        case MM_LOENGLISH:
            mm = 0.254;
            break;
        case MM_HIENGLISH:
            mm = 0.0254;
            break;
        case MM_TWIPS:
            mm = 25.4 / 1440;
            break;
        default:
            FixIsotropic();
            return;
    }
    state_.WindowExt = {1, 1};
    state_.ViewportExt = {mm * space_.UnitsPerMmX, -mm * space_.UnitsPerMmY};
}

void TMetafileCanvas::FixIsotropic() {
    if (state_.MapMode != MM_ISOTROPIC) return;
    TPointD& v = state_.ViewportExt;
    const TPointD& w = state_.WindowExt;
    double sx = std::abs(v.X / w.X), sy = std::abs(v.Y / w.Y);
    if (sx < sy) {
        v.Y = std::copysign(sx * std::abs(w.Y), v.Y);
    } else if (sy < sx) {
        v.X = std::copysign(sy * std::abs(w.X), v.X);
    }
}

void TMetafileCanvas::SetWindowOrg(double x, double y) { state_.WindowOrg = {x, y}; }

void TMetafileCanvas::SetWindowExt(double x, double y) {
    if (state_.MapMode != MM_ISOTROPIC && state_.MapMode != MM_ANISOTROPIC) return;
    if (x == 0 || y == 0 || !std::isfinite(x) || !std::isfinite(y)) return;
    state_.WindowExt = {x, y};
    FixIsotropic();
}

void TMetafileCanvas::SetViewportOrg(double x, double y) { state_.ViewportOrg = {x, y}; }

void TMetafileCanvas::SetViewportExt(double x, double y) {
    if (state_.MapMode != MM_ISOTROPIC && state_.MapMode != MM_ANISOTROPIC) return;
    if (x == 0 || y == 0 || !std::isfinite(x) || !std::isfinite(y)) return;
    state_.ViewportExt = {x, y};
    FixIsotropic();
}

void TMetafileCanvas::ScaleWindowExt(double xNum, double xDenom, double yNum, double yDenom) {
    if (xDenom == 0 || yDenom == 0) return;
    SetWindowExt(state_.WindowExt.X * xNum / xDenom, state_.WindowExt.Y * yNum / yDenom);
}

void TMetafileCanvas::ScaleViewportExt(double xNum, double xDenom, double yNum, double yDenom) {
    if (xDenom == 0 || yDenom == 0) return;
    SetViewportExt(state_.ViewportExt.X * xNum / xDenom, state_.ViewportExt.Y * yNum / yDenom);
}

void TMetafileCanvas::SetWorldTransform(const TMatrix& m) {
    // A transform that cannot be inverted is refused, as GDI does.
    if (!m.Finite() || m.Determinant() == 0 || !std::isfinite(m.Determinant())) return;
    state_.World = m;
}

void TMetafileCanvas::ModifyWorldTransform(const TMatrix& m, int mode) {
    switch (mode) {
        case 1:
            state_.World = TMatrix{};
            break;
        case 2:
            SetWorldTransform(state_.World.After(m));
            break;
        case 3:
            SetWorldTransform(m.After(state_.World));
            break;
        case 4:
            SetWorldTransform(m);
            break;
        default:
            break;
    }
}

TMatrix TMetafileCanvas::LogicalToCanvas() const {
    const TDcState& s = state_;
    double sx = s.ViewportExt.X / s.WindowExt.X, sy = s.ViewportExt.Y / s.WindowExt.Y;
    TMatrix page{sx, 0, 0, sy, s.ViewportOrg.X - s.WindowOrg.X * sx, s.ViewportOrg.Y - s.WindowOrg.Y * sy};
    return space_.DeviceToCanvas.After(page.After(s.World));
}

TPointD TMetafileCanvas::ToCanvas(double x, double y) const {
    TPointD p = LogicalToCanvas().Apply(x, y);
    return {Limit(p.X), Limit(p.Y)};
}

TColor TMetafileCanvas::ResolveColor(std::uint32_t colorRef) const {
    // 0x01000000 | index: an entry of the selected palette.
    if ((colorRef >> 24) == 1) {
        std::uint32_t index = colorRef & 0xFFFF;
        if (state_.Palette && index < state_.Palette->Entries.size()) return state_.Palette->Entries[index];
        return 0;
    }
    return colorRef & 0xFFFFFF;
}

void TMetafileCanvas::SelectObject(const TGdiObject& object) {
    switch (object.Kind) {
        case TGdiObject::TKind::Pen:
            if (object.Pen) state_.Pen = object.Pen;
            break;
        case TGdiObject::TKind::Brush:
            if (object.Brush) state_.Brush = object.Brush;
            break;
        case TGdiObject::TKind::Font:
            if (object.Font) state_.Font = object.Font;
            break;
        case TGdiObject::TKind::Palette:
            if (object.Palette) state_.Palette = object.Palette;
            break;
        case TGdiObject::TKind::Region:
            // Selecting a region makes it the clip.
            if (object.Region) {
                TRegion region = RegionFromLogical(object.Region->Rects);
                SelectClipRegion(&region, TRegionOp::Copy);
            }
            break;
    }
}

void TMetafileCanvas::SelectStockObject(std::uint32_t index) {
    auto brush = [](std::uint32_t style, TColor color) {
        auto b = std::make_shared<TBrush>();
        b->Style = style;
        b->Color = color;
        return b;
    };
    auto pen = [](std::uint32_t style, TColor color) {
        auto p = std::make_shared<TPen>();
        p->Style = style;
        p->Color = color;
        return p;
    };
    switch (index) {
        case 0:  // WHITE_BRUSH
            state_.Brush = brush(BS_SOLID, 0xFFFFFF);
            break;
        case 1:  // LTGRAY_BRUSH
            state_.Brush = brush(BS_SOLID, 0xC0C0C0);
            break;
        case 2:  // GRAY_BRUSH
            state_.Brush = brush(BS_SOLID, 0x808080);
            break;
        case 3:  // DKGRAY_BRUSH
            state_.Brush = brush(BS_SOLID, 0x404040);
            break;
        case 4:  // BLACK_BRUSH
            state_.Brush = brush(BS_SOLID, 0);
            break;
        case 5:  // NULL_BRUSH
            state_.Brush = brush(BS_NULL, 0);
            break;
        case 6:  // WHITE_PEN
            state_.Pen = pen(PS_SOLID, 0xFFFFFF);
            break;
        case 7:  // BLACK_PEN
            state_.Pen = pen(PS_SOLID, 0);
            break;
        case 8:  // NULL_PEN
            state_.Pen = pen(PS_NULL, 0);
            break;
        case 10:    // OEM_FIXED_FONT
        case 11:    // ANSI_FIXED_FONT
        case 16: {  // SYSTEM_FIXED_FONT
            auto font = std::make_shared<TFont>();
            font->Face = "Courier New";
            state_.Font = font;
            break;
        }
        case 12:  // ANSI_VAR_FONT
        case 13:  // SYSTEM_FONT
        case 14:  // DEVICE_DEFAULT_FONT
        case 17:  // DEFAULT_GUI_FONT
            state_.Font = std::make_shared<TFont>();
            break;
        case 15:  // DEFAULT_PALETTE
            state_.Palette.reset();
            break;
        case 18:  // DC_BRUSH: white until set
            state_.Brush = brush(BS_SOLID, 0xFFFFFF);
            break;
        case 19:  // DC_PEN
            state_.Pen = pen(PS_SOLID, 0);
            break;
        default:
            break;
    }
}

// ---- clipping ----

const TClip& TMetafileCanvas::CurrentClip() const { return state_.Clip ? *state_.Clip : fullClip_; }

void TMetafileCanvas::SetClip(TClip clip) { state_.Clip = std::make_shared<const TClip>(std::move(clip)); }

TRegion TMetafileCanvas::RegionFromLogical(const std::vector<TRegionRect>& rects) const {
    TMatrix m = LogicalToCanvas();
    std::vector<TPolygon> polygons;
    polygons.reserve(rects.size());
    for (const TRegionRect& r : rects) {
        polygons.push_back(
            {m.Apply(r.Left, r.Top), m.Apply(r.Right, r.Top), m.Apply(r.Right, r.Bottom), m.Apply(r.Left, r.Bottom)});
    }
    // Rectangles of one region do not overlap, so winding and even-odd agree; winding also
    // keeps overlapping ones of a careless writer whole.
    return TRegion::FromPolygons(polygons, true, {0, 0, width_, height_});
}

TRegion TMetafileCanvas::RegionFromDevice(const std::vector<TRegionRect>& rects) const {
    const TMatrix& m = space_.DeviceToCanvas;
    std::vector<TPolygon> polygons;
    polygons.reserve(rects.size());
    for (const TRegionRect& r : rects) {
        polygons.push_back(
            {m.Apply(r.Left, r.Top), m.Apply(r.Right, r.Top), m.Apply(r.Right, r.Bottom), m.Apply(r.Left, r.Bottom)});
    }
    return TRegion::FromPolygons(polygons, true, {0, 0, width_, height_});
}

void TMetafileCanvas::IntersectClipRect(double left, double top, double right, double bottom) {
    TClip clip = CurrentClip();
    TMatrix m = LogicalToCanvas();
    TRegion area = TRegion::FromPolygons(
        {{m.Apply(left, top), m.Apply(right, top), m.Apply(right, bottom), m.Apply(left, bottom)}}, true,
        {0, 0, width_, height_});
    clip.Region = clip.Region.Combine(area, TRegionOp::And);
    SetClip(std::move(clip));
}

void TMetafileCanvas::ExcludeClipRect(double left, double top, double right, double bottom) {
    TClip clip = CurrentClip();
    TMatrix m = LogicalToCanvas();
    TRegion area = TRegion::FromPolygons(
        {{m.Apply(left, top), m.Apply(right, top), m.Apply(right, bottom), m.Apply(left, bottom)}}, true,
        {0, 0, width_, height_});
    clip.Region = clip.Region.Combine(area, TRegionOp::Diff);
    SetClip(std::move(clip));
}

void TMetafileCanvas::OffsetClip(double dx, double dy) {
    if (!state_.Clip) return;
    TPointD d = LogicalToCanvas().ApplyLinear(dx, dy);
    if (!std::isfinite(d.X) || !std::isfinite(d.Y)) return;
    int ix = static_cast<int>(std::lround(std::clamp(d.X, -1e6, 1e6)));
    int iy = static_cast<int>(std::lround(std::clamp(d.Y, -1e6, 1e6)));
    TClip clip = *state_.Clip;
    clip.Region.Offset(ix, iy);
    clip.Region = clip.Region.Combine(fullClip_.Region, TRegionOp::And);
    for (TClip::TClipPath& path : clip.Paths)
        for (TPointD& p : path.Path.Points) p = {p.X + ix, p.Y + iy};
    SetClip(std::move(clip));
}

namespace {
// The clip as one region, its paths scanned into pixels.
TRegion Flatten(const TClip& clip, const TRegionRect& bounds) {
    TRegion region = clip.Region;
    for (const TClip::TClipPath& path : clip.Paths)
        region = region.Combine(TRegion::FromPolygons(path.Path.Polygons(), path.Winding, bounds), TRegionOp::And);
    return region;
}
}  // namespace

void TMetafileCanvas::SelectClipRegion(const TRegion* region, TRegionOp op) {
    if (!region) {
        // Only a reset has a meaning without a region.
        if (op == TRegionOp::Copy) state_.Clip.reset();
        return;
    }
    TRegion area = region->Combine(fullClip_.Region, TRegionOp::And);
    TClip clip = CurrentClip();
    switch (op) {
        case TRegionOp::Copy:
            clip = TClip{std::move(area), {}};
            break;
        case TRegionOp::And:
        case TRegionOp::Diff:
            // (R ∩ paths) op S = (R op S) ∩ paths for these two.
            clip.Region = clip.Region.Combine(area, op);
            break;
        default:
            clip = TClip{Flatten(clip, {0, 0, width_, height_}).Combine(area, op), {}};
            break;
    }
    SetClip(std::move(clip));
}

void TMetafileCanvas::SelectClipPath(TRegionOp op) {
    if (!path_.Empty() && !inPath_) {
        TClip clip = CurrentClip();
        TClip::TClipPath added{path_, state_.Winding};
        switch (op) {
            case TRegionOp::Copy:
                clip = TClip{fullClip_.Region, {std::move(added)}};
                break;
            case TRegionOp::And:
                clip.Paths.push_back(std::move(added));
                break;
            case TRegionOp::Diff:
                clip.Region = clip.Region.Combine(
                    TRegion::FromPolygons(added.Path.Polygons(), added.Winding, {0, 0, width_, height_}), op);
                break;
            default: {
                TRegion area = TRegion::FromPolygons(added.Path.Polygons(), added.Winding, {0, 0, width_, height_});
                clip = TClip{Flatten(clip, {0, 0, width_, height_}).Combine(area, op), {}};
                break;
            }
        }
        SetClip(std::move(clip));
    }
    path_ = TPath();
    inPath_ = false;
}

void TMetafileCanvas::ApplyClip() {
    if (state_.Clip == appliedClip_) return;
    appliedClip_ = state_.Clip;
    cairo_reset_clip(cr_);
    if (!appliedClip_) return;
    cairo_new_path(cr_);
    for (const TRegionRect& r : appliedClip_->Region.Rects())
        cairo_rectangle(cr_, r.Left, r.Top, r.Right - r.Left, r.Bottom - r.Top);
    if (appliedClip_->Region.Empty()) cairo_rectangle(cr_, 0, 0, 0, 0);
    cairo_set_fill_rule(cr_, CAIRO_FILL_RULE_WINDING);
    cairo_clip(cr_);
    for (const TClip::TClipPath& path : appliedClip_->Paths) {
        EmitPath(path.Path);
        cairo_set_fill_rule(cr_, path.Winding ? CAIRO_FILL_RULE_WINDING : CAIRO_FILL_RULE_EVEN_ODD);
        cairo_clip(cr_);
    }
}

// ---- sources and strokes ----

void TMetafileCanvas::SetSourceColor(TColor color) {
    cairo_set_source_rgb(cr_, RedOf(color) / 255.0, GreenOf(color) / 255.0, BlueOf(color) / 255.0);
}

bool TMetafileCanvas::SetRop2Source(TColor color) {
    cairo_operator_t op = CAIRO_OPERATOR_OVER;
    switch (state_.Rop2) {
        case R2_NOP:
            return false;
        case R2_BLACK:
            color = 0;
            break;
        case R2_WHITE:
            color = 0xFFFFFF;
            break;
        case R2_NOTCOPYPEN:
            color = ~color & 0xFFFFFF;
            break;
        case R2_NOT:
            // |white - d| inverts the destination exactly.
            color = 0xFFFFFF;
            op = CAIRO_OPERATOR_DIFFERENCE;
            break;
        case R2_XORPEN:
            op = CAIRO_OPERATOR_DIFFERENCE;
            break;
        case R2_MASKPEN:
            op = CAIRO_OPERATOR_MULTIPLY;
            break;
        case R2_MERGEPEN:
            op = CAIRO_OPERATOR_LIGHTEN;
            break;
        default:
            break;
    }
    cairo_set_operator(cr_, op);
    SetSourceColor(color);
    return true;
}

void TMetafileCanvas::EmitPath(const TPath& path) {
    cairo_new_path(cr_);
    std::size_t k = 0;
    for (TPath::TOp op : path.Ops) {
        switch (op) {
            case TPath::TOp::Move:
                cairo_move_to(cr_, path.Points[k].X, path.Points[k].Y);
                ++k;
                break;
            case TPath::TOp::Line:
                cairo_line_to(cr_, path.Points[k].X, path.Points[k].Y);
                ++k;
                break;
            case TPath::TOp::Curve:
                cairo_curve_to(cr_, path.Points[k].X, path.Points[k].Y, path.Points[k + 1].X, path.Points[k + 1].Y,
                               path.Points[k + 2].X, path.Points[k + 2].Y);
                k += 3;
                break;
            case TPath::TOp::Close:
                cairo_close_path(cr_);
                break;
        }
    }
}

void TMetafileCanvas::Fill(const TPath& path, const TBrush& brush, bool winding) {
    if (brush.Style == BS_NULL || path.Empty()) return;
    ApplyClip();
    if (!SetBrushSource(brush)) return;
    EmitPath(path);
    cairo_set_fill_rule(cr_, winding ? CAIRO_FILL_RULE_WINDING : CAIRO_FILL_RULE_EVEN_ODD);
    cairo_fill(cr_);
    cairo_set_operator(cr_, CAIRO_OPERATOR_OVER);
}

double TMetafileCanvas::PenWidth(const TPen& pen) const {
    if (pen.Width <= 0 || !(pen.Style & PS_GEOMETRIC || !pen.Extended)) return 1;
    double scale = std::sqrt(std::abs(LogicalToCanvas().Determinant()));
    double width = pen.Width * scale;
    if (!std::isfinite(width)) return 1;
    // Never thinner than a pixel, never wider than the canvas needs.
    return std::clamp(width, 1.0, 2.0 * (width_ + height_));
}

void TMetafileCanvas::Stroke(const TPath& path) { Stroke(path, *state_.Pen, nullptr); }

void TMetafileCanvas::Stroke(const TPath& path, const TPen& pen, const TBrush* brush) {
    std::uint32_t style = pen.Style & PS_STYLE_MASK;
    if (style == PS_NULL || path.Empty()) return;
    ApplyClip();
    double width = PenWidth(pen);
    bool cosmetic = pen.Width <= 0 || (pen.Extended && !(pen.Style & PS_GEOMETRIC));
    // Wide pens of the old kind are always solid.
    if (!pen.Extended && pen.Width > 1 && style >= PS_DASH && style <= PS_DASHDOTDOT) style = PS_SOLID;
    std::vector<double> dashes;
    double unit = cosmetic ? 1 : width;
    switch (style) {
        case PS_DASH:
            dashes = cosmetic ? std::vector<double>{18, 6} : std::vector<double>{3 * unit, unit};
            break;
        case PS_DOT:
            dashes = cosmetic ? std::vector<double>{3, 3} : std::vector<double>{unit, unit};
            break;
        case PS_DASHDOT:
            dashes = cosmetic ? std::vector<double>{9, 6, 3, 6} : std::vector<double>{3 * unit, unit, unit, unit};
            break;
        case PS_DASHDOTDOT:
            dashes = cosmetic ? std::vector<double>{9, 3, 3, 3, 3, 3}
                              : std::vector<double>{3 * unit, unit, unit, unit, unit, unit};
            break;
        case PS_ALTERNATE:
            dashes = {1, 1};
            break;
        case PS_USERSTYLE: {
            double scale = cosmetic ? 1 : std::sqrt(std::abs(LogicalToCanvas().Determinant()));
            double total = 0;
            for (double d : pen.Dashes) {
                double length = std::isfinite(d * scale) ? std::clamp(d * scale, 0.0, 1e6) : 0.0;
                dashes.push_back(length);
                total += length;
            }
            if (total <= 0) dashes.clear();
            break;
        }
        default:
            break;
    }
    cairo_set_line_width(cr_, width);
    // Hairlines as GDI draws them: one whole pixel, not a grey smear over two.
    bool hairline = width <= 1.5;
    cairo_set_antialias(cr_, hairline ? CAIRO_ANTIALIAS_NONE : CAIRO_ANTIALIAS_DEFAULT);
    if (hairline) cairo_set_line_width(cr_, 1);
    switch (pen.Style & PS_JOIN_MASK) {
        case PS_JOIN_BEVEL:
            cairo_set_line_join(cr_, CAIRO_LINE_JOIN_BEVEL);
            break;
        case PS_JOIN_MITER:
            cairo_set_line_join(cr_, CAIRO_LINE_JOIN_MITER);
            cairo_set_miter_limit(cr_, std::clamp(state_.MiterLimit, 1.0, 100.0));
            break;
        default:
            cairo_set_line_join(cr_, CAIRO_LINE_JOIN_ROUND);
            break;
    }
    cairo_line_cap_t cap = CAIRO_LINE_CAP_ROUND;
    if ((pen.Style & PS_ENDCAP_MASK) == PS_ENDCAP_FLAT || (cosmetic && !dashes.empty())) cap = CAIRO_LINE_CAP_BUTT;
    if ((pen.Style & PS_ENDCAP_MASK) == PS_ENDCAP_SQUARE) cap = CAIRO_LINE_CAP_SQUARE;
    cairo_set_line_cap(cr_, cap);
    // GDI's one-pixel lines run through pixel centres: a line at y = 40 is row 40.
    if (hairline) cairo_translate(cr_, 0.5, 0.5);
    EmitPath(path);
    cairo_identity_matrix(cr_);
    // Gaps of a styled line show the background colour in opaque mode.
    if (!dashes.empty() && state_.Opaque && !brush) {
        cairo_set_dash(cr_, nullptr, 0, 0);
        if (SetRop2Source(state_.BkColor)) cairo_stroke_preserve(cr_);
    }
    cairo_set_dash(cr_, dashes.data(), static_cast<int>(dashes.size()), 0);
    bool draw = brush ? SetBrushSource(*brush) : SetRop2Source(pen.Color);
    if (draw) cairo_stroke(cr_);
    cairo_new_path(cr_);
    cairo_set_dash(cr_, nullptr, 0, 0);
    cairo_set_operator(cr_, CAIRO_OPERATOR_OVER);
    cairo_set_antialias(cr_, CAIRO_ANTIALIAS_DEFAULT);
}

bool TMetafileCanvas::SetBrushSource(const TBrush& brush, bool rop2) {
    // Blits draw the brush as it is; lines and fills go through the ROP2 mode.
    auto solid = [this, rop2](TColor color) {
        if (rop2) return SetRop2Source(color);
        cairo_set_operator(cr_, CAIRO_OPERATOR_OVER);
        SetSourceColor(color);
        return true;
    };
    switch (brush.Style) {
        case BS_NULL:
            return false;
        case BS_HATCHED: {
            if (!solid(brush.Color)) return false;
            // An 8 × 8 tile in device pixels, as GDI draws hatches.
            TSurface tile(8, 8, true);
            if (!tile.Handle()) return false;
            cairo_surface_flush(tile.Handle());
            auto premultiplied = [](TColor c) {
                return 0xFF000000u | (std::uint32_t{RedOf(c)} << 16) | (std::uint32_t{GreenOf(c)} << 8) | BlueOf(c);
            };
            std::uint32_t background = state_.Opaque ? premultiplied(state_.BkColor) : 0;
            std::uint32_t ink = premultiplied(brush.Color);
            for (int y = 0; y < 8; ++y) {
                std::uint32_t* row = tile.Row(y);
                for (int x = 0; x < 8; ++x) {
                    bool on = false;
                    switch (brush.Hatch) {
                        case 0:  // HS_HORIZONTAL
                            on = y == 7;
                            break;
                        case 1:  // HS_VERTICAL
                            on = x == 7;
                            break;
                        case 2:  // HS_FDIAGONAL
                            on = x == y;
                            break;
                        case 3:  // HS_BDIAGONAL
                            on = x == 7 - y;
                            break;
                        case 4:  // HS_CROSS
                            on = x == 7 || y == 7;
                            break;
                        default:  // HS_DIAGCROSS
                            on = x == y || x == 7 - y;
                            break;
                    }
                    row[x] = on ? ink : background;
                }
            }
            cairo_surface_mark_dirty(tile.Handle());
            cairo_pattern_t* pattern = cairo_pattern_create_for_surface(tile.Handle());
            cairo_pattern_set_extend(pattern, CAIRO_EXTEND_REPEAT);
            cairo_pattern_set_filter(pattern, CAIRO_FILTER_NEAREST);
            SetPatternPhase(pattern);
            cairo_set_source(cr_, pattern);
            cairo_pattern_destroy(pattern);
            return true;
        }
        case BS_PATTERN:
        case BS_DIBPATTERN:
        case BS_DIBPATTERNPT: {
            if (!brush.Pattern || !brush.Pattern->Handle()) return solid(brush.Color);
            if (rop2 && state_.Rop2 == R2_NOP) return false;
            cairo_set_operator(cr_, CAIRO_OPERATOR_OVER);
            std::shared_ptr<TSurface> surface = brush.Pattern;
            if (brush.Monochrome) {
                // Pattern bits 0 take the text colour, bits 1 the background colour.
                auto coloured = std::make_shared<TSurface>(surface->Width(), surface->Height(), false);
                if (!coloured->Handle()) return false;
                cairo_surface_flush(surface->Handle());
                cairo_surface_flush(coloured->Handle());
                auto rgb = [](TColor c) {
                    return (std::uint32_t{RedOf(c)} << 16) | (std::uint32_t{GreenOf(c)} << 8) | BlueOf(c);
                };
                std::uint32_t fore = rgb(state_.TextColor), back = rgb(state_.BkColor);
                for (int y = 0; y < surface->Height(); ++y) {
                    const std::uint32_t* in = surface->Row(y);
                    std::uint32_t* out = coloured->Row(y);
                    for (int x = 0; x < surface->Width(); ++x) out[x] = (in[x] & 0xFFFFFF) ? back : fore;
                }
                cairo_surface_mark_dirty(coloured->Handle());
                surface = coloured;
            }
            cairo_pattern_t* pattern = cairo_pattern_create_for_surface(surface->Handle());
            cairo_pattern_set_extend(pattern, CAIRO_EXTEND_REPEAT);
            cairo_pattern_set_filter(pattern, CAIRO_FILTER_NEAREST);
            SetPatternPhase(pattern);
            cairo_set_source(cr_, pattern);
            cairo_pattern_destroy(pattern);
            return true;
        }
        default:
            return solid(brush.Color);
    }
}

void TMetafileCanvas::SetPatternPhase(cairo_pattern_t* pattern) const {
    if (space_.BandTop == 0) return;
    cairo_matrix_t m;
    cairo_matrix_init_translate(&m, 0, space_.BandTop);
    cairo_pattern_set_matrix(pattern, &m);
}

// ---- shapes ----

void TMetafileCanvas::AddToPathOrDraw(const TPath& path, bool fill, bool stroke) {
    if (inPath_) {
        path_.Append(path);
        return;
    }
    if (fill) Fill(path, *state_.Brush, state_.Winding);
    if (stroke) Stroke(path);
}

void TMetafileCanvas::MoveTo(double x, double y) {
    state_.Position = {x, y};
    if (inPath_) path_.MoveTo(ToCanvas(x, y));
}

void TMetafileCanvas::StartFigure() {
    // Segments drawn from the current position continue the open figure of a path.
    if (path_.Empty() || path_.Ops.back() == TPath::TOp::Close)
        path_.MoveTo(ToCanvas(state_.Position.X, state_.Position.Y));
}

void TMetafileCanvas::LineTo(double x, double y) {
    if (inPath_) {
        StartFigure();
        path_.LineTo(ToCanvas(x, y));
    } else {
        TPath path;
        path.MoveTo(ToCanvas(state_.Position.X, state_.Position.Y));
        path.LineTo(ToCanvas(x, y));
        Stroke(path);
    }
    state_.Position = {x, y};
}

void TMetafileCanvas::Polyline(const std::vector<TPointD>& points) {
    if (points.size() < 2) return;
    TPath path;
    path.MoveTo(ToCanvas(points[0].X, points[0].Y));
    for (std::size_t i = 1; i < points.size(); ++i) path.LineTo(ToCanvas(points[i].X, points[i].Y));
    AddToPathOrDraw(path, false, true);
}

void TMetafileCanvas::PolylineTo(const std::vector<TPointD>& points) {
    if (points.empty()) return;
    if (inPath_) {
        StartFigure();
        for (const TPointD& p : points) path_.LineTo(ToCanvas(p.X, p.Y));
    } else {
        TPath path;
        path.MoveTo(ToCanvas(state_.Position.X, state_.Position.Y));
        for (const TPointD& p : points) path.LineTo(ToCanvas(p.X, p.Y));
        Stroke(path);
    }
    state_.Position = points.back();
}

void TMetafileCanvas::PolyBezier(const std::vector<TPointD>& points) {
    if (points.size() < 4) return;
    TPath path;
    path.MoveTo(ToCanvas(points[0].X, points[0].Y));
    for (std::size_t i = 1; i + 2 < points.size(); i += 3)
        path.CurveTo(ToCanvas(points[i].X, points[i].Y), ToCanvas(points[i + 1].X, points[i + 1].Y),
                     ToCanvas(points[i + 2].X, points[i + 2].Y));
    AddToPathOrDraw(path, false, true);
}

void TMetafileCanvas::PolyBezierTo(const std::vector<TPointD>& points) {
    if (points.size() < 3) return;
    TPath path;
    if (inPath_) {
        StartFigure();
    } else {
        path.MoveTo(ToCanvas(state_.Position.X, state_.Position.Y));
    }
    TPath& target = inPath_ ? path_ : path;
    std::size_t i = 0;
    for (; i + 2 < points.size(); i += 3)
        target.CurveTo(ToCanvas(points[i].X, points[i].Y), ToCanvas(points[i + 1].X, points[i + 1].Y),
                       ToCanvas(points[i + 2].X, points[i + 2].Y));
    state_.Position = points[i - 1];
    if (!inPath_) Stroke(path);
}

void TMetafileCanvas::PolyDraw(const std::vector<TPointD>& points, const std::vector<std::uint8_t>& types) {
    TPath path;
    TPath& target = inPath_ ? path_ : path;
    if (inPath_) {
        StartFigure();
    } else {
        target.MoveTo(ToCanvas(state_.Position.X, state_.Position.Y));
    }
    TPointD figureStart = state_.Position;
    std::size_t n = std::min(points.size(), types.size());
    for (std::size_t i = 0; i < n; ++i) {
        std::uint8_t type = types[i] & ~1u;
        if (type == 6) {  // PT_MOVETO
            target.MoveTo(ToCanvas(points[i].X, points[i].Y));
            figureStart = points[i];
            state_.Position = points[i];
        } else if (type == 2) {  // PT_LINETO
            target.LineTo(ToCanvas(points[i].X, points[i].Y));
            state_.Position = points[i];
        } else if (type == 4 && i + 2 < n) {  // PT_BEZIERTO, three points
            target.CurveTo(ToCanvas(points[i].X, points[i].Y), ToCanvas(points[i + 1].X, points[i + 1].Y),
                           ToCanvas(points[i + 2].X, points[i + 2].Y));
            i += 2;
            state_.Position = points[i];
        } else {
            break;
        }
        if (types[i] & 1) {  // PT_CLOSEFIGURE
            target.Close();
            state_.Position = figureStart;
        }
    }
    if (!inPath_) Stroke(path);
}

void TMetafileCanvas::PolyPolyline(const std::vector<std::vector<TPointD>>& lines) {
    TPath path;
    for (const std::vector<TPointD>& line : lines) {
        if (line.size() < 2) continue;
        path.MoveTo(ToCanvas(line[0].X, line[0].Y));
        for (std::size_t i = 1; i < line.size(); ++i) path.LineTo(ToCanvas(line[i].X, line[i].Y));
    }
    AddToPathOrDraw(path, false, true);
}

void TMetafileCanvas::PolyPolygon(const std::vector<std::vector<TPointD>>& polygons) {
    TPath path;
    for (const std::vector<TPointD>& polygon : polygons) {
        if (polygon.size() < 2) continue;
        path.MoveTo(ToCanvas(polygon[0].X, polygon[0].Y));
        for (std::size_t i = 1; i < polygon.size(); ++i) path.LineTo(ToCanvas(polygon[i].X, polygon[i].Y));
        path.Close();
    }
    AddToPathOrDraw(path, true, true);
}

void TMetafileCanvas::InsideFrame(double& left, double& top, double& right, double& bottom) const {
    // An inside-frame pen draws within the shape's box.
    const TPen& pen = *state_.Pen;
    if ((pen.Style & PS_STYLE_MASK) != PS_INSIDEFRAME || pen.Width <= 1) return;
    double half = pen.Width / 2;
    if (left > right) std::swap(left, right);
    if (top > bottom) std::swap(top, bottom);
    if (right - left <= pen.Width || bottom - top <= pen.Width) return;
    left += half;
    top += half;
    right -= half;
    bottom -= half;
}

void TMetafileCanvas::Rectangle(double left, double top, double right, double bottom) {
    InsideFrame(left, top, right, bottom);
    TPath path;
    path.MoveTo(ToCanvas(left, top));
    path.LineTo(ToCanvas(right, top));
    path.LineTo(ToCanvas(right, bottom));
    path.LineTo(ToCanvas(left, bottom));
    path.Close();
    AddToPathOrDraw(path, true, true);
}

void TMetafileCanvas::AppendArc(TPath& path, double cx, double cy, double rx, double ry, double a0, double a1,
                                bool first) const {
    // Bézier segments of at most a quarter turn each; angles run with y downwards.
    double sweep = a1 - a0;
    int segments = std::clamp(static_cast<int>(std::ceil(std::abs(sweep) / (std::numbers::pi / 2) - 1e-9)), 1, 8);
    double step = sweep / segments;
    double k = 4.0 / 3.0 * std::tan(step / 4);
    auto at = [&](double t) { return TPointD{cx + rx * std::cos(t), cy + ry * std::sin(t)}; };
    TPointD p0 = at(a0);
    TPointD start = ToCanvas(p0.X, p0.Y);
    if (first) {
        path.MoveTo(start);
    } else {
        path.LineTo(start);
    }
    for (int i = 0; i < segments; ++i) {
        double t0 = a0 + step * i, t1 = t0 + step;
        TPointD q0 = at(t0), q3 = at(t1);
        TPointD q1{q0.X - k * rx * std::sin(t0), q0.Y + k * ry * std::cos(t0)};
        TPointD q2{q3.X + k * rx * std::sin(t1), q3.Y - k * ry * std::cos(t1)};
        path.CurveTo(ToCanvas(q1.X, q1.Y), ToCanvas(q2.X, q2.Y), ToCanvas(q3.X, q3.Y));
    }
}

void TMetafileCanvas::Ellipse(double left, double top, double right, double bottom) {
    InsideFrame(left, top, right, bottom);
    TPath path;
    AppendArc(path, (left + right) / 2, (top + bottom) / 2, (right - left) / 2, (bottom - top) / 2, 0,
              2 * std::numbers::pi, true);
    path.Close();
    AddToPathOrDraw(path, true, true);
}

void TMetafileCanvas::RoundRect(double left, double top, double right, double bottom, double width, double height) {
    InsideFrame(left, top, right, bottom);
    if (left > right) std::swap(left, right);
    if (top > bottom) std::swap(top, bottom);
    double rx = std::min(std::abs(width) / 2, (right - left) / 2);
    double ry = std::min(std::abs(height) / 2, (bottom - top) / 2);
    if (rx <= 0 || ry <= 0) {
        Rectangle(left, top, right, bottom);
        return;
    }
    const double pi = std::numbers::pi;
    TPath path;
    AppendArc(path, right - rx, top + ry, rx, ry, -pi / 2, 0, true);
    AppendArc(path, right - rx, bottom - ry, rx, ry, 0, pi / 2, false);
    AppendArc(path, left + rx, bottom - ry, rx, ry, pi / 2, pi, false);
    AppendArc(path, left + rx, top + ry, rx, ry, pi, 3 * pi / 2, false);
    path.Close();
    AddToPathOrDraw(path, true, true);
}

void TMetafileCanvas::Arc(TArcKind kind, double left, double top, double right, double bottom, double xStart,
                          double yStart, double xEnd, double yEnd) {
    InsideFrame(left, top, right, bottom);
    double cx = (left + right) / 2, cy = (top + bottom) / 2;
    double rx = std::abs(right - left) / 2, ry = std::abs(bottom - top) / 2;
    if (rx <= 0 || ry <= 0) return;
    double a0 = std::atan2((yStart - cy) / ry, (xStart - cx) / rx);
    double a1 = std::atan2((yEnd - cy) / ry, (xEnd - cx) / rx);
    // Counterclockwise as the picture shows it: decreasing angles while y runs downwards on
    // the canvas; a mirroring transform turns that round.
    bool decreasing = !state_.Clockwise;
    if (LogicalToCanvas().Determinant() < 0) decreasing = !decreasing;
    const double turn = 2 * std::numbers::pi;
    double sweep = decreasing ? a0 - a1 : a1 - a0;
    sweep = std::fmod(sweep, turn);
    if (sweep <= 1e-12) sweep += turn;
    double end = decreasing ? a0 - sweep : a0 + sweep;
    TPath path;
    bool inFigure = false;
    if (kind == TArcKind::Pie) {
        path.MoveTo(ToCanvas(cx, cy));
        inFigure = true;
    } else if (kind == TArcKind::ArcTo) {
        if (inPath_) {
            StartFigure();
            inFigure = true;
        } else {
            path.MoveTo(ToCanvas(state_.Position.X, state_.Position.Y));
            inFigure = true;
        }
    }
    TPath& target = kind == TArcKind::ArcTo && inPath_ ? path_ : path;
    AppendArc(target, cx, cy, rx, ry, a0, end, !inFigure);
    if (kind == TArcKind::ArcTo) {
        state_.Position = {cx + rx * std::cos(end), cy + ry * std::sin(end)};
        if (!inPath_) Stroke(path);
        return;
    }
    bool closed = kind == TArcKind::Chord || kind == TArcKind::Pie;
    if (closed) path.Close();
    AddToPathOrDraw(path, closed, true);
}

void TMetafileCanvas::AngleArc(double x, double y, double radius, double startDegrees, double sweepDegrees) {
    if (!std::isfinite(startDegrees) || !std::isfinite(sweepDegrees) || !std::isfinite(radius)) return;
    // Angles run counterclockwise with y upwards; the path angles run with y downwards.
    sweepDegrees = std::clamp(sweepDegrees, -720.0, 720.0);
    double a0 = -std::fmod(startDegrees, 360.0) * std::numbers::pi / 180;
    double a1 = a0 - sweepDegrees * std::numbers::pi / 180;
    TPath path;
    TPath& target = inPath_ ? path_ : path;
    if (inPath_) {
        StartFigure();
    } else {
        path.MoveTo(ToCanvas(state_.Position.X, state_.Position.Y));
    }
    AppendArc(target, x, y, radius, radius, a0, a1, false);
    state_.Position = {x + radius * std::cos(a1), y + radius * std::sin(a1)};
    if (!inPath_) Stroke(path);
}

void TMetafileCanvas::SetPixel(double x, double y, TColor color) {
    TPointD p = ToCanvas(x, y);
    ApplyClip();
    cairo_new_path(cr_);
    cairo_rectangle(cr_, std::floor(p.X), std::floor(p.Y), 1, 1);
    SetSourceColor(color);
    cairo_set_operator(cr_, CAIRO_OPERATOR_OVER);
    cairo_fill(cr_);
}

// ---- paths ----

void TMetafileCanvas::BeginPath() {
    path_ = TPath();
    inPath_ = true;
    widened_ = false;
}

void TMetafileCanvas::EndPath() { inPath_ = false; }

void TMetafileCanvas::AbortPath() {
    path_ = TPath();
    inPath_ = false;
    widened_ = false;
}

void TMetafileCanvas::CloseFigure() {
    if (inPath_) path_.Close();
}

void TMetafileCanvas::FillPath() {
    if (inPath_) return;
    if (widened_) {
        // A widened path is the outline the pen would draw.
        Stroke(path_, *state_.Pen, state_.Brush.get());
    } else {
        Fill(path_, *state_.Brush, state_.Winding);
    }
    AbortPath();
}

void TMetafileCanvas::StrokePath() {
    if (inPath_) return;
    Stroke(path_);
    AbortPath();
}

void TMetafileCanvas::StrokeAndFillPath() {
    if (inPath_) return;
    Fill(path_, *state_.Brush, state_.Winding);
    Stroke(path_);
    AbortPath();
}

void TMetafileCanvas::FlattenPath() {
    if (inPath_) return;
    TPath flat;
    for (const TPolygon& polygon : path_.Polygons()) {
        flat.MoveTo(polygon[0]);
        for (std::size_t i = 1; i < polygon.size(); ++i) flat.LineTo(polygon[i]);
    }
    path_ = std::move(flat);
}

void TMetafileCanvas::WidenPath() {
    if (!inPath_) widened_ = true;
}

// ---- regions ----

namespace {
TPath PathOf(const TRegion& region) {
    TPath path;
    for (const TRegionRect& r : region.Rects()) {
        path.MoveTo({double(r.Left), double(r.Top)});
        path.LineTo({double(r.Right), double(r.Top)});
        path.LineTo({double(r.Right), double(r.Bottom)});
        path.LineTo({double(r.Left), double(r.Bottom)});
        path.Close();
    }
    return path;
}
}  // namespace

void TMetafileCanvas::FillRegion(const TRegion& region, const TBrush& brush) {
    if (region.Empty()) return;
    Fill(PathOf(region), brush, true);
}

void TMetafileCanvas::FrameRegion(const TRegion& region, const TBrush& brush, double width, double height) {
    if (region.Empty()) return;
    TPointD size = LogicalToCanvas().ApplyLinear(width, height);
    if (!std::isfinite(size.X) || !std::isfinite(size.Y)) return;
    int w = static_cast<int>(std::lround(std::clamp(std::abs(size.X), 1.0, double(width_))));
    int h = static_cast<int>(std::lround(std::clamp(std::abs(size.Y), 1.0, double(height_))));
    // The frame is what the region loses when it shrinks by the frame's width and height.
    TRegion inner = region;
    for (auto [dx, dy] : {std::pair{w, 0}, std::pair{-w, 0}, std::pair{0, h}, std::pair{0, -h}}) {
        TRegion moved = region;
        moved.Offset(dx, dy);
        inner = inner.Combine(moved, TRegionOp::And);
    }
    Fill(PathOf(region.Combine(inner, TRegionOp::Diff)), brush, true);
}

void TMetafileCanvas::InvertRegion(const TRegion& region) {
    if (region.Empty()) return;
    ApplyClip();
    EmitPath(PathOf(region));
    cairo_set_operator(cr_, CAIRO_OPERATOR_DIFFERENCE);
    SetSourceColor(0xFFFFFF);
    cairo_set_fill_rule(cr_, CAIRO_FILL_RULE_WINDING);
    cairo_fill(cr_);
    cairo_set_operator(cr_, CAIRO_OPERATOR_OVER);
}

// ---- gradients ----

void TMetafileCanvas::GradientRect(const TVertex& a, const TVertex& b, bool vertical) {
    TPointD corners[4] = {ToCanvas(a.Position.X, a.Position.Y), ToCanvas(b.Position.X, a.Position.Y),
                          ToCanvas(b.Position.X, b.Position.Y), ToCanvas(a.Position.X, b.Position.Y)};
    // The shading runs from one edge of the rectangle to the opposite one.
    TPointD end = vertical ? corners[3] : corners[1];
    ApplyClip();
    cairo_pattern_t* pattern = cairo_pattern_create_linear(corners[0].X, corners[0].Y, end.X, end.Y);
    cairo_pattern_add_color_stop_rgb(pattern, 0, RedOf(a.Color) / 255.0, GreenOf(a.Color) / 255.0,
                                     BlueOf(a.Color) / 255.0);
    cairo_pattern_add_color_stop_rgb(pattern, 1, RedOf(b.Color) / 255.0, GreenOf(b.Color) / 255.0,
                                     BlueOf(b.Color) / 255.0);
    cairo_pattern_set_extend(pattern, CAIRO_EXTEND_PAD);
    cairo_new_path(cr_);
    cairo_move_to(cr_, corners[0].X, corners[0].Y);
    for (int i = 1; i < 4; ++i) cairo_line_to(cr_, corners[i].X, corners[i].Y);
    cairo_close_path(cr_);
    cairo_set_source(cr_, pattern);
    cairo_set_operator(cr_, CAIRO_OPERATOR_OVER);
    cairo_set_fill_rule(cr_, CAIRO_FILL_RULE_WINDING);
    cairo_fill(cr_);
    cairo_pattern_destroy(pattern);
}

void TMetafileCanvas::GradientTriangle(const TVertex& a, const TVertex& b, const TVertex& c) {
    TPointD p[3] = {ToCanvas(a.Position.X, a.Position.Y), ToCanvas(b.Position.X, b.Position.Y),
                    ToCanvas(c.Position.X, c.Position.Y)};
    const TColor colors[3] = {a.Color, b.Color, c.Color};
    ApplyClip();
    cairo_pattern_t* mesh = cairo_pattern_create_mesh();
    cairo_mesh_pattern_begin_patch(mesh);
    cairo_mesh_pattern_move_to(mesh, p[0].X, p[0].Y);
    cairo_mesh_pattern_line_to(mesh, p[1].X, p[1].Y);
    cairo_mesh_pattern_line_to(mesh, p[2].X, p[2].Y);
    for (unsigned i = 0; i < 3; ++i)
        cairo_mesh_pattern_set_corner_color_rgb(mesh, i, RedOf(colors[i]) / 255.0, GreenOf(colors[i]) / 255.0,
                                                BlueOf(colors[i]) / 255.0);
    cairo_mesh_pattern_end_patch(mesh);
    cairo_new_path(cr_);
    cairo_move_to(cr_, p[0].X, p[0].Y);
    cairo_line_to(cr_, p[1].X, p[1].Y);
    cairo_line_to(cr_, p[2].X, p[2].Y);
    cairo_close_path(cr_);
    cairo_set_source(cr_, mesh);
    cairo_set_operator(cr_, CAIRO_OPERATOR_OVER);
    cairo_fill(cr_);
    cairo_pattern_destroy(mesh);
}
