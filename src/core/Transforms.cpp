#include "Transforms.h"

#include <algorithm>
#include <cstring>
#include <vector>

void TPixelBuffer::Flip() {
    if (!bits_) return;
    for (int y = 0; y < height_; ++y) std::reverse(Row(y), Row(y) + width_);
}

void TPixelBuffer::Flop() {
    if (!bits_) return;
    std::vector<std::uint8_t> scratch(3 * static_cast<std::size_t>(width_));
    for (int top = 0, bottom = height_ - 1; top < bottom; ++top, --bottom) {
        GetRow(top, scratch.data());
        std::memcpy(RowBytes(top), RowBytes(bottom), scratch.size());
        PutRow(bottom, scratch.data());
    }
}

void TPixelBuffer::RotateRight() {
    auto rotated = Create(height_, width_);
    if (bits_) {
        for (int y = 0; y < height_; ++y) {
            const TPixel24* in = Row(y);
            const int column = height_ - 1 - y;
            for (int x = 0; x < width_; ++x) rotated->Row(x)[column] = in[x];
        }
    }
    TakeStorage(*rotated);
}

void TPixelBuffer::RotateLeft() {
    auto rotated = Create(height_, width_);
    if (bits_) {
        for (int y = 0; y < height_; ++y) {
            const TPixel24* in = Row(y);
            for (int x = 0; x < width_; ++x) rotated->Row(width_ - 1 - x)[y] = in[x];
        }
    }
    TakeStorage(*rotated);
}

std::unique_ptr<TPixelBuffer> CopyRect(const TPixelBuffer& source, int left, int top, int width, int height) {
    auto result = TPixelBuffer::Create(width, height);
    // Whatever lies outside the source stays black rather than being read from past its rows.
    const int x0 = std::max(left, 0), x1 = std::min(left + std::max(width, 0), source.Width());
    const int y0 = std::max(top, 0), y1 = std::min(top + std::max(height, 0), source.Height());
    if (x0 >= x1 || !result->Bits()) return result;
    for (int y = y0; y < y1; ++y)
        std::memcpy(result->Row(y - top) + (x0 - left), source.Row(y) + x0, 3 * static_cast<std::size_t>(x1 - x0));
    return result;
}

void ApplyOrientation(TPixelBuffer& picture, int orientation) {
    switch (orientation) {
        case 2:
            picture.Flip();
            break;
        case 3:
            picture.Flip();
            picture.Flop();
            break;
        case 4:
            picture.Flop();
            break;
        case 5:
            picture.Flip();
            picture.RotateLeft();
            break;
        case 6:
            picture.RotateRight();
            break;
        case 7:
            picture.Flip();
            picture.RotateRight();
            break;
        case 8:
            picture.RotateLeft();
            break;
        default:
            break;
    }
}
