// libFuzzer entry; PIXAMO_FUZZ_DECODER names the decoder this executable exercises.
#include "DecoderFuzzers.h"

#include "platform/Warnings.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const decoderfuzz::TFuzzer fuzzer = [] {
        SetWarningHandler([](const std::string&) {});  // truncated JPEG strips warn on every run
        return decoderfuzz::Find(PIXAMO_FUZZ_DECODER);
    }();
    fuzzer(decoderfuzz::TInput(data, size));
    return 0;
}
