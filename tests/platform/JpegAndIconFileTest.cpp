#include "TestPictures.h"

#include "platform/Exception.h"
#include "platform/PictureFiles.h"
#include "platform/Stream.h"
#include "platform/Warnings.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include <jpeglib.h>

namespace fs = std::filesystem;

namespace {

// Gradients only: sharp edges suffer from the encoder's 2x2 chroma subsampling.
TBitmap SmoothPicture(int width, int height) {
    TBitmap picture = MakeTestPicture(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) picture.ScanLine(y)[3 * x + 2] = static_cast<std::uint8_t>(2 * (x + y));
    return picture;
}

TBytes EncodeJpeg(const TBitmap& picture, bool progressive) {
    TMemoryStream stream;
    WriteJpegStream(BgrViewOf(picture), stream, 95, progressive);
    return stream.Data();
}

TJPEGImage DecodeJpeg(const TBytes& bytes) {
    TMemoryStream stream(bytes);
    TJPEGImage image;
    image.LoadFromStream(stream);
    return image;
}

bool HasMarker(const TBytes& bytes, std::uint8_t marker) {
    for (std::size_t i = 0; i + 1 < bytes.size(); ++i)
        if (bytes[i] == 0xFF && bytes[i + 1] == marker) return true;
    return false;
}

// The first quantisation table of the file, in zigzag order.
std::vector<int> FirstQuantTable(const TBytes& bytes) {
    for (std::size_t i = 0; i + 69 < bytes.size(); ++i)
        if (bytes[i] == 0xFF && bytes[i + 1] == 0xDB && (bytes[i + 4] & 0xF0) == 0)
            return std::vector<int>(bytes.begin() + static_cast<std::ptrdiff_t>(i + 5),
                                    bytes.begin() + static_cast<std::ptrdiff_t>(i + 69));
    return {};
}

// Captures warnings while alive.
class TWarningCatcher {
public:
    TWarningCatcher() {
        previous_ = SetWarningHandler([this](const std::string& m) { messages.push_back(m); });
    }
    ~TWarningCatcher() { SetWarningHandler(previous_); }
    std::vector<std::string> messages;

private:
    TWarningHandler previous_;
};

}  // namespace

TEST(JpegFile, EncodesProgressivelyAtQuality95) {
    TBitmap picture = SmoothPicture(64, 48);
    TBytes progressive = EncodeJpeg(picture, true);
    EXPECT_TRUE(HasMarker(progressive, 0xC2));
    EXPECT_FALSE(HasMarker(progressive, 0xC0));
    TBytes baseline = EncodeJpeg(picture, false);
    EXPECT_TRUE(HasMarker(baseline, 0xC0));
    EXPECT_FALSE(HasMarker(baseline, 0xC2));

    // The standard luminance table scaled for quality 95: (q * 10 + 50) / 100.
    static const int luminance[64] = {16, 11, 10, 16, 24,  40,  51,  61,  12, 12, 14, 19, 26,  58,  60,  55,
                                      14, 13, 16, 24, 40,  57,  69,  56,  14, 17, 22, 29, 51,  87,  80,  62,
                                      18, 22, 37, 56, 68,  109, 103, 77,  24, 35, 55, 64, 81,  104, 113, 92,
                                      49, 64, 78, 87, 103, 121, 120, 101, 72, 92, 95, 98, 112, 100, 103, 99};
    static const int zigzag[64] = {0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,
                                   12, 19, 26, 33, 40, 48, 41, 34, 27, 20, 13, 6,  7,  14, 21, 28,
                                   35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23, 30, 37, 44, 51,
                                   58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63};
    std::vector<int> expected;
    for (int i : zigzag) expected.push_back(std::max(1, (luminance[i] * 10 + 50) / 100));
    EXPECT_EQ(FirstQuantTable(progressive), expected);

    TJPEGImage back = DecodeJpeg(progressive);
    EXPECT_TRUE(back.Progressive());
    EXPECT_EQ(back.ColorSpaceName(), "YCbCr");
    ASSERT_EQ(back.Width(), 64);
    ASSERT_EQ(back.Height(), 48);
    EXPECT_EQ(back.PixelFormat(), TPixelFormat::pf24bit);
    EXPECT_LT(MeanDifference(back, picture), 2.0);
}

TEST(JpegFile, DecodesWhatImageMagickWrites) {
    if (!HaveImageMagick()) GTEST_SKIP() << "ImageMagick is not installed";
    TScratchFolder folder;
    TBitmap source = MakeTestPicture(40, 30);
    WritePpm(source, folder / "source.ppm");
    struct TCase {
        const char* Options;
        const char* Name;
        const char* Space;
    };
    const TCase cases[] = {
        {"-quality 98", "colour.jpg", "YCbCr"},
        {"-colorspace Gray -quality 98", "grey.jpg", "grey"},
        {"-colorspace CMYK -quality 98", "cmyk.jpg", "YCCK"},
        {"-interlace Plane -quality 98", "progressive.jpg", "YCbCr"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        ASSERT_TRUE(RunConvert("'" + (folder / "source.ppm") + "' " + c.Options + " '" + (folder / c.Name) + "'"));
        TJPEGImage image;
        ASSERT_NO_THROW(image.LoadFromFile(folder / c.Name));
        EXPECT_EQ(image.ColorSpaceName(), c.Space);
        int width = 0, height = 0;
        TBytes rgb;
        ASSERT_TRUE(DecodeWithImageMagick(folder / c.Name, width, height, rgb));
        ASSERT_EQ(image.Width(), width);
        ASSERT_EQ(image.Height(), height);
        EXPECT_LE(MaxDifference(image, rgb), 3);
        if (std::string(c.Space) != "grey") {
            EXPECT_LT(MeanDifference(image, source), 3.0);
        }
    }
}

namespace {
// A uniform 16x16 CMYK JPEG of the given samples, with or without Adobe's APP14 marker.
TBytes CmykJpeg(const std::uint8_t (&cmyk)[4], bool adobeMarker) {
    jpeg_compress_struct info;
    jpeg_error_mgr errors;
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    unsigned char* output = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &output, &size);
    info.image_width = info.image_height = 16;
    info.input_components = 4;
    info.in_color_space = JCS_CMYK;
    jpeg_set_defaults(&info);
    jpeg_set_colorspace(&info, JCS_CMYK);
    info.write_Adobe_marker = adobeMarker;
    jpeg_start_compress(&info, TRUE);
    std::uint8_t row[64];
    for (int i = 0; i < 64; ++i) row[i] = cmyk[i % 4];
    JSAMPROW rows[1] = {row};
    while (info.next_scanline < 16) jpeg_write_scanlines(&info, rows, 1);
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    TBytes bytes(output, output + size);
    std::free(output);
    return bytes;
}
}  // namespace

TEST(JpegFile, AdobeCmykIsStoredInverted) {
    const std::uint8_t cyan[4] = {255, 0, 0, 0}, invertedCyan[4] = {0, 255, 255, 255};
    const std::uint8_t halfBlack[4] = {0, 0, 0, 128};
    for (bool adobe : {false, true}) {
        SCOPED_TRACE(adobe);
        TJPEGImage image = DecodeJpeg(CmykJpeg(adobe ? invertedCyan : cyan, adobe));
        EXPECT_EQ(image.ColorSpaceName(), "CMYK");
        TColor c = image.Pixel(8, 8);
        EXPECT_LE(RedOf(c), 2);
        EXPECT_GE(GreenOf(c), 253);
        EXPECT_GE(BlueOf(c), 253);
    }
    TColor grey = DecodeJpeg(CmykJpeg(halfBlack, false)).Pixel(3, 3);
    EXPECT_NEAR(RedOf(grey), 127, 2);
    EXPECT_NEAR(BlueOf(grey), 127, 2);
}

TEST(JpegFile, TruncatedFileWarnsAndLoads) {
    TBytes whole = EncodeJpeg(MakeTestPicture(64, 64), false);
    TBytes cut(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(whole.size() * 6 / 10));
    TWarningCatcher warnings;
    TJPEGImage image = DecodeJpeg(cut);
    EXPECT_EQ(image.Width(), 64);
    ASSERT_EQ(warnings.messages.size(), 1u);
    EXPECT_NE(warnings.messages[0].find("Premature end of JPEG file"), std::string::npos) << warnings.messages[0];
}

TEST(JpegFile, LibraryErrorsBecomeInvalidGraphic) {
    TBytes text{'h', 'e', 'l', 'l', 'o', ' ', 'j', 'p', 'e', 'g'};
    try {
        DecodeJpeg(text);
        FAIL();
    } catch (const EInvalidGraphic& e) {
        EXPECT_NE(std::string(e.what()).find("Not a JPEG file"), std::string::npos) << e.what();
    }
    EXPECT_THROW(DecodeJpeg(TBytes{}), EInvalidGraphic);
    // Only the start of the header: the library runs out of data before the frame.
    TBytes whole = EncodeJpeg(MakeTestPicture(8, 8), false);
    TWarningCatcher warnings;
    EXPECT_THROW(DecodeJpeg(TBytes(whole.begin(), whole.begin() + 30)), EInvalidGraphic);
    // Libjpeg's dimension limit, checked before any row is written.
    TBitmap wide;
    wide.SetPixelFormat(TPixelFormat::pf24bit);
    wide.SetSize(70000, 1);
    TMemoryStream out;
    EXPECT_THROW(WriteJpegStream(BgrViewOf(wide), out, 95, true), EInvalidGraphic);
    EXPECT_EQ(out.Size(), 0);
}

namespace {

// One icon image: a 40-byte header counting both masks' rows, palette, colour rows, AND rows.
TBytes IconImage(int size, int bits, const std::vector<std::uint32_t>& palette, std::uint8_t fill,
                 std::uint8_t maskFill) {
    TBytes b;
    Put32(b, 40);
    Put32(b, static_cast<std::uint32_t>(size));
    Put32(b, static_cast<std::uint32_t>(2 * size));
    Put16(b, 1);
    Put16(b, static_cast<std::uint32_t>(bits));
    for (int i = 0; i < 6; ++i) Put32(b, 0);
    for (std::uint32_t c : palette) Put32(b, c);
    b.insert(b.end(), DibStride(size, bits) * static_cast<std::size_t>(size), fill);
    b.insert(b.end(), DibStride(size, 1) * static_cast<std::size_t>(size), maskFill);
    return b;
}

TBytes MakeIcon(const std::vector<TBytes>& images) {
    TBytes file;
    Put16(file, 0);
    Put16(file, 1);
    Put16(file, static_cast<std::uint32_t>(images.size()));
    std::size_t offset = 6 + 16 * images.size();
    for (const TBytes& image : images) {
        for (int i = 0; i < 8; ++i) file.push_back(0);  // the one-byte sizes are not trusted
        Put32(file, static_cast<std::uint32_t>(image.size()));
        Put32(file, static_cast<std::uint32_t>(offset));
        offset += image.size();
    }
    for (const TBytes& image : images) file.insert(file.end(), image.begin(), image.end());
    return file;
}

TIcon LoadIcon(const TBytes& bytes) {
    TMemoryStream stream(bytes);
    TIcon icon;
    icon.LoadFromStream(stream);
    return icon;
}

}  // namespace

TEST(IconFile, TakesTheLargestImageThenTheDeepest) {
    std::vector<std::uint32_t> palette16(16, 0x00FF00);
    TBytes small = IconImage(16, 8, std::vector<std::uint32_t>(256, 0xFF0000), 0, 0);
    TBytes shallow = IconImage(32, 4, palette16, 0, 0);
    TBytes deep = IconImage(32, 32, {}, 0x80, 0);  // alpha 128 over white
    TIcon icon = LoadIcon(MakeIcon({small, shallow, deep}));
    EXPECT_EQ(icon.ImageCount(), 3);
    EXPECT_EQ(icon.ImageBitCount(), 32);
    EXPECT_EQ(icon.Width(), 32);
    EXPECT_EQ(icon.Height(), 32);
    EXPECT_EQ(icon.PixelFormat(), TPixelFormat::pf24bit);
    // 128 over white with alpha 128: (128 * 128 + 255 * 127 + 127) / 255.
    EXPECT_EQ(icon.Pixel(5, 5), RGBColor(191, 191, 191));

    TIcon other = LoadIcon(MakeIcon({shallow, small}));
    EXPECT_EQ(other.ImageBitCount(), 4);
    EXPECT_EQ(other.Pixel(0, 0), RGBColor(0, 255, 0));
}

TEST(IconFile, AndMaskShowsWhiteBehindTheColours) {
    std::vector<std::uint32_t> palette(16, 0);
    palette[1] = 0x0000FF;
    TBytes image = IconImage(8, 4, palette, 0x01, 0);
    // Bottom row (stored first) fully transparent; rows are 4 bytes of mask each.
    std::size_t maskStart = 40 + 16 * 4 + DibStride(8, 4) * 8;
    image[maskStart] = 0xFF;
    TIcon icon = LoadIcon(MakeIcon({image}));
    EXPECT_EQ(icon.Pixel(1, 0), RGBColor(0, 0, 255));  // index 1 on an opaque pixel
    EXPECT_EQ(icon.Pixel(0, 0), 0u);                   // index 0, black
    EXPECT_EQ(icon.Pixel(0, 7), RGBColor(255, 255, 255));
    EXPECT_EQ(icon.Pixel(1, 7), RGBColor(255, 255, 0));  // white XOR blue
}

TEST(IconFile, BrokenDirectoriesAreRefused) {
    TBytes good = MakeIcon({IconImage(4, 24, {}, 9, 0)});
    EXPECT_EQ(LoadIcon(good).Pixel(3, 3), RGBColor(9, 9, 9));
    EXPECT_THROW(LoadIcon(TBytes(good.begin(), good.begin() + 4)), EReadError);
    EXPECT_THROW(LoadIcon(TBytes(good.begin(), good.begin() + 12)), EReadError);
    TBytes badType = good;
    badType[2] = 3;
    EXPECT_THROW(LoadIcon(badType), EInvalidGraphic);
    TBytes outside = good;
    outside[18] = 0x7F;  // image offset far past the end
    EXPECT_THROW(LoadIcon(outside), EInvalidGraphic);
    TBytes truncated(good.begin(), good.end() - 20);  // image size now overshoots the file
    EXPECT_THROW(LoadIcon(truncated), EInvalidGraphic);
}

TEST(IconFile, PngImagesWaitForThePngReader) {
    TBytes png{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 13, 'I', 'H', 'D', 'R',
               0,    0,   1,   0,   0,    0,    1,    0,    8, 6, 0, 0,  0,   0,   0,   0};
    TBytes file = MakeIcon({IconImage(16, 24, {}, 0, 0), png});
    try {
        LoadIcon(file);
        FAIL();
    } catch (const EInvalidGraphic& e) {
        EXPECT_NE(std::string(e.what()).find("PNG reader"), std::string::npos) << e.what();
    }
}

TEST(IconFile, IconsMadeByImageMagickAndTheCorpus) {
    fs::path pillow = fs::path(PIXAMO_CORPUS_DIR) / "pillow";
    if (fs::exists(pillow / "python.ico")) {
        TIcon icon;
        icon.LoadFromFile((pillow / "python.ico").string());
        EXPECT_EQ(icon.Width(), 48);
        EXPECT_EQ(icon.ImageCount(), 3);
    }
    if (!HaveImageMagick()) GTEST_SKIP() << "ImageMagick is not installed";
    TScratchFolder folder;
    WritePpm(MakeTestPicture(64, 64), folder / "source.ppm");
    ASSERT_TRUE(RunConvert("'" + (folder / "source.ppm") + "' -define icon:auto-resize=16,48,32 '" +
                           (folder / "multi.ico") + "'"));
    TIcon icon;
    icon.LoadFromFile(folder / "multi.ico");
    EXPECT_EQ(icon.ImageCount(), 3);
    EXPECT_EQ(icon.Width(), 48);
    EXPECT_EQ(icon.Height(), 48);
}

TEST(JpegFile, ScaleDenominatorHintDecodesAReducedSize) {
    const TBytes bytes = EncodeJpeg(SmoothPicture(100, 60), false);
    TJPEGImage full = DecodeJpeg(bytes);
    for (int denominator : {2, 4, 8}) {
        SCOPED_TRACE(denominator);
        TMemoryStream stream(bytes);
        TJPEGImage image;
        int askedWidth = 0, askedHeight = 0;
        image.SetScaleDenominatorHint([&](int width, int height) {
            askedWidth = width;
            askedHeight = height;
            return denominator;
        });
        image.LoadFromStream(stream);
        EXPECT_EQ(askedWidth, 100);
        EXPECT_EQ(askedHeight, 60);
        // Each side divided and rounded up.
        ASSERT_EQ(image.Width(), (100 + denominator - 1) / denominator);
        ASSERT_EQ(image.Height(), (60 + denominator - 1) / denominator);
        // A reduced pixel is close to the mean of the full-size block it stands for.
        for (int channel = 0; channel < 3; ++channel) {
            int sum = 0;
            for (int y = 0; y < denominator; ++y)
                for (int x = 0; x < denominator; ++x) sum += full.ScanLine(8 + y)[3 * (8 + x) + channel];
            EXPECT_NEAR(image.ScanLine(8 / denominator)[3 * (8 / denominator) + channel],
                        sum / (denominator * denominator), 6);
        }
    }
    // Anything but 2, 4 or 8 decodes the full size, as without a hint.
    TMemoryStream stream(bytes);
    TJPEGImage same;
    same.SetScaleDenominatorHint([](int, int) { return 3; });
    same.LoadFromStream(stream);
    ASSERT_EQ(same.Width(), 100);
    EXPECT_EQ(std::vector<std::uint8_t>(same.ScanLine(59), same.ScanLine(59) + 300),
              std::vector<std::uint8_t>(full.ScanLine(59), full.ScanLine(59) + 300));
}
