#include "formats/IsoBrands.h"

#include "formats/ReaderGraphic.h"
#include "platform/Stream.h"

#include <algorithm>

namespace {
// Real files list a handful of brands; a longer box is no file type box worth reading.
constexpr std::uint32_t MaxFileTypeBoxSize = 4096;
}  // namespace

bool TFileTypeBrands::HasAny(std::initializer_list<std::uint32_t> brands) const {
    return std::any_of(brands.begin(), brands.end(), [this](std::uint32_t brand) {
        return brand == Major || std::find(Compatible.begin(), Compatible.end(), brand) != Compatible.end();
    });
}

std::optional<TFileTypeBrands> ReadFileTypeBrands(TStream& stream) {
    const TStreamPositionKeeper keep(stream);
    std::uint8_t header[16];
    if (stream.Remaining() < static_cast<std::int64_t>(sizeof header)) return std::nullopt;
    stream.ReadBuffer(header, sizeof header);
    const std::uint32_t size = ReadBigEndian32(header);
    if (ReadBigEndian32(header + 4) != FourCC("ftyp") || size < sizeof header || size > MaxFileTypeBoxSize ||
        stream.Remaining() < static_cast<std::int64_t>(size - sizeof header))
        return std::nullopt;
    TFileTypeBrands brands;
    brands.Major = ReadBigEndian32(header + 8);
    std::vector<std::uint8_t> list((size - sizeof header) / 4 * 4);
    stream.ReadBuffer(list.data(), list.size());
    for (std::size_t i = 0; i < list.size(); i += 4) brands.Compatible.push_back(ReadBigEndian32(&list[i]));
    return brands;
}
