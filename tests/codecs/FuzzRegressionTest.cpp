#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "DecoderFuzzers.h"
#include "platform/Warnings.h"

// Replays the fuzzers' seeds and every input a decoder fuzzer once failed on (data/fuzz/<fuzzer
// name>/) through the same entry the fuzzer uses; ASan and UBSan builds make any relapse fail.
TEST(DecoderFuzzRegression, SeedsAndInputsThatOnceFailed) {
    const std::filesystem::path data(PIXAMO_TEST_DATA_DIR);
    const TWarningHandler previous = SetWarningHandler([](const std::string&) {});
    int replayed = 0;
    for (const auto& root : {data / "fuzz", data / ".." / ".." / ".." / "fuzz" / "codecs" / "seeds"}) {
        if (!std::filesystem::is_directory(root)) continue;
        for (const auto& folder : std::filesystem::directory_iterator(root)) {
            const decoderfuzz::TFuzzer fuzzer = decoderfuzz::Find(folder.path().filename().string());
            if (!fuzzer) {
                ADD_FAILURE() << "no fuzzer for " << folder.path();
                continue;
            }
            for (const auto& file : std::filesystem::directory_iterator(folder.path())) {
                std::ifstream stream(file.path(), std::ios::binary);
                const std::vector<std::uint8_t> input(std::istreambuf_iterator<char>(stream), {});
                SCOPED_TRACE(file.path().string());
                fuzzer(decoderfuzz::TInput(input.data(), input.size()));
                ++replayed;
            }
        }
    }
    SetWarningHandler(previous);
    EXPECT_GT(replayed, 0);
}
