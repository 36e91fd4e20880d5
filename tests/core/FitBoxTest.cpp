#include "core/FitBox.h"

#include <gtest/gtest.h>

namespace {

std::pair<int, int> Fit(int width, int height, int boxWidth, int boxHeight, bool enlarge = false) {
    TFitSize size = FitIntoBox(width, height, boxWidth, boxHeight, enlarge);
    return {size.Width, size.Height};
}

}  // namespace

TEST(FitBox, PartnerSideRoundsAsTheScaleDialog) {
    // The scale dialog's own cases, 3 x 2 and 640 x 480 pictures.
    EXPECT_EQ(ProportionalDimension(5, 2, 3), 3);
    EXPECT_EQ(ProportionalDimension(1, 3, 2), 2);  // 1.5: ties go to the even number
    EXPECT_EQ(ProportionalDimension(5, 3, 2), 8);  // 7.5
    EXPECT_EQ(ProportionalDimension(100, 480, 640), 75);
    // Products beyond 32 bits do not wrap around.
    EXPECT_EQ(ProportionalDimension(3000000000LL, 2, 3), 2000000000LL);
    EXPECT_EQ(ProportionalDimension(7, 1, 0), 0);

    // The box side that binds is taken whole, the other follows through the same rounding.
    EXPECT_EQ(Fit(640, 480, 320, 320), std::make_pair(320, 240));
    EXPECT_EQ(Fit(480, 640, 320, 320), std::make_pair(240, 320));
    EXPECT_EQ(Fit(3, 2, 10, 5, true), std::make_pair(8, 5));  // height-bound: 7.5 rounds to 8
    EXPECT_EQ(Fit(3, 2, 10, 1, true), std::make_pair(2, 1));  // 1.5 rounds to 2
    EXPECT_EQ(Fit(3, 2, 5, 100, true), std::make_pair(5, 3));
    EXPECT_EQ(Fit(4000, 3000, 1000, 1000), std::make_pair(1000, 750));
    EXPECT_EQ(Fit(4000, 3000, 1000, 750), std::make_pair(1000, 750));  // same aspect: both sides meet
    // A sliver keeps at least one pixel.
    EXPECT_EQ(Fit(100000, 10, 100, 100), std::make_pair(100, 1));
}

TEST(FitBox, EnlargesOnlyWhenAsked) {
    EXPECT_EQ(Fit(300, 200, 1000, 1000), std::make_pair(300, 200));
    EXPECT_EQ(Fit(300, 200, 300, 200), std::make_pair(300, 200));
    EXPECT_EQ(Fit(300, 200, 1000, 1000, true), std::make_pair(1000, 667));
    // One side too large is enough to shrink.
    EXPECT_EQ(Fit(300, 200, 1000, 100), std::make_pair(150, 100));
}
