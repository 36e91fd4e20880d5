// Files that crashed other decoders under fuzzing: each must load or be refused with an
// Exception (the sanitizer build catches anything worse).
#include "TestSupport.h"

namespace fs = std::filesystem;

namespace {
bool IsFuzzerFinding(const fs::path& path) {
    std::string name = path.filename().string();
    return name.rfind("crash-", 0) == 0 || name.rfind("ossfuzz-", 0) == 0 || name.rfind("psd-oob-", 0) == 0;
}
}  // namespace

TEST(FuzzerFindings, LoadOrFailCleanlyThroughThePipeline) {
    PIXAMO_REQUIRE_CORPUS();
    std::vector<fs::path> files = CorpusFiles("pillow", &IsFuzzerFinding);
    if (files.empty()) GTEST_SKIP() << "no fuzzer findings in the corpus";
    for (const fs::path& file : files) {
        SCOPED_TRACE(file.filename().string());
        try {
            TBgrImage image = LoadBgr(file.string());
            EXPECT_EQ(image.Bgr.size(), std::size_t(image.Width) * image.Height * 3);
        } catch (const Exception& e) {
            EXPECT_FALSE(e.Message().empty());
        }
    }
}
