#include "codecs/RLEDecoders.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace {
std::size_t Count(std::int32_t size) { return size > 0 ? static_cast<std::size_t>(size) : 0; }
}  // namespace

void TTargaRLEDecoder::Decode(const std::uint8_t*& Source, std::uint8_t*& Dest, std::int32_t PackedSize,
                              std::int32_t UnpackedSize) {
    std::size_t pixelSize;
    switch (colorDepth_) {
        case 8:
            pixelSize = 1;
            break;
        case 15:
        case 16:
            pixelSize = 2;
            break;
        case 24:
            pixelSize = 3;
            break;
        case 32:
            pixelSize = 4;
            break;
        default:
            return;
    }
    const std::uint8_t* source = Source;
    const std::uint8_t* const end = Source + Count(PackedSize);
    std::uint8_t* target = Dest;
    std::size_t remaining = Count(UnpackedSize);
    while (remaining > 0 && source < end) {
        const std::uint8_t header = *source++;
        const std::size_t n = (header & 127u) + 1;
        const std::size_t stored = std::min(n, remaining);
        if (header >= 128) {
            if (static_cast<std::size_t>(end - source) < pixelSize) {
                source = end;
                break;
            }
            for (std::size_t i = 0; i < stored; ++i, target += pixelSize) std::memcpy(target, source, pixelSize);
            source += pixelSize;
        } else {
            // A raw packet cut short by the data's end still yields its complete pixels.
            const std::size_t available = static_cast<std::size_t>(end - source) / pixelSize;
            const std::size_t copied = std::min(stored, available);
            std::memcpy(target, source, copied * pixelSize);
            target += copied * pixelSize;
            source += std::min(n * pixelSize, static_cast<std::size_t>(end - source));
            if (copied < stored) break;
        }
        remaining -= stored;
    }
    Source = source;
}

void TPackbitsRLEDecoder::Decode(const std::uint8_t*& Source, std::uint8_t*& Dest, std::int32_t PackedSize,
                                 std::int32_t UnpackedSize) {
    const std::uint8_t* source = Source;
    std::uint8_t* target = Dest;
    std::size_t available = Count(PackedSize);
    std::size_t remaining = Count(UnpackedSize);
    while (remaining > 0 && available > 0) {
        const auto header = static_cast<std::int8_t>(*source++);
        --available;
        if (header >= 0) {
            const std::size_t n = std::min({static_cast<std::size_t>(header) + 1, remaining, available});
            std::memcpy(target, source, n);
            source += n;
            target += n;
            available -= n;
            remaining -= n;
        } else if (header != -128) {
            if (available == 0) break;
            const std::size_t n = std::min(static_cast<std::size_t>(1 - header), remaining);
            std::memset(target, *source++, n);
            --available;
            target += n;
            remaining -= n;
        }
    }
}

void TPCXRLEDecoder::BeginDecoding() { pendingCount_ = 0; }

void TPCXRLEDecoder::Decode(const std::uint8_t*& Source, std::uint8_t*& Dest, std::int32_t PackedSize,
                            std::int32_t UnpackedSize) {
    const std::uint8_t* source = Source;
    const std::uint8_t* const end = Source + Count(PackedSize);
    std::uint8_t* target = Dest;
    std::size_t remaining = Count(UnpackedSize);
    if (pendingCount_ > 0 && remaining > 0) {
        const std::size_t n = std::min<std::size_t>(pendingCount_, remaining);
        std::memset(target, pendingValue_, n);
        target += n;
        remaining -= n;
        pendingCount_ -= static_cast<std::uint8_t>(n);
    }
    constexpr std::uint64_t HighBits = 0x8080808080808080u;
    while (remaining > 0 && source < end) {
        // Literals (bytes below 192: the top two bits not both set) eight at a time.
        while (remaining >= 8 && end - source >= 8) {
            std::uint64_t bytes;
            std::memcpy(&bytes, source, 8);
            const std::uint64_t counts = bytes & (bytes << 1) & HighBits;
            if (counts == 0) {
                std::memcpy(target, source, 8);
                source += 8;
                target += 8;
                remaining -= 8;
                continue;
            }
            const std::size_t literals = static_cast<std::size_t>(std::countr_zero(counts)) / 8;
            std::memcpy(target, source, literals);
            source += literals;
            target += literals;
            remaining -= literals;
            break;
        }
        if (remaining == 0 || source == end) break;
        const std::uint8_t b = *source;
        if (b >= 192) {
            // A count without its value is left unread: more data may follow in the next call.
            if (end - source < 2) break;
            const std::size_t count = b & 63u;
            const std::size_t n = std::min(count, remaining);
            // Bytes of 192 and above stand alone as runs of one: the most frequent count.
            if (n == 1)
                *target = source[1];
            else
                std::memset(target, source[1], n);
            if (count > n) {
                pendingCount_ = static_cast<std::uint8_t>(count - n);
                pendingValue_ = source[1];
            }
            source += 2;
            target += n;
            remaining -= n;
        } else {
            *target++ = b;
            ++source;
            --remaining;
        }
    }
    Source = source;
    Dest = target;
}

void TSGIRLEDecoder::Decode(const std::uint8_t*& Source, std::uint8_t*& Dest, std::int32_t PackedSize,
                            std::int32_t UnpackedSize) {
    const std::size_t sampleBytes = sampleSize_ == 16 ? 2 : 1;
    const std::uint8_t* source = Source;
    const std::uint8_t* const end = Source + Count(PackedSize);
    std::uint8_t* target = Dest;
    std::size_t remaining = Count(UnpackedSize);
    while (remaining > 0 && static_cast<std::size_t>(end - source) >= sampleBytes) {
        // The header is one sample wide, stored big-endian: its low 7 bits count, bit 7 marks a
        // literal copy.
        const std::uint8_t header = source[sampleBytes - 1];
        source += sampleBytes;
        const std::size_t wanted = header & 127u;
        if (wanted == 0) break;
        const std::size_t n = std::min(wanted, remaining);
        const auto left = static_cast<std::size_t>(end - source);
        if (header & 128u) {
            const std::size_t copied = std::min(n, left / sampleBytes);
            std::memcpy(target, source, copied * sampleBytes);
            source += copied * sampleBytes;
            target += copied * sampleBytes;
            remaining -= copied;
            if (copied < n) break;
        } else {
            if (left < sampleBytes) break;
            for (std::size_t i = 0; i < n; ++i, target += sampleBytes) std::memcpy(target, source, sampleBytes);
            source += sampleBytes;
            remaining -= n;
        }
    }
}
