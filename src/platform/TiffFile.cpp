// TIFF files through libtiff, written into memory: libtiff seeks back to fill in its
// directories, and the Exif IFD is appended once libtiff is done.
#include "Exception.h"
#include "ExifBlock.h"
#include "PictureFiles.h"
#include "Stream.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include <tiffio.h>

namespace {

// Strips of about this many bytes before compression.
constexpr std::size_t StripBytes = 256 * 1024;

// The file libtiff writes: a growing buffer with a position. Nothing may throw through libtiff,
// so a failed allocation is a short write, which libtiff reports as an error.
struct TMemoryFile {
    std::vector<std::uint8_t> Bytes;
    std::size_t Position = 0;
    std::string Message;
};

extern "C" tmsize_t TiffRead(thandle_t handle, void* buffer, tmsize_t size) {
    auto* file = static_cast<TMemoryFile*>(handle);
    const std::size_t count =
        std::min(static_cast<std::size_t>(size), file->Bytes.size() - std::min(file->Position, file->Bytes.size()));
    if (count) std::memcpy(buffer, file->Bytes.data() + file->Position, count);
    file->Position += count;
    return static_cast<tmsize_t>(count);
}

extern "C" tmsize_t TiffWrite(thandle_t handle, void* buffer, tmsize_t size) {
    auto* file = static_cast<TMemoryFile*>(handle);
    const auto count = static_cast<std::size_t>(size);
    try {
        if (file->Position + count > file->Bytes.size()) file->Bytes.resize(file->Position + count);
    } catch (const std::bad_alloc&) {
        return 0;
    }
    if (count) std::memcpy(file->Bytes.data() + file->Position, buffer, count);
    file->Position += count;
    return size;
}

extern "C" toff_t TiffSeek(thandle_t handle, toff_t offset, int whence) {
    auto* file = static_cast<TMemoryFile*>(handle);
    const std::size_t base = whence == SEEK_CUR ? file->Position : whence == SEEK_END ? file->Bytes.size() : 0;
    file->Position = base + static_cast<std::size_t>(offset);
    return static_cast<toff_t>(file->Position);
}

extern "C" int TiffClose(thandle_t) { return 0; }
extern "C" toff_t TiffSize(thandle_t handle) { return static_cast<TMemoryFile*>(handle)->Bytes.size(); }
extern "C" int TiffMap(thandle_t, void**, toff_t*) { return 0; }
extern "C" void TiffUnmap(thandle_t, void*, toff_t) {}

extern "C" int TiffError(TIFF*, void* user, const char*, const char* format, va_list args) {
    auto* file = static_cast<TMemoryFile*>(user);
    if (file->Message.empty()) {
        char text[256];
        std::vsnprintf(text, sizeof text, format, args);
        file->Message = text;
    }
    return 1;
}

extern "C" int TiffWarning(TIFF*, void*, const char*, const char*, va_list) { return 1; }

struct TTiffCloser {
    void operator()(TIFF* tiff) const { TIFFClose(tiff); }
};
struct TOptionsDeleter {
    void operator()(TIFFOpenOptions* options) const { TIFFOpenOptionsFree(options); }
};

}  // namespace

void WriteTiffStream(const TBgrView& view, TStream& stream, const TMetadataBlocks& metadata) {
    if (view.Width <= 0 || view.Height <= 0 || !view.Bits) throw EInvalidGraphic("Cannot save an empty picture.");
    TMemoryFile file;
    // The Exif IFD is copied byte for byte, so the file takes the block's byte order.
    const bool exif = !metadata.Exif.empty();
    const bool bigEndian = exif && ExifIsBigEndian(metadata.Exif);
    const bool exifIfd = exif && !MovedExifIfd(metadata.Exif, 0).empty();

    std::unique_ptr<TIFFOpenOptions, TOptionsDeleter> options(TIFFOpenOptionsAlloc());
    if (!options) throw std::bad_alloc();
    TIFFOpenOptionsSetErrorHandlerExtR(options.get(), TiffError, &file);
    TIFFOpenOptionsSetWarningHandlerExtR(options.get(), TiffWarning, &file);
    {
        std::unique_ptr<TIFF, TTiffCloser> tiff(TIFFClientOpenExt("picture.tif", bigEndian ? "wb" : "wl", &file,
                                                                  TiffRead, TiffWrite, TiffSeek, TiffClose, TiffSize,
                                                                  TiffMap, TiffUnmap, options.get()));
        const auto fail = [&file] {
            throw EInvalidGraphic(file.Message.empty() ? std::string("The TIFF file could not be written.")
                                                       : file.Message);
        };
        if (!tiff) fail();
        TIFF* t = tiff.get();
        const std::size_t rowBytes = 3 * static_cast<std::size_t>(view.Width);
        const auto rowsPerStrip =
            static_cast<std::uint32_t>(std::clamp<std::size_t>(StripBytes / rowBytes, 1, view.Height));
        bool ok = TIFFSetField(t, TIFFTAG_IMAGEWIDTH, static_cast<std::uint32_t>(view.Width)) &&
                  TIFFSetField(t, TIFFTAG_IMAGELENGTH, static_cast<std::uint32_t>(view.Height)) &&
                  TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 8) && TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 3) &&
                  TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB) &&
                  TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG) &&
                  TIFFSetField(t, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT) &&
                  TIFFSetField(t, TIFFTAG_XRESOLUTION, 72.0) && TIFFSetField(t, TIFFTAG_YRESOLUTION, 72.0) &&
                  TIFFSetField(t, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH) &&
                  TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_ADOBE_DEFLATE) &&
                  TIFFSetField(t, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL) &&
                  TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, rowsPerStrip);
        if (exif)
            for (const TExifText& text : ExifTextTags(metadata.Exif))
                ok = ok && TIFFSetField(t, text.Tag, text.Text.c_str());
        // A place for the Exif IFD's offset, filled in below.
        if (exifIfd) ok = ok && TIFFSetField(t, TIFFTAG_EXIFIFD, std::uint64_t{0});
        const std::string xmp(metadata.Xmp);
        if (!xmp.empty())
            ok = ok && TIFFSetField(t, TIFFTAG_XMLPACKET, static_cast<std::uint32_t>(xmp.size()), xmp.data());
        if (!ok) fail();
        std::vector<std::uint8_t> rgb(rowBytes);
        for (int y = 0; y < view.Height; ++y) {
            const std::uint8_t* bgr = view.Row(y);
            for (std::size_t x = 0; x < rowBytes; x += 3) {
                rgb[x] = bgr[x + 2];
                rgb[x + 1] = bgr[x + 1];
                rgb[x + 2] = bgr[x];
            }
            if (TIFFWriteScanline(t, rgb.data(), static_cast<std::uint32_t>(y), 0) < 0) fail();
        }
        if (!TIFFWriteDirectory(t)) fail();
    }
    if (!file.Message.empty()) throw EInvalidGraphic(file.Message);
    if (exifIfd) {
        if (file.Bytes.size() % 2) file.Bytes.push_back(0);
        if (file.Bytes.size() > 0xFFFF0000u) throw EInvalidGraphic("The TIFF file is too large for its EXIF tags.");
        const auto at = static_cast<std::uint32_t>(file.Bytes.size());
        const std::vector<std::uint8_t> moved = MovedExifIfd(metadata.Exif, at);
        file.Bytes.insert(file.Bytes.end(), moved.begin(), moved.end());
        SetIfd0Long(file.Bytes, ExifIfdTag, at);
    }
    stream.WriteBuffer(file.Bytes.data(), file.Bytes.size());
}
