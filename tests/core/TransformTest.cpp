#include "TestPictures.h"

#include <gtest/gtest.h>

TEST(Transform, MirrorsMovePixelsAcross) {
    auto picture = NoisePicture(5, 3, 3);
    auto original = TPixelBuffer::CreateCopy(*picture);
    picture->Flip();
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x) EXPECT_EQ(picture->GetPixel(x, y), original->GetPixel(4 - x, y));
    picture->Flip();
    EXPECT_EQ(PixelBytes(*picture), PixelBytes(*original));

    picture->Flop();
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x) EXPECT_EQ(picture->GetPixel(x, y), original->GetPixel(x, 2 - y));
    picture->Flop();
    EXPECT_EQ(PixelBytes(*picture), PixelBytes(*original));
}

TEST(Transform, MirrorsOfASinglePixelLineChangeNothing) {
    auto column = NoisePicture(1, 6, 4);
    auto before = PixelBytes(*column);
    column->Flip();
    EXPECT_EQ(PixelBytes(*column), before);
    auto row = NoisePicture(6, 1, 5);
    before = PixelBytes(*row);
    row->Flop();
    EXPECT_EQ(PixelBytes(*row), before);
}

TEST(Transform, RotationsMoveTheCornersAndSwapTheSize) {
    auto picture = NoisePicture(3, 2, 6);
    const TPixel24 topLeft = picture->GetPixel(0, 0);
    auto right = TPixelBuffer::CreateCopy(*picture);
    right->RotateRight();
    ASSERT_EQ(right->Width(), 2);
    ASSERT_EQ(right->Height(), 3);
    EXPECT_EQ(right->GetPixel(1, 0), topLeft);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x) EXPECT_EQ(right->GetPixel(1 - y, x), picture->GetPixel(x, y));

    auto left = TPixelBuffer::CreateCopy(*picture);
    left->RotateLeft();
    ASSERT_EQ(left->Width(), 2);
    EXPECT_EQ(left->GetPixel(0, 2), topLeft);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x) EXPECT_EQ(left->GetPixel(y, 2 - x), picture->GetPixel(x, y));
}

TEST(Transform, RotationsUndoEachOtherAndFourTurnsAreTheIdentity) {
    auto picture = NoisePicture(7, 4, 7);
    const auto original = PixelBytes(*picture);
    picture->RotateRight();
    picture->RotateLeft();
    EXPECT_EQ(PixelBytes(*picture), original);
    for (int i = 0; i < 4; ++i) picture->RotateRight();
    EXPECT_EQ(picture->Width(), 7);
    EXPECT_EQ(PixelBytes(*picture), original);
}

TEST(Transform, RotationRebuildsRowsAndHeaderForTheNewStride) {
    auto picture = NoisePicture(3, 4, 8);  // stride 12 becomes 4 wide: stride 12; 3 high
    picture->RotateRight();
    ASSERT_EQ(picture->Width(), 4);
    EXPECT_EQ(picture->Stride(), 12);
    EXPECT_EQ(picture->Size(), 36);
    EXPECT_EQ(picture->InfoHeader().Width, 4);
    EXPECT_EQ(picture->InfoHeader().Height, -3);
    EXPECT_EQ(picture->Info().Header, picture->InfoHeader());
    for (int y = 0; y < 3; ++y) EXPECT_EQ(picture->RowBytes(y), picture->Bits() + 12 * y);

    auto wide = NoisePicture(5, 2, 9);  // stride 16 becomes 2 wide: stride 8
    wide->RotateLeft();
    EXPECT_EQ(wide->Stride(), 8);
    for (int y = 0; y < 5; ++y) EXPECT_EQ(wide->RowBytes(y), wide->Bits() + 8 * y);
}
