#include "core/TestPictures.h"
#include "editor/TileCache.h"

#include <gtest/gtest.h>

namespace {

std::shared_ptr<const TPixelBuffer> Tile(int side, unsigned seed) { return NoisePicture(side, side, seed); }

TEST(TileCache, KeepsWithinItsBoundDroppingTheLeastRecentlyUsed) {
    const std::size_t tileBytes = static_cast<std::size_t>(TPixelBuffer::StrideOf(64)) * 64;
    TTileCache cache(10 * tileBytes);
    for (int i = 0; i < 10; ++i) cache.Insert({8, i, 0}, Tile(64, i));
    EXPECT_EQ(cache.Count(), 10u);
    EXPECT_EQ(cache.Bytes(), 10 * tileBytes);
    // Tile 0 used again: tile 1 is now the least recently used and goes first.
    const auto first = cache.Find({8, 0, 0});
    ASSERT_NE(first, nullptr);
    cache.Insert({16, 0, 0}, Tile(64, 20));
    EXPECT_EQ(cache.Find({8, 1, 0}), nullptr);
    EXPECT_EQ(cache.Find({8, 0, 0}), first);
    // Peeking is no use: tile 2, only peeked at, goes next.
    EXPECT_NE(cache.Peek({8, 2, 0}), nullptr);
    cache.Insert({16, 1, 0}, Tile(64, 21));
    EXPECT_EQ(cache.Peek({8, 2, 0}), nullptr);
    EXPECT_NE(cache.Peek({8, 3, 0}), nullptr);

    // Many more tiles than fit, of mixed sizes: never over the bound.
    for (int i = 0; i < 200; ++i) {
        cache.Insert({4, i % 37, i / 37}, Tile(16 + i % 60, i));
        ASSERT_LE(cache.Bytes(), cache.Bound());
    }
    // Replacing a tile counts its bytes once.
    cache.Clear();
    const auto replaced = Tile(64, 99);
    cache.Insert({4, 0, 0}, Tile(64, 98));
    cache.Insert({4, 0, 0}, replaced);
    EXPECT_EQ(cache.Find({4, 0, 0}), replaced);
    EXPECT_EQ(cache.Bytes(), tileBytes);
    cache.Clear();
    EXPECT_EQ(cache.Bytes(), 0u);
    EXPECT_EQ(cache.Count(), 0u);
}

}  // namespace
