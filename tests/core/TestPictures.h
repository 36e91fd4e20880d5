// Small helpers the core tests share: deterministic noise pictures and byte comparison.
#pragma once

#include "core/ColorEffects.h"
#include "core/PixelBuffer.h"
#include "core/Resample.h"
#include "core/Transforms.h"

#include <cstring>
#include <random>
#include <vector>

inline std::unique_ptr<TPixelBuffer> NoisePicture(int width, int height, unsigned seed) {
    auto picture = TPixelBuffer::Create(width, height);
    std::mt19937 random(seed);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < 3 * width; ++x) picture->RowBytes(y)[x] = static_cast<std::uint8_t>(random());
    return picture;
}

// The pixel bytes of every row (padding left out).
inline std::vector<std::uint8_t> PixelBytes(const TPixelBuffer& picture) {
    std::vector<std::uint8_t> bytes(3 * static_cast<std::size_t>(picture.Width()) * picture.Height());
    for (int y = 0; y < picture.Height(); ++y)
        picture.GetRow(y, bytes.data() + 3 * static_cast<std::size_t>(picture.Width()) * y);
    return bytes;
}

// Equal sizes and equal pixels (the row padding is not compared).
inline bool SamePixels(const TPixelBuffer& a, const TPixelBuffer& b) {
    return a.Width() == b.Width() && a.Height() == b.Height() && PixelBytes(a) == PixelBytes(b);
}

// One channel of a one-row picture, read from the blue bytes.
inline std::vector<int> BlueRow(const TPixelBuffer& picture) {
    std::vector<int> values;
    for (int x = 0; x < picture.Width(); ++x) values.push_back(picture.GetPixel(x, 0).Blue);
    return values;
}

inline std::unique_ptr<TPixelBuffer> GrayRow(const std::vector<std::uint8_t>& values) {
    auto picture = TPixelBuffer::Create(static_cast<int>(values.size()), 1);
    for (std::size_t x = 0; x < values.size(); ++x)
        picture->SetPixel(static_cast<int>(x), 0, TPixel24{values[x], values[x], values[x]});
    return picture;
}
