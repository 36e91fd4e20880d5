#include "MainWindowKit.h"

#include "editor/TiledView.h"

#include <QClipboard>
#include <QImage>
#include <QScrollArea>
#include <QTimer>
#include <QWheelEvent>

namespace {

using ViewTest = MainWindowTest;

TEST_F(ViewTest, SmallPictureIsCentredInTheSmallestClientArea) {
    Load(100, 80);
    EXPECT_EQ(Form->ZoomFactor(), 8);
    EXPECT_EQ(Status(), "Zoom 100% (100x80)");
    // 402 × 302, or what the minimum window size makes of it.
    const int clientWidth = std::max(402, Form->minimumWidth());
    const int clientHeight = std::max(302, Form->minimumHeight());
    EXPECT_EQ(Form->width(), clientWidth);
    EXPECT_EQ(Form->height(), clientHeight);
    EXPECT_EQ(Form->PaintArea->size(), QSize(100, 80));
    EXPECT_EQ(Form->PaintArea->x(), (clientWidth - 100) / 2);
    EXPECT_EQ(Form->PaintArea->y(), (clientHeight - 80 - 19 - 27) / 2);
    EXPECT_EQ(Form->Toolbar->height(), 27);
    EXPECT_EQ(Form->StatusBar->height(), 19);
    // Centred on the screen.
    EXPECT_EQ(Form->frameGeometry().x(), (1280 - Form->frameGeometry().width()) / 2);
    EXPECT_EQ(Form->frameGeometry().y(), (1024 - Form->frameGeometry().height()) / 2);
    ASSERT_TRUE(WaitForExactView());
    EXPECT_TRUE(SamePixels(*Shown({0, 0, 100, 80}), *Form->CurrentImage()));
}

TEST_F(ViewTest, WidePictureAtFourHundredPercentFillsTheScreenAndScrolls) {
    Load(400, 20);
    Form->ExecuteAction(Form->actnZoomIn);
    Form->ExecuteAction(Form->actnZoomIn);
    EXPECT_EQ(Form->ZoomFactor(), 32);
    EXPECT_EQ(Form->PaintArea->width(), 1600);
    EXPECT_EQ(Form->frameGeometry().width(), 1280 - 5);
    EXPECT_EQ(Form->PaintArea->x(), 0);
    EXPECT_EQ(Status(), "Zoom 400% (400x20)");
    QApplication::processEvents();
    EXPECT_TRUE(Form->ScrollBox->horizontalScrollBar()->maximum() > 0);
}

TEST_F(ViewTest, ZoomStaysBetweenTwelveAndFourHundredPercentAlsoForToolClicks) {
    Load(64, 48);
    // The zoom tool is down at start: left clicks zoom in, right clicks zoom out.
    for (int i = 0; i < 4; ++i) Press({1, 1});
    EXPECT_EQ(Form->ZoomFactor(), 32);
    EXPECT_FALSE(Form->actnZoomIn->isEnabled());
    Form->actnZoomIn->trigger();
    EXPECT_EQ(Form->ZoomFactor(), 32);
    for (int i = 0; i < 6; ++i) Press({1, 1}, Qt::RightButton);
    EXPECT_EQ(Form->ZoomFactor(), 1);
    EXPECT_FALSE(Form->actnZoomOut->isEnabled());
    EXPECT_EQ(Status(), "Zoom 12% (64x48)");
    EXPECT_EQ(Form->PaintArea->size(), QSize(8, 6));
    Press({1, 1}, Qt::MiddleButton);
    EXPECT_EQ(Form->ZoomFactor(), 1);
    EXPECT_TRUE(Errors.empty());
}

TEST_F(ViewTest, ViewsOfOneAndNoPixelsRenderWithoutError) {
    Load(12, 5);
    Form->ExecuteAction(Form->actnZoomOut);
    Form->ExecuteAction(Form->actnZoomOut);
    Form->ExecuteAction(Form->actnZoomOut);
    EXPECT_EQ(Form->ZoomFactor(), 1);
    EXPECT_EQ(Form->PaintArea->size(), QSize(1, 0));
    Form->repaint();
    EXPECT_TRUE(Errors.empty());
}

TEST_F(ViewTest, DragAtTwoHundredPercentMapsWithTiesToEven) {
    Load(100, 80);
    Form->ExecuteAction(Form->actnZoomIn);
    SelectTool();
    Drag({10, 10}, {5, 30});
    EXPECT_EQ(Form->SelStart(), QPoint(2, 5));
    EXPECT_EQ(Form->SelEnd(), QPoint(5, 15));
    EXPECT_EQ(Status(), "Zoom 200% (100x80) Selection(2,5,3,10)");
    EXPECT_TRUE(Form->SelectionTimer->isActive());

    // Shift held, or a second button: the selection stays.
    Press({40, 40});
    Mouse(QEvent::MouseMove, {60, 60}, Qt::NoButton, Qt::LeftButton, Qt::ShiftModifier);
    EXPECT_FALSE(Form->HasSelection());
    Mouse(QEvent::MouseMove, {70, 70}, Qt::NoButton, Qt::LeftButton | Qt::RightButton);
    EXPECT_FALSE(Form->HasSelection());
    Mouse(QEvent::MouseMove, {60, 60}, Qt::NoButton, Qt::LeftButton);
    EXPECT_EQ(Form->SelStart(), QPoint(20, 20));
    EXPECT_EQ(Form->SelEnd(), QPoint(30, 30));
}

TEST_F(ViewTest, WindowTallerThanTheScreenIsCutToItByItsOuterSize) {
    // 1000 + toolbar + status line is more than 1024 − 5 would leave.
    Load(300, 1000);
    const QRect outer = Form->frameGeometry();
    EXPECT_TRUE(QRect(0, 0, 1280, 1024).contains(outer)) << outer.y() << " " << outer.height();
    EXPECT_EQ(outer.height(), 1024 - 5);
    EXPECT_EQ(outer.y(), (1024 - outer.height()) / 2);

    // Within a work area that panels leave, the window is fitted and centred in it.
    Form->SetScreenArea({100, 30, 1000, 900});
    Form->FitWindowToImage();
    const QRect fitted = Form->frameGeometry();
    EXPECT_EQ(fitted.height(), 900 - 5);
    EXPECT_EQ(fitted.topLeft(), QPoint(100 + (1000 - fitted.width()) / 2, 30 + 5 / 2));
}

TEST_F(ViewTest, DragPastTheFarEdgesSelectsTheWholePicture) {
    Load(360, 240);
    SelectTool();
    Drag({0, 0}, {500, 500});
    EXPECT_EQ(Status(), "Zoom 100% (360x240) Selection(0,0,360,240)");
    // The outline runs along the last column and row, where it can be seen.
    ASSERT_TRUE(WaitForExactView());
    QImage shown(Form->PaintArea->size(), QImage::Format_RGB32);
    Form->PaintArea->render(&shown);
    const auto view = Form->ViewPixels(Form->PaintArea->rect());
    int inverted = 0;
    for (int y = 0; y < 240; ++y) inverted += qBlue(shown.pixel(359, y)) == 255 - view->GetPixel(359, y).Blue;
    EXPECT_GT(inverted, 50);
    Form->ExecuteAction(Form->actnCrop);
    EXPECT_EQ(Form->CurrentImage()->Width(), 360);
    EXPECT_EQ(Form->CurrentImage()->Height(), 240);

    // Up to a pixel before the edge the selection ends there; the other way round, a drag
    // past the near edges starts at 0.
    Drag({0, 0}, {359, 239});
    EXPECT_EQ(Form->SelEnd(), QPoint(359, 239));
    Drag({30, 30}, {-20, -20});
    EXPECT_EQ(Form->SelStart(), QPoint(0, 0));
    EXPECT_EQ(Form->SelEnd(), QPoint(30, 30));

    // At 12.5 % the paint area stops short of the picture's last pixels (100 / 8 = 12); the
    // edge still selects them.
    Load(100, 81);
    for (int i = 0; i < 3; ++i) Form->ExecuteAction(Form->actnZoomOut);
    SelectTool();
    Drag({0, 0}, {40, 40});
    EXPECT_EQ(Status(), "Zoom 12% (100x81) Selection(0,0,100,81)");

    // A click without a drag leaves no selection.
    Press({10, 10});
    EXPECT_FALSE(Form->HasSelection());
    EXPECT_FALSE(Form->SelectionTimer->isActive());
    QMetaObject::invokeMethod(Form->ToolbarClearTimer, "timeout");
    EXPECT_EQ(Status(), "Zoom 12% (100x81)");
}

TEST_F(ViewTest, OutlineCrawlsAndIsDrawnInvertedOverTheView) {
    Load(60, 40);
    SelectTool();
    Drag({10, 10}, {40, 30});
    const int phase = Form->AntsPhase();
    QMetaObject::invokeMethod(Form->SelectionTimer, "timeout");
    EXPECT_EQ(Form->AntsPhase(), phase + 2);
    EXPECT_TRUE(Form->AntsDrawn());

    ASSERT_TRUE(WaitForExactView());
    QImage shown(Form->PaintArea->size(), QImage::Format_RGB32);
    Form->PaintArea->render(&shown);
    const auto view = Form->ViewPixels(Form->PaintArea->rect());
    // The bottom edge runs along view row 30, inverted where a dash lies, untouched between.
    int inverted = 0;
    for (int x = 10; x <= 40; ++x) {
        const QRgb pixel = shown.pixel(x, 30);
        const TPixel24 under = view->GetPixel(x, 30);
        if (qBlue(pixel) == 255 - under.Blue && qRed(pixel) == 255 - under.Red)
            ++inverted;
        else
            EXPECT_EQ(qBlue(pixel), under.Blue);
    }
    EXPECT_GT(inverted, 10);
    EXPECT_LT(inverted, 31);
    // Outside the outline the view is untouched.
    EXPECT_EQ(qBlue(shown.pixel(20, 20)), view->GetPixel(20, 20).Blue);
}

TEST_F(ViewTest, StatusLineIsRewrittenByTheTimer) {
    Load(20, 10);
    Form->StatusBar->SetSimpleText("something else");
    QMetaObject::invokeMethod(Form->ToolbarClearTimer, "timeout");
    EXPECT_EQ(Status(), "Zoom 100% (20x10)");
    EXPECT_EQ(Form->ToolbarClearTimer->interval(), 200);
    EXPECT_EQ(Form->SelectionTimer->interval(), 400);
}

TEST_F(ViewTest, FourHundredPercentShowsTheWholeViewResampleWhereScrolledAndSelectsThere) {
    const auto picture = NoisePicture(800, 600, 5);
    SaveBmpFile({picture->Bits(), 800, 600, picture->Stride()}, Path("noise.bmp"));
    Form->LoadImage(Path("noise.bmp"));
    Form->ExecuteAction(Form->actnZoomIn);
    Form->ExecuteAction(Form->actnZoomIn);
    ASSERT_TRUE(Errors.empty()) << Errors[0];
    ASSERT_EQ(Form->PaintArea->size(), QSize(3200, 2400));
    const auto wholeView = [this] {
        auto view = TPixelBuffer::Create(3200, 2400);
        Form->CurrentImage()->Resample(*view, SplineFilter, 2);
        return view;
    };
    auto expected = wholeView();
    Form->ScrollBox->horizontalScrollBar()->setValue(1234);
    Form->ScrollBox->verticalScrollBar()->setValue(987);
    ASSERT_TRUE(WaitForExactView());
    const QRect visible = Form->VisibleViewRect();
    ASSERT_EQ(visible.topLeft(), QPoint(1234, 987));
    ASSERT_GT(visible.width(), 600);
    ASSERT_GT(visible.height(), 400);
    const auto there = [&visible](const TPixelBuffer& view) {
        return CopyRect(view, visible.x(), visible.y(), visible.width(), visible.height());
    };
    EXPECT_TRUE(SamePixels(*Shown(visible), *there(*expected)));
    EXPECT_LE(Form->TiledView().Cache().Bytes(), TTiledView::CacheBytes);

    // A change of the picture leaves none of the tiles of the old one on screen.
    Form->ExecuteAction(Form->actnFlip);
    expected = wholeView();
    ASSERT_TRUE(WaitForExactView());
    EXPECT_TRUE(SamePixels(*Shown(visible), *there(*expected)));

    // A selection drawn on the scrolled view: picture coordinates, outline, copy and crop.
    SelectTool();
    Drag(visible.topLeft() + QPoint(10, 10), visible.topLeft() + QPoint(410, 210));
    EXPECT_EQ(Status(), "Zoom 400% (800x600) Selection(311,249,100,50)");
    ASSERT_TRUE(WaitForExactView());
    const QRect bottomEdge(1244, 1196, 401, 1);
    const auto edge = Shown(bottomEdge);
    int inverted = 0;
    for (int x = 0; x < bottomEdge.width(); ++x) {
        const TPixel24 under = expected->GetPixel(bottomEdge.x() + x, bottomEdge.y());
        const TPixel24 shown = edge->GetPixel(x, 0);
        if (shown.Blue == 255 - under.Blue && shown.Red == 255 - under.Red)
            ++inverted;
        else
            EXPECT_EQ(shown, under) << x;
    }
    EXPECT_GT(inverted, 150);
    EXPECT_LT(inverted, 300);
    const auto selected = CopyRect(*Form->CurrentImage(), 311, 249, 100, 50);
    Form->ExecuteAction(Form->actnCopy);
    const QImage copied = QGuiApplication::clipboard()->image();
    ASSERT_EQ(copied.size(), QSize(100, 50));
    EXPECT_EQ(qBlue(copied.pixel(7, 9)), selected->GetPixel(7, 9).Blue);
    Form->ExecuteAction(Form->actnCrop);
    EXPECT_TRUE(SamePixels(*Form->CurrentImage(), *selected));
    EXPECT_EQ(Form->ZoomFactor(), 8);
    EXPECT_TRUE(Errors.empty());
}

TEST_F(ViewTest, PicturesAboveSixteenMegapixelsAreShownAtFourHundredPercent) {
    // 16.8 megapixels: its whole view at 400 % would be 806 MB, which was refused.
    Load(4200, 4000);
    Form->ExecuteAction(Form->actnZoomIn);
    Form->ExecuteAction(Form->actnZoomIn);
    ASSERT_TRUE(Errors.empty()) << Errors[0];
    EXPECT_EQ(Status(), "Zoom 400% (4200x4000)");
    EXPECT_EQ(Form->PaintArea->size(), QSize(16800, 16000));
    QApplication::processEvents();
    Form->ScrollBox->horizontalScrollBar()->setValue(Form->ScrollBox->horizontalScrollBar()->maximum());
    Form->ScrollBox->verticalScrollBar()->setValue(8000);
    ASSERT_TRUE(WaitForExactView());
    const QRect visible = Form->VisibleViewRect();
    EXPECT_EQ(visible.right(), 16799);
    EXPECT_TRUE(SamePixels(*Shown(visible), *Form->ViewPixels(visible)));
}

TEST_F(ViewTest, CtrlWheelZoomsAboutThePointerAndThePlainWheelScrolls) {
    Load(1000, 700);
    const auto wheel = [this](QPoint at, int turn, Qt::KeyboardModifiers modifiers) {
        QWheelEvent event(QPointF(at), Form->PaintArea->mapToGlobal(QPointF(at)), QPoint(), QPoint(0, turn),
                          Qt::NoButton, modifiers, Qt::NoScrollPhase, false);
        QApplication::sendEvent(Form->PaintArea, &event);
    };
    const auto onScreen = [this](QPoint view) { return Form->PaintArea->mapTo(Form->ScrollBox->viewport(), view); };
    const QPoint pointer = onScreen({600, 300});
    wheel({600, 300}, 120, Qt::ControlModifier);
    ASSERT_EQ(Form->ZoomFactor(), 16);
    // Picture point (600.5, 300.5) is at view (1201, 601) now, still under the pointer.
    EXPECT_LE((onScreen({1201, 601}) - pointer).manhattanLength(), 2);
    // Half notches (touchpads) add up to one.
    const QPoint at = Form->PaintArea->mapFrom(Form->ScrollBox->viewport(), pointer);
    wheel(at, 60, Qt::ControlModifier);
    EXPECT_EQ(Form->ZoomFactor(), 16);
    wheel(at, 60, Qt::ControlModifier);
    ASSERT_EQ(Form->ZoomFactor(), 32);
    EXPECT_LE((onScreen({2402, 1202}) - pointer).manhattanLength(), 4);
    wheel(Form->PaintArea->mapFrom(Form->ScrollBox->viewport(), pointer), -120, Qt::ControlModifier);
    EXPECT_EQ(Form->ZoomFactor(), 16);
    EXPECT_EQ(Status(), "Zoom 200% (1000x700)");

    const int scrolled = Form->ScrollBox->verticalScrollBar()->value();
    wheel(Form->PaintArea->mapFrom(Form->ScrollBox->viewport(), pointer), -120, Qt::NoModifier);
    EXPECT_EQ(Form->ZoomFactor(), 16);
    EXPECT_GT(Form->ScrollBox->verticalScrollBar()->value(), scrolled);
    EXPECT_TRUE(Errors.empty());
}

}  // namespace
