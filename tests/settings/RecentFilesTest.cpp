#include "settings/RecentFiles.h"

#include "settings/SettingsFile.h"

#include <gtest/gtest.h>

namespace {

std::vector<std::string> Entries(const TMRUList& list) {
    std::vector<std::string> entries;
    for (std::size_t i = 0; i < list.Count(); ++i) entries.push_back(list[i]);
    return entries;
}

using Names = std::vector<std::string>;

}  // namespace

TEST(MRUList, AddMovesToTheTopInTheNewLetterCase) {
    TMRUList list;
    EXPECT_EQ(list.MaxCount(), 10u);
    EXPECT_EQ(list.Add("/p/a.png"), 0);
    list.Add("/p/b.png");
    list.Add("/p/c.png");
    EXPECT_EQ(list.Add("/P/B.PNG"), 0);
    EXPECT_EQ(Entries(list), (Names{"/P/B.PNG", "/p/c.png", "/p/a.png"}));
    list.Remove("/p/C.png");
    list.Remove("/p/none.png");
    EXPECT_EQ(Entries(list), (Names{"/P/B.PNG", "/p/a.png"}));
    EXPECT_EQ(list.IndexOf("/p/A.PNG"), 1);
}

TEST(MRUList, TheEleventhNameDropsTheOldest) {
    TMRUList list;
    for (int i = 0; i < 11; ++i) list.Add("f" + std::to_string(i));
    ASSERT_EQ(list.Count(), 10u);
    EXPECT_EQ(list[0], "f10");
    EXPECT_EQ(list[9], "f1");
    EXPECT_EQ(list.IndexOf("f0"), -1);
    list.SetMaxCount(3);
    EXPECT_EQ(Entries(list), (Names{"f10", "f9", "f8"}));
}

TEST(MRUList, PlainOperationsKeepNoRules) {
    TMRUList list;
    int tag = 0;
    for (int i = 0; i < 12; ++i) EXPECT_EQ(list.AddObject("same", &tag), i);
    list.Insert(12, "end");
    list.InsertObject(0, "SAME", nullptr);
    EXPECT_EQ(list.Count(), 14u);
    EXPECT_EQ(list.Objects(1), &tag);
    EXPECT_EQ(list[13], "end");
    list.Delete(0);
    EXPECT_EQ(list[0], "same");
    EXPECT_THROW(list.Delete(13), EStringListError);
    EXPECT_THROW(list.Strings(13), EStringListError);
    list.Clear();
    EXPECT_EQ(list.Count(), 0u);
}

TEST(MRUList, LoadingKeepsTheFirstTenDistinctLines) {
    std::string text;
    for (int i = 1; i <= 12; ++i) text += "line" + std::to_string(i) + (i % 3 == 0 ? "\n" : i % 3 == 1 ? "\r" : "\r\n");
    TMRUList list;
    list.SetText(text);
    ASSERT_EQ(list.Count(), 10u);
    EXPECT_EQ(list[0], "line1");
    EXPECT_EQ(list[9], "line10");
    // Of equal lines only the first stays, where it was.
    list.SetText("x\r\ny\r\nX\r\nz\r\ny");
    EXPECT_EQ(Entries(list), (Names{"x", "y", "z"}));
    // Eleven lines whose eleventh repeats the first: ten distinct remain.
    list.SetText("a\nb\nc\nd\ne\nf\ng\nh\ni\nj\nA\nk");
    EXPECT_EQ(Entries(list), (Names{"a", "b", "c", "d", "e", "f", "g", "h", "i", "j"}));
}

TEST(MRUList, SurvivesTheSettingsFile) {
    TMRUList list;
    list.Add("/c d/C.png");
    list.Add("/a\"b/<B>.tif");
    list.Add("/x/A.jpg");
    TXMLDataBase store("", InitialSettingsText);
    store.WriteSetting("RecentFiles", list.Text());
    TXMLDataBase reread("", store.Tree().GetXML());
    TMRUList loaded;
    loaded.SetText(reread.ReadSetting("RecentFiles", "").AsString());
    EXPECT_EQ(Entries(loaded), Entries(list));
    EXPECT_EQ(loaded.Text(), "/x/A.jpg\r\n/a\"b/<B>.tif\r\n/c d/C.png\r\n");
    loaded.SetText("");
    EXPECT_EQ(loaded.Count(), 0u);
    // An empty list is an empty element.
    store.WriteSetting("RecentFiles", TMRUList().Text());
    EXPECT_EQ(store.Settings()->WriteXML(0), "<settings>\r\n  <RecentFiles />\r\n</settings>\r\n");
}
