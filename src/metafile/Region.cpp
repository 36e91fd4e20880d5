#include "Region.h"

#include <algorithm>
#include <climits>
#include <cmath>

namespace {

// Spans inside both, either, exactly one, or the first but not the second.
std::vector<int> CombineSpans(const std::vector<int>& a, const std::vector<int>& b, TRegionOp op) {
    std::vector<int> out;
    std::size_t i = 0, j = 0;
    bool inA = false, inB = false, inside = false;
    auto wanted = [op](bool x, bool y) {
        switch (op) {
            case TRegionOp::And:
                return x && y;
            case TRegionOp::Or:
                return x || y;
            case TRegionOp::Xor:
                return x != y;
            case TRegionOp::Diff:
                return x && !y;
            case TRegionOp::Copy:
                return y;
        }
        return false;
    };
    while (i < a.size() || j < b.size()) {
        int x = INT_MAX;
        if (i < a.size()) x = a[i];
        if (j < b.size()) x = std::min(x, b[j]);
        while (i < a.size() && a[i] == x) {
            inA = !inA;
            ++i;
        }
        while (j < b.size() && b[j] == x) {
            inB = !inB;
            ++j;
        }
        bool now = wanted(inA, inB);
        if (now != inside) {
            out.push_back(x);
            inside = now;
        }
    }
    return out;
}

}  // namespace

TRegion TRegion::FromRect(const TRegionRect& r) {
    TRegion region;
    if (r.Right > r.Left && r.Bottom > r.Top) region.bands_.push_back(TBand{r.Top, r.Bottom, {r.Left, r.Right}});
    return region;
}

void TRegion::AddBand(int top, int bottom, std::vector<int>&& spans) {
    if (spans.empty() || bottom <= top) return;
    if (!bands_.empty() && bands_.back().Bottom == top && bands_.back().Spans == spans) {
        bands_.back().Bottom = bottom;
        return;
    }
    bands_.push_back(TBand{top, bottom, std::move(spans)});
}

TRegion TRegion::Combine(const TRegion& other, TRegionOp op) const {
    if (op == TRegionOp::Copy) return other;
    std::vector<int> edges;
    edges.reserve(2 * (bands_.size() + other.bands_.size()));
    for (const TBand& band : bands_) {
        edges.push_back(band.Top);
        edges.push_back(band.Bottom);
    }
    for (const TBand& band : other.bands_) {
        edges.push_back(band.Top);
        edges.push_back(band.Bottom);
    }
    std::sort(edges.begin(), edges.end());
    edges.erase(std::unique(edges.begin(), edges.end()), edges.end());
    TRegion result;
    static const std::vector<int> none;
    std::size_t i = 0, j = 0;
    for (std::size_t k = 0; k + 1 < edges.size(); ++k) {
        int top = edges[k], bottom = edges[k + 1];
        while (i < bands_.size() && bands_[i].Bottom <= top) ++i;
        while (j < other.bands_.size() && other.bands_[j].Bottom <= top) ++j;
        const std::vector<int>& a = i < bands_.size() && bands_[i].Top <= top ? bands_[i].Spans : none;
        const std::vector<int>& b =
            j < other.bands_.size() && other.bands_[j].Top <= top ? other.bands_[j].Spans : none;
        result.AddBand(top, bottom, CombineSpans(a, b, op));
    }
    return result;
}

void TRegion::Offset(int dx, int dy) {
    for (TBand& band : bands_) {
        band.Top += dy;
        band.Bottom += dy;
        for (int& x : band.Spans) x += dx;
    }
}

TRegionRect TRegion::Bounds() const {
    if (bands_.empty()) return {};
    TRegionRect r{INT_MAX, bands_.front().Top, INT_MIN, bands_.back().Bottom};
    for (const TBand& band : bands_) {
        r.Left = std::min(r.Left, band.Spans.front());
        r.Right = std::max(r.Right, band.Spans.back());
    }
    return r;
}

std::vector<TRegionRect> TRegion::Rects() const {
    std::vector<TRegionRect> rects;
    rects.reserve(RectCount());
    for (const TBand& band : bands_)
        for (std::size_t s = 0; s + 1 < band.Spans.size(); s += 2)
            rects.push_back(TRegionRect{band.Spans[s], band.Top, band.Spans[s + 1], band.Bottom});
    return rects;
}

std::size_t TRegion::RectCount() const {
    std::size_t count = 0;
    for (const TBand& band : bands_) count += band.Spans.size() / 2;
    return count;
}

TRegion TRegion::FromPolygons(const std::vector<TPolygon>& polygons, bool winding, const TRegionRect& bounds) {
    struct TEdge {
        double X0, Y0, X1, Y1;
        int Direction;
    };
    std::vector<TEdge> edges;
    double minX = INFINITY, minY = INFINITY, maxX = -INFINITY, maxY = -INFINITY;
    for (const TPolygon& polygon : polygons) {
        for (std::size_t k = 0; k < polygon.size(); ++k) {
            TPointD p = polygon[k], q = polygon[(k + 1) % polygon.size()];
            if (!std::isfinite(p.X) || !std::isfinite(p.Y)) return TRegion();
            minX = std::min(minX, p.X);
            maxX = std::max(maxX, p.X);
            minY = std::min(minY, p.Y);
            maxY = std::max(maxY, p.Y);
            if (p.Y == q.Y) continue;
            edges.push_back(p.Y < q.Y ? TEdge{p.X, p.Y, q.X, q.Y, 1} : TEdge{q.X, q.Y, p.X, p.Y, -1});
        }
    }
    if (edges.empty()) return TRegion();
    // Rows whose pixel centres the polygons can reach, inside the bounds (clamped before any
    // conversion: the points may lie anywhere).
    auto within = [](double v, int low, int high) {
        return static_cast<int>(std::clamp(v, double(low), double(high)));
    };
    int firstRow = within(std::ceil(minY - 0.5), bounds.Top, bounds.Bottom);
    int lastRow = within(std::ceil(maxY - 0.5), bounds.Top, bounds.Bottom);
    if (firstRow >= lastRow) return TRegion();
    // The scan costs rows × crossing edges; past this a box has to do.
    double work = 0;
    for (const TEdge& e : edges)
        work += std::max(0.0, std::min<double>(e.Y1, lastRow) - std::max<double>(e.Y0, firstRow) + 1);
    if (work > 2.0e7) {
        return FromRect({within(std::floor(minX), bounds.Left, bounds.Right), firstRow,
                         within(std::ceil(maxX), bounds.Left, bounds.Right), lastRow});
    }
    std::sort(edges.begin(), edges.end(), [](const TEdge& a, const TEdge& b) { return a.Y0 < b.Y0; });
    TRegion region;
    std::vector<const TEdge*> active;
    std::vector<std::pair<double, int>> crossings;
    std::size_t next = 0;
    for (int y = firstRow; y < lastRow; ++y) {
        double yc = y + 0.5;
        while (next < edges.size() && edges[next].Y0 <= yc) active.push_back(&edges[next++]);
        std::erase_if(active, [yc](const TEdge* e) { return e->Y1 <= yc; });
        crossings.clear();
        for (const TEdge* e : active) {
            if (e->Y0 > yc) continue;
            double x = e->X0 + (yc - e->Y0) * (e->X1 - e->X0) / (e->Y1 - e->Y0);
            crossings.emplace_back(x, e->Direction);
        }
        std::sort(crossings.begin(), crossings.end());
        std::vector<int> spans;
        int count = 0;
        for (std::size_t k = 0; k < crossings.size(); ++k) {
            int before = count;
            count = winding ? count + crossings[k].second : count ^ 1;
            bool wasIn = before != 0, isIn = count != 0;
            if (wasIn == isIn) continue;
            // A pixel belongs to the span when its centre lies inside.
            double limit = std::clamp(std::ceil(crossings[k].first - 0.5), double(bounds.Left), double(bounds.Right));
            int x = static_cast<int>(limit);
            if (isIn) {
                spans.push_back(x);
            } else if (!spans.empty()) {
                if (x <= spans.back()) {
                    spans.pop_back();
                } else {
                    spans.push_back(x);
                }
            }
        }
        if (spans.size() % 2) spans.pop_back();
        // Spans of one row are ordered; neighbours that touch are joined.
        std::vector<int> joined;
        for (std::size_t k = 0; k + 1 < spans.size(); k += 2) {
            if (!joined.empty() && joined.back() >= spans[k]) {
                joined.back() = std::max(joined.back(), spans[k + 1]);
            } else {
                joined.push_back(spans[k]);
                joined.push_back(spans[k + 1]);
            }
        }
        region.AddBand(y, y + 1, std::move(joined));
    }
    return region;
}
