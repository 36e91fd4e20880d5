// Finished tiles of the zoomed view, kept within a fixed number of bytes: the least recently
// used tile goes first.
#pragma once

#include "core/PixelBuffer.h"

#include <compare>
#include <cstddef>
#include <list>
#include <map>
#include <memory>

// A tile of the view at one zoom level: column and row in the grid of tiles of that level.
struct TTileKey {
    int Level;
    int Column;
    int Row;
    auto operator<=>(const TTileKey&) const = default;
};

class TTileCache {
public:
    explicit TTileCache(std::size_t boundBytes) : bound_(boundBytes) {}

    // The tile, now the most recently used; null when it is not here.
    std::shared_ptr<const TPixelBuffer> Find(const TTileKey& key);
    // The same without counting as a use (previews look tiles up this way).
    std::shared_ptr<const TPixelBuffer> Peek(const TTileKey& key) const;
    // Adds or replaces the tile and drops the least recently used ones beyond the bound.
    void Insert(const TTileKey& key, std::shared_ptr<const TPixelBuffer> tile);
    void Clear();

    std::size_t Bytes() const { return bytes_; }
    std::size_t Bound() const { return bound_; }
    std::size_t Count() const { return index_.size(); }

private:
    struct TEntry {
        TTileKey Key;
        std::shared_ptr<const TPixelBuffer> Tile;
    };
    void Remove(std::list<TEntry>::iterator entry);

    std::size_t bound_;
    std::size_t bytes_ = 0;
    std::list<TEntry> used_;  // most recently used first
    std::map<TTileKey, std::list<TEntry>::iterator> index_;
};
