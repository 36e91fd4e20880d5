#include "TestPictures.h"

#include "platform/AtomicFile.h"
#include "platform/Exception.h"
#include "platform/PictureFiles.h"
#include "platform/PictureFormats.h"
#include "platform/Stream.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>
#include <filesystem>
#include <stdexcept>

namespace fs = std::filesystem;

namespace {
int FilesIn(const fs::path& folder) {
    return static_cast<int>(std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
}
}  // namespace

TEST(Streams, ShortReadsRaiseTheStreamReadError) {
    TMemoryStream stream(TBytes{1, 2, 3});
    std::uint8_t buffer[4];
    try {
        stream.ReadBuffer(buffer, 4);
        FAIL() << "read past the end";
    } catch (const EReadError& e) {
        EXPECT_STREQ(e.what(), "Stream read error");
    }
    stream.SetPosition(1);
    EXPECT_EQ(stream.Remaining(), 2);
    EXPECT_EQ(stream.ReadValue<std::uint16_t>(), 0x0302);
    EXPECT_THROW(stream.ReadValue<std::uint8_t>(), EReadError);
}

TEST(Streams, PositionKeeperRestoresAlsoWhenAReadFails) {
    TMemoryStream stream(std::vector<std::uint8_t>{1, 2, 3, 4});
    stream.SetPosition(1);
    try {
        const TStreamPositionKeeper keep(stream);
        std::uint8_t bytes[8];
        stream.ReadBuffer(bytes, sizeof bytes);
    } catch (const EReadError&) {
    }
    EXPECT_EQ(stream.Position(), 1);
}

TEST(Streams, FileStreamsReadLikeMemoryStreams) {
    // Small reads, reads across the buffer's edge, large reads, seeks back and past the end:
    // the file stream's buffer must never show stale or shifted bytes.
    TScratchFolder folder;
    TBytes bytes(300000);
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i * 7 + i / 251);
    WriteBytes(folder / "data", bytes);
    TFileStream file(folder / "data", TFileMode::OpenRead);
    TMemoryStream memory(bytes);
    EXPECT_EQ(file.Size(), 300000);
    std::uint32_t random = 12345;
    auto next = [&random](std::uint32_t range) {
        random = random * 1103515245u + 12345u;
        return (random >> 8) % range;
    };
    for (int step = 0; step < 3000; ++step) {
        const std::uint32_t what = next(10);
        if (what < 2) {
            const std::int64_t to = next(310000);
            ASSERT_EQ(file.Seek(to, TSeekOrigin::Beginning), memory.Seek(to, TSeekOrigin::Beginning));
        } else if (what == 2) {
            const std::int64_t by = static_cast<std::int64_t>(next(2000)) - 1000;
            if (memory.Position() + by < 0) continue;
            ASSERT_EQ(file.Seek(by, TSeekOrigin::Current), memory.Seek(by, TSeekOrigin::Current));
        } else {
            const std::size_t count = what == 9 ? next(200000) : next(600);
            TBytes a(count + 1, 0xAA), b(count + 1, 0xAA);
            ASSERT_EQ(file.Read(a.data(), count), memory.Read(b.data(), count)) << step;
            ASSERT_EQ(a, b) << step;
        }
        ASSERT_EQ(file.Position(), memory.Position());
    }
    EXPECT_THROW(file.Seek(-1, TSeekOrigin::Beginning), EStreamError);
    EXPECT_EQ(file.Seek(-10, TSeekOrigin::End), 299990);
    EXPECT_THROW(file.ReadBuffer(bytes.data(), 11), EReadError);
}

TEST(Streams, FileStreamsReadBackWhatTheyWrote) {
    TScratchFolder folder;
    TFileStream file(folder / "new", TFileMode::Create);
    file.WriteBuffer("abcdef", 6);
    file.SetPosition(2);
    char two[2];
    file.ReadBuffer(two, 2);
    EXPECT_EQ(std::string(two, 2), "cd");
    file.SetPosition(3);
    file.WriteBuffer("XY", 2);
    file.SetPosition(0);
    char all[6];
    file.ReadBuffer(all, 6);
    EXPECT_EQ(std::string(all, 6), "abcXYf");
    EXPECT_EQ(file.Size(), 6);
    file.Flush();
}

TEST(Streams, FoldersAreNotOpenedAsFiles) {
    TScratchFolder folder;
    fs::create_directory(folder / "looks.jpg");
    try {
        LoadPictureByExtension(folder / "looks.jpg");
        FAIL() << "read a folder";
    } catch (const EFOpenError& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot open file \"" + (folder / "looks.jpg") + "\". Is a directory");
    }
}

TEST(AtomicFile, ReplacesTheTargetOnlyWhenComplete) {
    TScratchFolder folder;
    const std::string target = folder / "picture.bmp";
    WriteBytes(target, TBytes{'o', 'l', 'd'});
    chmod(target.c_str(), 0640);

    EXPECT_THROW(WriteFileAtomically(target,
                                     [](TStream& stream) {
                                         stream.WriteBuffer("new half", 8);
                                         throw std::runtime_error("disk gone");
                                     }),
                 std::runtime_error);
    EXPECT_EQ(ReadBytes(target), (TBytes{'o', 'l', 'd'}));
    EXPECT_EQ(FilesIn(folder.Path()), 1) << "the temporary file is removed";

    WriteFileAtomically(target, [](TStream& stream) { stream.WriteBuffer("new", 3); });
    EXPECT_EQ(ReadBytes(target), (TBytes{'n', 'e', 'w'}));
    EXPECT_EQ(FilesIn(folder.Path()), 1);
    struct stat st;
    ASSERT_EQ(stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u) << "the replaced file's permissions are kept";
}

TEST(AtomicFile, WritesThroughASymbolicLink) {
    TScratchFolder folder;
    WriteBytes(folder / "real.bmp", TBytes{'a'});
    fs::create_symlink(folder / "real.bmp", folder / "link.bmp");
    WriteFileAtomically(folder / "link.bmp", [](TStream& stream) { stream.WriteBuffer("b", 1); });
    EXPECT_TRUE(fs::is_symlink(folder / "link.bmp"));
    EXPECT_EQ(ReadBytes(folder / "real.bmp"), (TBytes{'b'}));
}

TEST(AtomicFile, MissingFolderNamesTheFile) {
    TScratchFolder folder;
    const std::string target = folder / "no/such/folder/out.bmp";
    try {
        WriteFileAtomically(target, [](TStream&) {});
        FAIL() << "created a file in a missing folder";
    } catch (const EFCreateError& e) {
        EXPECT_NE(std::string(e.what()).find("\"" + target + "\""), std::string::npos) << e.what();
    }
}

TEST(AtomicFile, FailedSaveOfAPictureKeepsTheOldFile) {
    TScratchFolder folder;
    const std::string target = folder / "keep.jpg";
    WriteBytes(target, TBytes{1, 2, 3});
    TBgrView empty;
    EXPECT_THROW(SaveJpegFile(empty, target, 95, true), EInvalidGraphic);
    EXPECT_THROW(SaveBmpFile(empty, target), EInvalidGraphic);
    EXPECT_EQ(ReadBytes(target), (TBytes{1, 2, 3}));
}

TEST(PictureFormatTable, PlatformFormatsByExtension) {
    TPictureFormatTable& table = TPictureFormatTable::Instance();
    EXPECT_EQ(table.Find("bmp"), &BitmapGraphicClass);
    EXPECT_EQ(table.Find(".RLE"), &BitmapGraphicClass);
    EXPECT_EQ(table.Find("Dib"), &BitmapGraphicClass);
    EXPECT_EQ(table.Find("ico"), &IconGraphicClass);
    for (const char* jpeg : {"jpg", "jpe", "jpeg", "jfif"}) EXPECT_EQ(table.Find(jpeg), &JPEGGraphicClass) << jpeg;
    EXPECT_EQ(table.Find("wmf"), nullptr);
    EXPECT_EQ(table.Find(""), nullptr);

    static const TGraphicClass other{"TOther", nullptr};
    table.Register("XYZ", "Other pictures", &other);
    EXPECT_EQ(table.Find("xyz"), &other);
    table.Register("xyz", "Other pictures again", &other);
    EXPECT_EQ(std::count_if(table.Formats().begin(), table.Formats().end(),
                            [](const TPictureFormat& f) { return f.Extension == "xyz"; }),
              1);
    table.UnregisterClass(&other);
    EXPECT_EQ(table.Find("xyz"), nullptr);
    EXPECT_EQ(table.Find("bmp"), &BitmapGraphicClass);
}

TEST(PictureFormatTable, ExtensionOf) {
    EXPECT_EQ(ExtensionOf("/a/b/Picture.JpG"), "jpg");
    EXPECT_EQ(ExtensionOf("archive.tar.gz"), "gz");
    EXPECT_EQ(ExtensionOf("/a.folder/name"), "");
    EXPECT_EQ(ExtensionOf("name."), "");
    EXPECT_EQ(ExtensionOf("plain"), "");
}

TEST(PictureFormatTable, LoadPictureByExtension) {
    TScratchFolder folder;
    TBitmap picture = MakeTestPicture(4, 3);
    picture.SaveToFile(folder / "p.DIB");
    std::unique_ptr<TBitmap> loaded = LoadPictureByExtension(folder / "p.DIB");
    EXPECT_EQ(loaded->Width(), 4);
    EXPECT_EQ(loaded->Pixel(3, 2), picture.Pixel(3, 2));

    fs::copy_file(folder / "p.DIB", folder / "p.xyz");
    try {
        LoadPictureByExtension(folder / "p.xyz");
        FAIL();
    } catch (const EInvalidGraphic& e) {
        EXPECT_STREQ(e.what(), "Unknown picture file extension (.xyz)");
    }
    // A bitmap under a JPEG name goes to the JPEG decoder, which refuses it.
    fs::copy_file(folder / "p.DIB", folder / "p.jpg");
    EXPECT_THROW(LoadPictureByExtension(folder / "p.jpg"), EInvalidGraphic);
    EXPECT_THROW(LoadPictureByExtension(folder / "missing.bmp"), EFOpenError);
}
