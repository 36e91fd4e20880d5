// Windows icon files: a directory of images, each a device-independent bitmap (colour rows
// followed by a 1-bit AND mask) or a whole PNG file.
#include "Dib.h"
#include "Exception.h"
#include "PictureFiles.h"
#include "PictureFormats.h"
#include "Stream.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

const char* const IconLabel = "Windows icon";
const std::uint8_t PngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

struct TIconImage {
    std::int64_t Offset = 0;  // absolute stream position
    std::int64_t Size = 0;
    bool Png = false;
    std::uint64_t Width = 0, Height = 0;
    int BitCount = 0;
};

// Size and depth from the image's own header, which is more trustworthy than the directory's
// one-byte fields (0 meaning 256). False when the image is too short to tell.
bool ProbeImage(TStream& stream, TIconImage& image) {
    std::uint8_t b[32];
    if (image.Size < static_cast<std::int64_t>(sizeof b)) return false;
    stream.SetPosition(image.Offset);
    stream.ReadBuffer(b, sizeof b);
    if (std::memcmp(b, PngSignature, 8) == 0) {
        image.Png = true;
        image.Width = ReadBigEndian32(b + 16);
        image.Height = ReadBigEndian32(b + 20);
        static const int channels[7] = {1, 0, 3, 1, 2, 0, 4};
        int colorType = b[25] <= 6 ? b[25] : 1;
        image.BitCount = b[24] * channels[colorType];
        return true;
    }
    std::uint32_t headerSize = ReadLittleEndian32(b);
    if (headerSize == 12) {
        image.Width = ReadLittleEndian16(b + 4);
        image.Height = ReadLittleEndian16(b + 6) / 2u;
        image.BitCount = ReadLittleEndian16(b + 10);
    } else {
        image.Width =
            static_cast<std::uint32_t>(std::max<std::int32_t>(0, static_cast<std::int32_t>(ReadLittleEndian32(b + 4))));
        image.Height = static_cast<std::uint32_t>(
                           std::max<std::int32_t>(0, static_cast<std::int32_t>(ReadLittleEndian32(b + 8)))) /
                       2u;
        image.BitCount = ReadLittleEndian16(b + 14);
    }
    return true;
}

std::uint8_t OverWhite(std::uint8_t value, std::uint8_t alpha) {
    return static_cast<std::uint8_t>((value * alpha + 255 * (255 - alpha) + 127) / 255);
}

// Draws source onto white: alpha (when useAlpha) blends, a set AND-mask bit shows white XOR
// the colour, as the screen does.
void DrawOnWhite(const TBitmap& source, bool useAlpha, const std::vector<std::uint8_t>* mask, std::size_t maskStride,
                 TBitmap& target) {
    const int w = source.Width(), h = source.Height();
    target.SetPixelFormat(TPixelFormat::pf24bit);
    target.SetSize(w, h);
    for (int y = 0; y < h; ++y) {
        std::uint8_t* out = target.ScanLine(y);
        const std::uint8_t* in = source.ScanLine(y);
        for (int x = 0; x < w; ++x) {
            TColor c = source.Pixel(x, y);
            std::uint8_t r = RedOf(c), g = GreenOf(c), b = BlueOf(c);
            if (useAlpha) {
                std::uint8_t a = in[4 * x + 3];
                r = OverWhite(r, a);
                g = OverWhite(g, a);
                b = OverWhite(b, a);
            } else if (mask && ((*mask)[static_cast<std::size_t>(y) * maskStride + static_cast<std::size_t>(x >> 3)] &
                                (0x80 >> (x & 7)))) {
                r ^= 0xFF;
                g ^= 0xFF;
                b ^= 0xFF;
            }
            out[3 * x] = b;
            out[3 * x + 1] = g;
            out[3 * x + 2] = r;
        }
    }
}

bool HasAlpha(const TBitmap& bitmap) {
    if (bitmap.PixelFormat() != TPixelFormat::pf32bit) return false;
    for (int y = 0; y < bitmap.Height(); ++y) {
        const std::uint8_t* row = bitmap.ScanLine(y);
        for (int x = 0; x < bitmap.Width(); ++x)
            if (row[4 * x + 3]) return true;
    }
    return false;
}

}  // namespace

void TIcon::LoadFromStream(TStream& stream) {
    ReleaseImage();
    imageCount_ = imageBitCount_ = 0;
    imageIsPng_ = false;
    const std::int64_t base = stream.Position();
    const std::int64_t end = stream.Size();
    std::uint8_t directory[6];
    if (end - base < 6) throw EReadError();
    stream.ReadBuffer(directory, sizeof directory);
    std::uint16_t type = ReadLittleEndian16(directory + 2);
    int count = ReadLittleEndian16(directory + 4);
    if (ReadLittleEndian16(directory) != 0 || (type != 1 && type != 2) || count == 0) RaiseInvalidPicture(IconLabel);
    if (end - stream.Position() < 16 * count) throw EReadError();
    std::vector<std::uint8_t> entries(16 * static_cast<std::size_t>(count));
    stream.ReadBuffer(entries.data(), entries.size());

    TIconImage best;
    bool found = false;
    for (int i = 0; i < count; ++i) {
        const std::uint8_t* e = &entries[16 * static_cast<std::size_t>(i)];
        TIconImage image;
        image.Size = ReadLittleEndian32(e + 8);
        image.Offset = base + ReadLittleEndian32(e + 12);
        if (image.Offset < base + 6 || image.Offset + image.Size > end) continue;
        if (!ProbeImage(stream, image)) continue;
        std::uint64_t area = image.Width * image.Height, bestArea = best.Width * best.Height;
        if (!found || area > bestArea || (area == bestArea && image.BitCount > best.BitCount)) {
            best = image;
            found = true;
        }
    }
    if (!found) RaiseInvalidPicture(IconLabel);
    imageCount_ = count;
    imageBitCount_ = best.BitCount;
    imageIsPng_ = best.Png;
    CheckPictureSize(best.Width, best.Height);
    const std::int64_t imageEnd = best.Offset + best.Size;
    stream.SetPosition(best.Offset);

    if (best.Png) {
        // Decoded by whichever class reads .png files once the PNG reader has registered.
        const TGraphicClass* png = TPictureFormatTable::Instance().Find("png");
        if (!png)
            throw EInvalidGraphic(
                "Cannot load image. The icon's largest image is a PNG image, which needs the PNG reader.");
        TMemoryStream bytes;
        bytes.CopyFrom(stream, best.Size);
        bytes.SetPosition(0);
        std::unique_ptr<TBitmap> picture = png->Create();
        picture->LoadFromStream(bytes);
        DrawOnWhite(*picture, HasAlpha(*picture), nullptr, 0, *this);
        return;
    }

    TDibHeader header = ReadDibHeader(stream, imageEnd, IconLabel);
    header.Height /= 2;  // the header counts the AND mask's rows too
    if (header.Height == 0 || header.Compression != BI_RGB) RaiseInvalidPicture(IconLabel);
    TBitmap colors;
    ReadDibPixels(stream, header, header.End, imageEnd, colors, IconLabel);

    // The AND mask follows the colour rows; 32-bit icons may leave it out.
    const std::size_t maskStride = DibStride(header.Width, 1);
    const std::int64_t maskStart =
        header.End + static_cast<std::int64_t>(DibStride(header.Width, header.BitCount)) * header.Height;
    const std::size_t maskBytes = maskStride * static_cast<std::size_t>(header.Height);
    std::vector<std::uint8_t> mask;
    if (maskStart + static_cast<std::int64_t>(maskBytes) <= imageEnd) {
        std::vector<std::uint8_t> stored(maskBytes);
        stream.SetPosition(maskStart);
        stream.ReadBuffer(stored.data(), maskBytes);
        mask.resize(maskBytes);
        for (int y = 0; y < header.Height; ++y) {
            int from = header.TopDown ? y : header.Height - 1 - y;
            std::memcpy(&mask[static_cast<std::size_t>(y) * maskStride],
                        &stored[static_cast<std::size_t>(from) * maskStride], maskStride);
        }
    }
    bool useAlpha = header.BitCount == 32 && HasAlpha(colors);
    DrawOnWhite(colors, useAlpha, mask.empty() ? nullptr : &mask, maskStride, *this);
}
