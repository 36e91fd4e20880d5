#include "ButtonTestKit.h"
#include "QtTestEnvironment.h"

#include "widgets/DisabledGlyphs.h"
#include "widgets/Glyphs.h"
#include "widgets/ToolGroup.h"

#include <QPainter>

namespace {

class ButtonGrouperTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (auto*& b : Tools) {
            b = new TFlatButton(&Window);
            b->SetIsToggleButton(true);
        }
        Tools[1]->SetDown(true);  // the zoom tool starts down
    }
    QWidget Window;
    TFlatButton* Tools[3] = {};  // select, zoom, colour pick
};

TEST_F(ButtonGrouperTest, PressMovesTheDownStateAndPressingTheDownButtonKeepsIt) {
    TButtonGrouper group;
    for (auto* b : Tools) group.AddButton(b);
    ClickAt(Tools[0]);
    EXPECT_TRUE(Tools[0]->Down());
    EXPECT_FALSE(Tools[1]->Down());
    ClickAt(Tools[1]);
    EXPECT_TRUE(Tools[1]->Down());
    EXPECT_FALSE(Tools[0]->Down());
    ClickAt(Tools[1]);
    EXPECT_TRUE(Tools[1]->Down());
    // A double click presses twice; the second press counts too.
    ClickAt(Tools[0]);
    ClickAt(Tools[0]);
    EXPECT_TRUE(Tools[0]->Down());
    EXPECT_FALSE(Tools[1]->Down() || Tools[2]->Down());
}

TEST_F(ButtonGrouperTest, PressDraggedOffAndReleasedOutsideChangesNoTool) {
    int clicks = 0;
    Tools[0]->OnClick = [&clicks](TFlatButton*) { ++clicks; };
    TButtonGrouper group;
    for (auto* b : Tools) group.AddButton(b);
    const QPoint outside(40, 5);
    // On the down tool: it must not end up with no tool down.
    Press(Tools[1]);
    Release(Tools[1], outside);
    EXPECT_TRUE(Tools[1]->Down());
    EXPECT_FALSE(Tools[0]->Down());
    // On another tool: it must not end up with two down.
    Press(Tools[0]);
    Release(Tools[0], outside);
    EXPECT_FALSE(Tools[0]->Down());
    EXPECT_TRUE(Tools[1]->Down());
    EXPECT_EQ(clicks, 0);
    // A press released back over the button still moves the down state.
    Press(Tools[0]);
    Release(Tools[0]);
    EXPECT_TRUE(Tools[0]->Down());
    EXPECT_FALSE(Tools[1]->Down());
    EXPECT_EQ(clicks, 1);
}

TEST_F(ButtonGrouperTest, KeptHandlerRunsAfterTheCorrectionWithTheButtonAsSender) {
    TFlatButton* seen = nullptr;
    bool zoomUpWhenCalled = false;
    Tools[0]->OnClick = [&](TFlatButton* sender) {
        seen = sender;
        zoomUpWhenCalled = !Tools[1]->Down();
    };
    TButtonGrouper group;
    for (auto* b : Tools) group.AddButton(b);
    EXPECT_EQ(group.Count(), 3);
    ClickAt(Tools[0]);
    EXPECT_EQ(seen, Tools[0]);
    EXPECT_TRUE(zoomUpWhenCalled);
    ClickAt(Tools[1]);  // no handler of its own: only the correction
    EXPECT_TRUE(Tools[1]->Down());
}

TEST_F(ButtonGrouperTest, IgnoresButtonsOutsideTheGroup) {
    TButtonGrouper group;
    group.AddButton(Tools[0]);
    group.AddButton(Tools[1]);
    group.ButtonClick(Tools[2]);
    EXPECT_TRUE(Tools[1]->Down());
    EXPECT_FALSE(Tools[0]->Down());
}

TEST(GreyGlyphTest, GrayStaysBetween126ForBlackAnd211ForWhite) {
    const auto grey = [](int r, int g, int b) { return RedOf(GreyColor(RGBColor(r, g, b))); };
    EXPECT_EQ(grey(0, 0, 0), 126);
    EXPECT_EQ(grey(255, 255, 255), 211);
    EXPECT_EQ(grey(127, 127, 127), 168);
    EXPECT_EQ(grey(255, 0, 0), 154);
    EXPECT_EQ(grey(0, 0, 128), 140);
    const TColor navy = GreyColor(RGBColor(0, 0, 128));
    EXPECT_EQ(navy, RGBColor(140, 140, 140));
    // Above mid-grey the halved distance is negative and truncates towards zero.
    EXPECT_EQ(grey(200, 200, 201), (200 + (127 - 200) / 2) * 2 / 3 + 84);
    EXPECT_EQ(GreyColor(QColor(255, 0, 0, 7)), QColor(154, 154, 154, 7));
}

QImage Glyph4x2(QRgb corner, QRgb other) {
    QImage image(4, 2, QImage::Format_ARGB32);
    image.fill(other);
    image.setPixel(0, 1, corner);
    image.setPixel(3, 0, corner);
    return image;
}

TEST(GreyGlyphTest, GreyCopyKeepsTheBottomLeftColourAndGreysTheRest) {
    const QImage source = Glyph4x2(qRgb(255, 0, 255), qRgb(0, 0, 0));
    QImage target;
    GreyCopy(source, target);
    EXPECT_EQ(target.pixel(0, 1), qRgb(255, 0, 255));
    EXPECT_EQ(target.pixel(3, 0), qRgb(255, 0, 255));
    EXPECT_EQ(target.pixel(1, 0), qRgb(126, 126, 126));
    // A glyph whose bottom-left pixel is part of the picture: its colour stays, the
    // background is grayed with the rest.
    const QImage opaque = Glyph4x2(qRgb(0, 0, 0), qRgb(255, 0, 255));
    GreyCopy(opaque, target);
    EXPECT_EQ(target.pixel(0, 1), qRgb(0, 0, 0));
    EXPECT_EQ(target.pixel(1, 0), qRgb(183, 183, 183));
    // An empty source leaves the target alone.
    GreyCopy(QImage(), target);
    EXPECT_EQ(target.size(), QSize(4, 2));
}

TEST(GreyGlyphTest, AppendGreyGlyphDoublesTheWidth) {
    QImage bitmap = Glyph4x2(qRgb(255, 0, 255), qRgb(255, 255, 255));
    AppendGreyGlyph(bitmap);
    ASSERT_EQ(bitmap.size(), QSize(8, 2));
    EXPECT_EQ(bitmap.pixel(1, 0), qRgb(255, 255, 255));
    EXPECT_EQ(bitmap.pixel(5, 0), qRgb(211, 211, 211));
    EXPECT_EQ(bitmap.pixel(4, 1), qRgb(255, 0, 255));
    EXPECT_EQ(bitmap.pixel(7, 0), qRgb(255, 0, 255));
    QImage empty;
    AppendGreyGlyph(empty);
    EXPECT_TRUE(empty.isNull());
}

TEST(GreyGlyphTest, DisabledListGreysEveryGlyphAtItsIndex) {
    TImageList images(2, 2), disabled(5, 5);
    QImage glyph(2, 2, QImage::Format_ARGB32);
    glyph.fill(Qt::transparent);
    glyph.setPixel(1, 0, qRgb(255, 0, 0));
    images.Add(glyph);
    FillSolidList(images, Qt::white);
    BuildDisabledImageList(images, disabled);
    ASSERT_EQ(disabled.Count(), 2);
    EXPECT_EQ(disabled.Size(), QSize(2, 2));
    const QImage grayed = disabled.Image(0);
    EXPECT_EQ(grayed.pixel(1, 0), qRgb(154, 154, 154));
    EXPECT_EQ(qAlpha(grayed.pixel(0, 0)), 0);
    EXPECT_EQ(qAlpha(grayed.pixel(0, 1)), 0);
    // A glyph covering its bottom-left pixel names its own colour transparent: it stays white.
    EXPECT_EQ(disabled.Image(1).pixel(0, 0), qRgb(255, 255, 255));
}

TEST(GreyGlyphTest, ListDrawsDisabledInGrayOverTheBrushColour) {
    TImageList list(2, 1);
    QImage glyph(2, 1, QImage::Format_ARGB32);
    glyph.setPixel(0, 0, 0);
    glyph.setPixel(1, 0, qRgb(0, 0, 0));
    list.Add(glyph);
    QImage canvas(4, 1, QImage::Format_RGB32);
    canvas.fill(qRgb(9, 9, 9));
    {
        QPainter p(&canvas);
        p.setBrush(QColor(1, 2, 3));
        list.Draw(p, 1, 0, 0, false);
        list.Draw(p, 3, 0, 5, false);  // no such glyph: nothing drawn
    }
    EXPECT_EQ(canvas.pixel(0, 0), qRgb(9, 9, 9));
    EXPECT_EQ(canvas.pixel(1, 0), qRgb(1, 2, 3));
    EXPECT_EQ(canvas.pixel(2, 0), qRgb(126, 126, 126));
    EXPECT_EQ(canvas.pixel(3, 0), qRgb(9, 9, 9));
}

TEST(GlyphsTest, TwentySixGlyphsWithTransparentBottomLeftPixels) {
    const auto list = CreateGlyphList();
    ASSERT_EQ(list->Count(), GlyphCount);
    EXPECT_EQ(list->Size(), QSize(16, 16));
    for (int i = 0; i < GlyphCount; ++i) {
        const QImage glyph = list->Image(i);
        // Greying takes the bottom-left pixel for the transparent colour.
        EXPECT_EQ(qAlpha(glyph.pixel(0, 15)), 0) << i;
        int opaque = 0;
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16; ++x) opaque += qAlpha(glyph.pixel(x, y)) != 0;
        const bool unused = i == 6 || (i >= 10 && i <= 13);
        EXPECT_EQ(opaque == 0, unused) << i;
    }
}

TEST(GlyphsTest, ZoomCursorIsA32PixelMagnifierWithItsHotSpotAt4_4) {
    const QCursor cursor = ZoomCursor();
    EXPECT_EQ(cursor.hotSpot(), QPoint(4, 4));
    EXPECT_EQ(cursor.pixmap().size(), QSize(32, 32));
    EXPECT_FALSE(ApplicationIcon().availableSizes().isEmpty());
}

}  // namespace
