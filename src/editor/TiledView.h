// The zoomed view of the picture, as tiles: the picture resampled to the zoomed size with the
// view's filter, of which only the tiles on screen (and a margin around them) are computed, by
// worker threads. Until a tile is ready its place shows a preview: tiles of the neighbouring
// zoom levels still cached, over a small overview of the whole picture, scaled by Qt.
#pragma once

#include "editor/TileCache.h"

#include <QObject>
#include <QRect>
#include <QRegion>

#include <cstdint>
#include <functional>
#include <memory>

class QPainter;
class TPixelBuffer;
class TResamplePlan;
class TTileRenderer;

class TTiledView : public QObject {
public:
    static constexpr int TileSize = 256;
    static constexpr std::size_t CacheBytes = std::size_t{64} << 20;

    // tileShown runs on the window's thread with the view rectangle of each tile that has
    // arrived at the level shown.
    explicit TTiledView(std::function<void(QRect)> tileShown, int threads = 0);
    ~TTiledView() override;

    // A new or changed picture (or none) at a zoom factor in eighths, shown at viewSize: every
    // tile goes. The picture stays where it is, unchanged, until the next call or Pause.
    void SetPicture(const TPixelBuffer* picture, QSize viewSize, int zoomFactor);
    // Another zoom of the same picture: cached tiles of other levels stay for previews.
    void SetLevel(QSize viewSize, int zoomFactor);

    // Draws the exposed part of the view; visible is the part on screen, whose tiles (and a
    // margin of tiles around them) are asked for.
    void Paint(QPainter& painter, QRect exposed, QRect visible);
    // Whether every tile of the area is exact (no preview left in it).
    bool Exact(QRect area) const;
    // The exact pixels of a view rectangle, computed now.
    std::unique_ptr<TPixelBuffer> Pixels(QRect area) const;

    // Around a change of the picture: no worker reads it between Pause and Resume.
    void Pause();
    void Resume();

    const TTileCache& Cache() const { return cache_; }
    bool Busy() const;

private:
    struct TLevel;
    std::shared_ptr<const TResamplePlan> PlanFor(QSize viewSize, int zoomFactor) const;
    void BuildOverview();
    void Request(int column, int row, long long order);
    void DrawPreview(QPainter& painter, const QRegion& missing);
    QRect TileRect(int column, int row) const;
    void Arrived(std::uint64_t generation, TTileKey key, QRect rect, std::shared_ptr<const TPixelBuffer> tile);

    std::function<void(QRect)> tileShown_;
    const TPixelBuffer* picture_ = nullptr;
    std::uint64_t generation_ = 0;
    int zoomFactor_ = 0;
    QSize viewSize_;
    std::shared_ptr<const TResamplePlan> plan_;
    std::unique_ptr<TPixelBuffer> overview_;
    TTileCache cache_{CacheBytes};
    // Last: its workers stop before the rest goes.
    std::unique_ptr<TTileRenderer> renderer_;
};
