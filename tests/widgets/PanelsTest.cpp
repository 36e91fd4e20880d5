#include "ButtonTestKit.h"
#include "QtTestEnvironment.h"

#include "core/PixelBuffer.h"
#include "widgets/PixelBufferDraw.h"
#include "widgets/ThemeServices.h"
#include "widgets/ToolbarPanel.h"

#include <QPainter>
#include <QVBoxLayout>

namespace {

TEST(StatusPanelTest, SendsTheTextOnlyWhenItChanges) {
    TStatusPanel status;
    int sent = 0;
    QObject::connect(&status, &TStatusPanel::SimpleTextSent, [&] { ++sent; });
    status.SetSimpleText(QStringLiteral("Zoom 100% (640x480)"));
    status.SetSimpleText(QStringLiteral("Zoom 100% (640x480)"));
    EXPECT_EQ(sent, 1);
    status.SetSimpleText(QStringLiteral("Zoom 200% (640x480)"));
    EXPECT_EQ(sent, 2);
    status.SetColor(Qt::yellow);
    EXPECT_EQ(status.SimpleText(), QStringLiteral("Zoom 200% (640x480)"));
    EXPECT_EQ(status.height(), 19);
    EXPECT_TRUE(status.SizeGrip());
    EXPECT_TRUE(status.UseSystemFont());
}

TEST(StatusPanelTest, GripShowsOnlyInTheCornerOfAResizableWindow) {
    QWidget window;
    auto* column = new QVBoxLayout(&window);
    column->setContentsMargins(0, 0, 0, 0);
    column->addStretch();
    auto* status = new TStatusPanel(&window);
    column->addWidget(status);
    window.resize(300, 200);
    window.show();
    EXPECT_TRUE(status->SizeGripApplies());
    status->SetSizeGrip(false);
    EXPECT_FALSE(status->SizeGripApplies());
    status->SetSizeGrip(true);

    column->setContentsMargins(0, 0, 0, 5);  // no longer at the window's corner
    window.resize(301, 200);
    QApplication::processEvents();
    EXPECT_FALSE(status->SizeGripApplies());

    column->setContentsMargins(0, 0, 0, 0);
    window.setFixedSize(302, 200);
    QApplication::processEvents();
    EXPECT_FALSE(status->SizeGripApplies());
}

TEST(ToolbarPanelTest, PaintsItsColourWithoutThemesUnlessTheParentShowsThrough) {
    SetThemesEnabled(false);
    QWidget window;
    FillWindow(window, Qt::green);
    auto* toolbar = new TToolbarPanel(&window);
    toolbar->resize(100, toolbar->height());
    EXPECT_EQ(toolbar->height(), 27);
    toolbar->SetColor(Qt::blue);
    EXPECT_EQ(toolbar->grab().toImage().pixel(50, 10), qRgb(0, 255, 0));
    toolbar->SetParentBackground(false);
    EXPECT_EQ(toolbar->grab().toImage().pixel(50, 10), qRgb(0, 0, 255));
    SetThemesEnabled(true);
}

TEST(PixelBufferDrawTest, DrawsRowsTopDownAtOneToOne) {
    TPixelBuffer buffer(3, 2);           // stride 12: padding after each row
    buffer.SetPixel(0, 0, {255, 0, 0});  // blue
    buffer.SetPixel(2, 0, {0, 0, 255});  // red
    buffer.SetPixel(1, 1, {0, 255, 0});  // green
    QImage canvas(6, 4, QImage::Format_RGB32);
    canvas.fill(Qt::white);
    {
        QPainter p(&canvas);
        DrawPixelBuffer(p, 2, 1, buffer);
    }
    EXPECT_EQ(canvas.pixel(2, 1), qRgb(0, 0, 255));
    EXPECT_EQ(canvas.pixel(4, 1), qRgb(255, 0, 0));
    EXPECT_EQ(canvas.pixel(3, 2), qRgb(0, 255, 0));
    EXPECT_EQ(canvas.pixel(2, 2), qRgb(0, 0, 0));
    EXPECT_EQ(canvas.pixel(5, 1), qRgb(255, 255, 255));
    EXPECT_EQ(canvas.pixel(2, 3), qRgb(255, 255, 255));

    TPixelBuffer empty(0, 5);
    QPainter p(&canvas);
    DrawPixelBuffer(p, 0, 0, empty);
}

}  // namespace
