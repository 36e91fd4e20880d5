#include "formats/EPSGraphic.h"

#include "formats/ReaderStrings.h"
#include "platform/Exception.h"
#include "platform/Stream.h"

#include <cstring>

const TGraphicClass TEPSGraphicClass = ReaderClass<TEPSGraphic>("TEPSGraphic");

namespace {

// The binary EPS header: magic, then offset and length of the PostScript code, the metafile
// preview and the TIFF preview (little-endian, offsets from the header's start), a checksum.
constexpr std::size_t HeaderSize = 30;
constexpr std::uint8_t Magic[4] = {197, 208, 211, 198};

struct TEPSHeader {
    std::uint32_t TIFFOffset = 0;
    std::uint32_t TIFFLength = 0;
};

// Reads the header at the stream's position; false when fewer than 30 bytes remain or the magic
// is wrong.
bool ReadHeader(TStream& stream, TEPSHeader& header) {
    if (stream.Remaining() < static_cast<std::int64_t>(HeaderSize)) return false;
    std::uint8_t bytes[HeaderSize];
    stream.ReadBuffer(bytes, HeaderSize);
    if (std::memcmp(bytes, Magic, sizeof Magic) != 0) return false;
    header.TIFFOffset = ReadLittleEndian32(bytes + 20);
    header.TIFFLength = ReadLittleEndian32(bytes + 24);
    return true;
}

}  // namespace

const char* TEPSGraphic::FormatLabel() const { return gesEPS; }
const char* TEPSGraphic::ErrorLabel() const { return gesTIFF; }

bool TEPSGraphic::CanLoadStream(TStream& stream) {
    const TStreamPositionKeeper keep(stream);
    TEPSHeader header;
    const bool result = stream.Remaining() > static_cast<std::int64_t>(HeaderSize) && ReadHeader(stream, header) &&
                        HeaderSize < header.TIFFOffset && header.TIFFLength > 0;
    return result;
}

bool TEPSGraphic::ReadProperties(TStream& stream, unsigned imageIndex) {
    const std::int64_t start = BasePosition;
    TEPSHeader header;
    if (start < 0 || start > stream.Size()) return TReaderGraphic::ReadProperties(stream, imageIndex);
    stream.SetPosition(start);
    if (!ReadHeader(stream, header)) return TReaderGraphic::ReadProperties(stream, imageIndex);
    // The TIFF offsets count from the preview's start.
    BasePosition = start + header.TIFFOffset;
    const bool result = TTIFFGraphic::ReadProperties(stream, imageIndex);
    BasePosition = start;
    return result;
}

void TEPSGraphic::LoadFromStream(TStream& stream) {
    ReleaseImage();
    const std::int64_t start = stream.Position();
    TEPSHeader header;
    if (!ReadHeader(stream, header)) GraphicError(gesInvalidImage, FormatLabel());
    // Without a TIFF preview (offset 0) this lands on the EPS header again, which the TIFF
    // reader refuses.
    stream.SetPosition(start + header.TIFFOffset);
    TTIFFGraphic::LoadFromStream(stream);
}
