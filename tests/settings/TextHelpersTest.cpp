#include "settings/TextHelpers.h"
#include "settings/XmlTokenizer.h"

#include "TempFolder.h"
#include "platform/Exception.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <clocale>
#include <csignal>

using Lines = std::vector<std::string>;

TEST(Words, PosFromCountsFromOneAndRefusesShortTails) {
    EXPECT_EQ(PosFrom("b", "abcb", 1), 2u);
    EXPECT_EQ(PosFrom("b", "abcb", 3), 4u);
    EXPECT_EQ(PosFrom("b", "abcb", 5), 0u);
    EXPECT_EQ(PosFrom("cb", "abcb", 4), 0u);  // one character left, two wanted
    EXPECT_EQ(PosFrom("", "abc", 1), 0u);
    EXPECT_EQ(PosFrom("a", "", 1), 0u);
    EXPECT_EQ(PosFrom("a", "abc", 0), 0u);
}

TEST(Words, EscapingIsOneWayForEscapeLookalikes) {
    EXPECT_EQ(EscapeText("a<b>c&d\"e'"), "a&lt;b&gt;c&d\"e'");
    EXPECT_EQ(EscapeText("&lt;&gt;"), "&LT;&GT;");
    EXPECT_EQ(UnescapeText("\\bl x\\ab "), "<x>");
    // Replaced text is not scanned again.
    EXPECT_EQ(ReplaceAll("aaa", "a", "aa"), "aaaaaa");
    EXPECT_EQ(ReplaceAll("abab", "ab", ""), "");
}

TEST(Words, LinesEndAtAnyBreakAndTextAtNul) {
    EXPECT_EQ(SplitLines("a\r\nb\rc\nd"), (Lines{"a", "b", "c", "d"}));
    EXPECT_EQ(SplitLines("a\n\rb"), (Lines{"a", "", "b"}));
    EXPECT_EQ(SplitLines("a\r\n"), (Lines{"a"}));
    EXPECT_EQ(SplitLines("a\r\n\r\n"), (Lines{"a", ""}));
    EXPECT_EQ(SplitLines(std::string("a\nb\0c\nd", 7)), (Lines{"a", "b"}));
    EXPECT_TRUE(SplitLines("").empty());
}

namespace {

Lines Tokens(const Lines& lines) {
    Lines tokens = lines;
    TokenizeXML(tokens);
    return tokens;
}

}  // namespace

TEST(Words, TokenizerKindsAndTexts) {
    EXPECT_EQ(Tokens({"<a x=\"1\">", "  \"text\"", "  <b />", "</a>"}),
              (Lines{"OT:a x=\"1\"", "TX:\"text\"", "ET:b /", "CT:a"}));
    // Text between tags keeps its breaks; text after the last tag is collapsed.
    EXPECT_EQ(Tokens({"<a>\"x", "y\"</a>", " tail\tone", "two "}),
              (Lines{"OT:a", "TX:\"x\r\ny\"", "CT:a", "TX:tail one two"}));
    // Tags spread over lines are collapsed; a "<" with no ">" after it is dropped.
    EXPECT_EQ(Tokens({"<a", "b=\"1\">x < y"}), (Lines{"OT:a b=\"1\"", "TX:x", "TX:y"}));
    EXPECT_TRUE(Tokens({}).empty());
    EXPECT_TRUE(Tokens({"  ", "\t"}).empty());
}

TEST(Words, CdataInAnyCaseAndUnterminated) {
    EXPECT_EQ(Tokens({"<a><![cdata[x", "\ty]]></a>"}), (Lines{"OT:a", "CD:xy", "CT:a"}));
    EXPECT_EQ(Tokens({"<a><![CData[<b>]]>"}), (Lines{"OT:a", "CD:<b>"}));
    // No "]]>": the section takes the rest and the scan ends.
    EXPECT_EQ(Tokens({"<a><![CDATA[x", "<b>"}), (Lines{"OT:a", "CD:x<b>"}));
    EXPECT_EQ(Tokens({"<![CDATA["}), (Lines{"CD:"}));
}

TEST(Words, FileExtensionsAndLetterCase) {
    EXPECT_EQ(ChangeFileExt("/opt/app/pixamo", ".xdb"), "/opt/app/pixamo.xdb");
    EXPECT_EQ(ChangeFileExt("/opt/app.d/pixamo.exe", ".xdb"), "/opt/app.d/pixamo.xdb");
    EXPECT_EQ(ChangeFileExt("settings.xdb", ".bak"), "settings.bak");
    EXPECT_TRUE(SameText("/Pics/A.PNG", "/pics/a.png"));
    EXPECT_FALSE(SameText("a.png", "a.pn"));
    EXPECT_FALSE(SameText("\xE9", "\xC3\xA9"));  // a stray byte is not the letter it would be in Latin-1
    // Beyond ASCII, letter case follows the locale's character classes.
    std::string saved = std::setlocale(LC_CTYPE, nullptr);
    if (std::setlocale(LC_CTYPE, "C.UTF-8")) {
        EXPECT_TRUE(SameText("/\xC3\x89t\xC3\xA9.png", "/\xC3\xA9T\xC3\x89.PNG"));  // Été / éTÉ
        std::setlocale(LC_CTYPE, saved.c_str());
    }
}

TEST(Words, SavingReplacesTheFileWhole) {
    TTempFolder folder;
    std::string name = folder / "out.xdb";
    SaveStringToFile(name, std::string("a\0b", 3));
    EXPECT_EQ(ReadBytes(name), std::string("a\0b", 3));
    chmod(name.c_str(), 0640);
    SaveStringToFile(name, "new");
    EXPECT_EQ(ReadBytes(name), "new");
    struct stat info {};
    ASSERT_EQ(stat(name.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u);
    SaveStringToFile(name, "");
    EXPECT_EQ(ReadBytes(name), "");
    EXPECT_EQ(folder.EntryCount(), 1u);  // no temporary file left behind
}

TEST(Words, SavingIntoAFolderFailsNamingTheFile) {
    TTempFolder folder;
    std::string name = folder / "sub";
    std::filesystem::create_directory(name);
    try {
        SaveStringToFile(name, "x");
        FAIL() << "no error";
    } catch (const EFCreateError& e) {
        EXPECT_NE(std::string(e.what()).find(name), std::string::npos);
    }
    EXPECT_THROW(SaveStringToFile(folder / "missing/x.xdb", "x"), EFCreateError);
    EXPECT_EQ(folder.EntryCount(), 1u);
}

TEST(Words, AFullDiskLeavesTheOldFileWhole) {
    TTempFolder folder;
    std::string name = folder / "out.xdb";
    SaveStringToFile(name, "old settings");
    // A file size limit makes writes fail the way a full disk does.
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    auto previous = std::signal(SIGXFSZ, SIG_IGN);
    rlimit tight = saved;
    tight.rlim_cur = 64;
    setrlimit(RLIMIT_FSIZE, &tight);
    bool failed = false;
    try {
        SaveStringToFile(name, std::string(4096, 'x'));
    } catch (const EFCreateError& e) {
        failed = std::string(e.what()).find(name) != std::string::npos;
    }
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);
    EXPECT_TRUE(failed);
    EXPECT_EQ(ReadBytes(name), "old settings");
    EXPECT_EQ(folder.EntryCount(), 1u);
}
