#include "MainWindowKit.h"

#include "core/Resample.h"
#include "core/SavePicture.h"
#include "editor/GammaDialog.h"
#include "editor/ScaleDialog.h"
#include "platform/Stream.h"
#include "settings/SettingsFile.h"

#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QSlider>
#include <QSpinBox>
#include <QTest>

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
    Form->ChooseSaveFile = [&asked](const std::string&) {
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
    // A tooltip names the command's key; Undo, which has no hint, by its caption.
    EXPECT_EQ(Form->actnAbout->toolTip(), "About this program (F1)");
    EXPECT_EQ(Form->actnSave->toolTip(), "Save Image (Ctrl+S)");
    EXPECT_EQ(Form->btnSave->toolTip(), "Save Image (Ctrl+S)");
    EXPECT_EQ(Form->actnUndo->toolTip(), "Undo (Ctrl+Z)");
    EXPECT_EQ(Form->actnZoomIn->toolTip(), "Zoom In (+)");
    EXPECT_EQ(Form->actnFlip->toolTip(), "Flip");
    EXPECT_EQ(Form->actnSave->statusTip(), "Save Image");
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

TEST_F(CommandsTest, UndoWithNothingLeftChangesNothingAndLoadEmptiesTheSteps) {
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
}

TEST_F(CommandsTest, AFailedOpenChangesNothingAndItsMessageNamesTheFile) {
    Load(30, 20);
    const std::string name = Form->FileName();
    Form->ExecuteAction(Form->actnDark);
    Form->ExecuteAction(Form->actnZoomIn);
    SelectTool();
    Drag({4, 4}, {30, 20});
    const std::size_t recent = Form->RecentList().Count();
    const TPixelBuffer* before = Form->CurrentImage();
    const TPixelBuffer* undo = Form->UndoImage();
    const QPoint selEnd = Form->SelEnd();
    ASSERT_NE(undo, nullptr);
    OpenName = Path("broken.png");
    QFile broken(QString::fromStdString(*OpenName));
    ASSERT_TRUE(broken.open(QIODevice::WriteOnly | QIODevice::Truncate));
    broken.write("\x89PNG\r\n\x1a\n but not much else");
    broken.close();
    Form->ExecuteAction(Form->actnOpen);
    ASSERT_EQ(Errors.size(), 1u);
    // The reader's own message, after the file's name.
    const std::string prefix = "Cannot open \"" + *OpenName + "\":\n";
    EXPECT_EQ(Errors[0].substr(0, prefix.size()), prefix);
    EXPECT_GT(Errors[0].size(), prefix.size());
    EXPECT_EQ(Form->CurrentImage(), before);
    EXPECT_EQ(Form->UndoImage(), undo);
    EXPECT_TRUE(Form->actnUndo->isEnabled());
    EXPECT_EQ(Form->FileName(), name);
    EXPECT_EQ(Form->ZoomFactor(), 2 * ZoomUnit);
    EXPECT_EQ(Form->SelEnd(), selEnd);
    EXPECT_EQ(Form->RecentList().Count(), recent);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);

    // A file no reader claims and whose extension is unknown: the same form.
    OpenName = Path("notes.txt");
    QFile text(QString::fromStdString(*OpenName));
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    text.write("plain words");
    text.close();
    Form->ExecuteAction(Form->actnOpen);
    ASSERT_EQ(Errors.size(), 2u);
    EXPECT_EQ(Errors[1], "Cannot open \"" + *OpenName + "\":\nUnknown picture file extension (.txt)");
    EXPECT_EQ(Form->UndoImage(), undo);
}

TEST_F(CommandsTest, PasteCanBeUndoneLikeEveryOtherChange) {
    Load(30, 20);
    Form->ExecuteAction(Form->actnLight);
    const auto edited = TPixelBuffer::CreateCopy(*Form->CurrentImage());
    QImage pasted(17, 9, QImage::Format_RGB32);
    pasted.fill(QColor(10, 20, 30));
    QGuiApplication::clipboard()->setImage(pasted);
    QApplication::processEvents();
    Form->ExecuteAction(Form->actnPaste);
    ASSERT_EQ(Form->CurrentImage()->Width(), 17);
    EXPECT_EQ(Form->CurrentImage()->GetPixel(3, 3), (TPixel24{30, 20, 10}));
    EXPECT_EQ(Status(), "Zoom 100% (17x9)");
    EXPECT_EQ(Form->FileName(), "");
    // Undo brings back the picture the paste replaced, with its file.
    ASSERT_TRUE(Form->actnUndo->isEnabled());
    Form->ExecuteAction(Form->actnUndo);
    EXPECT_TRUE(SamePixels(*Form->CurrentImage(), *edited));
    EXPECT_EQ(Form->FileName(), Path("picture.bmp"));
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

TEST_F(CommandsTest, SaveWritesTheFormatTheNameAsksFor) {
    Load(16, 8);
    // ".jpeg" gave a bitmap under a JPEG name once; every JPEG extension now gives a JPEG.
    const std::pair<const char*, std::string> written[] = {
        {"shot.JpG", "\xFF\xD8"},  {"shot.jpeg", "\xFF\xD8"},
        {"shot.JFIF", "\xFF\xD8"}, {"shot.png", "\x89PNG"},
        {"shot.webp", "RIFF"},     {"shot.tiff", std::string("II*\0", 4)},
        {"shot.gif", "BM"},        {"plain", "BM"}};
    for (const auto& [name, head] : written) {
        SaveName = Path(name);
        Form->ExecuteAction(Form->actnSave);
        EXPECT_EQ(FirstBytes(*SaveName, static_cast<int>(head.size())), head) << name;
    }
    EXPECT_EQ(Form->RecentList()[0], *SaveName);
    // An uncompressed 24-bit bitmap: headers and 8 rows of 48 bytes.
    EXPECT_EQ(QFileInfo(QString::fromStdString(*SaveName)).size(), 54 + 8 * 48);

    // A name that cannot be written: the message, and no recent-files entry.
    SaveName = Path("missing-folder/shot.bmp");
    Form->ExecuteAction(Form->actnSave);
    EXPECT_EQ(Errors.size(), 1u);
    EXPECT_NE(Form->RecentList()[0], *SaveName);
}

TEST_F(CommandsTest, JpegAndWebpSavesAskForOptionsAndTheSettingsKeepThem) {
    Load(40, 30);
    std::vector<QString> titles;
    AnswerSaveOptions = [&titles](TfrmSaveOptions& dialog) {
        titles.push_back(dialog.windowTitle());
        if (dialog.windowTitle() == "JPEG Options") {
            EXPECT_EQ(dialog.eQuality->value(), 95);
            EXPECT_TRUE(dialog.cbProgressive->isChecked());
            dialog.QualityTrack->setValue(40);
            dialog.cbProgressive->setChecked(false);
        } else {
            EXPECT_FALSE(dialog.cbLossless->isChecked());
            dialog.eQuality->setValue(70);
            dialog.cbLossless->setChecked(true);
        }
        return true;
    };
    for (const char* name : {"a.png", "a.jpg", "a.webp", "a.tif"}) {
        SaveName = Path(name);
        Form->ExecuteAction(Form->actnSave);
    }
    ASSERT_TRUE(Errors.empty()) << Errors[0];
    EXPECT_EQ(titles, (std::vector<QString>{"JPEG Options", "WebP Options"}));
    // Baseline, as chosen: no progressive frame marker.
    EXPECT_EQ(ReadWholeFile(Path("a.jpg")),
              EncodePicture(*Form->CurrentImage(), TSaveFormat::Jpeg, {40, false, false}));
    EXPECT_EQ(FirstBytes(Path("a.webp"), 16).substr(12), "VP8L");  // lossless

    // Cancel writes nothing.
    AnswerSaveOptions = [](TfrmSaveOptions&) { return false; };
    SaveName = Path("b.jpg");
    Form->ExecuteAction(Form->actnSave);
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(*SaveName)));
    EXPECT_NE(Form->RecentList()[0], *SaveName);

    Close();
    Open();
    EXPECT_EQ(Form->JpegOptions().Quality, 40);
    EXPECT_FALSE(Form->JpegOptions().Progressive);
    EXPECT_EQ(Form->WebpOptions().Quality, 70);
    EXPECT_TRUE(Form->WebpOptions().Lossless);
    EXPECT_TRUE(Form->KeepMetadata());
}

TEST_F(CommandsTest, SaveDialogGivesABareNameTheExtensionOfTheChosenType) {
    const auto dialog = CreateSaveDialog(nullptr, Path("shot.jpg"));
    auto* types = dialog->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
    auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    ASSERT_NE(types, nullptr);
    ASSERT_NE(name, nullptr);
    EXPECT_EQ(dialog->selectedNameFilter(), "JPEG Image File (*.jpg *.jpeg *.jpe *.jfif)");
    EXPECT_EQ(name->text(), "shot.jpg");
    EXPECT_EQ(QDir(dialog->directory()), QDir(Dir.path()));
    name->setText(QStringLiteral("plain"));
    EXPECT_EQ(dialog->selectedFiles().value(0), Dir.filePath(QStringLiteral("plain.jpg")));

    // The user picks the next type from the list and types a bare name.
    QTest::keyClick(types, Qt::Key_Down);
    ASSERT_EQ(dialog->selectedNameFilter(), "PNG Image File (*.png)");
    name->setText(QStringLiteral("plain"));
    EXPECT_EQ(dialog->selectedFiles().value(0), Dir.filePath(QStringLiteral("plain.png")));
    EXPECT_EQ(types->count(), 5);
    // A typed extension wins.
    name->setText(QStringLiteral("typed.jpg"));
    EXPECT_EQ(dialog->selectedFiles().value(0), Dir.filePath(QStringLiteral("typed.jpg")));

    // A name is proposed with its own type chosen.
    const auto second = CreateSaveDialog(nullptr, Path("old.BMP"));
    EXPECT_EQ(second->selectedNameFilter(), "Bitmap File (*.bmp)");
    second->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(QStringLiteral("new"));
    EXPECT_EQ(second->selectedFiles().value(0), Dir.filePath(QStringLiteral("new.bmp")));
    const auto third = CreateSaveDialog(nullptr, Path("scan.TIFF"));
    EXPECT_EQ(third->selectedNameFilter(), "TIFF Image File (*.tif *.tiff)");
    third->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(QStringLiteral("new"));
    EXPECT_EQ(third->selectedFiles().value(0), Dir.filePath(QStringLiteral("new.tif")));
}

TEST_F(CommandsTest, OpenStartsInThePicturesFolderAndSaveProposesItsName) {
    std::vector<std::string> asked;
    Form->ChooseOpenFile = [&asked](const std::string& folder) {
        asked.push_back(folder);
        return std::optional<std::string>();
    };
    Form->ChooseSaveFile = [&asked, this](const std::string& name) {
        asked.push_back(name);
        return SaveName;
    };
    Form->ExecuteAction(Form->actnOpen);
    Load(8, 8);
    Form->ExecuteAction(Form->actnOpen);
    Form->ExecuteAction(Form->actnSave);
    // A PNG keeps its name; a picture of a type not written (a GIF name) is proposed under the
    // JPEG extension: saved under its own name it would become a bitmap named ".gif".
    ASSERT_TRUE(QImage(6, 4, QImage::Format_RGB32).save(QString::fromStdString(Path("photo.png"))));
    Form->LoadImage(Path("photo.png"));
    Form->ExecuteAction(Form->actnSave);
    ASSERT_TRUE(QImage(6, 4, QImage::Format_RGB32).save(QString::fromStdString(Path("photo.gif")), "PNG"));
    Form->LoadImage(Path("photo.gif"));
    SaveName = Path("copy.bmp");
    Form->ExecuteAction(Form->actnSave);
    EXPECT_EQ(Form->FileName(), *SaveName);
    SaveName.reset();
    Form->ExecuteAction(Form->actnSave);
    // A name without an extension, or ending in a dot, gets the JPEG one.
    for (const char* name : {"bare", "dotted."}) {
        ASSERT_TRUE(QImage(2, 2, QImage::Format_RGB32).save(QString::fromStdString(Path(name)), "PNG"));
        Form->LoadImage(Path(name));
        Form->ExecuteAction(Form->actnSave);
    }
    ASSERT_TRUE(Errors.empty()) << Errors[0];
    const std::string folder = Dir.path().toStdString();
    EXPECT_EQ(asked, (std::vector<std::string>{"", folder, Path("picture.bmp"), Path("photo.png"), Path("photo.jpg"),
                                               Path("copy.bmp"), Path("bare.jpg"), Path("dotted.jpg")}));

    const auto dialog = CreateOpenDialog(nullptr, folder);
    EXPECT_EQ(QDir(dialog->directory()), QDir(Dir.path()));
}

TEST_F(CommandsTest, KeysUndoZoomAndClearTheSelection) {
    Load(40, 30);
    Form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(Form.get()));
    Form->ExecuteAction(Form->actnFlip);
    QTest::keyClick(Form.get(), Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(Form->UndoImage(), nullptr);
    EXPECT_EQ(Form->CurrentImage()->GetPixel(0, 0).Blue, 0);
    QTest::keyClick(Form.get(), Qt::Key_Plus, Qt::ControlModifier);
    EXPECT_EQ(Form->ZoomFactor(), 2 * ZoomUnit);
    QTest::keyClick(Form.get(), Qt::Key_Equal, Qt::ControlModifier);
    EXPECT_EQ(Form->ZoomFactor(), 4 * ZoomUnit);
    QTest::keyClick(Form.get(), Qt::Key_Minus, Qt::ControlModifier);
    QTest::keyClick(Form.get(), Qt::Key_Minus);
    EXPECT_EQ(Form->ZoomFactor(), ZoomUnit);

    SelectTool();
    Drag({5, 5}, {20, 15});
    ASSERT_TRUE(Form->HasSelection());
    QTest::keyClick(Form.get(), Qt::Key_Escape);
    EXPECT_FALSE(Form->HasSelection());
    EXPECT_FALSE(Form->SelectionTimer->isActive());
    EXPECT_FALSE(Form->actnCrop->isEnabled());
    EXPECT_EQ(Status(), "Zoom 100% (40x30)");
    EXPECT_TRUE(Form->isVisible());
    EXPECT_TRUE(Errors.empty());
}

TEST_F(CommandsTest, ViewIsLanczos3UpToOneHundredPercentAndSplineAbove) {
    // Sharp edges, where the two filters differ.
    auto picture = TPixelBuffer::Create(24, 16);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 24; ++x) {
            const auto v = static_cast<std::uint8_t>(((x / 3 + y / 2) % 2) * 200 + x);
            picture->SetPixel(x, y, {v, static_cast<std::uint8_t>(255 - v), static_cast<std::uint8_t>(y * 9)});
        }
    SaveBmpFile({picture->Bits(), 24, 16, picture->Stride()}, Path("edges.bmp"));
    Form->LoadImage(Path("edges.bmp"));
    const auto rendered = [this](TFilterFunction filter, float support) {
        auto view = TPixelBuffer::Create(Form->PaintArea->width(), Form->PaintArea->height());
        Form->CurrentImage()->Resample(*view, filter, support);
        return view;
    };
    for (int zoom : {ZoomUnit, 2 * ZoomUnit, 4 * ZoomUnit, ZoomUnit / 2, ZoomUnit / 4}) {
        while (Form->ZoomFactor() < zoom) Form->ExecuteAction(Form->actnZoomIn);
        while (Form->ZoomFactor() > zoom) Form->ExecuteAction(Form->actnZoomOut);
        ASSERT_EQ(Form->ZoomFactor(), zoom);
        ASSERT_EQ(Form->PaintArea->width(), 24 * zoom / ZoomUnit);
        const auto spline = rendered(SplineFilter, 2.0f);
        const auto lanczos3 = rendered(Lanczos3Filter, 3.0f);
        ASSERT_FALSE(SamePixels(*spline, *lanczos3)) << zoom;
        EXPECT_TRUE(SamePixels(*Form->ViewPixels(Form->PaintArea->rect()), zoom > ZoomUnit ? *spline : *lanczos3))
            << zoom;
    }
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

TEST_F(CommandsTest, ZoomIsRefusedOnlyWhereQtCannotShowTheView) {
    // Qt's widget limit stands in small.
    Form->ViewSideLimit = 150;
    Form->LoadImage(WritePicture("long.bmp", 50, 40));
    Form->ExecuteAction(Form->actnZoomIn);
    EXPECT_EQ(Form->ZoomFactor(), 16);
    Form->ExecuteAction(Form->actnZoomIn);
    ASSERT_EQ(Errors.size(), 1u);
    EXPECT_NE(Errors[0].find("400%"), std::string::npos) << Errors[0];
    EXPECT_EQ(Form->ZoomFactor(), 16);
    EXPECT_EQ(Form->PaintArea->width(), 100);
    EXPECT_EQ(Status(), "Zoom 200% (50x40)");

    // A picture scaled past what the zoom can show is shown at the largest zoom that can;
    // undo shows the former picture at the zoom now in force.
    Form->RunScaleDialog = [](TfrmScale& dialog) {
        dialog.eNewWidth->setText("100");
        return true;
    };
    Form->ExecuteAction(Form->actnScale);
    ASSERT_EQ(Errors.size(), 1u);
    EXPECT_EQ(Form->CurrentImage()->Width(), 100);
    EXPECT_EQ(Form->ZoomFactor(), 8);
    EXPECT_EQ(Form->PaintArea->size(), QSize(100, 80));
    Form->ExecuteAction(Form->actnUndo);
    EXPECT_EQ(Form->CurrentImage()->Width(), 50);
    EXPECT_EQ(Form->PaintArea->width(), 50);
    EXPECT_EQ(Errors.size(), 1u);
}

}  // namespace

TEST_F(CommandsTest, PhotosOpenUprightUnlessTheAutoOrientSettingIsOff) {
    // A 6x4 JPEG whose EXIF block says orientation 6: shown a quarter turn clockwise.
    const auto picture = PositionPicture(6, 4);
    TMemoryStream jpeg;
    WriteJpegStream({picture->Bits(), 6, 4, picture->Stride()}, jpeg, 95, false);
    const std::vector<std::uint8_t> app1 = {0xFF, 0xE1, 0, 34, 'E', 'x', 'i', 'f', 0, 0, 'I', 'I', 42, 0, 8, 0, 0, 0, 1,
                                            0,    0x12, 1, 3,  0,   1,   0,   0,   0, 6, 0,   0,   0,  0, 0, 0, 0};
    std::vector<std::uint8_t> bytes = jpeg.Data();
    bytes.insert(bytes.begin() + 2, app1.begin(), app1.end());
    const std::string name = Path("turned.jpg");
    {
        TFileStream file(name, TFileMode::Create);
        file.WriteBuffer(bytes.data(), bytes.size());
    }
    Form->LoadImage(name);
    ASSERT_TRUE(Errors.empty()) << Errors[0];
    EXPECT_EQ(Form->CurrentImage()->Width(), 4);
    EXPECT_EQ(Form->CurrentImage()->Height(), 6);
    // Closing writes both switches, on, into the settings file, where they can be turned off.
    Close();
    {
        TXMLDataBase store(Path("pixamo.xdb"), InitialSettingsText);
        EXPECT_TRUE(store.ReadSetting("AutoOrient", false).AsBoolean());
        EXPECT_TRUE(store.ReadSetting("ColorManagement", false).AsBoolean());
        store.WriteSetting("AutoOrient", false);
        store.Save();
    }
    Open();
    EXPECT_FALSE(Form->LoadOptions().AutoOrient);
    Form->LoadImage(name);
    EXPECT_EQ(Form->CurrentImage()->Width(), 6);
    EXPECT_EQ(Form->CurrentImage()->Height(), 4);
}
