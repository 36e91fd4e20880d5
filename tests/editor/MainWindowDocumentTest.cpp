// Unsaved changes, the caption, undo and redo, folder browsing, full screen and the
// colour-pick tool of the main window.
#include "MainWindowKit.h"

#include "core/Resample.h"
#include "core/Transforms.h"
#include "editor/GammaDialog.h"
#include "editor/ScaleDialog.h"
#include "settings/SettingsFile.h"
#include "widgets/Glyphs.h"

#include <QClipboard>
#include <QDropEvent>
#include <QFile>
#include <QLayout>
#include <QLineEdit>
#include <QMimeData>
#include <QSlider>
#include <QTest>
#include <QUrl>

#include <functional>

namespace {

class DocumentTest : public MainWindowTest {
protected:
    void Key(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QTest::keyClick(Form.get(), static_cast<Qt::Key>(key), modifiers);
    }
    void Activate() {
        Form->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(Form.get()));
    }
    void Drop(const std::string& fileName) {
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(QString::fromStdString(fileName))});
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(Form.get(), &enter);
        QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(Form.get(), &drop);
        QApplication::processEvents();  // a question is asked after the drop
    }
    void PutPictureOnClipboard(int width, int height) {
        QImage picture(width, height, QImage::Format_RGB32);
        picture.fill(QColor(10, 20, 30));
        QGuiApplication::clipboard()->setImage(picture);
        QApplication::processEvents();
    }
    std::string Caption() const { return Form->windowTitle().toStdString(); }
    void WriteUndoBound(int megabytes) {
        Close();
        {
            TXMLDataBase store(Path("pixamo.xdb"), InitialSettingsText);
            store.WriteSetting("UndoMemoryMB", megabytes);
            store.Save();
        }
        Open();
    }
};

// Every way of replacing the picture, and closing the window, asks about unsaved changes:
// Cancel and a cancelled save keep everything, Discard goes ahead, Save writes the picture
// first. Without changes nothing is asked.
TEST_F(DocumentTest, SaveQuestionComesExactlyWithUnsavedChangesAndEachAnswerWorks) {
    const std::string first = WritePicture("a1.bmp", 30, 20);
    const std::string second = WritePicture("a2.bmp", 12, 10);
    PutPictureOnClipboard(17, 9);
    Activate();
    struct TWay {
        const char* Name;
        std::function<void()> Run;
        std::string Opens;  // the file it opens; "" for the clipboard
    };
    const std::vector<TWay> ways = {
        {"open", [&] { OpenName = second, Form->ExecuteAction(Form->actnOpen); }, second},
        {"recent",
         [&] {
             Form->RecentMenuPopup();
             for (QAction* item : Form->RecentMenu->actions())
                 if (item->data().toString().toStdString() == second) item->trigger();
         },
         second},
        {"drop", [&] { Drop(second); }, second},
        {"next key", [&] { Key(Qt::Key_PageDown); }, second},
        {"paste", [&] { Form->ExecuteAction(Form->actnPaste); }, ""},
    };
    int saved = 0;
    for (const TWay& way : ways) {
        SCOPED_TRACE(way.Name);
        Form->LoadImage(second);  // in the recent files
        Form->LoadImage(first);
        Questions.clear();
        // Unchanged: no question.
        way.Run();
        EXPECT_TRUE(Questions.empty());
        EXPECT_EQ(Form->FileName(), way.Opens);

        for (TSaveChoice answer : {TSaveChoice::Cancel, TSaveChoice::Save, TSaveChoice::Discard, TSaveChoice::Save}) {
            Form->LoadImage(second);
            Form->LoadImage(first);
            Form->ExecuteAction(Form->actnFlip);
            const auto edited = TPixelBuffer::CreateCopy(*Form->CurrentImage());
            const TPixelBuffer* before = Form->CurrentImage();
            Questions.clear();
            SaveAnswer = answer;
            // The first Save has its dialog cancelled: the picture stays as it was.
            const bool dialogCancelled = answer == TSaveChoice::Save && saved % 2 == 0;
            const std::string saveName = Path("saved" + std::to_string(saved) + ".bmp");
            if (answer == TSaveChoice::Save) ++saved;
            SaveName = dialogCancelled ? std::nullopt : std::optional<std::string>(saveName);
            way.Run();
            ASSERT_EQ(Questions, std::vector<std::string>{"a1.bmp"});
            const bool kept = answer == TSaveChoice::Cancel || dialogCancelled;
            if (kept) {
                EXPECT_EQ(Form->CurrentImage(), before);
                EXPECT_EQ(Form->FileName(), first);
                EXPECT_TRUE(Form->Modified());
                EXPECT_TRUE(Form->actnUndo->isEnabled());
            } else {
                EXPECT_EQ(Form->FileName(), way.Opens);
                EXPECT_FALSE(Form->Modified());
            }
            if (answer == TSaveChoice::Save && !dialogCancelled) {
                ASSERT_TRUE(QFile::exists(QString::fromStdString(saveName)));
                Form->LoadImage(saveName);
                EXPECT_TRUE(SamePixels(*Form->CurrentImage(), *edited));
            }
        }
    }
    EXPECT_TRUE(Errors.empty()) << Errors[0];

    // Closing: Cancel keeps the window open, Discard closes it.
    Form->LoadImage(first);
    Form->ExecuteAction(Form->actnLight);
    Questions.clear();
    SaveAnswer = TSaveChoice::Cancel;
    EXPECT_FALSE(Form->close());
    EXPECT_TRUE(Form->isVisible());
    SaveAnswer = TSaveChoice::Discard;
    EXPECT_TRUE(Form->close());
    EXPECT_EQ(Questions.size(), 2u);
    // Undone back to the file's content: nothing to ask.
    Open();
    Form->LoadImage(first);
    Form->ExecuteAction(Form->actnLight);
    Form->ExecuteAction(Form->actnUndo);
    Questions.clear();
    EXPECT_TRUE(Form->close());
    EXPECT_TRUE(Questions.empty());
}

TEST_F(DocumentTest, CaptionNamesThePictureAndMarksUnsavedChanges) {
    EXPECT_EQ(Caption(), "Ovra Pixamo");
    Form->LoadImage(WritePicture("photo.bmp", 20, 10));
    EXPECT_EQ(Caption(), "photo.bmp \u2013 Ovra Pixamo");
    Form->ExecuteAction(Form->actnDark);
    EXPECT_EQ(Caption(), "photo.bmp* \u2013 Ovra Pixamo");
    Form->ExecuteAction(Form->actnUndo);
    EXPECT_EQ(Caption(), "photo.bmp \u2013 Ovra Pixamo");
    Form->ExecuteAction(Form->actnRedo);
    EXPECT_EQ(Caption(), "photo.bmp* \u2013 Ovra Pixamo");
    SaveName = Path("photo.jpg");
    Form->ExecuteAction(Form->actnSave);
    EXPECT_EQ(Caption(), "photo.jpg \u2013 Ovra Pixamo");
    PutPictureOnClipboard(5, 5);
    Form->ExecuteAction(Form->actnPaste);
    EXPECT_EQ(Caption(), "(clipboard) \u2013 Ovra Pixamo");
    Form->ExecuteAction(Form->actnFlop);
    EXPECT_EQ(Caption(), "(clipboard)* \u2013 Ovra Pixamo");
    Questions.clear();
    SaveAnswer = TSaveChoice::Cancel;
    EXPECT_FALSE(Form->close());
    EXPECT_EQ(Questions, std::vector<std::string>{"(clipboard)"});
    // Back over the paste to the saved picture, under its name.
    Form->ExecuteAction(Form->actnUndo);
    Form->ExecuteAction(Form->actnUndo);
    EXPECT_EQ(Caption(), "photo.jpg \u2013 Ovra Pixamo");
}

// Every command, undone step by step to the loaded picture and redone to the end.
TEST_F(DocumentTest, UndoAndRedoWalkBackAndForthThroughEveryCommand) {
    Load(40, 30);
    Activate();
    Form->ChooseColor = [](TColor) { return std::optional<TColor>(RGBColor(200, 10, 10)); };
    Form->RunGammaDialog = [](TfrmGamma& dialog) {
        dialog.GammaTrack->setValue(dialog.GammaTrack->maximum());
        return true;
    };
    Form->RunScaleDialog = [](TfrmScale& dialog) {
        dialog.eNewWidth->setText("20");
        return true;
    };
    std::vector<std::unique_ptr<TPixelBuffer>> states;
    states.push_back(TPixelBuffer::CreateCopy(*Form->CurrentImage()));
    const auto run = [&](QAction* action) {
        Form->ExecuteAction(action);
        states.push_back(TPixelBuffer::CreateCopy(*Form->CurrentImage()));
    };
    for (QAction* action : {Form->actnRotateLeft, Form->actnLight, Form->actnRotateRight, Form->actnFlip,
                            Form->actnDark, Form->actnFlop, Form->actnMix, Form->actnGamma, Form->actnScale})
        run(action);
    SelectTool();
    Drag({2, 2}, {12, 9});
    run(Form->actnCrop);
    PutPictureOnClipboard(7, 3);
    run(Form->actnPaste);
    ASSERT_TRUE(Errors.empty()) << Errors[0];
    const std::size_t count = states.size() - 1;
    ASSERT_EQ(Form->UndoHistory().UndoCount(), count);
    // Each state differs from the one before it, or the walk would prove little.
    for (std::size_t i = 1; i < states.size(); ++i) EXPECT_FALSE(SamePixels(*states[i], *states[i - 1])) << i;

    for (std::size_t i = count; i-- > 0;) {
        Key(Qt::Key_Z, Qt::ControlModifier);
        ASSERT_TRUE(SamePixels(*Form->CurrentImage(), *states[i])) << i;
    }
    EXPECT_FALSE(Form->actnUndo->isEnabled());
    EXPECT_FALSE(Form->Modified());
    for (std::size_t i = 1; i <= count; ++i) {
        // Both keys redo.
        if (i % 2)
            Key(Qt::Key_Y, Qt::ControlModifier);
        else
            Key(Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
        ASSERT_TRUE(SamePixels(*Form->CurrentImage(), *states[i])) << i;
    }
    EXPECT_FALSE(Form->actnRedo->isEnabled());
    EXPECT_FALSE(Form->btnRedo->isEnabled());
    EXPECT_EQ(Form->FileName(), "");

    // Three back, then a new change: nothing to redo, the earlier steps still there.
    for (int i = 0; i < 3; ++i) Form->ExecuteAction(Form->actnUndo);
    EXPECT_TRUE(Form->btnRedo->isEnabled());
    Form->ExecuteAction(Form->actnLight);
    EXPECT_FALSE(Form->actnRedo->isEnabled());
    EXPECT_EQ(Form->UndoHistory().UndoCount(), count - 2);
    Form->ExecuteAction(Form->actnUndo);
    EXPECT_TRUE(SamePixels(*Form->CurrentImage(), *states[count - 3]));
    // Redo sits beside Undo on the toolbar, with its own glyph and key in the tooltip.
    EXPECT_EQ(Form->Toolbar->layout()->indexOf(Form->btnRedo), Form->Toolbar->layout()->indexOf(Form->btnUndo) + 1);
    EXPECT_EQ(Form->btnRedo->ImageIndex(), giRedo);
    EXPECT_EQ(Form->actnRedo->toolTip(), "Redo (Ctrl+Y)");
}

// Each step changes the picture under the view's tile workers: at 400 %, scrolled into the
// middle, the screen shows the step's own picture, no tile of the one before it.
TEST_F(DocumentTest, UndoAndRedoAtHighZoomShowTheStepsPixels) {
    Load(400, 300);
    Form->ExecuteAction(Form->actnZoomIn);
    Form->ExecuteAction(Form->actnZoomIn);
    QApplication::processEvents();
    Form->ScrollBox->horizontalScrollBar()->setValue(300);
    Form->ScrollBox->verticalScrollBar()->setValue(200);
    const auto showsExactly = [this](const char* step) {
        ASSERT_TRUE(WaitForExactView()) << step;
        const QRect visible = Form->VisibleViewRect();
        ASSERT_GT(visible.width(), 256) << step;
        ASSERT_GT(visible.height(), 256) << step;
        auto whole = TPixelBuffer::Create(Form->PaintArea->width(), Form->PaintArea->height());
        Form->CurrentImage()->Resample(*whole, SplineFilter, 2.0f);
        const auto expected = CopyRect(*whole, visible.x(), visible.y(), visible.width(), visible.height());
        EXPECT_TRUE(SamePixels(*Shown(visible), *expected)) << step;
        EXPECT_TRUE(SamePixels(*Form->ViewPixels(visible), *expected)) << step;
    };
    showsExactly("open");
    // A copy step (Enlighten) and one undone by its inverse (Flop), each undone and redone.
    Form->ExecuteAction(Form->actnLight);
    Form->ExecuteAction(Form->actnFlop);
    showsExactly("changed");
    Form->ExecuteAction(Form->actnUndo);
    showsExactly("flop undone");
    Form->ExecuteAction(Form->actnUndo);
    // Redone at once, while the workers compute the tiles of the step before; then once
    // more over a screen of finished tiles.
    QApplication::processEvents();
    Form->ExecuteAction(Form->actnRedo);
    showsExactly("enlighten redone");
    Form->ExecuteAction(Form->actnRedo);
    showsExactly("flop redone");
    EXPECT_EQ(Status(), "Zoom 400% (400x300)");
    EXPECT_TRUE(Errors.empty());
}

TEST_F(DocumentTest, UndoDepthFollowsTheMemoryBoundOfTheSettingsFile) {
    // 300 × 300 pixels are 270,000 bytes: three copies fit in a megabyte, four do not.
    WriteUndoBound(1);
    Load(300, 300);
    for (int i = 0; i < 6; ++i) Form->ExecuteAction(Form->actnLight);
    EXPECT_EQ(Form->UndoHistory().UndoCount(), 3u);
    // Flips keep no copy and are not bounded.
    for (int i = 0; i < 20; ++i) Form->ExecuteAction(Form->actnFlip);
    EXPECT_EQ(Form->UndoHistory().UndoCount(), 23u);
    EXPECT_EQ(Form->UndoHistory().Bytes(), 3u * 270000);

    // No room at all still keeps one step.
    WriteUndoBound(0);
    Load(300, 300);
    Form->ExecuteAction(Form->actnDark);
    Form->ExecuteAction(Form->actnDark);
    EXPECT_EQ(Form->UndoHistory().UndoCount(), 1u);
    Form->ExecuteAction(Form->actnUndo);
    EXPECT_FALSE(Form->actnUndo->isEnabled());
    EXPECT_TRUE(Form->actnRedo->isEnabled());

    // The default, 1 GB, is written into a settings file that has none.
    Close();
    QFile::remove(QString::fromStdString(Path("pixamo.xdb")));
    Open();
    Close();
    TXMLDataBase store(Path("pixamo.xdb"), InitialSettingsText);
    EXPECT_EQ(store.ReadSetting("UndoMemoryMB", "<none>").AsString(), "1024");
}

}  // namespace
