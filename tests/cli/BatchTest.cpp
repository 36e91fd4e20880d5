#include "cli/Cli.h"

#include "platform/Bitmap.h"
#include "platform/PictureFiles.h"
#include "platform/Stream.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>

namespace fs = std::filesystem;

namespace {

class BatchTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "pixamo-batch-test-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        folder_ = pattern;
    }
    void TearDown() override {
        std::error_code error;
        fs::permissions(folder_ / "locked", fs::perms::owner_all, error);
        fs::remove_all(folder_);
    }

    std::string Path(const std::string& name) const { return (folder_ / name).string(); }

    // A width x height bitmap of smooth gradients, different for every seed.
    std::string MakeInput(const std::string& name, int width, int height, int seed = 0) const {
        TBitmap b;
        b.SetPixelFormat(TPixelFormat::pf24bit);
        b.SetSize(width, height);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                std::uint8_t* p = b.ScanLine(y) + 3 * x;
                p[0] = static_cast<std::uint8_t>(x * 255 / width + seed * 40);
                p[1] = static_cast<std::uint8_t>(y * 255 / height);
                p[2] = static_cast<std::uint8_t>((x + y + seed * 17) % 256);
            }
        b.SaveToFile(Path(name));
        return Path(name);
    }

    int Run(std::vector<std::string> args, std::istream* in = nullptr) {
        out_.str("");
        err_.str("");
        TCliStreams streams{out_, err_, false, true, in};
        return RunCli(args, streams);
    }

    std::string Err() const { return err_.str(); }
    // The lines of stderr, sorted: pictures converted side by side report in any order.
    std::vector<std::string> ErrLines() const {
        std::vector<std::string> lines;
        std::istringstream text(err_.str());
        for (std::string line; std::getline(text, line);) lines.push_back(line);
        std::sort(lines.begin(), lines.end());
        return lines;
    }

    fs::path folder_;
    std::ostringstream out_, err_;
};

TBitmap LoadPicture(const std::string& fileName) {
    if (fileName.size() > 4 && fileName.substr(fileName.size() - 4) == ".jpg") {
        TJPEGImage jpeg;
        jpeg.LoadFromFile(fileName);
        return jpeg;
    }
    TBitmap b;
    b.LoadFromFile(fileName);
    return b;
}

std::vector<std::string> Files(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// Every file of a equals its namesake in b, byte for byte, and both hold the same names.
void ExpectSameFiles(const fs::path& a, const fs::path& b) {
    ASSERT_EQ(Files(a), Files(b));
    for (const std::string& name : Files(a))
        EXPECT_TRUE(ReadWholeFile((a / name).string()) == ReadWholeFile((b / name).string())) << name;
}

int Shell(const std::string& command) {
    int raw = std::system(command.c_str());
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

bool CanCreateIn(const std::string& folder) {
    std::string probe = folder + "/probe-XXXXXX";
    int fd = mkstemp(probe.data());
    if (fd < 0) return false;
    close(fd);
    unlink(probe.c_str());
    return true;
}

std::string Quoted(const std::string& text) { return "'" + text + "'"; }

const std::regex SummaryLine("(\\d+) converted, (\\d+) failed, (\\d+) skipped in \\d+\\.\\d s");

}  // namespace

TEST_F(BatchTest, JobsWriteTheSameFilesAsOneJob) {
    std::vector<std::string> inputs;
    for (int i = 0; i < 7; ++i) inputs.push_back(MakeInput("p" + std::to_string(i) + ".bmp", 90 + 7 * i, 60, i));
    // A broken file and a JPEG that ends early: one whole line each, whatever runs beside them.
    std::ofstream(Path("broken.bmp")) << "not a bitmap";
    inputs.push_back(Path("broken.bmp"));
    ASSERT_EQ(Run({"convert", inputs[0], Path("whole.jpg")}), 0);
    std::vector<std::uint8_t> bytes = ReadWholeFile(Path("whole.jpg"));
    bytes.resize(bytes.size() / 2);
    std::ofstream(Path("cut.jpg"), std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    inputs.push_back(Path("cut.jpg"));

    std::vector<std::string> expectedErr;
    for (const char* jobs : {"1", "3"}) {
        std::vector<std::string> args = {
            "convert",  "-j", jobs, "--fit", "40x30", "--rotate-left", "-o", Path(std::string("out") + jobs),
            "--format", "jpg"};
        args.insert(args.end(), inputs.begin(), inputs.end());
        EXPECT_EQ(Run(args), 1);
        std::vector<std::string> lines = ErrLines();
        ASSERT_EQ(lines.size(), 3u) << Err();
        EXPECT_EQ(lines[0],
                  Path("broken.bmp") + ": Cannot load image. Invalid or unexpected Windows bitmap image format.");
        EXPECT_EQ(lines[1], Path("cut.jpg") + ": Warning: Premature end of JPEG file");
        std::smatch summary;
        ASSERT_TRUE(std::regex_match(lines[2], summary, SummaryLine)) << lines[2];
        EXPECT_EQ(summary[1], "8");
        EXPECT_EQ(summary[2], "1");
    }
    ExpectSameFiles(folder_ / "out1", folder_ / "out3");
    // --fit keeps the aspect ratio: 132 x 60 into a 40 x 30 box gives 40 x 18.18, then turned.
    TBitmap p6 = LoadPicture(Path("out3/p6.jpg"));
    EXPECT_EQ(p6.Width(), 18);
    EXPECT_EQ(p6.Height(), 40);
    EXPECT_EQ(Run({"convert", "-j", "0", "-o", Path("o"), "--format", "bmp", inputs[0]}), 2);
    EXPECT_EQ(Run({"convert", "--fit", "10x0", inputs[0], Path("o.bmp")}), 2);
    EXPECT_EQ(Run({"convert", "--fit", "10x10x10", inputs[0], Path("o.bmp")}), 2);
}

TEST_F(BatchTest, FitNeverEnlargesUnlessAsked) {
    std::string small = MakeInput("small.bmp", 3, 2);
    ASSERT_EQ(Run({"convert", small, Path("kept.bmp"), "--verbose", "--fit", "100"}), 0) << Err();
    EXPECT_NE(Err().find("fit 100: kept 3x2: "), std::string::npos) << Err();
    EXPECT_TRUE(ReadWholeFile(Path("kept.bmp")) == ReadWholeFile(small));
    ASSERT_EQ(Run({"convert", small, Path("big.bmp"), "--fit", "100", "--enlarge"}), 0) << Err();
    EXPECT_EQ(LoadPicture(Path("big.bmp")).Height(), 67);
    // Height-bound with the scale dialog's tie: 7.5 goes to 8.
    ASSERT_EQ(Run({"convert", small, Path("tie.bmp"), "--enlarge", "--filter", "box", "--fit", "10x5"}), 0);
    TBitmap tie = LoadPicture(Path("tie.bmp"));
    EXPECT_EQ(tie.Width(), 8);
    EXPECT_EQ(tie.Height(), 5);
}

TEST_F(BatchTest, SkipExistingAndFileLists) {
    std::string a = MakeInput("a.bmp", 20, 10), b = MakeInput("b c.bmp", 20, 10, 1);
    std::string c = MakeInput("new\nline.bmp", 20, 10, 2);
    std::ofstream(Path("list.txt")) << a << "\n\n" << b << "\n";
    ASSERT_EQ(Run({"convert", "-o", Path("out"), "--format", "bmp", "--files-from", Path("list.txt")}), 0) << Err();
    EXPECT_EQ(Files(folder_ / "out"), (std::vector<std::string>{"a.bmp", "b c.bmp"}));

    // NUL-separated from standard input, with a name holding a line end; the outputs there are
    // left alone and only the missing one is made.
    fs::remove(Path("out/a.bmp"));
    fs::resize_file(Path("out/b c.bmp"), 10);
    std::istringstream list(a + '\0' + b + '\0' + c + '\0');
    ASSERT_EQ(
        Run({"convert", "-o", Path("out"), "--format", "bmp", "--skip-existing", "--files-from", "-", "-0"}, &list), 0)
        << Err();
    std::smatch summary;
    const std::string err = Err().substr(0, Err().size() - 1);
    ASSERT_TRUE(std::regex_match(err, summary, SummaryLine)) << err;
    EXPECT_EQ(summary[1], "2");
    EXPECT_EQ(summary[3], "1");
    EXPECT_EQ(fs::file_size(Path("out/b c.bmp")), 10u);
    EXPECT_TRUE(fs::exists(Path("out/new\nline.bmp")));
    EXPECT_TRUE(ReadWholeFile(Path("out/a.bmp")) == ReadWholeFile(a));

    EXPECT_EQ(Run({"convert", "-o", Path("out"), "--format", "bmp", "--files-from", Path("none.txt")}), 2);
    EXPECT_EQ(Run({"convert", a, Path("x.bmp"), "--files-from", Path("list.txt")}), 2);
    EXPECT_EQ(Run({"convert", "-o", Path("out"), "--format", "bmp", "-0", a}), 2);
    // --quiet: no summary; the same name twice is still refused for the later input.
    std::string twin = MakeInput("a.dib", 20, 10);
    EXPECT_EQ(Run({"convert", "--quiet", "-o", Path("twins"), "--format", "bmp", a, twin}), 1);
    EXPECT_EQ(Err(), twin + ": " + Path("twins") + "/a.bmp was already written for another input of the same name.\n");
}

TEST_F(BatchTest, AnOutputFolderThatCannotBeWrittenStopsAtOnce) {
    std::string a = MakeInput("a.bmp", 8, 8), b = MakeInput("b.bmp", 8, 8);
    fs::create_directory(Path("locked"));
    fs::permissions(Path("locked"), fs::perms::owner_read | fs::perms::owner_exec);
    std::string folder = Path("locked");
    // The superuser writes anywhere, but not into /sys.
    if (CanCreateIn(folder)) folder = "/sys/kernel";
    if (!fs::is_directory(folder) || CanCreateIn(folder)) GTEST_SKIP() << "no folder refuses us";
    EXPECT_EQ(Run({"convert", "-o", folder, "--format", "bmp", a, b}), 1);
    EXPECT_EQ(Err(), folder + ": Cannot write into the output folder. Permission denied\n");
}

TEST_F(BatchTest, DraftDecodesJpegAtAReducedSize) {
    std::string big = MakeInput("big.bmp", 800, 600);
    ASSERT_EQ(Run({"convert", big, Path("big.jpg")}), 0) << Err();
    ASSERT_EQ(Run({"convert", Path("big.jpg"), Path("exact.bmp"), "--fit", "100"}), 0) << Err();
    ASSERT_EQ(Run({"convert", Path("big.jpg"), Path("draft.bmp"), "--draft", "--fit", "100"}), 0) << Err();
    TBitmap exact = LoadPicture(Path("exact.bmp")), draft = LoadPicture(Path("draft.bmp"));
    ASSERT_EQ(draft.Width(), 100);
    ASSERT_EQ(draft.Height(), 75);
    // Slightly different pixels: decoded at 1/4 (200 x 150, twice the target), then scaled.
    long difference = 0;
    for (int y = 0; y < 75; ++y)
        for (int x = 0; x < 300; ++x) difference += std::labs(long(exact.ScanLine(y)[x]) - draft.ScanLine(y)[x]);
    EXPECT_GT(difference, 0);
    EXPECT_LT(difference / (75 * 300), 3);
    // A file that stands upright only once turned (EXIF orientation 6, 600 x 800 upright): the
    // targets are those of the upright picture, and the reduced decode still covers them.
    std::vector<std::uint8_t> turned = ReadWholeFile(Path("big.jpg"));
    const std::uint8_t exif[] = {0xFF, 0xE1, 0,    34, 'E', 'x', 'i', 'f', 0, 0, 'I', 'I', 0x2A, 0, 8, 0, 0, 0,
                                 1,    0,    0x12, 1,  3,   0,   1,   0,   0, 0, 6,   0,   0,    0, 0, 0, 0, 0};
    turned.insert(turned.begin() + 2, std::begin(exif), std::end(exif));
    std::ofstream(Path("turned.jpg"), std::ios::binary)
        .write(reinterpret_cast<const char*>(turned.data()), static_cast<std::streamsize>(turned.size()));
    struct TCase {
        const char* Operation;
        const char* Value;
        int Width, Height;
    };
    for (const TCase& c :
         {TCase{"--scale", "30x40", 30, 40}, TCase{"--fit", "100x50", 38, 50}, TCase{"--scale", "10%", 60, 80}}) {
        SCOPED_TRACE(c.Value);
        for (const char* draftOption : {"--draft", "--verbose"}) {
            ASSERT_EQ(Run({"convert", Path("turned.jpg"), Path("turned.bmp"), draftOption, c.Operation, c.Value}), 0)
                << Err();
            TBitmap result = LoadPicture(Path("turned.bmp"));
            EXPECT_EQ(result.Width(), c.Width) << draftOption;
            EXPECT_EQ(result.Height(), c.Height) << draftOption;
        }
    }
    // A percentage is taken of the full size.
    ASSERT_EQ(Run({"convert", Path("big.jpg"), Path("pct.bmp"), "--draft", "--scale", "10%"}), 0) << Err();
    EXPECT_EQ(LoadPicture(Path("pct.bmp")).Width(), 80);
    // Without a shrinking first operation, or for other formats, --draft changes nothing.
    ASSERT_EQ(Run({"convert", Path("big.jpg"), Path("a.bmp"), "--draft", "--flip", "--fit", "100"}), 0);
    ASSERT_EQ(Run({"convert", Path("big.jpg"), Path("b.bmp"), "--flip", "--fit", "100"}), 0);
    EXPECT_TRUE(ReadWholeFile(Path("a.bmp")) == ReadWholeFile(Path("b.bmp")));
    ASSERT_EQ(Run({"convert", Path("big.jpg"), Path("c.bmp"), "--draft", "--fit", "500"}), 0);
    ASSERT_EQ(Run({"convert", Path("big.jpg"), Path("d.bmp"), "--fit", "500"}), 0);
    EXPECT_TRUE(ReadWholeFile(Path("c.bmp")) == ReadWholeFile(Path("d.bmp")));
    ASSERT_EQ(Run({"convert", big, Path("e.bmp"), "--draft", "--fit", "100"}), 0);
    ASSERT_EQ(Run({"convert", big, Path("f.bmp"), "--fit", "100"}), 0);
    EXPECT_TRUE(ReadWholeFile(Path("e.bmp")) == ReadWholeFile(Path("f.bmp")));
}

TEST_F(BatchTest, InterruptedBatchLeavesWholeFilesAndSaysSo) {
    // One large picture under many names: each takes a while to scale.
    std::string source = MakeInput("source.bmp", 1600, 1200);
    std::string command = std::string(PIXAMO_CLI_EXECUTABLE) + " convert -j 1 --scale 1500x1100 -o " +
                          Quoted(Path("out")) + " --format jpg";
    for (int i = 0; i < 40; ++i) {
        fs::create_symlink(source, Path("in" + std::to_string(i) + ".bmp"));
        command += " " + Quoted(Path("in" + std::to_string(i) + ".bmp"));
    }
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        int err = open(Path("stderr.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(err, STDERR_FILENO);
        execl("/bin/sh", "sh", "-c", ("exec " + command).c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    // Interrupt once the first picture is written.
    for (int wait = 0; wait < 3000 && !fs::exists(Path("out/in0.jpg")); ++wait)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    kill(child, SIGINT);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 130);

    std::ifstream errFile(Path("stderr.txt"));
    std::string err((std::istreambuf_iterator<char>(errFile)), std::istreambuf_iterator<char>());
    std::smatch summary;
    ASSERT_TRUE(std::regex_match(err, summary, std::regex("(\\d+) converted, 0 failed, 0 skipped in \\d+\\.\\d s\n")))
        << err;
    // Only whole results: as many as counted, every one readable, and no temporary file.
    std::vector<std::string> written = Files(folder_ / "out");
    EXPECT_EQ(std::to_string(written.size()), summary[1].str());
    EXPECT_LT(written.size(), 40u);
    for (const std::string& name : written) {
        EXPECT_NE(name[0], '.') << name;
        EXPECT_EQ(LoadPicture(Path("out/" + name)).Width(), 1500) << name;
    }
}

TEST_F(BatchTest, GnuParallelGivesWhatOneRunGives) {
    if (Shell("parallel --version >/dev/null 2>&1") != 0) GTEST_SKIP() << "GNU parallel is not installed";
    std::string names;
    for (int i = 0; i < 6; ++i) names += " " + Quoted(MakeInput("p" + std::to_string(i) + ".bmp", 50 + i, 40, i));
    const std::string cli = PIXAMO_CLI_EXECUTABLE;
    ASSERT_EQ(Shell(cli + " convert -j 1 --fit 30 -o " + Quoted(Path("one")) + " --format jpg" + names), 0);
    // The README's one-machine form: parallel hands each job a share of the names.
    ASSERT_EQ(Shell("parallel --will-cite -j 2 -X " + cli + " convert --quiet -j 1 --fit 30 -o " +
                    Quoted(Path("many")) + " --format jpg ::: " + names),
              0);
    ExpectSameFiles(folder_ / "one", folder_ / "many");
}

TEST_F(BatchTest, VersionAndManualPagesFollowTheHelp) {
    EXPECT_EQ(Run({"--version"}), 0);
    EXPECT_TRUE(std::regex_match(out_.str(), std::regex("pixamo-cli \\d+\\.\\d+\\.\\d+\\.\\d+\n"))) << out_.str();
    std::vector<std::pair<std::string, std::string>> programs = {{PIXAMO_CLI_EXECUTABLE, "pixamo-cli"}};
#ifdef PIXAMO_GUI_EXECUTABLE
    programs.push_back({PIXAMO_GUI_EXECUTABLE, "pixamo"});
#endif
    for (const auto& [program, name] : programs) {
        SCOPED_TRACE(name);
        ASSERT_EQ(Shell(program + " --help > " + Quoted(Path("help.txt"))), 0);
        ASSERT_EQ(Shell(program + " --version > " + Quoted(Path("version.txt"))), 0);
        std::ifstream helpFile(Path("help.txt")), pageFile(std::string(PIXAMO_MAN_DIR) + "/" + name + ".1");
        ASSERT_TRUE(pageFile) << "no manual page";
        std::string help((std::istreambuf_iterator<char>(helpFile)), std::istreambuf_iterator<char>());
        std::string page((std::istreambuf_iterator<char>(pageFile)), std::istreambuf_iterator<char>());
        // The page as text: hyphens and backslashes unescaped.
        page = std::regex_replace(page, std::regex("\\\\-"), "-");
        page = std::regex_replace(page, std::regex("\\\\e"), "\\");
        EXPECT_EQ(page.rfind(".TH " + std::string(name == "pixamo" ? "PIXAMO" : "PIXAMO-CLI") + " 1", 0), 0u);
        std::ifstream versionFile(Path("version.txt"));
        std::string version;
        std::getline(versionFile, version);
        EXPECT_NE(page.find(version), std::string::npos) << version;
        int options = 0;
        const std::regex option("(^|[\\s,(\\[])(--?[A-Za-z0-9][A-Za-z0-9-]*)");
        for (auto it = std::sregex_iterator(help.begin(), help.end(), option); it != std::sregex_iterator(); ++it) {
            ++options;
            EXPECT_NE(page.find((*it)[2].str()), std::string::npos) << (*it)[2].str();
        }
        EXPECT_GE(options, 2);
        // Every option line of the help is an entry of the page.
        const std::regex optionLine("\n  (-[^ \n]*)");
        for (auto it = std::sregex_iterator(help.begin(), help.end(), optionLine); it != std::sregex_iterator(); ++it)
            EXPECT_NE(page.find(".TP\n.B " + (*it)[1].str()), std::string::npos) << (*it)[1].str();
    }
}
