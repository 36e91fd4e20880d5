#include "ButtonTestKit.h"
#include "QtTestEnvironment.h"

#include "widgets/ThemeServices.h"

#include <QAction>
#include <QMenu>
#include <QShortcut>
#include <QTimer>

namespace {

class FlatButtonTest : public ::testing::Test {
protected:
    void SetUp() override { SetThemesEnabled(false); }
    void TearDown() override { SetThemesEnabled(true); }

    // A split button with a recorded click and drop count; drops are handled (no menu).
    void MakeSplit(TFlatButton& b, bool fullDrop = false) {
        b.resize(37, 22);
        b.SetDropsMenu(true);
        b.SetFullDrop(fullDrop);
        b.OnClick = [this](TFlatButton*) { ++Clicks; };
        b.OnDropMenu = [this](TFlatButton*, bool& handled) {
            ++Drops;
            handled = true;
        };
    }

    int Clicks = 0;
    int Drops = 0;
};

TEST_F(FlatButtonTest, StartsAsAFlatPushButtonOfToolbarSize) {
    TFlatButton b;
    EXPECT_EQ(b.size(), QSize(23, 22));
    EXPECT_EQ(b.FocusedColor(), QColor(176, 172, 216));
    EXPECT_EQ(b.PressedColor(), QColor(159, 135, 199));
    EXPECT_EQ(b.BorderColor(), QColor(0, 0, 128));
    EXPECT_EQ(b.ShadowColor(), QColor(128, 128, 128));
    EXPECT_EQ(b.Colors(TFlatButton::ciPressedColor), b.PressedColor());
    EXPECT_TRUE(b.UseShadow());
    EXPECT_FALSE(b.Transparent());
    EXPECT_EQ(b.ImageIndex(), -1);
    EXPECT_EQ(b.Distance(), -1);
    EXPECT_EQ(b.Margin(), -1);
    EXPECT_TRUE(b.ShowDropMark());
    EXPECT_EQ(b.MenuDirection(), mdDownRight);
    EXPECT_EQ(b.Layout(), ilHorizontal);
    EXPECT_FALSE(b.Down() || b.DropsMenu() || b.FullDrop() || b.IsToggleButton() || b.ShowCaption());

    b.SetColors(TFlatButton::ciBorderColor, Qt::red);
    EXPECT_EQ(b.BorderColor(), QColor(Qt::red));
    b.SetColors(5, Qt::green);  // no sixth colour
    EXPECT_FALSE(b.Colors(5).isValid());
}

TEST_F(FlatButtonTest, OnlyAToggleCanBeSetDown) {
    TFlatButton b;
    b.SetDown(true);
    EXPECT_FALSE(b.Down());
    b.SetIsToggleButton(true);
    b.SetDown(true);
    EXPECT_TRUE(b.Down());
}

TEST_F(FlatButtonTest, OnlyAFullDropButtonGivesUpItsDropMark) {
    TFlatButton b;
    QMenu menu;
    b.SetDropdownMenu(&menu);
    EXPECT_TRUE(b.DropsMenu());
    b.SetShowDropMark(false);
    EXPECT_TRUE(b.ShowDropMark());
    b.SetFullDrop(true);
    b.SetShowDropMark(false);
    EXPECT_FALSE(b.ShowDropMark());
    b.SetDropdownMenu(nullptr);
    EXPECT_FALSE(b.DropsMenu());
}

TEST_F(FlatButtonTest, PushButtonClicksOnReleaseOverItOnly) {
    TFlatButton b;
    b.OnClick = [this](TFlatButton*) { ++Clicks; };
    Press(&b);
    EXPECT_TRUE(b.Down());
    Release(&b);
    EXPECT_FALSE(b.Down());
    EXPECT_EQ(Clicks, 1);
    Press(&b);
    Release(&b, {40, 5});  // dragged off the button
    EXPECT_EQ(Clicks, 1);
    EXPECT_FALSE(b.Down());
}

TEST_F(FlatButtonTest, ToggleFlipsOnEveryPressAndKeepsItsState) {
    TFlatButton b;
    b.SetIsToggleButton(true);
    b.OnClick = [this](TFlatButton*) { ++Clicks; };
    ClickAt(&b);
    EXPECT_TRUE(b.Down());
    ClickAt(&b);
    EXPECT_FALSE(b.Down());
    EXPECT_EQ(Clicks, 2);
}

TEST_F(FlatButtonTest, SplitButtonDropsFromItsRightmost14PixelsAndClicksElsewhere) {
    TFlatButton b;
    MakeSplit(b);
    ClickAt(&b, {22, 5});  // last pixel of the main part
    EXPECT_EQ(Clicks, 1);
    EXPECT_EQ(Drops, 0);

    Press(&b, {23, 5});  // first pixel of the drop zone
    EXPECT_EQ(Drops, 1);
    EXPECT_TRUE(b.Down());  // until the posted release arrives
    Release(&b, {23, 5});
    QApplication::processEvents();
    EXPECT_EQ(Clicks, 1);
    EXPECT_FALSE(b.Down());
}

TEST_F(FlatButtonTest, FullDropButtonDropsFromAnywhereAndNeverClicks) {
    TFlatButton b;
    MakeSplit(b, true);
    for (QPoint at : {QPoint(1, 1), QPoint(30, 10)}) {
        Press(&b, at);
        QApplication::processEvents();
        Release(&b, at);
    }
    EXPECT_EQ(Drops, 2);
    EXPECT_EQ(Clicks, 0);
    EXPECT_FALSE(b.Down());
}

TEST_F(FlatButtonTest, PressWhileStillDownAfterADropOnlyReleases) {
    TFlatButton b;
    MakeSplit(b);
    Press(&b, {30, 5});
    // The menu took the release; the posted release has not arrived yet.
    b.OnDropMenu = nullptr;
    Press(&b, {5, 5});
    EXPECT_FALSE(b.Down());
    Release(&b, {5, 5});
    EXPECT_EQ(Clicks, 0);
    QApplication::processEvents();
}

TEST_F(FlatButtonTest, HandledDropKeepsTheMenuClosed) {
    TFlatButton b;
    MakeSplit(b, true);
    QMenu menu;
    menu.addAction(QStringLiteral("Gamma correction"));
    int shown = 0;
    QObject::connect(&menu, &QMenu::aboutToShow, [&] { ++shown; });
    b.SetDropdownMenu(&menu);
    Press(&b);
    QApplication::processEvents();
    EXPECT_EQ(shown, 0);
    EXPECT_FALSE(b.Down());
}

TEST_F(FlatButtonTest, MenuOpensAtTheAnchorOfItsDirection) {
    const QRect button(100, 50, 23, 22);
    const QSize menu(80, 40);
    EXPECT_EQ(DropMenuPosition(button, menu, mdDownRight), QPoint(100, 73));
    EXPECT_EQ(DropMenuPosition(button, menu, mdDownLeft), QPoint(123 - 80, 73));
    EXPECT_EQ(DropMenuPosition(button, menu, mdRightDown), QPoint(124, 50));
    EXPECT_EQ(DropMenuPosition(button, menu, mdLeftDown), QPoint(99 - 80, 50));
}

TEST_F(FlatButtonTest, DroppedMenuShowsBelowTheButtonAndNamesItAsItsPopupComponent) {
    QWidget window;
    window.setGeometry(100, 100, 300, 200);
    auto* b = new TFlatButton(&window);
    b->move(10, 10);
    window.show();
    QMenu menu;
    menu.addAction(QStringLiteral("/pictures/harbour.png"));
    b->SetDropdownMenu(&menu);
    QPoint shownAt;
    QObject* component = nullptr;
    QObject::connect(&menu, &QMenu::aboutToShow, [&] {
        QTimer::singleShot(0, &menu, [&] {
            shownAt = menu.pos();
            component = menu.property("PopupComponent").value<QObject*>();
            menu.close();
        });
    });
    Press(b, {18, 5});
    EXPECT_EQ(shownAt, b->mapToGlobal(QPoint(0, b->height() + 1)));
    EXPECT_EQ(component, b);
    EXPECT_TRUE(b->Down());
    QApplication::processEvents();
    EXPECT_FALSE(b->Down());
}

TEST_F(FlatButtonTest, LayoutCentresTheGlyphAndSpacesTheCaption) {
    const TFaceLayout plain = LayoutFace(23, 22, {16, 16}, {0, 0}, ilHorizontal, -1, -1);
    EXPECT_EQ(plain.Glyph, QPoint(3, 3));
    // Automatic gap: (72 - 30 - 16) / 8 = 3; margin (72 - 16 - 30 - 3) / 2 = 11.
    const TFaceLayout beside = LayoutFace(72, 22, {16, 16}, {30, 14}, ilHorizontal, -1, -1);
    EXPECT_EQ(beside.Glyph, QPoint(11, 3));
    EXPECT_EQ(beside.Caption, QPoint(30, 4));
    // The gap never falls below 2; a fixed margin wins over centring.
    const TFaceLayout tight = LayoutFace(40, 22, {16, 16}, {20, 14}, ilHorizontal, -1, 1);
    EXPECT_EQ(tight.Caption.x(), 1 + 16 + 2);
    const TFaceLayout above = LayoutFace(48, 40, {16, 16}, {30, 14}, ilVertical, -1, -1);
    EXPECT_EQ(above.Glyph, QPoint(16, 4));  // gap max(10 / 8, 2) = 2, margin (40 - 14 - 16 - 2) / 2
    EXPECT_EQ(above.Caption, QPoint(9, 22));
}

TEST_F(FlatButtonTest, GlyphSitsOnePixelLowerUntilHoveredThenRisesOverItsShadow) {
    QWidget window;
    TImageList list;
    FillSolidList(list, Qt::red);
    auto* b = new TFlatButton(&window);
    b->SetImages(&list);
    b->SetImageIndex(0);
    QImage face = Snapshot(b);
    EXPECT_EQ(face.pixel(4, 4), qRgb(255, 0, 0));
    EXPECT_NE(face.pixel(3, 3), qRgb(255, 0, 0));
    EXPECT_EQ(face.pixel(19, 19), qRgb(255, 0, 0));

    Hover(b);
    face = Snapshot(b);
    // The frame takes a pixel off every side: the glyph centres in 21 x 20 at (2, 2).
    EXPECT_EQ(face.pixel(1, 1), qRgb(0, 0, 128));
    EXPECT_EQ(face.pixel(2, 2), qRgb(255, 0, 0));
    EXPECT_EQ(face.pixel(17, 17), qRgb(255, 0, 0));
    EXPECT_EQ(face.pixel(18, 18), qRgb(128, 128, 128));
    b->SetUseShadow(false);
    EXPECT_EQ(Snapshot(b).pixel(18, 18), qRgb(176, 172, 216));
}

TEST_F(FlatButtonTest, DisabledButtonTakesItsGlyphFromTheDisabledListOnly) {
    QWidget window;
    TImageList list, grayed;
    FillSolidList(list, Qt::red);
    auto* b = new TFlatButton(&window);
    b->SetImages(&list);
    b->SetImageIndex(0);
    b->setEnabled(false);
    EXPECT_NE(Snapshot(b).pixel(10, 10), qRgb(255, 0, 0));
    FillSolidList(grayed, QColor(154, 154, 154));
    b->SetDisabled(&grayed);
    EXPECT_EQ(Snapshot(b).pixel(10, 10), qRgb(154, 154, 154));
}

TEST_F(FlatButtonTest, HoveredDownButtonTakesItsGlyphFromTheHotList) {
    QWidget window;
    TImageList list, hot;
    FillSolidList(list, Qt::red);
    FillSolidList(hot, Qt::blue);
    auto* b = new TFlatButton(&window);
    b->SetIsToggleButton(true);
    b->SetImages(&list);
    b->SetHot(&hot);
    b->SetImageIndex(0);
    Hover(b);
    EXPECT_EQ(Snapshot(b).pixel(10, 10), qRgb(255, 0, 0));  // hovered but up
    b->SetDown(true);
    EXPECT_EQ(Snapshot(b).pixel(10, 10), qRgb(0, 0, 255));
}

TEST_F(FlatButtonTest, AcceleratorOfTheCaptionClicksTheButton) {
    QWidget window;
    auto* b = new TFlatButton(&window);
    b->OnClick = [this](TFlatButton*) { ++Clicks; };
    b->SetCaption(QStringLiteral("&Open"));
    auto* accelerator = b->findChild<QShortcut*>();
    ASSERT_NE(accelerator, nullptr);
    EXPECT_EQ(accelerator->key(), QKeySequence(Qt::ALT | Qt::Key_O));
    window.show();
    emit accelerator->activated();
    EXPECT_EQ(Clicks, 1);
    b->setEnabled(false);
    emit accelerator->activated();
    EXPECT_EQ(Clicks, 1);
    b->SetCaption(QStringLiteral("Open"));
    EXPECT_EQ(b->findChild<QShortcut*>(), nullptr);
}

TEST_F(FlatButtonTest, ForgetsImageListsAndMenusThatAreDestroyed) {
    TFlatButton b;
    auto list = std::make_unique<TImageList>();
    auto menu = std::make_unique<QMenu>();
    b.SetImages(list.get());
    b.SetDropdownMenu(menu.get());
    list.reset();
    menu.reset();
    EXPECT_EQ(b.Images(), nullptr);
    EXPECT_EQ(b.DropdownMenu(), nullptr);
    b.SetImageIndex(0);
    (void)Snapshot(&b);  // paints without them
}

TEST_F(FlatButtonTest, FlatDropArrowIsASmallDownwardTriangle) {
    QWidget window;
    auto* b = new TFlatButton(&window);
    b->resize(37, 22);
    b->SetDropsMenu(true);
    const QImage face = Snapshot(b);
    const QRgb ink = qRgb(32, 32, 32);
    // Drop zone from x = 23: cx = 29, cy = 22 / 2 = 11; each segment stops short of its end.
    for (int x = 27; x <= 31; ++x) EXPECT_EQ(face.pixel(x, 10), ink) << x;
    EXPECT_EQ(face.pixel(28, 11), ink);
    EXPECT_EQ(face.pixel(30, 11), ink);
    EXPECT_NE(face.pixel(29, 11), ink);
    EXPECT_EQ(face.pixel(29, 12), ink);
    EXPECT_NE(face.pixel(26, 10), ink);
    EXPECT_NE(face.pixel(29, 13), ink);
}

TEST_F(FlatButtonTest, SplitButtonShowsWhichPartIsPressed) {
    QWidget window;
    auto* b = new TFlatButton(&window);
    MakeSplit(*b);
    Hover(b);
    Press(b, {5, 5});
    QImage face = Snapshot(b);
    EXPECT_EQ(face.pixel(10, 3), qRgb(159, 135, 199));  // main part pressed
    EXPECT_EQ(face.pixel(33, 3), qRgb(176, 172, 216));
    Release(b, {5, 5});
    Press(b, {30, 5});
    face = Snapshot(b);
    EXPECT_NE(face.pixel(10, 3), qRgb(159, 135, 199));
    EXPECT_EQ(face.pixel(33, 3), qRgb(159, 135, 199));  // drop zone pressed
    QApplication::processEvents();
}

TEST_F(FlatButtonTest, TransparentButtonLeavesItsBackgroundToTheParentUntilHovered) {
    QWidget window;
    FillWindow(window, Qt::green);
    auto* b = new TFlatButton(&window);
    b->SetColor(Qt::blue);
    EXPECT_EQ(Snapshot(b).pixel(10, 10), qRgb(0, 0, 255));
    b->SetTransparent(true);
    EXPECT_EQ(Snapshot(b).pixel(10, 10), qRgb(0, 255, 0));
    Hover(b);
    EXPECT_EQ(Snapshot(b).pixel(10, 10), qRgb(176, 172, 216));
}

TEST_F(FlatButtonTest, ThemedButtonPaintsAllKindsAndStates) {
    SetThemesEnabled(true);
    QWidget window;
    TImageList list;
    FillSolidList(list, Qt::red);
    for (int kind = 0; kind < 4; ++kind) {
        for (int state = 0; state < 3; ++state) {
            auto* b = new TFlatButton(&window);
            b->resize(37, 22);
            b->SetImages(&list);
            b->SetImageIndex(0);
            b->SetIsToggleButton(kind == 1);
            b->SetDropsMenu(kind >= 2);
            b->SetFullDrop(kind == 3);
            b->OnDropMenu = [](TFlatButton*, bool& handled) { handled = true; };
            if (state == 1) Hover(b);
            if (state == 2) Press(b);
            const QImage face = Snapshot(b);
            // The glyph keeps clear of a full-drop button's arrow: centred in 23 pixels.
            const int left = kind == 2 || kind == 3 ? 3 : 10;
            const int x = state == 1 ? left : left + 1;
            EXPECT_EQ(face.pixel(x, 10), qRgb(255, 0, 0)) << kind << " " << state;
        }
    }
    QApplication::processEvents();
}

TEST_F(FlatButtonTest, FollowsItsActionAndTriggersIt) {
    QWidget window;
    QAction action(QStringLiteral("&Save"));
    action.setToolTip(QStringLiteral("Save the picture"));
    int triggered = 0;
    QObject::connect(&action, &QAction::triggered, [&] { ++triggered; });
    SetActionImageIndex(&action, 1);
    auto* b = new TFlatButton(&window);
    b->SetAction(&action);
    EXPECT_EQ(b->Caption(), QStringLiteral("&Save"));
    EXPECT_EQ(b->toolTip(), QStringLiteral("Save the picture"));
    EXPECT_EQ(b->ImageIndex(), 1);
    ClickAt(b);
    EXPECT_EQ(triggered, 1);

    action.setEnabled(false);
    EXPECT_FALSE(b->isEnabled());
    b->Click();
    EXPECT_EQ(triggered, 1);
    SetActionImageIndex(&action, 17);
    EXPECT_EQ(b->ImageIndex(), 17);
    action.setText(QStringLiteral("Save &as"));
    EXPECT_EQ(b->Caption(), QStringLiteral("Save &as"));

    // An own click handler goes before the action.
    action.setEnabled(true);
    int own = 0;
    b->OnClick = [&](TFlatButton*) { ++own; };
    b->Click();
    EXPECT_EQ(own, 1);
    EXPECT_EQ(triggered, 1);
}

}  // namespace
