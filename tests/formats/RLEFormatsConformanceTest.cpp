// Targa, PCX, Photoshop and SGI files of the public corpus against Pillow's decode.
#include "TestSupport.h"

#include "platform/Exception.h"

#include <cctype>
#include <map>
#include <set>

namespace {

bool IsRleFamily(const std::filesystem::path& path) {
    static const std::set<std::string> extensions = {".tga", ".pcx", ".psd", ".sgi", ".rgb", ".rgba", ".bw"};
    std::string ext = path.extension().string();
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return extensions.count(ext) != 0;
}

// Pillow reads these four formats the way their own documentation describes them (ImageMagick
// ignores the Targa top-left flag on some files and inverts 1-bit PCX), so it is the reference.
// One Python process decodes every file into a PPM beside the scratch folder's list.
std::map<std::string, TBgrImage> PillowDecodeAll(const std::vector<std::filesystem::path>& files) {
    std::map<std::string, TBgrImage> pictures;
    if (!RunTool("/usr/bin/python3 -c 'import PIL' >/dev/null 2>&1")) return pictures;
    const std::filesystem::path folder = ScratchFolder() / "pillow-rle";
    std::filesystem::create_directories(folder);
    std::string list;
    for (std::size_t i = 0; i < files.size(); ++i) list += files[i].string() + "\n";
    WriteFile(folder / "list.txt", TBytes(list.begin(), list.end()));
    RunTool(
        "/usr/bin/python3 -c 'import sys\nfrom PIL import Image\n"
        "for i, name in enumerate(open(sys.argv[1]).read().split(chr(10))[:-1]):\n"
        "    try: Image.open(name).convert(\"RGB\").save(sys.argv[2] + \"/%d.ppm\" % i)\n"
        "    except Exception: pass' '" +
        (folder / "list.txt").string() + "' '" + folder.string() + "'");
    for (std::size_t i = 0; i < files.size(); ++i) {
        const std::filesystem::path ppm = folder / (std::to_string(i) + ".ppm");
        if (!std::filesystem::exists(ppm)) continue;
        if (auto picture = ParsePnm(ReadFile(ppm))) pictures[files[i].string()] = *picture;
    }
    return pictures;
}

enum class Expect { Same, Refused, Differs };

struct TExpectation {
    Expect Outcome;
    const char* Message;  // the refusal's text, or why our picture differs on purpose
};

// Files that do not decode to Pillow's picture, and why.
const std::map<std::string, TExpectation>& Exceptions() {
    static const std::map<std::string, TExpectation> table = {
        {"01r_00.pcx", {Expect::Refused, "Cannot load image. Invalid or unexpected PCX or SCR image format."}},
        {"ossfuzz-4836216264589312.pcx", {Expect::Refused, "Invalid color format in PCX file."}},
        {"p_8.tga", {Expect::Refused, "Stream read error"}},
        {"combined_larger_than_size.psd", {Expect::Refused, "Stream read error"}},
        {"crash-6b7f2244da6d0ae297ee0754a424213444e92778.sgi", {Expect::Refused, "Stream read error"}},
        {"ossfuzz-5730089102868480.sgi", {Expect::Refused, "Stream read error"}},
        {"cross_scan_line.tga", {Expect::Differs, "run-length packets end at the row's end"}},
        // Pillow shows black; the header palette's entry 3 is red, as ImageMagick shows too.
        {"p_4_planes.pcx", {Expect::Differs, "16 colours from the header palette"}},
        // Run-length rows of 1671 bytes cannot give 640 x 480 pixels.
        {"crash-465703f71a0f0094873a3e0e82c9f798161171b8.sgi",
         {Expect::Refused, "Cannot load image. The sgi, bw or rgb(a) image of 640 x 480 pixels is too large."}},
        {"crash-64834657ee604b8797bf99eac6a194c124a9a8ba.sgi",
         {Expect::Refused, "Cannot load image. The sgi, bw or rgb(a) image of 640 x 480 pixels is too large."}},
    };
    return table;
}

}  // namespace

TEST(RleFormatsConformance, CorpusFilesMatchPillowOrFailAsExpected) {
    PIXAMO_REQUIRE_CORPUS();
    std::vector<std::filesystem::path> files = CorpusFiles("pillow", IsRleFamily);
    for (const auto& file : CorpusFiles("pillow/tga/common", IsRleFamily)) files.push_back(file);
    ASSERT_FALSE(files.empty());
    const std::map<std::string, TBgrImage> references = PillowDecodeAll(files);
    int compared = 0;
    for (const auto& file : files) {
        SCOPED_TRACE(file.string());
        const std::string name = file.filename().string();
        auto exception = Exceptions().find(name);
        const Expect expect = exception == Exceptions().end() ? Expect::Same : exception->second.Outcome;
        if (expect == Expect::Refused) {
            try {
                LoadBgr(file.string());
                ADD_FAILURE() << "loaded, expected: " << exception->second.Message;
            } catch (const Exception& e) {
                EXPECT_STREQ(e.what(), exception->second.Message);
            }
            continue;
        }
        TBgrImage ours;
        ASSERT_NO_THROW(ours = LoadBgr(file.string()));
        if (expect == Expect::Differs) continue;
        auto reference = references.find(file.string());
        if (reference == references.end()) continue;
        // Pillow widens 5-bit Targa channels by bit replication, the colour manager by a shift.
        const int tolerance = name.find("16") != std::string::npos ? 7 : 0;
        EXPECT_TRUE(SamePicture(ours, reference->second, tolerance));
        ++compared;
    }
    if (compared == 0) GTEST_SKIP() << "Pillow is not installed";
    RecordProperty("compared", compared);
}
