// Helpers of the platform tests: pictures made in memory, scratch folders, ImageMagick as an
// independent encoder and decoder when it is installed.
#pragma once

#include "platform/Bitmap.h"

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

using TBytes = std::vector<std::uint8_t>;

inline void Put16(TBytes& b, std::uint32_t v) {
    b.push_back(v & 0xFF);
    b.push_back((v >> 8) & 0xFF);
}
inline void Put32(TBytes& b, std::uint32_t v) {
    Put16(b, v & 0xFFFF);
    Put16(b, v >> 16);
}

// A Windows bitmap file put together field by field; rows are given as stored (already in
// file order, padded or not as the test wants).
struct TBmpSpec {
    std::uint32_t HeaderSize = 40;
    std::int32_t Width = 1;
    std::int32_t Height = 1;
    std::uint16_t Planes = 1;
    std::uint16_t BitCount = 24;
    std::uint32_t Compression = 0;
    std::uint32_t ColorsUsed = 0;        // 0: the palette's size
    std::vector<std::uint32_t> Masks;    // after a 40-byte header, or inside a V4/V5 header
    std::vector<std::uint32_t> Palette;  // 0x00RRGGBB entries
    TBytes Pixels;
    std::int64_t OffsetAdjust = 0;  // added to the correct pixel offset
};

inline TBytes MakeBmp(const TBmpSpec& s) {
    TBytes info;
    Put32(info, s.HeaderSize);
    if (s.HeaderSize == 12) {
        Put16(info, static_cast<std::uint32_t>(s.Width));
        Put16(info, static_cast<std::uint32_t>(s.Height));
        Put16(info, s.Planes);
        Put16(info, s.BitCount);
    } else {
        Put32(info, static_cast<std::uint32_t>(s.Width));
        Put32(info, static_cast<std::uint32_t>(s.Height));
        Put16(info, s.Planes);
        Put16(info, s.BitCount);
        Put32(info, s.Compression);
        Put32(info, static_cast<std::uint32_t>(s.Pixels.size()));
        Put32(info, 2835);
        Put32(info, 2835);
        Put32(info, s.ColorsUsed ? s.ColorsUsed : static_cast<std::uint32_t>(s.Palette.size()));
        Put32(info, 0);
        std::size_t masksInside = s.HeaderSize >= 56 ? 4 : s.HeaderSize >= 52 ? 3 : 0;
        for (std::size_t i = 0; i < masksInside; ++i) Put32(info, i < s.Masks.size() ? s.Masks[i] : 0);
        while (info.size() < s.HeaderSize) info.push_back(0);
        if (masksInside == 0)
            for (std::uint32_t m : s.Masks) Put32(info, m);
    }
    for (std::uint32_t c : s.Palette) {
        info.push_back(c & 0xFF);
        info.push_back((c >> 8) & 0xFF);
        info.push_back((c >> 16) & 0xFF);
        if (s.HeaderSize != 12) info.push_back(0);
    }
    TBytes file{'B', 'M'};
    Put32(file, static_cast<std::uint32_t>(14 + info.size() + s.Pixels.size()));
    Put32(file, 0);
    Put32(file, static_cast<std::uint32_t>(14 + static_cast<std::int64_t>(info.size()) + s.OffsetAdjust));
    file.insert(file.end(), info.begin(), info.end());
    file.insert(file.end(), s.Pixels.begin(), s.Pixels.end());
    return file;
}

// A folder of its own under the system's temporary folder, removed at the end of the test.
class TScratchFolder {
public:
    TScratchFolder();
    ~TScratchFolder();
    TScratchFolder(const TScratchFolder&) = delete;
    TScratchFolder& operator=(const TScratchFolder&) = delete;
    const std::filesystem::path& Path() const { return path_; }
    std::string operator/(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

void WriteBytes(const std::string& fileName, const TBytes& bytes);
TBytes ReadBytes(const std::string& fileName);

// A test picture: smooth gradients with some sharp detail, B, G, R rows.
TBitmap MakeTestPicture(int width, int height);
// Writes a bitmap as a binary PPM for ImageMagick to read.
void WritePpm(const TBitmap& picture, const std::string& fileName);

// ImageMagick's convert, when the real one is installed.
bool HaveImageMagick();
// Runs convert with the arguments (a shell command line tail); true on success.
bool RunConvert(const std::string& arguments);
// Decodes a file with ImageMagick into R, G, B bytes of the given size; false when it cannot.
bool DecodeWithImageMagick(const std::string& fileName, int& width, int& height, TBytes& rgb);

// Largest channel difference between a bitmap and R, G, B bytes of the same size.
int MaxDifference(const TBitmap& picture, const TBytes& rgb);
double MeanDifference(const TBitmap& picture, const TBitmap& other);
