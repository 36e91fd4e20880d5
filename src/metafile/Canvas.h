// The playback device: a cairo raster canvas with the device context of GDI on top of it
// (mapping modes, window and viewport, world transform, selected objects, colours, clipping,
// the path bracket, SaveDC/RestoreDC). The WMF and EMF players parse records and call this
// one interface with logical coordinates, so both formats draw alike.
#pragma once

#include "Region.h"

#include "platform/Bitmap.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

typedef struct _cairo cairo_t;
typedef struct _cairo_surface cairo_surface_t;
typedef struct _cairo_font_face cairo_font_face_t;
typedef struct _cairo_pattern cairo_pattern_t;

// x' = A x + C y + E, y' = B x + D y + F (the layout of cairo_matrix_t and of the EMF XFORM).
struct TMatrix {
    double A = 1, B = 0, C = 0, D = 1, E = 0, F = 0;
    TPointD Apply(double x, double y) const { return {A * x + C * y + E, B * x + D * y + F}; }
    TPointD ApplyLinear(double x, double y) const { return {A * x + C * y, B * x + D * y}; }
    // this after first: first is applied to a point, then this.
    TMatrix After(const TMatrix& first) const;
    double Determinant() const { return A * D - B * C; }
    bool Finite() const;
};

enum TMapMode {
    MM_TEXT = 1,
    MM_LOMETRIC = 2,
    MM_HIMETRIC = 3,
    MM_LOENGLISH = 4,
    MM_HIENGLISH = 5,
    MM_TWIPS = 6,
    MM_ISOTROPIC = 7,
    MM_ANISOTROPIC = 8
};

// Pen styles, end caps, joins and type, as in the records.
enum : std::uint32_t {
    PS_SOLID = 0,
    PS_DASH = 1,
    PS_DOT = 2,
    PS_DASHDOT = 3,
    PS_DASHDOTDOT = 4,
    PS_NULL = 5,
    PS_INSIDEFRAME = 6,
    PS_USERSTYLE = 7,
    PS_ALTERNATE = 8,
    PS_STYLE_MASK = 0x0F,
    PS_ENDCAP_SQUARE = 0x100,
    PS_ENDCAP_FLAT = 0x200,
    PS_ENDCAP_MASK = 0xF00,
    PS_JOIN_BEVEL = 0x1000,
    PS_JOIN_MITER = 0x2000,
    PS_JOIN_MASK = 0xF000,
    PS_GEOMETRIC = 0x10000,
};

enum : std::uint32_t {
    BS_SOLID = 0,
    BS_NULL = 1,
    BS_HATCHED = 2,
    BS_PATTERN = 3,
    BS_DIBPATTERN = 5,
    BS_DIBPATTERNPT = 6
};

// Text alignment flags.
enum : std::uint32_t {
    TA_UPDATECP = 1,
    TA_RIGHT = 2,
    TA_CENTER = 6,
    TA_HORZ_MASK = 6,
    TA_BOTTOM = 8,
    TA_BASELINE = 24,
    TA_VERT_MASK = 24
};

// ExtTextOut options.
enum : std::uint32_t { ETO_OPAQUE = 2, ETO_CLIPPED = 4, ETO_GLYPH_INDEX = 0x10, ETO_PDY = 0x2000 };

// A bitmap drawn by the canvas: 32-bit pixels (cairo's premultiplied ARGB; RGB24 ignores alpha).
class TSurface {
public:
    TSurface(int width, int height, bool alpha);
    ~TSurface();
    TSurface(const TSurface&) = delete;
    TSurface& operator=(const TSurface&) = delete;
    // Null when cairo could not make the surface.
    cairo_surface_t* Handle() const { return surface_; }
    int Width() const { return width_; }
    int Height() const { return height_; }
    bool HasAlpha() const { return alpha_; }
    std::uint32_t* Row(int y);

private:
    cairo_surface_t* surface_ = nullptr;
    int width_, height_;
    bool alpha_;
};

struct TPen {
    std::uint32_t Style = PS_SOLID;
    double Width = 0;  // logical units; 0 draws one pixel wide
    TColor Color = 0;
    bool Extended = false;       // made by ExtCreatePen: cosmetic unless PS_GEOMETRIC
    std::vector<double> Dashes;  // PS_USERSTYLE, logical units
};

struct TBrush {
    std::uint32_t Style = BS_SOLID;
    TColor Color = 0xFFFFFF;
    std::uint32_t Hatch = 0;
    std::shared_ptr<TSurface> Pattern;
    bool Monochrome = false;  // a two-colour pattern drawn in the text and background colours
};

struct TFont {
    std::string Face;  // UTF-8
    int Height = 0;    // < 0: character height, > 0: cell height, 0: the default
    int Width = 0;
    int Escapement = 0;  // tenths of a degree
    int Weight = 400;
    bool Italic = false, Underline = false, StrikeOut = false;
    std::uint8_t CharSet = 0;
};

struct TLogPalette {
    std::vector<TColor> Entries;
};

// A region object, in logical units: rectangles.
struct TRegionObject {
    std::vector<TRegionRect> Rects;
};

// One entry of a metafile's object table.
struct TGdiObject {
    enum class TKind { Pen, Brush, Font, Palette, Region } Kind = TKind::Pen;
    std::shared_ptr<const TPen> Pen;
    std::shared_ptr<const TBrush> Brush;
    std::shared_ptr<const TFont> Font;
    std::shared_ptr<const TLogPalette> Palette;
    std::shared_ptr<const TRegionObject> Region;
};

// A path in canvas pixels, as GDI keeps one: points are transformed when they are added.
struct TPath {
    enum class TOp : std::uint8_t { Move, Line, Curve, Close };
    std::vector<TOp> Ops;
    std::vector<TPointD> Points;  // one per Move/Line, three per Curve, none per Close
    void MoveTo(TPointD p);
    void LineTo(TPointD p);
    void CurveTo(TPointD a, TPointD b, TPointD c);
    void Close();
    void Append(const TPath& other);
    bool Empty() const { return Ops.empty(); }
    // Closed polygons of the path with curves flattened, for regions.
    std::vector<TPolygon> Polygons() const;
};

// The clip: a region and paths the drawing must also lie inside (kept as paths, so that
// SelectClipPath keeps its smooth edges), both in canvas pixels.
struct TClip {
    TRegion Region;
    struct TClipPath {
        TPath Path;
        bool Winding = false;
    };
    std::vector<TClipPath> Paths;
};

struct TDcState {
    int MapMode = MM_TEXT;
    TPointD WindowOrg{0, 0}, WindowExt{1, 1}, ViewportOrg{0, 0}, ViewportExt{1, 1};
    TMatrix World;
    bool AdvancedGraphics = false;
    TPointD Position{0, 0};  // logical
    std::shared_ptr<const TPen> Pen;
    std::shared_ptr<const TBrush> Brush;
    std::shared_ptr<const TFont> Font;
    std::shared_ptr<const TLogPalette> Palette;
    TColor TextColor = 0;
    TColor BkColor = 0xFFFFFF;
    bool Opaque = true;  // background mode
    std::uint32_t TextAlign = 0;
    bool Winding = false;  // polygon fill mode
    int Rop2 = 13;         // R2_COPYPEN
    int StretchMode = 1;   // BLACKONWHITE
    bool Clockwise = false;
    double MiterLimit = 10;
    double CharExtra = 0;               // logical units
    std::shared_ptr<const TClip> Clip;  // null: the whole canvas
};

// The picture space of one metafile: where its device units land on the canvas, and how many
// device units make a millimetre (for the metric mapping modes).
struct TDeviceSpace {
    TMatrix DeviceToCanvas;
    double UnitsPerMmX = 96 / 25.4, UnitsPerMmY = 96 / 25.4;
    // Rows of the picture above this canvas, when the picture is drawn in bands: hatches and
    // patterns keep their phase across bands.
    int BandTop = 0;
};

class TMetafileCanvas {
public:
    // A white canvas of width × height pixels.
    TMetafileCanvas(int width, int height, const TDeviceSpace& space);
    ~TMetafileCanvas();
    TMetafileCanvas(const TMetafileCanvas&) = delete;
    TMetafileCanvas& operator=(const TMetafileCanvas&) = delete;

    int Width() const { return width_; }
    int Height() const { return height_; }
    // The canvas as 24-bit B, G, R rows of a bitmap of its width, from row top on.
    void CopyTo(TBitmap& bitmap, int top);

    TDcState& State() { return state_; }
    const TDcState& State() const { return state_; }
    // Sets up the initial device context as a player of placeable metafiles does: the window on
    // the picture's box, the viewport on the device space.
    void SetInitialWindow(TPointD org, TPointD ext, TPointD viewportExt);

    // --- device context ---
    void SaveDC();
    void RestoreDC(int which);
    void SetMapMode(int mode);
    void SetWindowOrg(double x, double y);
    void SetWindowExt(double x, double y);
    void SetViewportOrg(double x, double y);
    void SetViewportExt(double x, double y);
    void ScaleWindowExt(double xNum, double xDenom, double yNum, double yDenom);
    void ScaleViewportExt(double xNum, double xDenom, double yNum, double yDenom);
    void SetWorldTransform(const TMatrix& m);
    // mode: 1 identity, 2 left multiply, 3 right multiply, 4 set.
    void ModifyWorldTransform(const TMatrix& m, int mode);
    // The colour a COLORREF stands for (palette indices looked up in the selected palette).
    TColor ResolveColor(std::uint32_t colorRef) const;
    TMatrix LogicalToCanvas() const;

    void SelectObject(const TGdiObject& object);
    void SelectStockObject(std::uint32_t index);

    // --- clipping (logical rectangles; regions in canvas pixels) ---
    void IntersectClipRect(double left, double top, double right, double bottom);
    void ExcludeClipRect(double left, double top, double right, double bottom);
    void OffsetClip(double dx, double dy);
    // A null region with Copy resets the clip to the whole canvas.
    void SelectClipRegion(const TRegion* region, TRegionOp op);
    void SelectClipPath(TRegionOp op);
    // A region object's rectangles (logical units) as canvas pixels.
    TRegion RegionFromLogical(const std::vector<TRegionRect>& rects) const;
    TRegion RegionFromDevice(const std::vector<TRegionRect>& rects) const;

    // --- drawing, logical coordinates ---
    void MoveTo(double x, double y);
    void LineTo(double x, double y);
    void Polyline(const std::vector<TPointD>& points);
    void PolylineTo(const std::vector<TPointD>& points);
    void PolyBezier(const std::vector<TPointD>& points);
    void PolyBezierTo(const std::vector<TPointD>& points);
    // types: PT_MOVETO 6, PT_LINETO 2, PT_BEZIERTO 4, | PT_CLOSEFIGURE 1.
    void PolyDraw(const std::vector<TPointD>& points, const std::vector<std::uint8_t>& types);
    void PolyPolyline(const std::vector<std::vector<TPointD>>& lines);
    void PolyPolygon(const std::vector<std::vector<TPointD>>& polygons);
    void Rectangle(double left, double top, double right, double bottom);
    void RoundRect(double left, double top, double right, double bottom, double width, double height);
    void Ellipse(double left, double top, double right, double bottom);
    enum class TArcKind { Arc, ArcTo, Chord, Pie };
    void Arc(TArcKind kind, double left, double top, double right, double bottom, double xStart, double yStart,
             double xEnd, double yEnd);
    void AngleArc(double x, double y, double radius, double startDegrees, double sweepDegrees);
    void SetPixel(double x, double y, TColor color);

    // --- paths ---
    void BeginPath();
    void EndPath();
    void AbortPath();
    void CloseFigure();
    void FillPath();
    void StrokePath();
    void StrokeAndFillPath();
    void FlattenPath();
    void WidenPath();

    // --- regions (canvas pixels) ---
    void FillRegion(const TRegion& region, const TBrush& brush);
    void FrameRegion(const TRegion& region, const TBrush& brush, double width, double height);
    void InvertRegion(const TRegion& region);

    // --- text ---
    struct TTextOut {
        TPointD Reference;  // logical
        std::u32string Text;
        std::uint32_t Options = 0;  // ETO_*
        // The opaque or clipping rectangle, logical.
        bool HasRect = false;
        double RectLeft = 0, RectTop = 0, RectRight = 0, RectBottom = 0;
        std::vector<double> Dx;  // logical advances, one per character (pairs with ETO_PDY)
    };
    void TextOut(const TTextOut& text);

    // --- gradients (logical positions) ---
    struct TVertex {
        TPointD Position;
        TColor Color = 0;
    };
    // The rectangle between two corners, shaded across (or, vertical, down) from a to b.
    void GradientRect(const TVertex& a, const TVertex& b, bool vertical);
    void GradientTriangle(const TVertex& a, const TVertex& b, const TVertex& c);

    // --- bitmaps ---
    // Draws source pixels (sx, sy, sw, sh) of the surface onto the logical rectangle (x, y, w, h)
    // with a ternary raster operation; without a surface the operation uses the brush (PatBlt).
    void StretchBlt(const TSurface* surface, double x, double y, double w, double h, double sx, double sy, double sw,
                    double sh, std::uint32_t rop);
    // Blends premultiplied (or, for an RGB surface, opaque) pixels with a constant alpha.
    void AlphaBlend(const TSurface& surface, double x, double y, double w, double h, double sx, double sy, double sw,
                    double sh, int constantAlpha);

    int SaveDepth() const { return static_cast<int>(saved_.size()); }
    bool InPath() const { return inPath_; }

private:
    struct TFaceEntry {
        std::string Key;
        cairo_font_face_t* Face = nullptr;
        // In ems.
        double Ascent = 0, Descent = 0, AverageWidth = 0;
        double UnderlinePosition = 0.1, UnderlineThickness = 0.05, StrikeOutPosition = 0.25;
    };

    void AddToPathOrDraw(const TPath& path, bool fill, bool stroke);
    void StartFigure();
    void Fill(const TPath& path, const TBrush& brush, bool winding);
    void Stroke(const TPath& path);
    // Strokes with a pen; with a brush, in the brush's colours.
    void Stroke(const TPath& path, const TPen& pen, const TBrush* brush);
    double PenWidth(const TPen& pen) const;
    void InsideFrame(double& left, double& top, double& right, double& bottom) const;
    void ApplyClip();
    // Sets the source of a fill with the brush; false when nothing is to be drawn.
    bool SetBrushSource(const TBrush& brush, bool rop2 = true);
    // Sets the operator and colour of the ROP2 mode for a colour; false for R2_NOP.
    bool SetRop2Source(TColor color);
    void SetSourceColor(TColor color);
    void EmitPath(const TPath& path);
    void SetPatternPhase(cairo_pattern_t* pattern) const;
    void BlitQuad(TPointD p0, TPointD px, TPointD py);
    TPointD ToCanvas(double x, double y) const;
    void AppendArc(TPath& path, double cx, double cy, double rx, double ry, double a0, double a1, bool first) const;
    void FixIsotropic();
    void SetClip(TClip clip);
    const TClip& CurrentClip() const;
    const TFaceEntry* FontFace(const TFont& font);
    void ReleaseFonts();

    int width_, height_;
    TDeviceSpace space_;
    TSurface canvas_;
    cairo_t* cr_ = nullptr;
    TDcState state_;
    std::vector<TDcState> saved_;
    // The path bracket lives beside the saved states: SaveDC does not copy it.
    TPath path_;
    bool inPath_ = false;
    bool widened_ = false;
    std::shared_ptr<const TClip> appliedClip_;  // the clip cairo holds
    TClip fullClip_;
    std::vector<TFaceEntry> faces_;
};

// A device-independent bitmap of a record (info header with colour table, then the bits) as a
// surface; with paletteIndices the colour table holds indices into the palette. Raises on
// a bitmap the DIB reader refuses and on one of more than 2^26 pixels.
std::shared_ptr<TSurface> SurfaceFromDib(const std::uint8_t* info, std::size_t infoSize, const std::uint8_t* bits,
                                         std::size_t bitsSize, bool paletteIndices, const TLogPalette* palette,
                                         bool keepAlpha);
// A monochrome device-dependent bitmap (rows of widthBytes, top row first): 0 bits black,
// 1 bits white.
std::shared_ptr<TSurface> SurfaceFromMonochrome(const std::uint8_t* bits, std::size_t size, int width, int height,
                                                int widthBytes);
// Characters as UTF-8.
std::string Utf8Of(const std::u32string& text);
