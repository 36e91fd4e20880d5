#include "DecoderTestUtils.h"

#include "platform/Warnings.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include <jpeglib.h>

namespace {
// The 40 × 24 YCbCr picture libtiff wrote as two strips of 16 and 8 rows with shared tables.
TImageProperties StripProperties() {
    TImageProperties p;
    p.Width = 40;
    p.Height = 24;
    p.ColorScheme = ColorScheme::YCbCr;
    p.BitsPerSample = 8;
    p.SamplesPerPixel = 3;
    p.Compression = CompressionKind::JPEG;
    p.PlanarConfig = 1;
    p.BytesPerLine = 120;
    p.RowsPerStrip = {16};
    p.YCbCrSubSampling = {2, 2};
    p.JPEGTables = ReadTestData("jpeg_rgb_40x24.tables");
    p.StripCount = 2;
    return p;
}

TBytes DecodeStrip(TTIFFJPEGDecoder& decoder, const TBytes& strip, std::size_t size) {
    return DecodeBytes(decoder, strip, size, 0);
}

// Mean difference between a decoded B, G, R picture and the R, G, B original.
double MeanError(const TBytes& bgr, const TBytes& rgb, std::size_t offset) {
    double sum = 0;
    for (std::size_t i = 0; i + 2 < bgr.size(); i += 3)
        for (std::size_t c = 0; c < 3; ++c) sum += std::abs(int(bgr[i + c]) - int(rgb[offset + i + 2 - c]));
    return sum / static_cast<double>(bgr.size());
}

std::string MessageOf(TTIFFJPEGDecoder& decoder, const TBytes& strip, std::size_t size) {
    try {
        DecodeStrip(decoder, strip, size);
    } catch (const Exception& e) {
        return e.what();
    }
    return "";
}

// A complete JPEG of Width × Height RGB pixels, 1 × 1 sampling, made here with libjpeg.
TBytes MakeJpeg(std::uint32_t width, std::uint32_t height, const TBytes& rgb) {
    jpeg_compress_struct info{};
    jpeg_error_mgr error{};
    info.err = jpeg_std_error(&error);
    jpeg_create_compress(&info);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = width;
    info.image_height = height;
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 95, TRUE);
    jpeg_set_colorspace(&info, JCS_RGB);  // as TIFF stores RGB pictures
    for (int i = 0; i < 3; ++i) info.comp_info[i].h_samp_factor = info.comp_info[i].v_samp_factor = 1;
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < height) {
        JSAMPROW row = const_cast<JSAMPLE*>(rgb.data() + info.next_scanline * width * 3);
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    TBytes jpeg(buffer, buffer + size);
    jpeg_destroy_compress(&info);
    std::free(buffer);
    return jpeg;
}

class WarningCatcher {
public:
    WarningCatcher() {
        previous_ = SetWarningHandler([this](const std::string& m) { Messages.push_back(m); });
    }
    ~WarningCatcher() { SetWarningHandler(previous_); }
    std::vector<std::string> Messages;

private:
    TWarningHandler previous_;
};
}  // namespace

TEST(TIFFJPEGDecoder, StripsWithSharedTablesComeOutAsBGR) {
    const TBytes rgb = ReadTestData("rgb_40x24.raw");
    ASSERT_EQ(rgb.size(), 40u * 24 * 3);
    TImageProperties p = StripProperties();
    TTIFFJPEGDecoder decoder(p);
    decoder.BeginDecoding();
    const TBytes first = DecodeStrip(decoder, ReadTestData("jpeg_rgb_40x24.strip0"), 16 * 120);
    p.CurrentRow = 16;
    p.CurrentStrip = 1;
    const TBytes second = DecodeStrip(decoder, ReadTestData("jpeg_rgb_40x24.strip1"), 8 * 120);
    decoder.FinishDecoding();
    EXPECT_LT(MeanError(first, rgb, 0), 8);
    EXPECT_LT(MeanError(second, rgb, 16 * 120), 8);
}

TEST(TIFFJPEGDecoder, CompleteStripWithoutTablesAsRGB) {
    TBytes rgb(16 * 8 * 3);
    for (std::size_t i = 0; i < rgb.size(); ++i) rgb[i] = static_cast<std::uint8_t>(i * 5 % 200 + 20);
    TImageProperties p = StripProperties();
    p.Width = 16;
    p.Height = 8;
    p.RowsPerStrip = {8};
    p.JPEGTables.clear();
    p.YCbCrSubSampling.clear();
    p.ColorScheme = ColorScheme::RGB;
    p.PlanarConfig = 0;
    p.BytesPerLine = 48;
    TTIFFJPEGDecoder decoder(p);
    decoder.BeginDecoding();
    const TBytes bgr = DecodeStrip(decoder, MakeJpeg(16, 8, rgb), rgb.size());
    EXPECT_LT(MeanError(bgr, rgb, 0), 2);
    // A row buffer larger than the JPEG's lines keeps its padding.
    p.BytesPerLine = 52;
    const TBytes padded = DecodeBytes(decoder, MakeJpeg(16, 8, rgb), 52 * 8, 0xEE);
    EXPECT_EQ(padded[48], 0xEE);
    EXPECT_EQ(padded[52 * 8 - 1], 0xEE);
}

TEST(TIFFJPEGDecoder, StripsThatDoNotFitThePictureAreRefused) {
    const TBytes strip = ReadTestData("jpeg_rgb_40x24.strip0");
    auto messageWith = [&strip](auto change, std::size_t size = 16 * 120) {
        TImageProperties p = StripProperties();
        change(p);
        TTIFFJPEGDecoder decoder(p);
        decoder.BeginDecoding();
        return MessageOf(decoder, strip, size);
    };
    EXPECT_EQ(messageWith([](TImageProperties& p) {
                  p.RowsPerStrip = {8};
                  p.Height = 32;
              }),
              "Improper JPEG strip/tile size.");
    EXPECT_EQ(messageWith([](TImageProperties& p) { p.Width = 41; }), "Improper JPEG strip/tile size.");
    EXPECT_EQ(messageWith([](TImageProperties& p) { p.SamplesPerPixel = 4; }), "Improper JPEG component count.");
    EXPECT_EQ(messageWith([](TImageProperties& p) { p.PlanarConfig = 2; }), "Improper JPEG component count.");
    EXPECT_EQ(messageWith([](TImageProperties& p) { p.BitsPerSample = 12; }), "Improper JPEG data precision.");
    EXPECT_EQ(messageWith([](TImageProperties& p) { p.YCbCrSubSampling = {1, 1}; }), "Improper JPEG sampling factors.");
    EXPECT_EQ(messageWith([](TImageProperties&) {}, 100), "Fractional JPEG scanline unsupported.");
    EXPECT_EQ(messageWith([](TImageProperties& p) { p.BytesPerLine = 0; }), "Fractional JPEG scanline unsupported.");
    EXPECT_EQ(messageWith([](TImageProperties&) {}), "");
}

TEST(TIFFJPEGDecoder, TablesThatAreAPictureAreBogus) {
    TImageProperties p = StripProperties();
    p.JPEGTables = ReadTestData("jpeg_rgb_40x24.strip0");
    TTIFFJPEGDecoder decoder(p);
    try {
        decoder.BeginDecoding();
        FAIL() << "no error";
    } catch (const ECompressionError& e) {
        EXPECT_STREQ(e.what(), "Bogus JPEG tables field.");
    }
}

TEST(TIFFJPEGDecoder, TruncatedStripWarnsAndDecodesOn) {
    const TBytes strip = ReadTestData("jpeg_rgb_40x24.strip0");
    TImageProperties p = StripProperties();
    TTIFFJPEGDecoder decoder(p);
    decoder.BeginDecoding();
    WarningCatcher warnings;
    EXPECT_NO_THROW(DecodeStrip(decoder, TBytes(strip.begin(), strip.begin() + 80), 16 * 120));
    ASSERT_EQ(warnings.Messages.size(), 1u);
    EXPECT_EQ(warnings.Messages[0], "JPEG decompression error. Unexpected end of input.");
    // The decoder is still good for the next strip.
    EXPECT_NO_THROW(DecodeStrip(decoder, strip, 16 * 120));
    EXPECT_EQ(warnings.Messages.size(), 1u);
}

TEST(TIFFJPEGDecoder, LibraryErrorsBecomeExceptions) {
    TImageProperties p = StripProperties();
    TTIFFJPEGDecoder decoder(p);
    decoder.BeginDecoding();
    WarningCatcher warnings;
    try {
        DecodeStrip(decoder, {1, 2, 3, 4, 5}, 16 * 120);
        FAIL() << "no error";
    } catch (const EInvalidGraphic& e) {
        EXPECT_EQ(std::string(e.what()).rfind("JPEG error #", 0), 0u) << e.what();
    }
    EXPECT_NO_THROW(DecodeStrip(decoder, ReadTestData("jpeg_rgb_40x24.strip0"), 16 * 120));
}

TEST(TIFFJPEGDecoder, DamagedStripsStayInsideTheBuffers) {
    const TBytes strip = ReadTestData("jpeg_rgb_40x24.strip0");
    TImageProperties p = StripProperties();
    TTIFFJPEGDecoder decoder(p);
    decoder.BeginDecoding();
    WarningCatcher warnings;
    for (std::size_t i = 0; i < strip.size(); ++i) {
        TBytes damaged(strip);
        damaged[i] ^= 0x55;
        MessageOf(decoder, damaged, 16 * 120);
        MessageOf(decoder, TBytes(strip.begin(), strip.begin() + static_cast<std::ptrdiff_t>(i)), 16 * 120);
    }
}
