// Folder browsing, full screen and the colour-pick tool of the main window.
#include "MainWindowKit.h"

#include <QClipboard>
#include <QFile>
#include <QPalette>
#include <QTest>

namespace {

class BrowseTest : public MainWindowTest {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        Form->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(Form.get()));
    }
    void Key(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QTest::keyClick(Form.get(), static_cast<Qt::Key>(key), modifiers);
    }
    void WriteFile(const std::string& name, const char* bytes) {
        QFile file(QString::fromStdString(Path(name)));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }
    std::string Shown() const { return QFileInfo(QString::fromStdString(Form->FileName())).fileName().toStdString(); }
};

TEST_F(BrowseTest, FolderKeysStepInNaturalOrderReportFailuresOnceAndStopAtTheEnds) {
    // Widths tell the pictures apart.
    WritePicture("pic1.bmp", 11, 5);
    WritePicture("Pic2.BMP", 12, 5);
    WriteFile("pic3.png", "\x89PNG\r\n\x1a\n and nothing else");
    WritePicture("pic10.bmp", 13, 5);
    WriteFile("pic4.txt", "not a picture");
    WriteFile("pic5", "no extension");
    Form->LoadImage(Path("pic1.bmp"));
    Form->UpdateActions();

    Key(Qt::Key_PageDown);
    EXPECT_EQ(Shown(), "Pic2.BMP");
    EXPECT_EQ(Form->CurrentImage()->Width(), 12);
    EXPECT_EQ(Status(), "Zoom 100% (12x5)");
    // The broken file is reported, the picture stays; the next key goes past it.
    Key(Qt::Key_Space);
    ASSERT_EQ(Errors.size(), 1u);
    EXPECT_EQ(Errors[0].rfind("Cannot open \"" + Path("pic3.png") + "\":\n", 0), 0u) << Errors[0];
    EXPECT_EQ(Shown(), "Pic2.BMP");
    Key(Qt::Key_PageDown);
    EXPECT_EQ(Shown(), "pic10.bmp");
    EXPECT_EQ(Form->CurrentImage()->Width(), 13);
    // No wrapping at the end: the status line says so and nothing else changes.
    Key(Qt::Key_PageDown);
    EXPECT_EQ(Shown(), "pic10.bmp");
    EXPECT_EQ(Status(), "This is the last picture in the folder.");
    EXPECT_EQ(Errors.size(), 1u);

    Key(Qt::Key_PageUp);
    EXPECT_EQ(Errors.size(), 2u);
    EXPECT_EQ(Shown(), "pic10.bmp");
    Key(Qt::Key_Backspace);
    EXPECT_EQ(Shown(), "Pic2.BMP");
    Key(Qt::Key_Backspace);
    EXPECT_EQ(Shown(), "pic1.bmp");
    EXPECT_EQ(Form->CurrentImage()->Width(), 11);
    Key(Qt::Key_PageUp);
    EXPECT_EQ(Shown(), "pic1.bmp");
    EXPECT_EQ(Status(), "This is the first picture in the folder.");
    // The notice stays over the timer's rewrites until the view changes.
    QTest::qWait(300);
    EXPECT_EQ(Status(), "This is the first picture in the folder.");
    Form->ExecuteAction(Form->actnZoomIn);
    EXPECT_EQ(Status(), "Zoom 200% (11x5)");
    // The folder has one place in the recent files: the picture shown last.
    EXPECT_EQ(Form->RecentList().Count(), 1u);
    EXPECT_EQ(Form->RecentList()[0], Path("pic1.bmp"));

    // A picture changed on disk after it was read ahead is read anew.
    Form->LoadImage(Path("pic1.bmp"));
    WritePicture("Pic2.BMP", 20, 6);
    Key(Qt::Key_PageDown);
    EXPECT_EQ(Form->CurrentImage()->Width(), 20);

    // A pasted picture has no folder: the keys do nothing.
    QImage pasted(4, 4, QImage::Format_RGB32);
    pasted.fill(Qt::red);
    QGuiApplication::clipboard()->setImage(pasted);
    QApplication::processEvents();
    Form->ExecuteAction(Form->actnPaste);
    EXPECT_FALSE(Form->actnNext->isEnabled());
    Key(Qt::Key_PageDown);
    EXPECT_EQ(Form->CurrentImage()->Width(), 4);
    EXPECT_EQ(Errors.size(), 2u);
}

TEST_F(BrowseTest, FullScreenShowsThePictureOnBlackWithTheKeysWorking) {
    WritePicture("b1.bmp", 30, 20);
    WritePicture("b2.bmp", 40, 20);
    Form->LoadImage(Path("b1.bmp"));
    Form->UpdateActions();
    SelectTool();
    Drag({2, 2}, {10, 10});
    ASSERT_TRUE(Form->HasSelection());

    Key(Qt::Key_F11);
    ASSERT_TRUE(Form->FullScreen());
    EXPECT_TRUE(Form->isFullScreen());
    EXPECT_FALSE(Form->Toolbar->isVisible());
    EXPECT_FALSE(Form->StatusBar->isVisible());
    EXPECT_EQ(Form->ScrollBox->viewport()->palette().color(QPalette::Window), QColor(Qt::black));
    // The picture is centred in the whole window.
    QApplication::processEvents();
    const QRect area = Form->PaintArea->geometry();
    EXPECT_EQ(area.left(), (Form->width() - 30) / 2);
    EXPECT_EQ(area.top(), (Form->height() - 20) / 2);

    // Escape leaves full screen first and keeps the selection; F11 goes back in.
    Key(Qt::Key_Escape);
    EXPECT_FALSE(Form->FullScreen());
    EXPECT_TRUE(Form->Toolbar->isVisible());
    EXPECT_TRUE(Form->HasSelection());
    Key(Qt::Key_F11);
    ASSERT_TRUE(Form->FullScreen());
    // The same keys: next picture, zoom, undo.
    Key(Qt::Key_PageDown);
    EXPECT_EQ(Form->CurrentImage()->Width(), 40);
    EXPECT_TRUE(Form->isFullScreen());
    Key(Qt::Key_Plus);
    EXPECT_EQ(Form->ZoomFactor(), 2 * ZoomUnit);
    Form->ExecuteAction(Form->actnFlip);
    Key(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_FALSE(Form->Modified());
    Key(Qt::Key_F11);
    EXPECT_FALSE(Form->FullScreen());
    EXPECT_TRUE(Form->StatusBar->isVisible());
    EXPECT_EQ(Form->ScrollBox->viewport()->palette().color(QPalette::Window), QColor(240, 240, 255));
    EXPECT_TRUE(Errors.empty()) << Errors[0];
}

TEST_F(BrowseTest, ColourPickShowsTheColourCopiesItAndStartsTheMixDialogWithIt) {
    Load(40, 30);  // blue x, green y, red 7
    ASSERT_TRUE(Form->btnColorPickTool->isEnabled());
    ClickButton(Form->btnColorPickTool);
    EXPECT_TRUE(Form->btnColorPickTool->Down());
    EXPECT_FALSE(Form->btnZoomTool->Down());
    EXPECT_FALSE(Form->btnSelectTool->Down());
    Form->ExecuteAction(Form->actnZoomIn);  // 200 %: view (21, 9) is pixel (10, 4)
    Press({21, 9});
    EXPECT_EQ(Status(), "10, 4: 7 4 10 #07040A");
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "#07040A");
    EXPECT_FALSE(Form->HasSelection());
    EXPECT_EQ(Form->ZoomFactor(), 2 * ZoomUnit);  // no zoom click either
    // The far corner, at the paint area's last pixel.
    Press({79, 59});
    EXPECT_EQ(Status(), "39, 29: 7 29 39 #071D27");
    std::optional<TColor> offered;
    Form->ChooseColor = [&offered](TColor initial) {
        offered = initial;
        return std::optional<TColor>();
    };
    Form->ExecuteAction(Form->actnMix);
    EXPECT_EQ(offered, RGBColor(7, 29, 39));
    // Another tool takes over: one tool down.
    ClickButton(Form->btnZoomTool);
    EXPECT_FALSE(Form->btnColorPickTool->Down());
    EXPECT_TRUE(Form->btnZoomTool->Down());
    EXPECT_TRUE(Errors.empty());
}

}  // namespace
