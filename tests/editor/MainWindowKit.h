// A main window on the offscreen platform with its dialogs answered by the test, its settings
// in a folder of the test's own, and its error messages recorded instead of shown.
#pragma once

#include "QtApplication.h"

#include "core/PixelBuffer.h"
#include "core/TestPictures.h"
#include "editor/MainWindow.h"
#include "editor/SaveOptionsDialog.h"
#include "formats/FileFormatList.h"
#include "platform/PictureFiles.h"
#include "widgets/FlatButton.h"
#include "widgets/ImageList.h"
#include "widgets/ToolbarPanel.h"

#include <QMenu>
#include <QScrollArea>
#include <QScrollBar>
#include <QTimer>

#include <gtest/gtest.h>
#include <QApplication>
#include <QElapsedTimer>
#include <QMouseEvent>
#include <QTemporaryDir>

#include <memory>
#include <string>
#include <vector>

// A picture whose every pixel tells its position: blue x, green y, red 7.
inline std::unique_ptr<TPixelBuffer> PositionPicture(int width, int height) {
    auto image = TPixelBuffer::Create(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image->SetPixel(x, y, {static_cast<std::uint8_t>(x), static_cast<std::uint8_t>(y), 7});
    return image;
}

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(Dir.isValid());
        QApplication::setApplicationDisplayName(QStringLiteral("Pixamo"));
        FormatList();
        SetFormSettingsFileName(Path("pixamo.xdb"));
        PreviousHandler = SetExceptionHandler([this](const std::exception& e) { Errors.push_back(e.what()); });
        Open();
    }
    void TearDown() override {
        Form.reset();
        SetExceptionHandler(PreviousHandler);
        SetFormSettingsFileName(TEditorTestEnvironment::SettingsFile().string());
    }

    // A fresh window, shown, as the program starts it.
    void Open(const QStringList& arguments = {}) {
        Form = std::make_unique<TfrmMain>();
        Form->SetScreenSize({1280, 1024});
        Form->CommandLineArguments = arguments;
        Form->ChooseSaveFile = [this](const std::string&) { return SaveName; };
        Form->ChooseOpenFile = [this](const std::string&) { return OpenName; };
        Form->AskSaveChanges = [this](const QString& name) {
            Questions.push_back(name.toStdString());
            return SaveAnswer;
        };
        Form->RunSaveOptionsDialog = [this](TfrmSaveOptions& dialog) { return AnswerSaveOptions(dialog); };
        Form->show();
        QApplication::processEvents();
    }
    // Closes the window the way the program ends: settings written, window destroyed.
    void Close() {
        Form->close();
        Form.reset();
    }

    std::string Path(const std::string& name) const { return Dir.filePath(QString::fromStdString(name)).toStdString(); }

    // Writes a position picture as a bitmap file and returns its name.
    std::string WritePicture(const std::string& name, int width, int height) {
        const auto image = PositionPicture(width, height);
        SaveBmpFile({image->Bits(), width, height, image->Stride()}, Path(name));
        return Path(name);
    }
    void Load(int width, int height) {
        Form->LoadImage(WritePicture("picture.bmp", width, height));
        Form->UpdateActions();
    }

    std::string Status() const { return Form->StatusBar->SimpleText().toStdString(); }

    // Lets the view's workers finish the tiles on screen; false when they take over 20 seconds.
    bool WaitForExactView() {
        QApplication::processEvents();
        for (QElapsedTimer clock; !clock.isValid() || clock.elapsed() < 20000;) {
            if (!clock.isValid()) clock.start();
            if (Form->ViewShownExactly()) return true;
            QApplication::processEvents(QEventLoop::AllEvents, 10);
        }
        return false;
    }
    // What the paint area shows in a rectangle of view coordinates, as painted now.
    std::unique_ptr<TPixelBuffer> Shown(QRect area) const {
        QImage image(area.size(), QImage::Format_RGB32);
        Form->PaintArea->render(&image, QPoint(), QRegion(area));
        auto shown = TPixelBuffer::Create(area.width(), area.height());
        for (int y = 0; y < area.height(); ++y)
            for (int x = 0; x < area.width(); ++x) {
                const QRgb pixel = image.pixel(x, y);
                shown->SetPixel(x, y,
                                {static_cast<std::uint8_t>(qBlue(pixel)), static_cast<std::uint8_t>(qGreen(pixel)),
                                 static_cast<std::uint8_t>(qRed(pixel))});
            }
        return shown;
    }

    void Mouse(QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons buttons,
               Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QMouseEvent event(type, QPointF(at), Form->PaintArea->mapToGlobal(QPointF(at)), button, buttons, modifiers);
        QApplication::sendEvent(Form->PaintArea, &event);
    }
    void Press(QPoint at, Qt::MouseButton button = Qt::LeftButton) {
        Mouse(QEvent::MouseButtonPress, at, button, button);
    }
    void Drag(QPoint from, QPoint to, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        Press(from);
        Mouse(QEvent::MouseMove, to, Qt::NoButton, Qt::LeftButton, modifiers);
        Mouse(QEvent::MouseButtonRelease, to, Qt::LeftButton, Qt::NoButton, modifiers);
    }
    // A click on a toolbar button, as the mouse gives it.
    static void ClickButton(QWidget* button) {
        const QPointF centre(button->width() / 2.0, button->height() / 2.0);
        QMouseEvent press(QEvent::MouseButtonPress, centre, button->mapToGlobal(centre), Qt::LeftButton, Qt::LeftButton,
                          Qt::NoModifier);
        QApplication::sendEvent(button, &press);
        QMouseEvent release(QEvent::MouseButtonRelease, centre, button->mapToGlobal(centre), Qt::LeftButton,
                            Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(button, &release);
    }
    void SelectTool() {
        ClickButton(Form->btnSelectTool);
        ASSERT_TRUE(Form->btnSelectTool->Down());
        ASSERT_FALSE(Form->btnZoomTool->Down());
    }

    QTemporaryDir Dir;
    std::unique_ptr<TfrmMain> Form;
    std::vector<std::string> Errors;
    TExceptionHandler PreviousHandler;
    std::optional<std::string> SaveName;
    std::optional<std::string> OpenName;
    // The names "Save changes to NAME?" asked about, and the answer given.
    std::vector<std::string> Questions;
    TSaveChoice SaveAnswer = TSaveChoice::Discard;
    // The options dialog of a JPEG or WebP save: OK with what it shows unless a test says else.
    std::function<bool(TfrmSaveOptions& dialog)> AnswerSaveOptions = [](TfrmSaveOptions&) { return true; };
};
