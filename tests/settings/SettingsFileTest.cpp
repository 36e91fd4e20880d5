#include "settings/SettingsFile.h"

#include "TempFolder.h"
#include "platform/Exception.h"
#include "settings/SettingsLocation.h"

#include <gtest/gtest.h>

namespace {

const std::string ThreeLines = "<dataroot />\r\n<lists />\r\n<settings />\r\n";

// What the main window stores when it closes unmaximized at (10, 20), 800 x 600.
void WriteMainWindow(TXMLDataBase& store, bool maximized) {
    TXmlNode* form = TXMLDataBase::ForcePath(store.DataRoot(), "tableViews\\frmMain");
    if (!maximized) {
        store.WriteNodeSetting(form, "sizeWidth", 800);
        store.WriteNodeSetting(form, "sizeHeight", 600);
    }
    store.WriteNodeSetting(form, "Maximized", maximized);
    if (!maximized) {
        store.WriteNodeSetting(form, "posLeft", 10);
        store.WriteNodeSetting(form, "posTop", -20);
    }
}

std::string MainWindowFile(const char* maximized) {
    return std::string(
               "<dataroot>\r\n"
               "  <tableViews>\r\n"
               "    <frmMain>\r\n"
               "      <settings>\r\n"
               "        <sizeWidth>\r\n          \"800\"\r\n        </sizeWidth>\r\n"
               "        <sizeHeight>\r\n          \"600\"\r\n        </sizeHeight>\r\n"
               "        <Maximized>\r\n          \"") +
           maximized +
           "\"\r\n        </Maximized>\r\n"
           "        <posLeft>\r\n          \"10\"\r\n        </posLeft>\r\n"
           "        <posTop>\r\n          \"-20\"\r\n        </posTop>\r\n"
           "      </settings>\r\n"
           "    </frmMain>\r\n"
           "  </tableViews>\r\n"
           "</dataroot>\r\n"
           "<lists />\r\n"
           "<settings>\r\n"
           "  <RecentFiles>\r\n"
           "    \"/pics/a.png\r\n/pics/b \"\"1\"\".jpg\r\n\"\r\n"
           "  </RecentFiles>\r\n"
           "</settings>\r\n";
}

}  // namespace

TEST(SettingsFile, FirstRunWritesThreeLinesAtOnce) {
    TTempFolder folder;
    std::string name = folder / "pixamo.xdb";
    TXMLDataBase store(name, InitialSettingsText);
    EXPECT_EQ(ReadBytes(name), ThreeLines);
    EXPECT_EQ(store.DataRoot()->Name(), "dataroot");
    EXPECT_EQ(store.Lists()->Name(), "lists");
    EXPECT_EQ(store.Settings()->Name(), "settings");
    EXPECT_EQ(store.Tree().Nodes().size(), 3u);
}

TEST(SettingsFile, MainWindowEntriesAndRecentFilesLayout) {
    TTempFolder folder;
    std::string name = folder / "pixamo.xdb";
    {
        TXMLDataBase store(name, InitialSettingsText);
        WriteMainWindow(store, false);
        store.WriteSetting("RecentFiles", "/pics/a.png\r\n/pics/b \"1\".jpg\r\n");
        store.Save();
    }
    EXPECT_EQ(ReadBytes(name), MainWindowFile("False"));
    {
        // Closed maximized: the normal bounds stay as they were.
        TXMLDataBase store(name, InitialSettingsText);
        TXmlNode* form = TXMLDataBase::ForcePath(store.DataRoot(), "tableViews\\frmMain");
        EXPECT_EQ(store.ReadNodeSetting(form, "posTop", 0).AsInteger(), -20);
        EXPECT_FALSE(store.ReadNodeSetting(form, "Maximized", true).AsBoolean());
        EXPECT_EQ(store.ReadSetting("RecentFiles", "").AsString(), "/pics/a.png\r\n/pics/b \"1\".jpg\r\n");
        WriteMainWindow(store, true);
        store.Save();
    }
    EXPECT_EQ(ReadBytes(name), MainWindowFile("True"));
}

TEST(SettingsFile, StoreWithoutFileName) {
    TXMLDataBase store("", InitialSettingsText);
    store.WriteSetting("a", 1);
    try {
        store.Save();
        FAIL() << "no error";
    } catch (const EStreamError&) {
        FAIL() << "a file error";
    } catch (const Exception& e) {
        EXPECT_STREQ(e.what(), "Can't Save no file assigned!");
    }
    EXPECT_EQ(store.ReadSetting("a", 0), TVariant("1"));
    TTempFolder folder;
    store.Save(folder / "named.xdb");
    EXPECT_EQ(store.FileName(), folder / "named.xdb");
    EXPECT_EQ(ReadBytes(folder / "named.xdb"),
              "<dataroot />\r\n<lists />\r\n<settings>\r\n  <a>\r\n    \"1\"\r\n  </a>\r\n</settings>\r\n");
}

TEST(SettingsFile, MissingTopLevelElementsAreAppendedInOrder) {
    TTempFolder folder;
    std::string name = folder / "x.xdb";
    WriteBytes(name, "<settings>\n<v>\"1\"</v>\n</settings>\n<other />");
    TXMLDataBase store(name, InitialSettingsText);
    EXPECT_EQ(ReadBytes(name), "<settings>\n<v>\"1\"</v>\n</settings>\n<other />");  // read only
    store.Save();
    EXPECT_EQ(
        ReadBytes(name),
        "<settings>\r\n  <v>\r\n    \"1\"\r\n  </v>\r\n</settings>\r\n<other />\r\n<dataroot />\r\n<lists />\r\n");
    // An initial text without the groups still gives a usable store.
    TXMLDataBase bare("", "<other />");
    bare.WriteSetting("k", "v");
    EXPECT_EQ(
        bare.Tree().GetXML(),
        "<other />\r\n<dataroot />\r\n<lists />\r\n<settings>\r\n  <k>\r\n    \"v\"\r\n  </k>\r\n</settings>\r\n");
}

TEST(SettingsFile, MalformedFileIsReadAsFarAsItGoes) {
    TTempFolder folder;
    std::string name = folder / "x.xdb";
    const char text[] = "<settings><v>\"ok\"</v></settings></settings>garbage <<<\0<lost />";
    WriteBytes(name, std::string(text, sizeof text - 1));
    TXMLDataBase store(name, InitialSettingsText);
    EXPECT_EQ(store.ReadSetting("v", "none"), TVariant("ok"));
    EXPECT_EQ(store.Tree().Nodes().size(), 3u);
}

TEST(SettingsFile, SettingsAreReadWrittenAndRemoved) {
    TXMLDataBase store("", InitialSettingsText);
    TVariant out = 5;
    EXPECT_FALSE(store.GetSetting("x", out));
    EXPECT_EQ(out, TVariant(5));
    EXPECT_EQ(store.ReadSetting("x", 7), TVariant(7));
    store.WriteSetting("x", TVariant::Null());  // missing stays missing
    EXPECT_TRUE(store.Settings()->Nodes().empty());
    store.WriteSetting("x", "");
    EXPECT_EQ(store.ReadSetting("x", 7), TVariant(""));  // empty text, not the default
    store.WriteSetting("y", true);
    store.WriteSetting("x", 3);
    EXPECT_TRUE(store.GetSetting("x", out));
    EXPECT_EQ(out, TVariant("3"));
    EXPECT_EQ(store.Settings()->Nodes().size(), 2u);
    store.WriteSetting("x", TVariant::Null());
    EXPECT_EQ(store.Settings()->FindChild("x"), nullptr);
    EXPECT_EQ(store.ReadSetting("y", false).AsBoolean(), true);
    EXPECT_EQ(store.ReadSetting("Y", false), TVariant(false));  // names are case-sensitive
}

TEST(SettingsFile, NodeSettingsLiveInAGroupThatReadsCreate) {
    TXMLDataBase store("", InitialSettingsText);
    TXmlNode* w = store.DataRoot()->AddChild("w", TVariant());
    TVariant out;
    EXPECT_FALSE(store.GetNodeSetting(w, "a", out));
    ASSERT_NE(w->FindChild("settings"), nullptr);
    EXPECT_EQ(store.DataRoot()->WriteXML(0), "<dataroot>\r\n  <w>\r\n    <settings />\r\n  </w>\r\n</dataroot>\r\n");
    store.WriteNodeSetting(w, "a", 1);
    store.WriteNodeSetting(w, "a", TVariant::Null());  // kept, as empty text
    EXPECT_TRUE(store.GetNodeSetting(w, "a", out));
    EXPECT_EQ(out, TVariant(""));
    EXPECT_EQ(store.ReadNodeSetting(w, "b", "d"), TVariant("d"));
    EXPECT_EQ(w->Nodes().size(), 1u);
    EXPECT_THROW(store.ReadNodeSetting(w, "a", 0).AsBoolean(), EConvertError);
}

TEST(SettingsFile, ForcePathCreatesOnlyWhatIsMissing) {
    TXmlTree tree("t", nullptr, TVariant());
    TXmlNode* b = TXMLDataBase::ForcePath(&tree, "a\\b");
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->Name(), "b");
    EXPECT_EQ(b->ParentNode()->Name(), "a");
    EXPECT_EQ(TXMLDataBase::ForcePath(&tree, "a\\b"), b);
    EXPECT_EQ(TXMLDataBase::ForcePath(&tree, "a\\"), b->ParentNode());
    EXPECT_EQ(TXMLDataBase::ForcePath(&tree, ""), nullptr);
    TXmlNode* c = TXMLDataBase::ForcePath(&tree, "a\\\\c");
    EXPECT_EQ(c->ParentNode()->Name(), "");
    EXPECT_EQ(tree.Nodes().size(), 1u);
    EXPECT_EQ(tree.Nodes()[0]->Nodes().size(), 2u);
}

TEST(SettingsFile, NextTokenPositions) {
    std::string token = "stale";
    EXPECT_EQ(TXMLDataBase::NextToken("ab\\c", token, '\\', 1), 4u);
    EXPECT_EQ(token, "ab");
    EXPECT_EQ(TXMLDataBase::NextToken("ab\\c", token, '\\', 4), 5u);
    EXPECT_EQ(token, "c");
    EXPECT_EQ(TXMLDataBase::NextToken("ab\\c", token, '\\', 5), 0u);
    EXPECT_EQ(token, "");
    EXPECT_EQ(TXMLDataBase::NextToken("ab\\", token, '\\', 1), 4u);
    EXPECT_EQ(TXMLDataBase::NextToken("ab", token, '\\', 0), 0u);
    EXPECT_EQ(TXMLDataBase::NextToken("\\\\", token, '\\', 2), 3u);
    EXPECT_EQ(token, "");
}

TEST(SettingsFile, BackupKeepsThePreviousFile) {
    TTempFolder folder;
    std::string name = folder / "p.xdb";
    WriteBytes(folder / "p.bak", "ancient");
    TXMLDataBase store(name, InitialSettingsText);
    store.WriteSetting("n", 1);
    store.Save("", true);
    EXPECT_EQ(ReadBytes(folder / "p.bak"), ThreeLines);
    EXPECT_NE(ReadBytes(name).find("<n>"), std::string::npos);
    // Without an existing settings file there is nothing to back up.
    std::string other = folder / "q.xdb";
    store.Save(other, true);
    EXPECT_FALSE(std::filesystem::exists(folder / "q.bak"));
}

TEST(SettingsFile, AFolderInPlaceOfTheFileFailsNamingIt) {
    TTempFolder folder;
    std::string name = folder / "p.xdb";
    std::filesystem::create_directory(name);
    try {
        TXMLDataBase store(name, InitialSettingsText);
        FAIL() << "no error";
    } catch (const EFOpenError& e) {
        EXPECT_NE(std::string(e.what()).find(name), std::string::npos);
    }
    EXPECT_TRUE(std::filesystem::is_directory(name));
}

TEST(SettingsLocation, BesideAWritableExecutable) {
    TSettingsEnvironment env{"/home/u/build/pixamo", "/home/u/.cfg", "/home/u",
                             [](const std::string&) { return true; }};
    EXPECT_EQ(SettingsFileNameFor(env), "/home/u/build/pixamo.xdb");
    env.ExecutablePath = "/opt/Pixamo/pixamo.bin";
    EXPECT_EQ(SettingsFileNameFor(env), "/opt/Pixamo/pixamo.xdb");
}

TEST(SettingsLocation, InstalledProgramsUseTheConfigurationFolder) {
    TTempFolder folder;
    std::string home = folder / "home";
    std::string xdg = folder / "xdg";
    // Root may write into /usr/bin; the file goes to the configuration folder all the same.
    TSettingsEnvironment env{"/usr/bin/pixamo", xdg, home, [](const std::string&) { return true; }};
    EXPECT_EQ(SettingsFileNameFor(env), xdg + "/pixamo/pixamo.xdb");
    EXPECT_TRUE(std::filesystem::is_directory(xdg + "/pixamo"));
    // A relative configuration folder is ignored.
    env = {"/srv/app/pixamo", "relative", home, [](const std::string&) { return false; }};
    EXPECT_EQ(SettingsFileNameFor(env), home + "/.config/pixamo/pixamo.xdb");
    EXPECT_TRUE(std::filesystem::is_directory(home + "/.config/pixamo"));
}

TEST(SettingsLocation, ThisProcess) {
    TSettingsEnvironment env = CurrentSettingsEnvironment();
    EXPECT_EQ(std::filesystem::path(env.ExecutablePath).filename(), "settings_tests");
}
