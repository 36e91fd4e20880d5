#include "DecoderTestUtils.h"

#include <fstream>
#include <iterator>
#include <string>

TBytes ReadTestData(const char* name) {
    std::ifstream file(std::string(PIXAMO_TEST_DATA_DIR) + "/" + name, std::ios::binary);
    return TBytes(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}
