#include "editor/TileCache.h"

namespace {

std::size_t BytesOf(const TPixelBuffer& tile) { return static_cast<std::size_t>(tile.Size()); }

}  // namespace

std::shared_ptr<const TPixelBuffer> TTileCache::Find(const TTileKey& key) {
    const auto found = index_.find(key);
    if (found == index_.end()) return nullptr;
    used_.splice(used_.begin(), used_, found->second);
    return found->second->Tile;
}

std::shared_ptr<const TPixelBuffer> TTileCache::Peek(const TTileKey& key) const {
    const auto found = index_.find(key);
    return found == index_.end() ? nullptr : found->second->Tile;
}

void TTileCache::Insert(const TTileKey& key, std::shared_ptr<const TPixelBuffer> tile) {
    if (const auto found = index_.find(key); found != index_.end()) Remove(found->second);
    if (!tile) return;
    bytes_ += BytesOf(*tile);
    used_.push_front({key, std::move(tile)});
    index_[key] = used_.begin();
    while (bytes_ > bound_ && !used_.empty()) Remove(std::prev(used_.end()));
}

void TTileCache::Clear() {
    used_.clear();
    index_.clear();
    bytes_ = 0;
}

void TTileCache::Remove(std::list<TEntry>::iterator entry) {
    bytes_ -= BytesOf(*entry->Tile);
    index_.erase(entry->Key);
    used_.erase(entry);
}
