#include "TestPictures.h"

#include <unistd.h>
#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>

TScratchFolder::TScratchFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "pixamo-test-XXXXXX").string();
    if (!mkdtemp(pattern.data())) std::abort();
    path_ = pattern;
}

TScratchFolder::~TScratchFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

void WriteBytes(const std::string& fileName, const TBytes& bytes) {
    std::ofstream out(fileName, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

TBytes ReadBytes(const std::string& fileName) {
    std::ifstream in(fileName, std::ios::binary);
    return TBytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TBitmap MakeTestPicture(int width, int height) {
    TBitmap picture;
    picture.SetPixelFormat(TPixelFormat::pf24bit);
    picture.SetSize(width, height);
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = picture.ScanLine(y);
        for (int x = 0; x < width; ++x) {
            row[3 * x] = static_cast<std::uint8_t>(255 * x / std::max(1, width - 1));
            row[3 * x + 1] = static_cast<std::uint8_t>(255 * y / std::max(1, height - 1));
            row[3 * x + 2] = static_cast<std::uint8_t>(((x / 8 + y / 8) & 1) ? 200 : 40);
        }
    }
    return picture;
}

void WritePpm(const TBitmap& picture, const std::string& fileName) {
    std::ofstream out(fileName, std::ios::binary);
    out << "P6\n" << picture.Width() << ' ' << picture.Height() << "\n255\n";
    for (int y = 0; y < picture.Height(); ++y)
        for (int x = 0; x < picture.Width(); ++x) {
            TColor c = picture.Pixel(x, y);
            char rgb[3] = {static_cast<char>(RedOf(c)), static_cast<char>(GreenOf(c)), static_cast<char>(BlueOf(c))};
            out.write(rgb, 3);
        }
}

bool HaveImageMagick() {
    static const bool present =
        access("/usr/bin/convert", X_OK) == 0 && std::system("/usr/bin/convert -version >/dev/null 2>&1") == 0;
    return present;
}

bool RunConvert(const std::string& arguments) {
    return std::system(("/usr/bin/convert " + arguments + " 2>/dev/null").c_str()) == 0;
}

bool DecodeWithImageMagick(const std::string& fileName, int& width, int& height, TBytes& rgb) {
    std::string ppm = fileName + ".reference.ppm";
    if (!RunConvert("'" + fileName + "[0]' -depth 8 -type TrueColor 'ppm:" + ppm + "'")) return false;
    TBytes bytes = ReadBytes(ppm);
    std::remove(ppm.c_str());
    // "P6 W H 255" then the samples.
    std::string text(bytes.begin(),
                     bytes.begin() + static_cast<std::ptrdiff_t>(std::min<std::size_t>(bytes.size(), 64)));
    std::istringstream header(text);
    std::string magic;
    int maxValue = 0;
    header >> magic >> width >> height >> maxValue;
    if (magic != "P6" || maxValue != 255) return false;
    std::size_t start = static_cast<std::size_t>(header.tellg()) + 1;
    rgb.assign(bytes.begin() + static_cast<std::ptrdiff_t>(start), bytes.end());
    return rgb.size() == 3u * static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
}

int MaxDifference(const TBitmap& picture, const TBytes& rgb) {
    int worst = 0;
    for (int y = 0; y < picture.Height(); ++y)
        for (int x = 0; x < picture.Width(); ++x) {
            TColor c = picture.Pixel(x, y);
            const std::uint8_t* p = &rgb[3 * (static_cast<std::size_t>(y) * picture.Width() + x)];
            worst =
                std::max({worst, std::abs(RedOf(c) - p[0]), std::abs(GreenOf(c) - p[1]), std::abs(BlueOf(c) - p[2])});
        }
    return worst;
}

double MeanDifference(const TBitmap& picture, const TBitmap& other) {
    double sum = 0;
    for (int y = 0; y < picture.Height(); ++y)
        for (int x = 0; x < picture.Width(); ++x) {
            TColor a = picture.Pixel(x, y), b = other.Pixel(x, y);
            sum += std::abs(RedOf(a) - RedOf(b)) + std::abs(GreenOf(a) - GreenOf(b)) + std::abs(BlueOf(a) - BlueOf(b));
        }
    return sum / (3.0 * picture.Width() * picture.Height());
}
