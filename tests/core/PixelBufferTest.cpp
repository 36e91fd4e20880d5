#include "TestPictures.h"

#include "platform/Exception.h"

#include <gtest/gtest.h>

TEST(PixelBuffer, StrideIsThreeBytesPerPixelPaddedToFour) {
    const int expected[] = {0, 4, 8, 12, 12, 16, 20, 24, 24};
    for (int width = 1; width <= 8; ++width) {
        EXPECT_EQ(TPixelBuffer::StrideOf(width), expected[width]) << width;
        TPixelBuffer buffer(width, 3);
        EXPECT_EQ(buffer.Stride(), expected[width]);
        EXPECT_EQ(buffer.Size(), 3 * expected[width]);
        for (int y = 0; y < 3; ++y) EXPECT_EQ(buffer.RowBytes(y), buffer.Bits() + y * expected[width]);
    }
}

TEST(PixelBuffer, FreshBufferIsBlackWithTopDownHeader) {
    TPixelBuffer buffer(5, 7);
    for (int i = 0; i < buffer.Size(); ++i) ASSERT_EQ(buffer.Bits()[i], 0);
    EXPECT_EQ(buffer.InfoHeader().Size, 40u);
    EXPECT_EQ(buffer.InfoHeader().Width, 5);
    EXPECT_EQ(buffer.InfoHeader().Height, -7);
    EXPECT_EQ(buffer.InfoHeader().BitCount, 24);
    EXPECT_EQ(buffer.InfoHeader().Planes, 1);
    EXPECT_EQ(buffer.InfoHeader().Compression, 0u);
    EXPECT_EQ(buffer.Info().Header, buffer.InfoHeader());
}

TEST(PixelBuffer, ZeroSizeGivesEmptyBuffer) {
    for (auto [w, h] : {std::pair{0, 0}, std::pair{0, 5}, std::pair{5, 0}}) {
        TPixelBuffer buffer(w, h);
        EXPECT_EQ(buffer.Bits(), nullptr);
        EXPECT_EQ(buffer.Size(), 0);
        EXPECT_EQ(buffer.Width(), w);
        EXPECT_EQ(buffer.Height(), h);
        auto copy = TPixelBuffer::CreateCopy(buffer);
        EXPECT_EQ(copy->Size(), 0);
        buffer.Flip();
        buffer.Flop();
        buffer.RotateRight();
        EXPECT_EQ(buffer.Width(), h);
    }
}

TEST(PixelBuffer, UnallocatableSizeRaisesOutOfMemoryNamingTheSize) {
    try {
        TPixelBuffer buffer(40000, 40000);
        FAIL() << "no exception";
    } catch (const EOutOfMemory& e) {
        EXPECT_NE(e.Message().find("4800000000"), std::string::npos) << e.Message();
    }
    EXPECT_THROW(TPixelBuffer(2000000000, 1), EOutOfMemory);  // a stride past the int range
}

TEST(PixelBuffer, PixelAndRowAccessLeavePaddingAlone) {
    TPixelBuffer buffer(3, 2);  // 9 pixel bytes, 3 padding bytes per row
    buffer.SetPixel(2, 1, TPixel24{1, 2, 3});
    EXPECT_EQ(buffer.GetPixel(2, 1), (TPixel24{1, 2, 3}));
    EXPECT_EQ(buffer.RowBytes(1)[6], 1);
    EXPECT_EQ(buffer.RowBytes(1)[8], 3);

    std::uint8_t source[12] = {10, 11, 12, 13, 14, 15, 16, 17, 18, 99, 99, 99};
    buffer.PutRow(0, source);
    EXPECT_EQ(buffer.Row(0)[1], (TPixel24{13, 14, 15}));
    for (int i = 9; i < 12; ++i) EXPECT_EQ(buffer.RowBytes(0)[i], 0);

    std::uint8_t dest[12];
    std::memset(dest, 0xEE, sizeof dest);
    buffer.GetRow(0, dest);
    EXPECT_EQ(0, std::memcmp(dest, source, 9));
    EXPECT_EQ(dest[9], 0xEE);
}

TEST(PixelBuffer, CopySharesNothingWithItsSource) {
    auto source = NoisePicture(7, 5, 1);
    auto copy = TPixelBuffer::CreateCopy(*source);
    EXPECT_EQ(PixelBytes(*copy), PixelBytes(*source));
    EXPECT_EQ(copy->InfoHeader(), source->InfoHeader());
    const TPixel24 before = source->GetPixel(3, 2);
    copy->SetPixel(3, 2, TPixel24{static_cast<std::uint8_t>(before.Blue ^ 0xFF), 0, 0});
    EXPECT_EQ(source->GetPixel(3, 2), before);
}

TEST(PixelBuffer, CopyRectTakesTheRectangle) {
    auto source = NoisePicture(6, 5, 2);
    auto part = CopyRect(*source, 2, 1, 3, 2);
    ASSERT_EQ(part->Width(), 3);
    ASSERT_EQ(part->Height(), 2);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x) EXPECT_EQ(part->GetPixel(x, y), source->GetPixel(x + 2, y + 1));
    // Reaching past the picture reads nothing outside it; the rest stays black.
    auto over = CopyRect(*source, 4, 3, 4, 4);
    EXPECT_EQ(over->GetPixel(1, 1), source->GetPixel(5, 4));
    EXPECT_EQ(over->GetPixel(2, 1), (TPixel24{0, 0, 0}));
    EXPECT_EQ(over->GetPixel(0, 2), (TPixel24{0, 0, 0}));
}

// ---- Conversion from the picture bitmap ----

namespace {

TBitmap MakeBitmap(TPixelFormat format, int width, int height) {
    TBitmap bitmap;
    bitmap.SetPixelFormat(format);
    bitmap.SetSize(width, height);
    return bitmap;
}

const TPalette TestPalette = {{10, 20, 30}, {40, 50, 60}, {70, 80, 90}, {100, 110, 120}};

TPixel24 Entry(int i) { return TPixel24{TestPalette[i].Blue, TestPalette[i].Green, TestPalette[i].Red}; }

}  // namespace

TEST(PixelBufferFromBitmap, OneBitPixelsLookUpThePalette) {
    TBitmap bitmap = MakeBitmap(TPixelFormat::pf1bit, 10, 2);
    bitmap.SetPalette(TestPalette);
    bitmap.ScanLine(0)[0] = 0b10100000;
    bitmap.ScanLine(0)[1] = 0b01000000;  // pixel 9
    bitmap.ScanLine(1)[0] = 0b00000001;  // pixel 7
    auto buffer = TPixelBuffer::CreateFromBitmap(bitmap);
    ASSERT_EQ(buffer->Width(), 10);
    EXPECT_EQ(buffer->GetPixel(0, 0), Entry(1));
    EXPECT_EQ(buffer->GetPixel(1, 0), Entry(0));
    EXPECT_EQ(buffer->GetPixel(2, 0), Entry(1));
    EXPECT_EQ(buffer->GetPixel(8, 0), Entry(0));
    EXPECT_EQ(buffer->GetPixel(9, 0), Entry(1));
    EXPECT_EQ(buffer->GetPixel(7, 1), Entry(1));
    EXPECT_EQ(buffer->GetPixel(6, 1), Entry(0));
}

TEST(PixelBufferFromBitmap, FourBitPixelsTakeHighNibbleFirst) {
    TBitmap bitmap = MakeBitmap(TPixelFormat::pf4bit, 3, 1);
    bitmap.SetPalette(TestPalette);
    bitmap.ScanLine(0)[0] = 0x31;
    bitmap.ScanLine(0)[1] = 0x2F;  // 15 lies beyond the palette
    auto buffer = TPixelBuffer::CreateFromBitmap(bitmap);
    EXPECT_EQ(buffer->GetPixel(0, 0), Entry(3));
    EXPECT_EQ(buffer->GetPixel(1, 0), Entry(1));
    EXPECT_EQ(buffer->GetPixel(2, 0), Entry(2));
}

TEST(PixelBufferFromBitmap, EightBitPixelsLookUpThePaletteAndMissingEntriesAreBlack) {
    TBitmap bitmap = MakeBitmap(TPixelFormat::pf8bit, 3, 2);
    bitmap.SetPalette(TestPalette);
    bitmap.ScanLine(0)[0] = 2;
    bitmap.ScanLine(0)[1] = 3;
    bitmap.ScanLine(1)[2] = 200;
    auto buffer = TPixelBuffer::CreateFromBitmap(bitmap);
    EXPECT_EQ(buffer->GetPixel(0, 0), (TPixel24{90, 80, 70}));
    EXPECT_EQ(buffer->GetPixel(1, 0), Entry(3));
    EXPECT_EQ(buffer->GetPixel(2, 0), Entry(0));
    EXPECT_EQ(buffer->GetPixel(2, 1), (TPixel24{0, 0, 0}));
}

TEST(PixelBufferFromBitmap, FifteenBitChannelsWidenByBitReplication) {
    TBitmap bitmap = MakeBitmap(TPixelFormat::pf15bit, 2, 1);
    auto put = [&](int x, unsigned r, unsigned g, unsigned b) {
        unsigned w = (r << 10) | (g << 5) | b;
        bitmap.ScanLine(0)[2 * x] = static_cast<std::uint8_t>(w);
        bitmap.ScanLine(0)[2 * x + 1] = static_cast<std::uint8_t>(w >> 8);
    };
    put(0, 31, 16, 0);
    put(1, 1, 30, 31);
    auto buffer = TPixelBuffer::CreateFromBitmap(bitmap);
    EXPECT_EQ(buffer->GetPixel(0, 0), (TPixel24{0, 132, 255}));
    EXPECT_EQ(buffer->GetPixel(1, 0), (TPixel24{255, 247, 8}));
}

TEST(PixelBufferFromBitmap, TwentyFourBitRowsCopyAndThirtyTwoBitDropsAlpha) {
    TBitmap rgb = MakeBitmap(TPixelFormat::pf24bit, 5, 3);
    TBitmap rgba = MakeBitmap(TPixelFormat::pf32bit, 5, 3);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x) {
            const std::uint8_t b = static_cast<std::uint8_t>(x * 40 + y), g = static_cast<std::uint8_t>(y * 7), r = 200;
            std::uint8_t* p = rgb.ScanLine(y) + 3 * x;
            p[0] = b, p[1] = g, p[2] = r;
            std::uint8_t* q = rgba.ScanLine(y) + 4 * x;
            q[0] = b, q[1] = g, q[2] = r, q[3] = 0x55;
        }
    auto fromRgb = TPixelBuffer::CreateFromBitmap(rgb);
    auto fromRgba = TPixelBuffer::CreateFromBitmap(rgba);
    EXPECT_EQ(fromRgb->GetPixel(4, 2), (TPixel24{162, 14, 200}));
    EXPECT_EQ(PixelBytes(*fromRgb), PixelBytes(*fromRgba));
}

TEST(PixelBufferFromBitmap, BitmapsNoLongerNeededHandOverTheirPixels) {
    // Every width modulo 4, so that each row padding is met; the result must equal the copy's.
    for (int width = 1; width <= 4; ++width) {
        TBitmap bitmap = MakeBitmap(TPixelFormat::pf24bit, width, 3);
        for (int y = 0; y < 3; ++y)
            for (int i = 0; i < 3 * width; ++i) bitmap.ScanLine(y)[i] = static_cast<std::uint8_t>(y * 50 + i + 1);
        auto copied = TPixelBuffer::CreateFromBitmap(bitmap);
        const std::uint8_t* pixels = bitmap.Bits();
        auto taken = TPixelBuffer::CreateFromBitmap(std::move(bitmap));
        EXPECT_EQ(taken->Bits(), pixels) << width;
        EXPECT_TRUE(bitmap.Empty());
        EXPECT_EQ(PixelBytes(*taken), PixelBytes(*copied)) << width;
        // The buffer works on as any other: transforms swap its storage.
        taken->RotateRight();
        EXPECT_EQ(taken->Width(), 3);
        EXPECT_EQ(taken->GetPixel(2, 0), copied->GetPixel(0, 0));
    }
    // Other formats are converted, and the bitmap is left as it was.
    TBitmap indexed = MakeBitmap(TPixelFormat::pf8bit, 3, 2);
    indexed.SetPalette(TestPalette);
    indexed.ScanLine(1)[1] = 3;
    auto converted = TPixelBuffer::CreateFromBitmap(std::move(indexed));
    EXPECT_EQ(converted->GetPixel(1, 1), Entry(3));
    EXPECT_EQ(indexed.Width(), 3);
}

TEST(PixelBufferFromBitmap, EmptyBitmapGivesEmptyBuffer) {
    TBitmap bitmap;
    auto buffer = TPixelBuffer::CreateFromBitmap(bitmap);
    EXPECT_EQ(buffer->Width(), 0);
    EXPECT_EQ(buffer->Bits(), nullptr);
}

TEST(PixelBuffer, APictureWithoutPixelsGivesAnEmptyBufferWhateverItsOtherSide) {
    // A 40-byte Photoshop file said 0 x 1392532845: its row table alone took 11 GB.
    for (auto [width, height] : {std::pair{0, 1 << 20}, std::pair{1 << 20, 0}}) {
        TBitmap bitmap;
        bitmap.SetPixelFormat(TPixelFormat::pf8bit);
        bitmap.SetSize(width, height);
        auto copied = TPixelBuffer::CreateFromBitmap(static_cast<const TBitmap&>(bitmap));
        EXPECT_EQ(copied->Width(), 0);
        EXPECT_EQ(copied->Height(), 0);
        bitmap.SetPixelFormat(TPixelFormat::pf24bit);
        auto taken = TPixelBuffer::CreateFromBitmap(std::move(bitmap));
        EXPECT_EQ(taken->Height(), 0);
    }
}
