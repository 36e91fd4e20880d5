// PNG files through libpng. libpng reports fatal errors through its error function, which must
// not return; it longjmps back to the setjmp in WritePngStream, so the code between keeps
// every object with a destructor outside that stretch.
#include "Exception.h"
#include "PictureFiles.h"
#include "Stream.h"

#include <csetjmp>
#include <cstdio>
#include <new>
#include <string>
#include <vector>

#include <png.h>

namespace {

struct TPngWriter {
    png_structp Png = nullptr;
    png_infop Info = nullptr;
    std::vector<std::uint8_t> Output;
    char Message[256] = {};

    TPngWriter() = default;
    ~TPngWriter() { png_destroy_write_struct(&Png, &Info); }
    TPngWriter(const TPngWriter&) = delete;
    TPngWriter& operator=(const TPngWriter&) = delete;
};

extern "C" void PngError(png_structp png, png_const_charp message) {
    auto* writer = static_cast<TPngWriter*>(png_get_error_ptr(png));
    std::snprintf(writer->Message, sizeof writer->Message, "%s", message);
    png_longjmp(png, 1);
}

extern "C" void PngWarning(png_structp, png_const_charp) {}

// Nothing may throw through libpng: a failed allocation becomes a libpng error.
extern "C" void PngWrite(png_structp png, png_bytep data, std::size_t length) {
    auto* writer = static_cast<TPngWriter*>(png_get_io_ptr(png));
    try {
        writer->Output.insert(writer->Output.end(), data, data + length);
    } catch (const std::bad_alloc&) {
        png_error(png, "Out of memory");
    }
}

extern "C" void PngFlush(png_structp) {}

}  // namespace

void WritePngStream(const TBgrView& view, TStream& stream, const TMetadataBlocks& metadata) {
    if (view.Width <= 0 || view.Height <= 0 || !view.Bits) throw EInvalidGraphic("Cannot save an empty picture.");
    // libpng takes non-const pointers and copies what it is given.
    const std::span<const std::uint8_t> exif = metadata.Exif;
    std::string xmp(metadata.Xmp);
    static char xmpKey[] = "XML:com.adobe.xmp";
    static char empty[] = "";
    png_text xmpText{};
    xmpText.compression = PNG_ITXT_COMPRESSION_NONE;
    xmpText.key = xmpKey;
    xmpText.text = xmp.data();
    xmpText.itxt_length = xmp.size();
    xmpText.lang = empty;
    xmpText.lang_key = empty;

    TPngWriter w;
    w.Png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &w, PngError, PngWarning);
    if (!w.Png) throw std::bad_alloc();
    w.Info = png_create_info_struct(w.Png);
    if (!w.Info) throw std::bad_alloc();
    if (setjmp(png_jmpbuf(w.Png))) throw EInvalidGraphic(w.Message);
    png_set_write_fn(w.Png, &w, PngWrite, PngFlush);
    png_set_IHDR(w.Png, w.Info, static_cast<png_uint_32>(view.Width), static_cast<png_uint_32>(view.Height), 8,
                 PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (!xmp.empty()) png_set_text(w.Png, w.Info, &xmpText, 1);
    png_write_info(w.Png, w.Info);
    // Written by hand: libpng puts an eXIf chunk it is given after the image data, where
    // readers that stop at the pixels miss it.
    if (!exif.empty()) png_write_chunk(w.Png, reinterpret_cast<png_const_bytep>("eXIf"), exif.data(), exif.size());
    // The rows are B, G, R already: libpng swaps them as it reads them.
    png_set_bgr(w.Png);
    for (int y = 0; y < view.Height; ++y) png_write_row(w.Png, view.Row(y));
    png_write_end(w.Png, w.Info);
    stream.WriteBuffer(w.Output.data(), w.Output.size());
}
