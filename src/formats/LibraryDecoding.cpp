#include "formats/LibraryDecoding.h"

#include "platform/Bitmap.h"
#include "platform/Exception.h"
#include "platform/Stream.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <thread>

namespace {

bool IsTiffHeader(const std::uint8_t* p, std::size_t size) {
    return size >= 8 && ((p[0] == 'I' && p[1] == 'I' && p[2] == 42 && p[3] == 0) ||
                         (p[0] == 'M' && p[1] == 'M' && p[2] == 0 && p[3] == 42));
}

}  // namespace

TByteArray ExifFromContainer(const std::uint8_t* data, std::size_t size) {
    if (data == nullptr) return {};
    // HEIF and JPEG XL put a 32-bit offset to the TIFF header first; WebP writers sometimes keep
    // the "Exif\0\0" of JPEG's APP1 segment.
    if (size >= 4 && !IsTiffHeader(data, size)) {
        const std::uint32_t offset =
            (std::uint32_t(data[0]) << 24) | (std::uint32_t(data[1]) << 16) | (std::uint32_t(data[2]) << 8) | data[3];
        if (offset <= size - 4 && IsTiffHeader(data + 4 + offset, size - 4 - offset)) {
            data += 4 + offset;
            size -= 4 + offset;
        }
    }
    if (size >= 6 && std::memcmp(data, "Exif\0\0", 6) == 0) {
        data += 6;
        size -= 6;
    }
    if (!IsTiffHeader(data, size)) return {};
    return TByteArray(data, data + size);
}

TByteArray ReadToEnd(TStream& stream) {
    const std::int64_t remaining = stream.Remaining();
    TByteArray bytes;
    try {
        bytes.resize(static_cast<std::size_t>(remaining));
    } catch (const std::bad_alloc&) {
        throw EOutOfMemory(static_cast<std::size_t>(remaining));
    } catch (const std::length_error&) {
        throw EOutOfMemory(static_cast<std::size_t>(remaining));
    }
    stream.ReadBuffer(bytes.data(), bytes.size());
    return bytes;
}

void DrawOnWhite(TBitmap& bitmap) {
    if (bitmap.PixelFormat() != TPixelFormat::pf32bit) return;
    const int width = bitmap.Width();
    for (int y = 0; y < bitmap.Height(); ++y) {
        std::uint8_t* p = bitmap.ScanLine(y);
        for (int x = 0; x < width; ++x, p += 4) {
            const std::uint8_t alpha = p[3];
            if (alpha == 255) continue;
            p[0] = OverWhite(p[0], alpha);
            p[1] = OverWhite(p[1], alpha);
            p[2] = OverWhite(p[2], alpha);
            p[3] = 255;
        }
    }
}

int DecoderThreadCount() {
    const unsigned cores = std::thread::hardware_concurrency();
    return static_cast<int>(std::clamp(cores, 1u, 16u));
}

std::string LibraryMessage(const char* message) {
    std::string text = message ? message : "";
    while (!text.empty() && (text.back() == ' ' || text.back() == '.' || text.back() == '\n')) text.pop_back();
    if (!text.empty()) text += '.';
    return text;
}
