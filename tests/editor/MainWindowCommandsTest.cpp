#include "MainWindowKit.h"

#include "editor/GammaDialog.h"
#include "editor/ScaleDialog.h"
#include "platform/Stream.h"

#include <QClipboard>
#include <QComboBox>
#include <QFile>
#include <QFileInfo>

namespace {

using CommandsTest = MainWindowTest;

std::string FirstBytes(const std::string& fileName, int count) {
    QFile file(QString::fromStdString(fileName));
    if (!file.open(QIODevice::ReadOnly)) return {};
    return file.read(count).toStdString();
}

TEST_F(CommandsTest, WithoutAPictureOnlyOpenPasteAndAboutCanRun) {
    QGuiApplication::clipboard()->clear();
    QApplication::processEvents();
    Form->UpdateActions();
    EXPECT_TRUE(Form->actnOpen->isEnabled());
    EXPECT_TRUE(Form->actnAbout->isEnabled());
    for (QAction* a :
         {Form->actnSave, Form->actnCopy, Form->actnPaste, Form->actnUndo, Form->actnRotateLeft, Form->actnRotateRight,
          Form->actnFlip, Form->actnFlop, Form->actnScale, Form->actnCrop, Form->actnLight, Form->actnDark,
          Form->actnMix, Form->actnGamma, Form->actnZoomIn, Form->actnZoomOut})
        EXPECT_FALSE(a->isEnabled()) << a->text().toStdString();
    // A disabled command does not run, whichever way it is asked for.
    bool asked = false;
    Form->ChooseSaveFile = [&asked] {
        asked = true;
        return std::optional<std::string>();
    };
    Form->ExecuteAction(Form->actnSave);
    Form->actnSave->setEnabled(true);  // stale state: the rule is asked again before running
    Form->actnSave->trigger();
    EXPECT_FALSE(asked);
    EXPECT_TRUE(Errors.empty());
}

TEST_F(CommandsTest, CaptionsHintsAndShortcuts) {
    EXPECT_EQ(Form->windowTitle(), "Ovra Pixamo");
    EXPECT_EQ(Form->actnScale->text(), "Scale Image ...");
    EXPECT_EQ(Form->actnAbout->toolTip(), "About this program");
    EXPECT_EQ(Form->actnSave->toolTip(), "Save Image");
    EXPECT_EQ(Form->actnOpen->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_O));
    EXPECT_EQ(Form->actnZoomOut->shortcut(), QKeySequence(Qt::Key_Minus));
    EXPECT_EQ(Form->actnAbout->shortcut(), QKeySequence(Qt::Key_F1));
    const QList<QAction*> effects = Form->ColorEffectsMenu->actions();
    ASSERT_EQ(effects.size(), 4);
    EXPECT_EQ(effects[0], Form->actnGamma);
    EXPECT_EQ(effects[3], Form->actnMix);
    EXPECT_TRUE(Form->btnZoomTool->Down());
    EXPECT_FALSE(Form->btnColorPickTool->isEnabled());
    EXPECT_EQ(Form->DisabledImageList->Count(), Form->ImageList->Count());
}

TEST_F(CommandsTest, UndoIsOneLevelAndLoadEmptiesIt) {
    Load(30, 20);
    const auto original = TPixelBuffer::CreateCopy(*Form->CurrentImage());
    EXPECT_FALSE(Form->actnUndo->isEnabled());
    Form->ExecuteAction(Form->actnFlip);
    EXPECT_TRUE(Form->actnUndo->isEnabled());
    EXPECT_EQ(Form->CurrentImage()->GetPixel(0, 0), original->GetPixel(29, 0));
    Form->ExecuteAction(Form->actnUndo);
    EXPECT_TRUE(SamePixels(*Form->CurrentImage(), *original));
    EXPECT_FALSE(Form->actnUndo->isEnabled());
    Form->ExecuteAction(Form->actnUndo);
    EXPECT_NE(Form->CurrentImage(), nullptr);
    Form->ExecuteAction(Form->actnRotateRight);
    EXPECT_EQ(Form->CurrentImage()->Width(), 20);
    EXPECT_TRUE(Form->actnUndo->isEnabled());
    Load(40, 10);
    EXPECT_FALSE(Form->actnUndo->isEnabled());
    EXPECT_EQ(Form->UndoImage(), nullptr);

    // A failing load drops the undo copy too, and keeps the picture and the recent files.
    Form->ExecuteAction(Form->actnDark);
    const std::size_t recent = Form->RecentList().Count();
    const TPixelBuffer* before = Form->CurrentImage();
    OpenName = WritePicture("broken.png", 1, 1);
    QFile broken(QString::fromStdString(*OpenName));
    ASSERT_TRUE(broken.open(QIODevice::WriteOnly | QIODevice::Truncate));
    broken.write("\x89PNG\r\n\x1a\n but not much else");
    broken.close();
    Form->ExecuteAction(Form->actnOpen);
    EXPECT_EQ(Errors.size(), 1u);
    EXPECT_EQ(Form->CurrentImage(), before);
    EXPECT_EQ(Form->UndoImage(), nullptr);
    EXPECT_EQ(Form->RecentList().Count(), recent);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(CommandsTest, PasteAfterAnEditKeepsTheUndoCopyOfThatEdit) {
    Load(30, 20);
    const auto original = TPixelBuffer::CreateCopy(*Form->CurrentImage());
    Form->ExecuteAction(Form->actnLight);
    QImage pasted(17, 9, QImage::Format_RGB32);
    pasted.fill(QColor(10, 20, 30));
    QGuiApplication::clipboard()->setImage(pasted);
    QApplication::processEvents();
    Form->ExecuteAction(Form->actnPaste);
    ASSERT_EQ(Form->CurrentImage()->Width(), 17);
    EXPECT_EQ(Form->CurrentImage()->GetPixel(3, 3), (TPixel24{30, 20, 10}));
    EXPECT_EQ(Status(), "Zoom 100% (17x9)");
    Form->ExecuteAction(Form->actnUndo);
    EXPECT_TRUE(SamePixels(*Form->CurrentImage(), *original));
}

TEST_F(CommandsTest, EnlightenKeepsTheSelectionAndFlipClearsIt) {
    Load(40, 30);
    SelectTool();
    Drag({5, 5}, {20, 15});
    Form->ExecuteAction(Form->actnLight);
    EXPECT_TRUE(Form->HasSelection());
    EXPECT_TRUE(Form->SelectionTimer->isActive());
    EXPECT_EQ(Form->CurrentImage()->GetPixel(0, 0).Red, 7 + (255 - 7) / 10 + 1);
    Form->ExecuteAction(Form->actnFlip);
    EXPECT_FALSE(Form->HasSelection());
    EXPECT_FALSE(Form->SelectionTimer->isActive());
}

TEST_F(CommandsTest, CopyTakesTheSelectionOrTheWholePictureAndCropKeepsTheSelection) {
    Load(50, 40);
    Form->ExecuteAction(Form->actnCopy);
    EXPECT_EQ(QGuiApplication::clipboard()->image().size(), QSize(50, 40));
    SelectTool();
    Drag({10, 5}, {60, 60});  // past the last column and row
    Form->ExecuteAction(Form->actnCopy);
    const QImage copied = QGuiApplication::clipboard()->image();
    EXPECT_EQ(copied.size(), QSize(40, 35));
    EXPECT_EQ(qBlue(copied.pixel(0, 0)), 10);
    EXPECT_EQ(qGreen(copied.pixel(0, 0)), 5);
    EXPECT_EQ(Form->UndoImage(), nullptr);

    Form->ExecuteAction(Form->actnZoomIn);
    EXPECT_TRUE(Form->actnCrop->isEnabled());
    Form->ExecuteAction(Form->actnCrop);
    EXPECT_EQ(Form->CurrentImage()->Width(), 40);
    EXPECT_EQ(Form->CurrentImage()->Height(), 35);
    EXPECT_EQ(Form->CurrentImage()->GetPixel(39, 34), (TPixel24{49, 39, 7}));
    EXPECT_EQ(Form->ZoomFactor(), 8);
    EXPECT_FALSE(Form->HasSelection());
    EXPECT_FALSE(Form->actnCrop->isEnabled());
    EXPECT_EQ(Form->UndoImage()->Width(), 50);
}

TEST_F(CommandsTest, SaveWritesJpegOnlyForDotJpgInAnyCase) {
    Load(16, 8);
    SaveName = Path("shot.JpG");
    Form->ExecuteAction(Form->actnSave);
    EXPECT_EQ(FirstBytes(*SaveName, 2), "\xFF\xD8");
    SaveName = Path("shot.jpeg");
    Form->ExecuteAction(Form->actnSave);
    EXPECT_EQ(FirstBytes(*SaveName, 2), "BM");
    SaveName = Path("plain");
    Form->ExecuteAction(Form->actnSave);
    EXPECT_EQ(FirstBytes(*SaveName, 2), "BM");
    EXPECT_EQ(Form->RecentList()[0], *SaveName);
    // An uncompressed 24-bit bitmap: headers and 8 rows of 48 bytes.
    EXPECT_EQ(QFileInfo(QString::fromStdString(*SaveName)).size(), 54 + 8 * 48);

    // A name that cannot be written: the message, and no recent-files entry.
    SaveName = Path("missing-folder/shot.bmp");
    Form->ExecuteAction(Form->actnSave);
    EXPECT_EQ(Errors.size(), 1u);
    EXPECT_NE(Form->RecentList()[0], *SaveName);
}

TEST_F(CommandsTest, ScaleResamplesIntoTheNewSizeAndRefusesAnEmptyOne) {
    Load(40, 20);
    Form->RunScaleDialog = [](TfrmScale& dialog) {
        EXPECT_EQ(dialog.eOrigWidth->text(), "40");
        ClickButton(dialog.btnLock);  // free proportions
        dialog.eNewWidth->setText("10");
        dialog.eNewHeight->setText("30");
        dialog.FilterBox->setCurrentIndex(0);
        return true;
    };
    Form->ExecuteAction(Form->actnScale);
    ASSERT_TRUE(Errors.empty()) << Errors[0];
    EXPECT_EQ(Form->CurrentImage()->Width(), 10);
    EXPECT_EQ(Form->CurrentImage()->Height(), 30);
    EXPECT_EQ(Form->UndoImage()->Width(), 40);
    EXPECT_EQ(Status(), "Zoom 100% (10x30)");

    Form->RunScaleDialog = [](TfrmScale& dialog) {
        ClickButton(dialog.btnLock);
        dialog.eNewWidth->setText("0");
        return true;
    };
    const TPixelBuffer* before = Form->CurrentImage();
    Form->ExecuteAction(Form->actnScale);
    ASSERT_EQ(Errors.size(), 1u);
    EXPECT_EQ(Form->CurrentImage(), before);
    EXPECT_EQ(Form->UndoImage()->Width(), 40);

    Form->RunScaleDialog = [](TfrmScale& dialog) {
        dialog.eNewHeight->setText("ten");
        return true;
    };
    Form->ExecuteAction(Form->actnScale);
    EXPECT_EQ(Errors.size(), 2u);
    EXPECT_EQ(Form->CurrentImage(), before);
}

TEST_F(CommandsTest, MixRemembersTheColourAndGammaChangesThePicture) {
    Load(8, 8);
    std::vector<TColor> offered;
    Form->ChooseColor = [&offered](TColor initial) {
        offered.push_back(initial);
        return std::optional<TColor>(RGBColor(255, 0, 0));
    };
    Form->ExecuteAction(Form->actnMix);
    Form->ChooseColor = [&offered](TColor initial) {
        offered.push_back(initial);
        return std::optional<TColor>();
    };
    Form->ExecuteAction(Form->actnMix);
    ASSERT_EQ(offered.size(), 2u);
    EXPECT_EQ(offered[0], 0u);
    EXPECT_EQ(offered[1], RGBColor(255, 0, 0));
    EXPECT_GT(Form->CurrentImage()->GetPixel(0, 0).Red, 7);

    const auto mixed = TPixelBuffer::CreateCopy(*Form->CurrentImage());
    Form->RunGammaDialog = [](TfrmGamma&) { return false; };
    Form->ExecuteAction(Form->actnGamma);
    EXPECT_TRUE(SamePixels(*Form->UndoImage(), *TPixelBuffer::CreateCopy(*Form->UndoImage())));
    EXPECT_TRUE(SamePixels(*Form->CurrentImage(), *mixed));
    Form->RunGammaDialog = [](TfrmGamma& dialog) {
        dialog.GammaTrack->setValue(dialog.GammaTrack->maximum());
        return true;
    };
    Form->ExecuteAction(Form->actnGamma);
    EXPECT_FALSE(SamePixels(*Form->CurrentImage(), *mixed));
    EXPECT_TRUE(SamePixels(*Form->UndoImage(), *mixed));
}

TEST_F(CommandsTest, ZoomIsRefusedWhenTheViewWouldBeTooLarge) {
    Form->ViewPixelLimit = 20000;
    Form->LoadImage(WritePicture("long.bmp", 50, 40));
    Form->ExecuteAction(Form->actnZoomIn);
    EXPECT_EQ(Form->ZoomFactor(), 16);
    Form->ExecuteAction(Form->actnZoomIn);
    ASSERT_EQ(Errors.size(), 1u);
    EXPECT_NE(Errors[0].find("400%"), std::string::npos) << Errors[0];
    EXPECT_EQ(Form->ZoomFactor(), 16);
    EXPECT_EQ(Form->ViewImage()->Width(), 100);
    EXPECT_EQ(Status(), "Zoom 200% (50x40)");
}

}  // namespace
