#include "MainWindowKit.h"

#include "settings/SettingsFile.h"

#include <QDropEvent>
#include <QMimeData>
#include <QUrl>

#include <fstream>

namespace {

class StartupTest : public MainWindowTest {
protected:
    // Writes the main window's placement entries and the recent-files list into the
    // settings file of a window not open at the time.
    void Store(const std::vector<std::pair<std::string, TVariant>>& placement, const std::string& recentFiles) {
        TXMLDataBase store(Path("pixamo.xdb"), InitialSettingsText);
        TXmlNode* node = TXMLDataBase::ForcePath(store.DataRoot(), "tableViews\\frmMain");
        for (const auto& [name, value] : placement) store.WriteNodeSetting(node, name, value);
        store.WriteSetting("RecentFiles", recentFiles);
        store.Save();
    }
    std::string Stored(const std::string& name) {
        TXMLDataBase store(Path("pixamo.xdb"), InitialSettingsText);
        if (name == "RecentFiles") return store.ReadSetting(name, "<none>").AsString();
        return store.ReadNodeSetting(TXMLDataBase::ForcePath(store.DataRoot(), "tableViews\\frmMain"), name, "<none>")
            .AsString();
    }
};

TEST_F(StartupTest, SettingsFileKeepsThePlacementAndTheRecentFiles) {
    // A first run with an empty settings file: the menu says there are none.
    Form->RecentMenuPopup();
    ASSERT_EQ(Form->RecentMenu->actions().size(), 1);
    EXPECT_EQ(Form->RecentMenu->actions()[0]->text(), "(no recent files)");
    EXPECT_FALSE(Form->RecentMenu->actions()[0]->isEnabled());
    const std::string first = WritePicture("first.bmp", 10, 10);
    const std::string second = WritePicture("second.bmp", 12, 10);
    Form->LoadImage(first);
    Form->LoadImage(second);
    Close();
    {
        TXMLDataBase store(Path("pixamo.xdb"), InitialSettingsText);
        EXPECT_EQ(store.ReadSetting("RecentFiles", "").AsString(), second + "\r\n" + first + "\r\n");
        TXmlNode* node = TXMLDataBase::ForcePath(store.DataRoot(), "tableViews\\frmMain");
        EXPECT_EQ(store.ReadNodeSetting(node, "Maximized", true).AsString(), "False");
        EXPECT_GT(store.ReadNodeSetting(node, "sizeWidth", 0).AsInteger(), 0);
    }

    // A restart: the list is back, and reopening the menu does not duplicate its items.
    Open();
    ASSERT_EQ(Form->RecentList().Count(), 2u);
    Form->RecentMenuPopup();
    Form->RecentMenuPopup();
    const QList<QAction*> items = Form->RecentMenu->actions();
    ASSERT_EQ(items.size(), 2);
    EXPECT_EQ(items[0]->text().toStdString(), second);
    EXPECT_EQ(items[1]->text().toStdString(), first);

    // Opening the older one moves it to the top.
    items[1]->trigger();
    EXPECT_EQ(Form->RecentList()[0], first);
    EXPECT_EQ(Form->CurrentImage()->Width(), 10);
}

TEST_F(StartupTest, MissingRecentFileIsReportedAndDropped) {
    const std::string kept = WritePicture("kept.bmp", 10, 10);
    const std::string gone = WritePicture("gone.bmp", 10, 10);
    Form->LoadImage(kept);
    Form->LoadImage(gone);
    QFile::remove(QString::fromStdString(gone));
    Form->RecentMenuPopup();
    Form->RecentMenu->actions().first()->trigger();
    ASSERT_EQ(Errors.size(), 1u);
    EXPECT_EQ(Errors[0], "File \"" + gone + "\" doesn't exist!");
    ASSERT_EQ(Form->RecentList().Count(), 1u);
    EXPECT_EQ(Form->RecentList()[0], kept);
}

TEST_F(StartupTest, FirstArgumentNamingAFileIsOpenedAtStart) {
    const std::string picture = WritePicture("start.bmp", 30, 20);
    Close();
    Open({QString::fromStdString(picture), QStringLiteral("ignored.bmp")});
    ASSERT_NE(Form->CurrentImage(), nullptr);
    EXPECT_EQ(Form->CurrentImage()->Width(), 30);
    EXPECT_EQ(Status(), "Zoom 100% (30x20)");
    EXPECT_EQ(Form->RecentList()[0], picture);

    // One that names nothing is ignored without a word.
    Close();
    Open({QString::fromStdString(Path("nothing.bmp"))});
    EXPECT_EQ(Form->CurrentImage(), nullptr);
    EXPECT_TRUE(Errors.empty());
}

TEST_F(StartupTest, BadPlacementValueStillLetsTheRecentFilesLoadAndKeepsThemStored) {
    Close();
    Store({{"posLeft", "abc"}, {"posTop", 10}}, "/pictures/a.png\r\n/pictures/b.png\r\n");
    Open();
    ASSERT_EQ(Errors.size(), 1u);
    EXPECT_EQ(Errors[0], "Could not convert variant of type (String) into type (Integer)");
    ASSERT_EQ(Form->RecentList().Count(), 2u);
    EXPECT_EQ(Form->RecentList()[1], "/pictures/b.png");
    Close();
    EXPECT_EQ(Stored("RecentFiles"), "/pictures/a.png\r\n/pictures/b.png\r\n");

    // A window that was never shown read no list, and writes none back.
    Form = std::make_unique<TfrmMain>();
    Form.reset();
    EXPECT_EQ(Stored("RecentFiles"), "/pictures/a.png\r\n/pictures/b.png\r\n");
}

TEST_F(StartupTest, StoredSizeBelowTheMinimumIsIgnored) {
    Close();
    Store({{"sizeWidth", 1}, {"sizeHeight", 1}, {"posLeft", 40}, {"posTop", 50}}, "");
    Open();
    EXPECT_EQ(Form->size(), QSize(586, 489));
    EXPECT_EQ(Form->pos(), QPoint(40, 50));
    EXPECT_TRUE(Errors.empty());
    // Nor is such a size ever written: the stored one stays until the window has a real one.
    Close();
    EXPECT_GE(std::stoi(Stored("sizeWidth")), 470);
    EXPECT_GE(std::stoi(Stored("sizeHeight")), 150);
}

TEST_F(StartupTest, PictureNamedAtStartIsFittedInsteadOfTheStoredPlacement) {
    const std::string picture = WritePicture("start.bmp", 100, 80);
    Close();
    Store({{"sizeWidth", 900}, {"sizeHeight", 700}, {"Maximized", true}, {"posLeft", 40}, {"posTop", 50}}, "");
    Open({QString::fromStdString(picture)});
    ASSERT_NE(Form->CurrentImage(), nullptr);
    EXPECT_FALSE(Form->isMaximized());
    EXPECT_EQ(Form->size(), QSize(std::max(402, Form->minimumWidth()), std::max(302, Form->minimumHeight())));
    const QRect outer = Form->frameGeometry();
    EXPECT_EQ(outer.topLeft(), QPoint((1280 - outer.width()) / 2, (1024 - outer.height()) / 2));
    Close();

    // A named file that cannot be read opens no picture: the stored placement applies.
    Store({{"sizeWidth", 700}, {"sizeHeight", 500}, {"Maximized", false}, {"posLeft", 40}, {"posTop", 50}}, "");
    const std::string broken = Path("broken.bmp");
    std::ofstream(broken, std::ios::binary) << "BM not a bitmap at all";
    Open({QString::fromStdString(broken)});
    EXPECT_EQ(Form->CurrentImage(), nullptr);
    EXPECT_EQ(Errors.size(), 1u);
    EXPECT_EQ(Form->frameGeometry(), QRect(40, 50, 700, 500));
}

TEST_F(StartupTest, MenusShowTheProgramsGreyedGlyphsForDisabledCommands) {
    // No picture: the colour effects are disabled.
    ASSERT_FALSE(Form->actnGamma->isEnabled());
    for (QAction* action : Form->ColorEffectsMenu->actions()) {
        const int index = action->property("ImageIndex").toInt();
        const QImage shown =
            action->icon().pixmap(16, QIcon::Disabled).toImage().convertToFormat(QImage::Format_ARGB32);
        EXPECT_TRUE(shown == Form->DisabledImageList->Image(index)) << action->text().toStdString();
        const QImage normal = action->icon().pixmap(16, QIcon::Normal).toImage().convertToFormat(QImage::Format_ARGB32);
        EXPECT_TRUE(normal == Form->ImageList->Image(index)) << action->text().toStdString();
    }
}

TEST_F(StartupTest, DroppedFileIsOpened) {
    const std::string picture = WritePicture("dropped.bmp", 25, 15);
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QString::fromStdString(picture))});
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(Form.get(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(Form.get(), &drop);
    ASSERT_NE(Form->CurrentImage(), nullptr);
    EXPECT_EQ(Form->CurrentImage()->Width(), 25);
}

}  // namespace
