// Regions as GDI keeps them: pixel rectangles in bands of rows, each band a sorted list of
// disjoint spans. Clipping and the region records (FillRgn, SelectClipRgn, ...) work on these.
#pragma once

#include <cstddef>
#include <vector>

enum class TRegionOp { And = 1, Or = 2, Xor = 3, Diff = 4, Copy = 5 };

struct TRegionRect {
    int Left = 0, Top = 0, Right = 0, Bottom = 0;  // right and bottom exclusive
};

// A point of a polygon in canvas pixels.
struct TPointD {
    double X = 0, Y = 0;
};
using TPolygon = std::vector<TPointD>;

class TRegion {
public:
    TRegion() = default;
    // An empty rectangle gives an empty region.
    static TRegion FromRect(const TRegionRect& rect);
    // The pixels whose centres lie inside the polygons, limited to bounds. A polygon set too
    // complex to scan in reasonable time gives its bounding box instead.
    static TRegion FromPolygons(const std::vector<TPolygon>& polygons, bool winding, const TRegionRect& bounds);

    TRegion Combine(const TRegion& other, TRegionOp op) const;
    void Offset(int dx, int dy);

    bool Empty() const { return bands_.empty(); }
    TRegionRect Bounds() const;
    std::vector<TRegionRect> Rects() const;
    std::size_t RectCount() const;
    bool operator==(const TRegion& other) const = default;

private:
    struct TBand {
        int Top = 0, Bottom = 0;
        std::vector<int> Spans;  // left, right pairs, sorted and disjoint
        bool operator==(const TBand& other) const = default;
    };
    // Appends a band, merging it into the previous one when they touch and have the same spans.
    void AddBand(int top, int bottom, std::vector<int>&& spans);

    std::vector<TBand> bands_;
};
