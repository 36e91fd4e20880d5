// Files of a few hundred bytes whose headers claim pictures of a hundred megapixels and more:
// every reader and loader refuses them before it allocates anything large, which an allocation
// bound on operator new in this executable checks (the bitmaps and every buffer of the readers
// come from it; libjpeg allocates its own only after the size check). Photographs cut short
// still open as before.
#include "GifBuilder.h"
#include "PngBuilder.h"
#include "TestSupport.h"
#include "TiffBuilder.h"

#include "platform/PictureFiles.h"
#include "platform/Warnings.h"

#include <cstdio>
#include <cstdlib>
#include <new>

#include <jpeglib.h>

namespace {

// While armed, no single request to operator new may pass this many bytes: it fails as the
// machine would fail a request it cannot give, and the largest request is kept.
constexpr std::size_t AllocationBound = std::size_t(4) << 20;
bool boundArmed = false;
std::size_t largestRequest = 0;

[[gnu::noinline]] void Release(void* p) { std::free(p); }

void* Allocate(std::size_t size) {
    if (boundArmed) {
        largestRequest = std::max(largestRequest, size);
        if (size > AllocationBound) return nullptr;
    }
    return std::malloc(size == 0 ? 1 : size);
}

}  // namespace

void* operator new(std::size_t size) {
    if (void* p = Allocate(size)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void operator delete(void* p) noexcept { Release(p); }
void operator delete[](void* p) noexcept { Release(p); }
void operator delete(void* p, std::size_t) noexcept { Release(p); }
void operator delete[](void* p, std::size_t) noexcept { Release(p); }

namespace {

// The message with which the load pipeline refuses the bytes, the allocation bound armed.
std::string BoundedLoadMessage(const TBytes& bytes, const std::string& extension, std::size_t& largest) {
    largestRequest = 0;
    boundArmed = true;
    std::string message;
    try {
        message = MessageOf([&] { LoadBytes(bytes, extension); });
    } catch (const std::bad_alloc&) {
        message = "(allocation beyond the bound)";
    }
    boundArmed = false;
    largest = largestRequest;
    return message;
}

void PutLE16(TBytes& b, std::size_t at, unsigned v) {
    b[at] = static_cast<std::uint8_t>(v);
    b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}
void PutLE32(TBytes& b, std::size_t at, std::uint32_t v) {
    PutLE16(b, at, v & 0xFFFF);
    PutLE16(b, at + 2, v >> 16);
}
void PutBE16(TBytes& b, std::size_t at, unsigned v) {
    b[at] = static_cast<std::uint8_t>(v >> 8);
    b[at + 1] = static_cast<std::uint8_t>(v);
}
void PutBE32(TBytes& b, std::size_t at, std::uint32_t v) {
    PutBE16(b, at, v >> 16);
    PutBE16(b, at + 2, v & 0xFFFF);
}
void Append(TBytes& b, const TBytes& more) { b.insert(b.end(), more.begin(), more.end()); }

// A picture with a photograph's mix of gradients and noise.
TBgrImage Photo(int width, int height) {
    TBgrImage image{width, height, std::vector<std::uint8_t>(std::size_t(width) * height * 3)};
    std::uint32_t seed = 12345;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            seed = seed * 1103515245u + 12345u;
            const int noise = static_cast<int>((seed >> 16) % 24);
            std::uint8_t* p = &image.Bgr[(std::size_t(y) * width + x) * 3];
            p[0] = static_cast<std::uint8_t>((x * 255 / width + noise) & 0xFF);
            p[1] = static_cast<std::uint8_t>((y * 255 / height + noise / 2) & 0xFF);
            p[2] = static_cast<std::uint8_t>(((x + y) * 128 / (width + height) + 64 + noise) & 0xFF);
        }
    return image;
}

// libjpeg's own encoding, with a restart marker every restartRows rows of blocks when not 0.
TBytes EncodeJpeg(const TBgrImage& image, int quality, bool progressive, int restartRows = 0, bool optimize = false) {
    jpeg_compress_struct info;
    jpeg_error_mgr errors;
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    unsigned char* output = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &output, &size);
    info.image_width = static_cast<JDIMENSION>(image.Width);
    info.image_height = static_cast<JDIMENSION>(image.Height);
    info.input_components = 3;
    info.in_color_space = JCS_EXT_BGR;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, quality, TRUE);
    if (progressive) jpeg_simple_progression(&info);
    info.restart_in_rows = restartRows;
    info.optimize_coding = optimize ? TRUE : info.optimize_coding;
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = const_cast<std::uint8_t*>(&image.Bgr[std::size_t(info.next_scanline) * image.Width * 3]);
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    TBytes bytes(output, output + size);
    jpeg_destroy_compress(&info);
    std::free(output);
    return bytes;
}

extern "C" void IgnoreJpegMessage(j_common_ptr, int) {}

// libjpeg's decoding of every row, warnings ignored.
TBgrImage DecodeJpeg(const TBytes& bytes) {
    jpeg_decompress_struct info;
    jpeg_error_mgr errors;
    info.err = jpeg_std_error(&errors);
    errors.emit_message = IgnoreJpegMessage;
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, bytes.data(), static_cast<unsigned long>(bytes.size()));
    jpeg_read_header(&info, TRUE);
    info.out_color_space = JCS_EXT_BGR;
    jpeg_start_decompress(&info);
    TBgrImage image{static_cast<int>(info.output_width), static_cast<int>(info.output_height), {}};
    image.Bgr.resize(std::size_t(image.Width) * image.Height * 3);
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = &image.Bgr[std::size_t(info.output_scanline) * image.Width * 3];
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_abort_decompress(&info);
    jpeg_destroy_decompress(&info);
    return image;
}

// The bytes with the size in the JPEG frame header (SOF0 to SOF2) replaced.
TBytes WithJpegSize(TBytes bytes, unsigned width, unsigned height) {
    for (std::size_t i = 2; i + 9 < bytes.size();) {
        const unsigned marker = bytes[i + 1], length = (bytes[i + 2] << 8) | bytes[i + 3];
        if (marker >= 0xC0 && marker <= 0xC2) {
            PutBE16(bytes, i + 5, height);
            PutBE16(bytes, i + 7, width);
            break;
        }
        i += 2 + length;
    }
    return bytes;
}

TBytes TargaBomb(unsigned imageType) {
    TBytes b(18, 0);
    b[2] = static_cast<std::uint8_t>(imageType);
    PutLE16(b, 12, 12000);
    PutLE16(b, 14, 10000);
    b[16] = 24;
    b.resize(b.size() + 300, 0x7F);
    return b;
}

// The 132-byte file that once took 11 seconds: stored 4-bit rows, 15873 x 15935 pixels.
TBytes PcxBomb(unsigned encoding) {
    TBytes b(128, 0);
    b[0] = 10;
    b[1] = 5;
    b[2] = static_cast<std::uint8_t>(encoding);
    b[3] = 4;
    PutLE16(b, 8, 15872);
    PutLE16(b, 10, 15934);
    b[65] = 1;
    PutLE16(b, 66, 7937);
    b.resize(b.size() + 4, 0xC1);
    return b;
}

TBytes PsdBomb(unsigned compression, std::uint32_t width, std::uint32_t height) {
    TBytes b(26, 0);
    std::copy_n("8BPS", 4, b.begin());
    PutBE16(b, 4, 1);
    PutBE16(b, 12, 3);
    PutBE32(b, 14, height);
    PutBE32(b, 18, width);
    PutBE16(b, 22, 8);
    PutBE16(b, 24, 3);
    b.resize(b.size() + 14, 0);
    PutBE16(b, 38, compression);
    if (compression == 1) b.resize(b.size() + std::size_t(height) * 3 * 2, 0);  // row byte counts of 0
    b.resize(b.size() + 100, 0x81);
    return b;
}

TBytes SgiBomb() {
    TBytes b(512, 0);
    PutBE16(b, 0, 474);
    b[3] = 1;
    PutBE16(b, 4, 3);
    PutBE16(b, 6, 12000);
    PutBE16(b, 8, 10000);
    PutBE16(b, 10, 3);
    b.resize(b.size() + 300, 0x40);
    return b;
}

TBytes TiffBomb(unsigned compression) {
    TTiffBuilder b;
    b.Basic(12000, 10000, 8, 1, 1).Set(259, TTiffBuilder::Short, {compression}).AddStrip(TBytes(300, 0x80));
    return b.Build();
}

// An EPS file header (30 bytes) before a PostScript line and the preview.
TBytes Eps(const TBytes& tiff) {
    const std::string postscript = "%!PS-Adobe-3.0 EPSF-3.0\n";
    TBytes b(30, 0);
    PutLE32(b, 0, 0xC6D3D0C5);
    PutLE32(b, 4, 30);
    PutLE32(b, 8, static_cast<std::uint32_t>(postscript.size()));
    PutLE32(b, 20, static_cast<std::uint32_t>(30 + postscript.size()));
    PutLE32(b, 24, static_cast<std::uint32_t>(tiff.size()));
    PutLE16(b, 28, 0xFFFF);
    b.insert(b.end(), postscript.begin(), postscript.end());
    Append(b, tiff);
    return b;
}

TBytes BmpBomb(unsigned compression, unsigned bits, std::uint32_t width = 12000, std::uint32_t height = 10000) {
    TBytes b(54, 0);
    b[0] = 'B';
    b[1] = 'M';
    PutLE32(b, 10, 54 + (bits == 8 ? 8 : 0));
    PutLE32(b, 14, 40);
    PutLE32(b, 18, width);
    PutLE32(b, 22, height);
    PutLE16(b, 26, 1);
    PutLE16(b, 28, bits);
    PutLE32(b, 30, compression);
    if (bits == 8) {
        PutLE32(b, 46, 2);  // two palette entries
        b.resize(b.size() + 8, 0);
    }
    for (int i = 0; i < 100; ++i) Append(b, {255, 9});  // runs of 255 pixels
    return b;
}

// An icon whose one image claims 12000 x 10000 pixels.
TBytes IcoBomb(const TBytes& image) {
    TBytes b(22, 0);
    PutLE16(b, 2, 1);
    PutLE16(b, 4, 1);
    PutLE32(b, 14, static_cast<std::uint32_t>(image.size()));
    PutLE32(b, 18, 22);
    Append(b, image);
    return b;
}

TBytes IcoDibBomb() {
    TBytes dib(40, 0);
    PutLE32(dib, 0, 40);
    PutLE32(dib, 4, 12000);
    PutLE32(dib, 8, 20000);  // colour rows and mask rows
    PutLE16(dib, 12, 1);
    PutLE16(dib, 14, 32);
    dib.resize(dib.size() + 300, 0x55);
    return IcoBomb(dib);
}

}  // namespace

TEST(Bombs, TinyFilesClaimingHugePicturesAreRefusedBeforeAnythingLargeIsAllocated) {
    using namespace png_builder;
    const std::string png = "Cannot load image. The PNG image of 12000 x 10000 pixels is too large.";
    const std::string tiff = "Cannot load image. The TIF/TIFF image of 12000 x 10000 pixels is too large.";
    const std::string platform = "Cannot load image. The picture is too large (12000 x 10000 pixels).";
    const TBytes tinyJpeg = EncodeJpeg(Photo(16, 16), 75, false);
    const TBytes tinyProgressive = EncodeJpeg(Photo(16, 16), 75, true);
    const TBytes pngBomb = Png({Ihdr(12000, 10000, 1, 0), Chunk("IDAT", Zlib(TBytes(200, 0))), Iend()});
    struct TCase {
        const char* Name;
        TBytes Bytes;
        std::string Extension, Message;
    };
    const std::vector<TCase> cases = {
        {"PNG, 1 bit", pngBomb, "png", png},
        {"TIFF, stored", TiffBomb(1), "tif", tiff},
        {"TIFF, LZW", TiffBomb(5), "tif", tiff},
        {"TIFF, Deflate", TiffBomb(8), "tif", tiff},
        {"TIFF, PackBits", TiffBomb(32773), "tif", tiff},
        {"GIF",
         gif_builder::Gif(
             {gif_builder::Header("GIF89a", 12000, 10000, 1), gif_builder::Image(12000, 10000, TBytes(64, 1), 2)}),
         "gif", "Cannot load image. The GIF image of 12000 x 10000 pixels is too large."},
        {"Targa, stored", TargaBomb(2), "tga",
         "Cannot load image. The Targa image of 12000 x 10000 pixels is too large."},
        {"Targa, run-length", TargaBomb(10), "tga",
         "Cannot load image. The Targa image of 12000 x 10000 pixels is too large."},
        {"Targa, no image data", TargaBomb(0), "tga",
         "Cannot load image. The Targa image of 12000 x 10000 pixels is too large."},
        {"PCX, stored", PcxBomb(0), "pcx",
         "Cannot load image. The PCX or SCR image of 15873 x 15935 pixels is too large."},
        {"PCX, run-length", PcxBomb(1), "pcx",
         "Cannot load image. The PCX or SCR image of 15873 x 15935 pixels is too large."},
        {"PSD, stored", PsdBomb(0, 12000, 10000), "psd",
         "Cannot load image. The PSD or PDD image of 12000 x 10000 pixels is too large."},
        {"PSD, PackBits", PsdBomb(1, 1000000, 100), "psd",
         "Cannot load image. The PSD or PDD image of 1000000 x 100 pixels is too large."},
        {"PSD, one row found by the fuzzer",
         ReadFile(std::filesystem::path(PIXAMO_TEST_DATA_DIR) / "fuzz-psd-one-long-row"), "psd",
         "Cannot load image. The PSD or PDD image of 16777453 x 1 pixels is too large."},
        {"SGI, stored", SgiBomb(), "sgi",
         "Cannot load image. The sgi, bw or rgb(a) image of 12000 x 10000 pixels is too large."},
        {"EPS", Eps(TiffBomb(5)), "eps", "Cannot load image. The TIF/TIFF image of 12000 x 10000 pixels is too large."},
        {"BMP, stored", BmpBomb(0, 24), "bmp", platform},
        {"BMP, RLE8", BmpBomb(1, 8), "bmp", platform},
        // One row may be missing, but not the whole picture.
        {"BMP, one row", BmpBomb(0, 24, 200000000, 1), "bmp",
         "Cannot load image. The picture is too large (200000000 x 1 pixels)."},
        {"ICO, bitmap", IcoDibBomb(), "ico", platform},
        {"ICO, PNG", IcoBomb(pngBomb), "ico", png},
        {"JPEG, baseline", WithJpegSize(tinyJpeg, 12000, 10000), "jpg", platform},
        {"JPEG, progressive", WithJpegSize(tinyProgressive, 12000, 10000), "jpg", platform},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        EXPECT_LT(c.Bytes.size(), 1024u);
        std::size_t largest = 0;
        EXPECT_EQ(BoundedLoadMessage(c.Bytes, c.Extension, largest), c.Message);
        EXPECT_LE(largest, AllocationBound);
    }
    // The bound itself catches a picture that passes the checks: 2000 x 2000 pixels of 24 bits.
    std::size_t largest = 0;
    const TBytes fair = Png({Ihdr(2000, 2000, 8, 2), Chunk("IDAT", Zlib(TBytes(2000 * 6001, 0))), Iend()});
    EXPECT_NE(BoundedLoadMessage(fair, "png", largest), "(no exception)");
    EXPECT_GT(largest, AllocationBound);
}

TEST(Bombs, FlatJpegPicturesStillOpen) {
    // One colour at quality 1 with optimised tables: about two bits per block, the fewest
    // libjpeg writes (24576 blocks in 4:2:0).
    TBgrImage flat{1024, 1024, std::vector<std::uint8_t>(1024 * 1024 * 3, 200)};
    for (bool progressive : {false, true}) {
        const TBytes bytes = EncodeJpeg(flat, 1, progressive, 0, true);
        EXPECT_LT(bytes.size(), 24576u * 3 / 8) << progressive;
        EXPECT_TRUE(SamePicture(ToBgr(*LoadBytes(bytes, "jpg").Bitmap), DecodeJpeg(bytes)));
    }
}

TEST(Bombs, JpegCutShortLoadsWhatLibjpegDecodesWithItsWarning) {
    std::vector<std::string> warnings;
    const TWarningHandler previous = SetWarningHandler([&](const std::string& w) { warnings.push_back(w); });
    const TBgrImage photo = Photo(333, 250);
    for (int restartRows : {0, 1}) {
        const TBytes full = EncodeJpeg(photo, 90, false, restartRows);
        for (std::size_t cut : {full.size() / 3, full.size() * 2 / 3, full.size() - 2}) {
            SCOPED_TRACE(testing::Message() << "restart rows " << restartRows << ", cut at " << cut);
            const TBytes bytes(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(cut));
            warnings.clear();
            TLoadedPicture loaded = LoadBytes(bytes, "jpg");
            EXPECT_TRUE(SamePicture(ToBgr(*loaded.Bitmap), DecodeJpeg(bytes)));
            ASSERT_FALSE(warnings.empty());
            EXPECT_EQ(warnings.front(), "Premature end of JPEG file");
        }
    }
    // Progressive data cut short: every scan's blocks as far as they came.
    const TBytes progressive = EncodeJpeg(photo, 90, true);
    const TBytes half(progressive.begin(), progressive.begin() + static_cast<std::ptrdiff_t>(progressive.size() / 2));
    EXPECT_TRUE(SamePicture(ToBgr(*LoadBytes(half, "jpg").Bitmap), DecodeJpeg(half)));
    SetWarningHandler(previous);
}

TEST(Bombs, PhotographsCutShortStillOpen) {
    if (!ToolInstalled("convert")) GTEST_SKIP() << "ImageMagick's convert is not installed";
    const TWarningHandler previous = SetWarningHandler([](const std::string&) {});
    const TBgrImage photo = Photo(240, 160);
    const std::filesystem::path source = ScratchFolder() / "photo.ppm";
    WriteFile(source, MakePpm(photo));
    auto convert = [&](const std::string& options) {
        std::optional<TBytes> bytes = RunTool("convert " + source.string() + " " + options);
        EXPECT_TRUE(bytes.has_value()) << options;
        return bytes.value_or(TBytes{});
    };
    // TIFF with its directory first, so that a cut leaves it whole: Deflate strips of 8 rows.
    auto tiffFile = [&] {
        std::vector<TBytes> strips;
        for (int y = 0; y < photo.Height; y += 8) {
            TBytes raw;
            for (int row = y; row < y + 8; ++row)
                for (int x = 0; x < photo.Width; ++x) {
                    const std::uint8_t* p = &photo.Bgr[(std::size_t(row) * photo.Width + x) * 3];
                    raw.insert(raw.end(), {p[2], p[1], p[0]});
                }
            strips.push_back(png_builder::Zlib(raw));
        }
        auto build = [&](std::uint32_t dataStart) {
            std::vector<std::uint32_t> offsets, counts;
            for (const TBytes& strip : strips) {
                offsets.push_back(dataStart);
                counts.push_back(static_cast<std::uint32_t>(strip.size()));
                dataStart += static_cast<std::uint32_t>(strip.size());
            }
            TTiffBuilder b;
            b.Basic(240, 160, 8, 3, 2).Set(259, TTiffBuilder::Short, {8}).Set(278, TTiffBuilder::Short, {8});
            b.Set(273, TTiffBuilder::Long, offsets).Set(279, TTiffBuilder::Long, counts);
            return b.Build();
        };
        TBytes file = build(0);
        file = build(static_cast<std::uint32_t>(file.size()));
        for (const TBytes& strip : strips) Append(file, strip);
        return file;
    };
    // Cuts keep 60 % of each file: at least 40 % of the rows stay whole. BMP and icon files cut
    // short were refused before and still are.
    struct TCase {
        const char* Extension;
        TBytes Bytes;
        bool Planar;  // planes one after the other: only the first plane's rows are whole
        TBytes Cut = {};
    };
    // A PNG file cut short fails at its cut chunk; its image data cut short does not.
    TBytes rows;
    for (int y = 0; y < photo.Height; ++y) {
        rows.push_back(0);
        for (int x = 0; x < photo.Width; ++x) {
            const std::uint8_t* p = &photo.Bgr[(std::size_t(y) * photo.Width + x) * 3];
            rows.insert(rows.end(), {p[2], p[1], p[0]});
        }
    }
    using namespace png_builder;
    const TBytes deflated = Zlib(rows);
    const TBytes cutDeflated(deflated.begin(),
                             deflated.begin() + static_cast<std::ptrdiff_t>(deflated.size() * 6 / 10));
    const std::vector<TCase> cases = {
        {"png", Png({Ihdr(240, 160, 8, 2), Chunk("IDAT", deflated), Iend()}), false,
         Png({Ihdr(240, 160, 8, 2), Chunk("IDAT", cutDeflated), Iend()})},
        {"tif", tiffFile(), false},
        {"gif", convert("gif:-"), false},
        {"tga", convert("-compress RLE tga:-"), false},
        {"pcx", convert("pcx:-"), false},
        {"psd", convert("-compress RLE psd:-"), true},
        {"sgi", convert("-compress RLE sgi:-"), true},
        {"eps", Eps(tiffFile()), false},
        {"jpg", EncodeJpeg(photo, 90, false), false},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Extension);
        ASSERT_GT(c.Bytes.size(), 1000u);
        const TBgrImage full = ToBgr(*LoadBytes(c.Bytes, c.Extension).Bitmap);
        const TBytes cut =
            !c.Cut.empty()
                ? c.Cut
                : TBytes(c.Bytes.begin(), c.Bytes.begin() + static_cast<std::ptrdiff_t>(c.Bytes.size() * 6 / 10));
        TBgrImage shown;
        ASSERT_NO_THROW(shown = ToBgr(*LoadBytes(cut, c.Extension).Bitmap));
        ASSERT_EQ(shown.Width, full.Width);
        ASSERT_EQ(shown.Height, full.Height);
        int wholeRows = 0;
        for (int y = 0; y < full.Height; ++y) {
            bool whole = true;
            for (int x = 0; x < full.Width && whole; ++x)
                whole = c.Planar ? RedOf(shown.At(x, y)) == RedOf(full.At(x, y)) : shown.At(x, y) == full.At(x, y);
            wholeRows += whole;
        }
        EXPECT_GE(wholeRows, full.Height * 4 / 10);
    }
    SetWarningHandler(previous);
}
