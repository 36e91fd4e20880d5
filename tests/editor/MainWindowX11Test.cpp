// The main window's placement and fitting on an X server with a reparenting window manager:
// the frame there comes late and asynchronously, which the offscreen platform never shows.
#include "X11Session.h"

#include "core/PixelBuffer.h"
#include "editor/MainWindow.h"
#include "formats/FileFormatList.h"
#include "platform/PictureFiles.h"
#include "settings/SettingsFile.h"

#include <QScreen>
#include <QWindow>

#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace {

class X11Test : public ::testing::Test {
protected:
    void SetUp() override {
        if (!TX11Session::Running()) GTEST_SKIP() << TX11Session::SkipReason();
        FormatList();
        std::filesystem::remove(SettingsFile);
        PreviousHandler = SetExceptionHandler([this](const std::exception& e) { Errors.push_back(e.what()); });
    }
    void TearDown() override {
        if (!TX11Session::Running()) return;
        Form.reset();
        SetExceptionHandler(PreviousHandler);
    }

    // Starts the window as the program does and waits until the window manager has framed
    // it, the picture (if one is named) is open, and nothing moves any more.
    void Start(const std::vector<std::string>& arguments = {}) {
        Form = std::make_unique<TfrmMain>();
        for (const std::string& a : arguments) Form->CommandLineArguments << QString::fromStdString(a);
        Form->show();
        const bool framed = WaitUntil([this] { return Framed(); }, 10000);
        // Now and then openbox, started a moment before, leaves the first window unmanaged: that
        // is the test desktop failing, not the window, and nothing could be checked.
        if (!framed) GTEST_SKIP() << "the window manager did not frame the window";
        if (!arguments.empty()) {
            ASSERT_TRUE(WaitUntil([this] { return Form->CurrentImage() != nullptr; }, 10000));
        }
        Settle(*Form);
    }
    // The frame as the window system reports it now (the widget's copy can lag behind).
    QRect Outer() const { return Form->windowHandle()->frameGeometry(); }
    bool Framed() const {
        const QMargins frame = Form->windowHandle()->frameMargins();
        return frame.left() >= 0 && frame.right() >= 0 && frame.bottom() >= 0 && frame.top() > 10;
    }
    void Close() {
        Form->close();
        Form.reset();
    }

    std::string Picture(const std::string& name, int width, int height) {
        const auto image = TPixelBuffer::Create(width, height);
        const std::string file = (TX11Session::Folder() / name).string();
        SaveBmpFile({image->Bits(), width, height, image->Stride()}, file);
        return file;
    }
    void StorePlacement(const std::vector<std::pair<std::string, TVariant>>& entries) {
        TXMLDataBase store(SettingsFile, InitialSettingsText);
        TXmlNode* node = TXMLDataBase::ForcePath(store.DataRoot(), "tableViews\\frmMain");
        for (const auto& [name, value] : entries) store.WriteNodeSetting(node, name, value);
        store.Save();
    }
    std::string Stored(const std::string& name) {
        TXMLDataBase store(SettingsFile, InitialSettingsText);
        return store.ReadNodeSetting(TXMLDataBase::ForcePath(store.DataRoot(), "tableViews\\frmMain"), name, "0")
            .AsString();
    }

    // The outer window centred in the work area.
    static void ExpectCentredIn(const QRect& area, const QRect& outer) {
        EXPECT_TRUE(area.contains(outer))
            << outer.x() << "," << outer.y() << " " << outer.width() << "x" << outer.height();
        EXPECT_EQ(outer.x(), area.x() + (area.width() - outer.width()) / 2);
        EXPECT_EQ(outer.y(), area.y() + (area.height() - outer.height()) / 2);
    }

    const std::string SettingsFile = FormSettingsFileName();
    std::unique_ptr<TfrmMain> Form;
    std::vector<std::string> Errors;
    TExceptionHandler PreviousHandler;
};

TEST_F(X11Test, StoredPlacementAppliesOnlyWhenNoPictureIsOpenedAtStart) {
    StorePlacement({{"sizeWidth", 900}, {"sizeHeight", 700}, {"Maximized", false}, {"posLeft", 50}, {"posTop", 60}});
    Start();
    if (IsSkipped()) return;
    // The window manager may apply the stored size a moment after the frame appears.
    WaitUntil([this] { return Outer() == QRect(50, 60, 900, 700); });
    EXPECT_EQ(Outer(), QRect(50, 60, 900, 700));
    // Stored back as it was: hidden at closing, the window no longer reports its frame, and
    // the client's bounds would make it shrink and wander by the frame from run to run.
    Close();
    EXPECT_EQ(Stored("sizeWidth") + " " + Stored("sizeHeight") + " " + Stored("posLeft") + " " + Stored("posTop"),
              "900 700 50 60");

    // The stored placement would be applied once the frame is known, after the fit.
    Start({Picture("small.bmp", 100, 80)});
    if (IsSkipped()) return;
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_EQ(area, QRect(0, X11TopPanel, X11ScreenWidth, X11ScreenHeight - X11TopPanel - X11BottomPanel));
    EXPECT_EQ(Form->size(), QSize(std::max(402, Form->minimumWidth()), std::max(302, Form->minimumHeight())));
    EXPECT_EQ(Outer().width(), std::max(402 + Outer().width() - Form->width(), 470));
    ExpectCentredIn(area, Outer());
    EXPECT_TRUE(Errors.empty());
}

TEST_F(X11Test, BigPictureFitsTheWorkAreaTitleBarAndStatusLineIncluded) {
    Start({Picture("big.bmp", 1400, 1200)});
    if (IsSkipped()) return;
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    const QRect outer = Outer();
    ExpectCentredIn(area, outer);
    EXPECT_EQ(outer.width(), area.width() - 5);
    EXPECT_EQ(outer.height(), area.height() - 5);
    // The title bar is a real one here: the frame is more than the offscreen border.
    EXPECT_GT(Form->geometry().y() - outer.y(), 10);
}

TEST_F(X11Test, LeavingFullScreenGivesTheFittedWindowItsTitleBarBack) {
    // Fitted again as full screen ended, the window took the frame full screen had (none) and
    // came back as tall as the work area with its title bar above the screen.
    Start({Picture("big.bmp", 1400, 1200)});
    if (IsSkipped()) return;
    const QRect before = Outer();
    Form->SetFullScreen(true);
    ASSERT_TRUE(WaitUntil([this] { return Form->windowHandle()->frameMargins().isNull(); }));
    Form->SetFullScreen(false);
    WaitUntil([this, before] { return Outer() == before && Framed(); });
    EXPECT_EQ(Outer(), before);
    EXPECT_GT(Form->geometry().y() - Outer().y(), 10);
}

TEST_F(X11Test, ClosingBeforeTheWindowIsFramedStoresNoSizeBelowTheWindows) {
    // Closed while the window manager is still building the frame, the window once stored
    // the frame it was building: 1 × 1.
    for (int milliseconds : {0, 1, 2, 3, 5, 8, 12, 20, 30, 50}) {
        std::filesystem::remove(SettingsFile);
        Form = std::make_unique<TfrmMain>();
        Form->show();
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < milliseconds) QApplication::processEvents();
        Close();
        EXPECT_GE(std::stoi(Stored("sizeWidth")), 586) << milliseconds;
        EXPECT_GE(std::stoi(Stored("sizeHeight")), 489) << milliseconds;
    }
}

}  // namespace
