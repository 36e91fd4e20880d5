#include "editor/TiledView.h"

#include "core/PixelBuffer.h"
#include "core/Resample.h"
#include "editor/TileRenderer.h"
#include "widgets/PixelBufferDraw.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

namespace {

constexpr int ZoomUnit = 8;  // the zoom factor of 100 %
// The overview's longer side: enough for a preview, cheap to sample on every change.
constexpr int OverviewSide = 1024;
// Tiles around the visible ones wait behind every visible one.
constexpr long long MarginOrder = 1LL << 50;

}  // namespace

TTiledView::TTiledView(std::function<void(QRect)> tileShown, int threads) : tileShown_(std::move(tileShown)) {
    renderer_ =
        std::make_unique<TTileRenderer>(threads > 0 ? threads : TTileRenderer::DefaultThreads(),
                                        [this](const TTileJob& job, std::shared_ptr<const TPixelBuffer> tile) {
                                            const QRect rect(job.Left, job.Top, job.Width, job.Height);
                                            QMetaObject::invokeMethod(
                                                this,
                                                [this, generation = job.Generation, key = job.Key, rect,
                                                 tile = std::move(tile)] { Arrived(generation, key, rect, tile); },
                                                Qt::QueuedConnection);
                                        });
}

TTiledView::~TTiledView() { renderer_.reset(); }

void TTiledView::SetPicture(const TPixelBuffer* picture, QSize viewSize, int zoomFactor) {
    ++generation_;
    renderer_->DropQueued();
    cache_.Clear();
    // No plan of the old picture may outlive it, should building the new one fail.
    plan_.reset();
    picture_ = picture;
    BuildOverview();
    SetLevel(viewSize, zoomFactor);
}

void TTiledView::SetLevel(QSize viewSize, int zoomFactor) {
    renderer_->DropQueued();
    zoomFactor_ = zoomFactor;
    viewSize_ = viewSize;
    plan_.reset();
    plan_ = PlanFor(viewSize, zoomFactor);
}

std::shared_ptr<const TResamplePlan> TTiledView::PlanFor(QSize viewSize, int zoomFactor) const {
    if (!picture_ || !picture_->Bits() || viewSize.isEmpty()) return nullptr;
    // Enlarged views take the smoother Spline, which does not ring at edges.
    const TResampleFilter& filter = ResampleFilters[zoomFactor > ZoomUnit ? rfSpline : rfLanczos3];
    return TResamplePlan::Create(picture_->Width(), picture_->Height(), viewSize.width(), viewSize.height(),
                                 filter.Filter, filter.Support);
}

// Every so many pixels of the picture, the nearest one: a few milliseconds even for the
// largest pictures, and only ever seen for the moment a tile takes.
void TTiledView::BuildOverview() {
    overview_.reset();
    if (!picture_ || !picture_->Bits()) return;
    const int width = picture_->Width(), height = picture_->Height();
    const double scale = std::min(1.0, static_cast<double>(OverviewSide) / std::max(width, height));
    const int ow = std::max(1, static_cast<int>(width * scale)), oh = std::max(1, static_cast<int>(height * scale));
    overview_ = TPixelBuffer::Create(ow, oh);
    std::vector<int> columns(static_cast<std::size_t>(ow));
    for (int x = 0; x < ow; ++x)
        columns[static_cast<std::size_t>(x)] = static_cast<int>((2LL * x + 1) * width / (2LL * ow));
    for (int y = 0; y < oh; ++y) {
        const TPixel24* in = picture_->Row(static_cast<int>((2LL * y + 1) * height / (2LL * oh)));
        TPixel24* out = overview_->Row(y);
        for (int x = 0; x < ow; ++x) out[x] = in[columns[static_cast<std::size_t>(x)]];
    }
}

QRect TTiledView::TileRect(int column, int row) const {
    return QRect(column * TileSize, row * TileSize, TileSize, TileSize) & QRect(QPoint(0, 0), viewSize_);
}

void TTiledView::Request(int column, int row, long long order) {
    const QRect rect = TileRect(column, row);
    renderer_->Request(TTileJob{generation_,
                                {zoomFactor_, column, row},
                                rect.x(),
                                rect.y(),
                                rect.width(),
                                rect.height(),
                                order,
                                plan_,
                                picture_});
}

void TTiledView::Paint(QPainter& painter, QRect exposed, QRect visible) {
    if (!plan_) return;
    const QRect view(QPoint(0, 0), viewSize_);
    exposed &= view;
    visible &= view;
    if (visible.isEmpty()) visible = exposed;
    QRegion missing;
    if (!exposed.isEmpty())
        for (int row = exposed.top() / TileSize; row <= exposed.bottom() / TileSize; ++row)
            for (int column = exposed.left() / TileSize; column <= exposed.right() / TileSize; ++column) {
                if (const auto tile = cache_.Find({zoomFactor_, column, row}))
                    DrawPixelBuffer(painter, column * TileSize, row * TileSize, *tile);
                else
                    missing += TileRect(column, row) & exposed;
            }
    if (!missing.isEmpty()) DrawPreview(painter, missing);

    // The visible tiles nearest the middle first, then a margin of a tile all round for scrolling.
    // Tiles asked for at an earlier scroll position and no longer near the screen are dropped.
    if (visible.isEmpty()) return;
    renderer_->DropQueued();
    const QRect around = visible.adjusted(-TileSize, -TileSize, TileSize, TileSize) & view;
    const QPoint middle = visible.center();
    for (int row = around.top() / TileSize; row <= around.bottom() / TileSize; ++row)
        for (int column = around.left() / TileSize; column <= around.right() / TileSize; ++column) {
            if (cache_.Peek({zoomFactor_, column, row})) continue;
            const QRect rect = TileRect(column, row);
            const long long dx = rect.center().x() - middle.x(), dy = rect.center().y() - middle.y();
            Request(column, row, (rect.intersects(visible) ? 0 : MarginOrder) + dx * dx + dy * dy);
        }
}

void TTiledView::DrawPreview(QPainter& painter, const QRegion& missing) {
    painter.save();
    painter.setClipRegion(missing, Qt::IntersectClip);
    const QRect box = missing.boundingRect();
    if (overview_) {
        const double sx = static_cast<double>(overview_->Width()) / viewSize_.width();
        const double sy = static_cast<double>(overview_->Height()) / viewSize_.height();
        DrawPixelBuffer(painter, QRectF(box), *overview_,
                        QRectF(box.x() * sx, box.y() * sy, box.width() * sx, box.height() * sy));
    }
    // Tiles of other levels, the farthest first so that the nearest ends on top.
    for (int distance = 2; distance >= 1; --distance)
        for (int level : {zoomFactor_ >> distance, zoomFactor_ << distance}) {
            if (level < 1 || level > 32) continue;
            const double ratio = static_cast<double>(level) / zoomFactor_;
            for (const QRect& part : missing) {
                const int left = static_cast<int>(part.left() * ratio) / TileSize;
                const int right = static_cast<int>((part.right() + 1) * ratio) / TileSize;
                const int top = static_cast<int>(part.top() * ratio) / TileSize;
                const int bottom = static_cast<int>((part.bottom() + 1) * ratio) / TileSize;
                for (int row = top; row <= bottom; ++row)
                    for (int column = left; column <= right; ++column) {
                        const auto tile = cache_.Peek({level, column, row});
                        if (!tile) continue;
                        DrawPixelBuffer(painter,
                                        QRectF(column * TileSize / ratio, row * TileSize / ratio, tile->Width() / ratio,
                                               tile->Height() / ratio),
                                        *tile, QRectF(0, 0, tile->Width(), tile->Height()));
                    }
            }
        }
    painter.restore();
}

bool TTiledView::Exact(QRect area) const {
    area &= QRect(QPoint(0, 0), viewSize_);
    if (!plan_ || area.isEmpty()) return true;
    for (int row = area.top() / TileSize; row <= area.bottom() / TileSize; ++row)
        for (int column = area.left() / TileSize; column <= area.right() / TileSize; ++column)
            if (!cache_.Peek({zoomFactor_, column, row})) return false;
    return true;
}

std::unique_ptr<TPixelBuffer> TTiledView::Pixels(QRect area) const {
    auto pixels = TPixelBuffer::Create(area.width(), area.height());
    if (plan_) plan_->Render(*picture_, area.x(), area.y(), *pixels);
    return pixels;
}

void TTiledView::Pause() { renderer_->Pause(); }

void TTiledView::Resume() { renderer_->Resume(); }

bool TTiledView::Busy() const { return renderer_->Busy(); }

void TTiledView::Arrived(std::uint64_t generation, TTileKey key, QRect rect, std::shared_ptr<const TPixelBuffer> tile) {
    if (generation != generation_ || !tile) return;
    cache_.Insert(key, std::move(tile));
    if (key.Level == zoomFactor_) tileShown_(rect);
}
