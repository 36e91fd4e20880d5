#include "formats/ExifOrientation.h"

#include "platform/ByteOrder.h"

#include <cstring>

namespace {

constexpr std::uint16_t OrientationTag = 274;
constexpr std::uint16_t FieldShort = 3;
constexpr std::uint16_t FieldLong = 4;
constexpr std::size_t EntrySize = 12;

std::optional<int> InRange(std::uint32_t value) {
    if (value >= 1 && value <= 8) return static_cast<int>(value);
    return std::nullopt;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool IsSpace(char c) { return c == ' ' || c == '\n' || c == '\r' || c == '\t'; }

constexpr std::uint8_t ExifPrefix[6] = {'E', 'x', 'i', 'f', 0, 0};

}  // namespace

std::optional<int> ExifOrientation(std::span<const std::uint8_t> exif) {
    if (exif.size() >= 6 && std::memcmp(exif.data(), ExifPrefix, 6) == 0) exif = exif.subspan(6);
    if (exif.size() < 8) return std::nullopt;
    const bool big = exif[0] == 'M' && exif[1] == 'M';
    if (!big && (exif[0] != 'I' || exif[1] != 'I')) return std::nullopt;
    if (ReadOrdered16(exif.data() + 2, big) != 42) return std::nullopt;
    const std::uint32_t directory = ReadOrdered32(exif.data() + 4, big);
    if (directory < 8 || directory > exif.size() - 2) return std::nullopt;
    // A count larger than the block holds is read as far as whole entries go.
    const std::size_t stated = ReadOrdered16(exif.data() + directory, big);
    const std::size_t fitting = (exif.size() - directory - 2) / EntrySize;
    const std::uint8_t* entry = exif.data() + directory + 2;
    for (std::size_t i = 0; i < stated && i < fitting; ++i, entry += EntrySize) {
        if (ReadOrdered16(entry, big) != OrientationTag) continue;
        const std::uint16_t type = ReadOrdered16(entry + 2, big);
        if (ReadOrdered32(entry + 4, big) < 1) return std::nullopt;
        // The value lies in the entry itself: one short in its first two bytes, or one long.
        if (type == FieldShort) return InRange(ReadOrdered16(entry + 8, big));
        if (type == FieldLong) return InRange(ReadOrdered32(entry + 8, big));
        return std::nullopt;
    }
    return std::nullopt;
}

std::vector<std::uint8_t> ExifFromRawProfile(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && IsSpace(text[i])) ++i;
    // The profile name up to the end of its line.
    while (i < text.size() && text[i] != '\n') ++i;
    while (i < text.size() && IsSpace(text[i])) ++i;
    std::size_t length = 0;
    const std::size_t digitsStart = i;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9' && i - digitsStart < 9)
        length = length * 10 + static_cast<std::size_t>(text[i++] - '0');
    if (i == digitsStart || length == 0 || length > (text.size() - i) / 2) return {};
    std::vector<std::uint8_t> bytes;
    bytes.reserve(length);
    int high = -1;
    for (; i < text.size() && bytes.size() < length; ++i) {
        if (IsSpace(text[i])) continue;
        const int digit = HexDigit(text[i]);
        if (digit < 0) return {};
        if (high < 0) {
            high = digit;
        } else {
            bytes.push_back(static_cast<std::uint8_t>(high << 4 | digit));
            high = -1;
        }
    }
    if (bytes.size() != length) return {};
    if (bytes.size() >= 6 && std::memcmp(bytes.data(), ExifPrefix, 6) == 0)
        bytes.erase(bytes.begin(), bytes.begin() + 6);
    return bytes;
}

std::optional<int> XmpOrientation(std::string_view xmp) {
    constexpr std::string_view name = "tiff:Orientation";
    for (std::size_t at = xmp.find(name); at != std::string_view::npos; at = xmp.find(name, at + 1)) {
        std::size_t i = at + name.size();
        if (i < xmp.size() && xmp[i] == '=') {
            ++i;
            if (i < xmp.size() && (xmp[i] == '"' || xmp[i] == '\'')) ++i;
        } else if (i < xmp.size() && xmp[i] == '>' && at > 0 && xmp[at - 1] == '<') {
            ++i;
        } else {
            continue;
        }
        while (i < xmp.size() && IsSpace(xmp[i])) ++i;
        if (i < xmp.size() && xmp[i] >= '0' && xmp[i] <= '9' &&
            (i + 1 == xmp.size() || xmp[i + 1] < '0' || xmp[i + 1] > '9'))
            return InRange(static_cast<std::uint32_t>(xmp[i] - '0'));
        return std::nullopt;
    }
    return std::nullopt;
}

const char* OrientationText(int orientation) {
    switch (orientation) {
        case 1:
            return "upright as stored";
        case 2:
            return "mirror left-right";
        case 3:
            return "rotate 180 degrees";
        case 4:
            return "mirror top-bottom";
        case 5:
            return "mirror left-right, then rotate 90 degrees counter-clockwise";
        case 6:
            return "rotate 90 degrees clockwise";
        case 7:
            return "mirror left-right, then rotate 90 degrees clockwise";
        case 8:
            return "rotate 90 degrees counter-clockwise";
        default:
            return "none stated";
    }
}
