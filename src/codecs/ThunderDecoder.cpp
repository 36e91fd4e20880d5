#include "codecs/ThunderDecoder.h"

#include <cstddef>

namespace {
constexpr int TwoBitDeltas[4] = {0, 1, 0, -1};                  // code 2 emits nothing
constexpr int ThreeBitDeltas[8] = {0, 1, 2, 3, 0, -3, -2, -1};  // code 4 emits nothing

// One output row of 4-bit pixels, first pixel of a byte in the high half.
class TPixelRow {
public:
    TPixelRow(std::uint8_t* row, std::size_t bytes) : row_(row), capacity_(2 * bytes) {}

    bool Full() const { return count_ >= capacity_; }
    void Emit(unsigned pixel) {
        last_ = pixel & 15u;
        if (Full()) return;
        std::uint8_t& b = row_[count_ / 2];
        if (count_ % 2 == 0)
            b = static_cast<std::uint8_t>(last_ << 4);
        else
            b = static_cast<std::uint8_t>(b | last_);
        ++count_;
    }
    void Repeat(unsigned n) {
        for (; n > 0 && !Full(); --n) Emit(last_);
    }
    void Delta(int d) { Emit(static_cast<unsigned>(static_cast<int>(last_) + d)); }

private:
    std::uint8_t* row_;
    std::size_t capacity_;
    std::size_t count_ = 0;
    unsigned last_ = 0;
};
}  // namespace

void TThunderDecoder::Decode(const std::uint8_t*& Source, std::uint8_t*& Dest, std::int32_t PackedSize,
                             std::int32_t UnpackedSize) {
    if (width_ <= 0) return;
    const auto width = static_cast<std::size_t>(width_);
    const std::uint8_t* source = Source;
    const std::uint8_t* const end = Source + (PackedSize > 0 ? PackedSize : 0);
    std::size_t left = UnpackedSize > 0 ? static_cast<std::size_t>(UnpackedSize) : 0;
    // Each row fills its own Width bytes; the last one may be cut by the destination's end.
    for (std::uint8_t* row = Dest; left > 0; row += width) {
        const std::size_t bytes = left < width ? left : width;
        TPixelRow pixels(row, bytes);
        while (source < end && !pixels.Full()) {
            const std::uint8_t c = *source++;
            switch (c >> 6) {
                case 0:
                    pixels.Repeat(c);
                    break;
                case 1:
                    for (int shift = 4; shift >= 0; shift -= 2) {
                        const unsigned code = (c >> shift) & 3u;
                        if (code != 2) pixels.Delta(TwoBitDeltas[code]);
                    }
                    break;
                case 2:
                    for (int shift = 3; shift >= 0; shift -= 3) {
                        const unsigned code = (c >> shift) & 7u;
                        if (code != 4) pixels.Delta(ThreeBitDeltas[code]);
                    }
                    break;
                default:
                    pixels.Emit(c);
                    break;
            }
        }
        left -= bytes;
    }
}
