#include "formats/PNGMetadata.h"

#include "formats/ExifOrientation.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <string_view>
#include <vector>

namespace {

constexpr std::uint32_t EXIF = PngChunkType("eXIf");
constexpr std::uint32_t ICCP = PngChunkType("iCCP");
constexpr std::uint32_t TEXT = PngChunkType("tEXt");
constexpr std::uint32_t ZTXT = PngChunkType("zTXt");
constexpr std::uint32_t ITXT = PngChunkType("iTXt");

constexpr std::string_view RawExifKeyword = "Raw profile type exif";
constexpr std::string_view XmpKeyword = "XML:com.adobe.xmp";

// Inflates a zlib stream up to MaxMetadataChunkText bytes; empty when it is damaged, longer or
// does not end.
std::vector<std::uint8_t> Inflate(std::span<const std::uint8_t> data) {
    z_stream z{};
    if (inflateInit(&z) != Z_OK) return {};
    std::vector<std::uint8_t> out;
    z.next_in = const_cast<Bytef*>(data.data());
    z.avail_in = static_cast<uInt>(std::min<std::size_t>(data.size(), UINT32_MAX));
    int result = Z_OK;
    while (result == Z_OK) {
        const std::size_t done = out.size();
        if (done >= MaxMetadataChunkText) break;
        out.resize(std::min(MaxMetadataChunkText, std::max<std::size_t>(4096, done * 2)));
        z.next_out = out.data() + done;
        z.avail_out = static_cast<uInt>(out.size() - done);
        result = inflate(&z, Z_NO_FLUSH);
        out.resize(out.size() - z.avail_out);
        if (result == Z_BUF_ERROR && z.avail_out != 0) break;
        if (result == Z_BUF_ERROR) result = Z_OK;
    }
    inflateEnd(&z);
    if (result != Z_STREAM_END) return {};
    return out;
}

// The keyword before the chunk's first zero byte, and what follows that byte.
bool SplitKeyword(std::span<const std::uint8_t> data, std::string_view& keyword, std::span<const std::uint8_t>& rest) {
    const auto zero = std::find(data.begin(), data.end(), std::uint8_t{0});
    if (zero == data.end()) return false;
    const std::size_t length = static_cast<std::size_t>(zero - data.begin());
    keyword = std::string_view(reinterpret_cast<const char*>(data.data()), length);
    rest = data.subspan(length + 1);
    return true;
}

std::string_view AsText(std::span<const std::uint8_t> bytes) {
    return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

void TakeRawExif(std::string_view text, TPictureMetadata& metadata) {
    if (!metadata.Exif.empty()) return;
    metadata.Exif = ExifFromRawProfile(text);
}

}  // namespace

bool IsPngMetadataChunk(std::uint32_t type) {
    return type == EXIF || type == ICCP || type == TEXT || type == ZTXT || type == ITXT;
}

void ReadPngMetadataChunk(std::uint32_t type, std::span<const std::uint8_t> data, TPictureMetadata& metadata) {
    if (type == EXIF) {
        // An eXIf chunk outranks a raw profile text met before it.
        if (!data.empty()) metadata.Exif.assign(data.begin(), data.end());
        return;
    }
    std::string_view keyword;
    std::span<const std::uint8_t> rest;
    if (!SplitKeyword(data, keyword, rest)) return;
    if (type == ICCP) {
        // The profile name, compression method 0, a zlib stream.
        if (!metadata.Icc.empty() || rest.empty() || rest[0] != 0) return;
        metadata.Icc = Inflate(rest.subspan(1));
    } else if (type == TEXT) {
        if (keyword == RawExifKeyword) TakeRawExif(AsText(rest), metadata);
    } else if (type == ZTXT) {
        if (keyword != RawExifKeyword || rest.empty() || rest[0] != 0 || !metadata.Exif.empty()) return;
        const std::vector<std::uint8_t> text = Inflate(rest.subspan(1));
        TakeRawExif(AsText(text), metadata);
    } else if (type == ITXT) {
        // Compression flag, method, then language tag and translated keyword, each ended by zero.
        if (rest.size() < 2 || (keyword != XmpKeyword && keyword != RawExifKeyword)) return;
        if (keyword == XmpKeyword ? !metadata.Xmp.empty() : !metadata.Exif.empty()) return;
        const bool compressed = rest[0] != 0;
        std::span<const std::uint8_t> tail = rest.subspan(2);
        std::string_view ignored;
        if (!SplitKeyword(tail, ignored, tail) || !SplitKeyword(tail, ignored, tail)) return;
        std::vector<std::uint8_t> inflated;
        if (compressed) {
            if (rest[1] != 0) return;
            inflated = Inflate(tail);
            tail = inflated;
        }
        if (keyword == XmpKeyword)
            metadata.Xmp.assign(AsText(tail));
        else if (keyword == RawExifKeyword)
            TakeRawExif(AsText(tail), metadata);
    }
}
