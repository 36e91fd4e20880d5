#include "TestSupport.h"

#include "platform/Stream.h"

#include <sys/wait.h>
#include <unistd.h>
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <iterator>

namespace fs = std::filesystem;

TBgrImage ToBgr(const TBitmap& bitmap) {
    TBgrImage image;
    image.Width = bitmap.Width();
    image.Height = bitmap.Height();
    image.Bgr.resize(static_cast<std::size_t>(image.Width) * image.Height * 3);
    std::uint8_t* p = image.Bgr.data();
    for (int y = 0; y < image.Height; ++y)
        for (int x = 0; x < image.Width; ++x) {
            TColor c = bitmap.Pixel(x, y);
            *p++ = BlueOf(c);
            *p++ = GreenOf(c);
            *p++ = RedOf(c);
        }
    return image;
}

TBgrImage LoadBgr(const std::string& fileName, TLoadedPicture* loaded) {
    TLoadedPicture picture = LoadPictureFile(fileName);
    TBgrImage image = ToBgr(*picture.Bitmap);
    if (loaded) *loaded = std::move(picture);
    return image;
}

TLoadedPicture LoadBytes(const TBytes& bytes, const std::string& extension) {
    TMemoryStream stream(bytes);
    return LoadPictureStream(stream, extension);
}

std::string MessageOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const Exception& e) {
        return e.Message();
    }
    return "(no exception)";
}

std::optional<TBytes> RunTool(const std::string& command) {
    std::FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) return std::nullopt;
    TBytes output;
    std::uint8_t buffer[65536];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        output.insert(output.end(), buffer, buffer + n);
    int status = ::pclose(pipe);
    if (status == -1 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return std::nullopt;
    return output;
}

bool ToolInstalled(const std::string& name) { return RunTool("command -v " + name + " >/dev/null 2>&1").has_value(); }

namespace {

std::string Quoted(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

// Reads the next header number of a PNM file, passing over white space and comments.
std::optional<unsigned> PnmNumber(const TBytes& bytes, std::size_t& at) {
    for (;;) {
        while (at < bytes.size() && std::isspace(bytes[at])) ++at;
        if (at < bytes.size() && bytes[at] == '#') {
            while (at < bytes.size() && bytes[at] != '\n') ++at;
            continue;
        }
        break;
    }
    if (at >= bytes.size() || !std::isdigit(bytes[at])) return std::nullopt;
    unsigned long value = 0;
    while (at < bytes.size() && std::isdigit(bytes[at]) && value < 100000000) value = value * 10 + (bytes[at++] - '0');
    return static_cast<unsigned>(value);
}

}  // namespace

std::optional<TBgrImage> ParsePnm(const TBytes& bytes) {
    if (bytes.size() < 3 || bytes[0] != 'P' || bytes[1] < '1' || bytes[1] > '6') return std::nullopt;
    const int kind = bytes[1] - '0';
    const bool bitmap = kind == 1 || kind == 4, gray = kind == 2 || kind == 5, plain = kind <= 3;
    std::size_t at = 2;
    auto width = PnmNumber(bytes, at), height = PnmNumber(bytes, at);
    std::optional<unsigned> maxval = bitmap ? std::optional<unsigned>(1) : PnmNumber(bytes, at);
    if (!width || !height || !maxval || *maxval == 0 || *maxval > 65535) return std::nullopt;
    TBgrImage image;
    image.Width = static_cast<int>(*width);
    image.Height = static_cast<int>(*height);
    image.Bgr.resize(std::size_t(*width) * *height * 3);
    const unsigned channels = (bitmap || gray) ? 1 : 3;
    std::size_t data = at + 1;  // one white space byte ends the header of the raw formats
    std::size_t bitIndex = 0;
    auto sample = [&](unsigned x) -> std::optional<unsigned> {
        if (plain) {
            if (kind == 1) {  // digits need no separators
                while (at < bytes.size() && std::isspace(bytes[at])) ++at;
                if (at >= bytes.size()) return std::nullopt;
                return bytes[at++] == '1' ? 1u : 0u;
            }
            return PnmNumber(bytes, at);
        }
        if (kind == 4) {
            std::size_t rowBytes = (*width + 7) / 8;
            std::size_t byte = data + (bitIndex / *width) * rowBytes + x / 8;
            ++bitIndex;
            if (byte >= bytes.size()) return std::nullopt;
            return (bytes[byte] >> (7 - x % 8)) & 1u;
        }
        if (*maxval > 255) {
            if (data + 1 >= bytes.size()) return std::nullopt;
            unsigned v = (bytes[data] << 8) | bytes[data + 1];
            data += 2;
            return v;
        }
        if (data >= bytes.size()) return std::nullopt;
        return bytes[data++];
    };
    for (unsigned y = 0; y < *height; ++y)
        for (unsigned x = 0; x < *width; ++x) {
            std::uint8_t rgb[3];
            for (unsigned c = 0; c < channels; ++c) {
                auto v = sample(x);
                if (!v || *v > *maxval) return std::nullopt;
                unsigned level = bitmap ? (*v ? 0 : 255) : *v * 255 / *maxval;
                rgb[c] = static_cast<std::uint8_t>(level);
            }
            if (channels == 1) rgb[1] = rgb[2] = rgb[0];
            std::uint8_t* p = &image.Bgr[(std::size_t(y) * *width + x) * 3];
            p[0] = rgb[2];
            p[1] = rgb[1];
            p[2] = rgb[0];
        }
    return image;
}

TBytes MakePpm(const TBgrImage& image) {
    std::string header = "P6\n" + std::to_string(image.Width) + " " + std::to_string(image.Height) + "\n255\n";
    TBytes bytes(header.begin(), header.end());
    for (std::size_t i = 0; i + 2 < image.Bgr.size(); i += 3) {
        bytes.push_back(image.Bgr[i + 2]);
        bytes.push_back(image.Bgr[i + 1]);
        bytes.push_back(image.Bgr[i]);
    }
    return bytes;
}

std::optional<TBgrImage> ReferenceDecode(const std::string& fileName) {
    std::vector<std::string> commands;
    std::string extension = fs::path(fileName).extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return std::tolower(c); });
    // ImageMagick takes a PNG gAMA chunk as a colour space and would convert the samples; relabelling
    // the picture as sRGB keeps them as stored.
    if (ToolInstalled("convert"))
        commands.push_back("convert " + Quoted(fileName + "[0]") +
                           (extension == ".png" ? " -set colorspace sRGB" : "") +
                           " -alpha off -depth 16 ppm:- 2>/dev/null");
    const char* netpbm = extension == ".png"                             ? "pngtopnm"
                         : extension == ".gif"                           ? "giftopnm"
                         : (extension == ".tif" || extension == ".tiff") ? "tifftopnm"
                                                                         : nullptr;
    if (netpbm && ToolInstalled(netpbm))
        commands.push_back(std::string(netpbm) + " " + Quoted(fileName) + " 2>/dev/null");
    if (RunTool("python3 -c 'import PIL' >/dev/null 2>&1"))
        commands.push_back(
            "python3 -c 'import sys; from PIL import Image; im = Image.open(sys.argv[1]).convert(\"RGB\"); "
            "sys.stdout.buffer.write(b\"P6 %d %d 255 \" % im.size + im.tobytes())' " +
            Quoted(fileName) + " 2>/dev/null");
    for (const std::string& command : commands)
        if (auto output = RunTool(command))
            if (auto image = ParsePnm(*output)) return image;
    return std::nullopt;
}

::testing::AssertionResult SamePicture(const TBgrImage& actual, const TBgrImage& expected, int tolerance) {
    if (actual.Width != expected.Width || actual.Height != expected.Height)
        return ::testing::AssertionFailure() << "size " << actual.Width << "x" << actual.Height << ", expected "
                                             << expected.Width << "x" << expected.Height;
    std::size_t differing = 0, first = 0;
    for (std::size_t i = 0; i < actual.Bgr.size(); i += 3) {
        bool same = true;
        for (int c = 0; c < 3; ++c)
            same = same && std::abs(int(actual.Bgr[i + c]) - int(expected.Bgr[i + c])) <= tolerance;
        if (!same && differing++ == 0) first = i / 3;
    }
    if (differing == 0) return ::testing::AssertionSuccess();
    int x = static_cast<int>(first % actual.Width), y = static_cast<int>(first / actual.Width);
    char text[160];
    std::snprintf(text, sizeof text, "%zu pixels differ; first at (%d, %d): 0x%06X, expected 0x%06X", differing, x, y,
                  actual.At(x, y), expected.At(x, y));
    return ::testing::AssertionFailure() << text;
}

fs::path ScratchFolder() {
    static const struct TScratch {
        fs::path Path;
        TScratch() : Path(fs::temp_directory_path() / ("pixamo-formats-" + std::to_string(::getpid()))) {
            fs::create_directories(Path);
        }
        ~TScratch() {
            std::error_code ignored;
            fs::remove_all(Path, ignored);
        }
    } scratch;
    return scratch.Path;
}

void WriteFile(const fs::path& path, const TBytes& bytes) {
    std::ofstream file(path, std::ios::binary);
    file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

TBytes ReadFile(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    return TBytes(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

std::string CorpusDir() {
#ifdef PIXAMO_CORPUS_DIR
    if (fs::is_directory(PIXAMO_CORPUS_DIR)) return PIXAMO_CORPUS_DIR;
#endif
    return "";
}

std::vector<fs::path> CorpusFiles(const std::string& folder, bool (*accept)(const fs::path&)) {
    std::vector<fs::path> files;
    std::string root = CorpusDir();
    if (root.empty() || !fs::is_directory(fs::path(root) / folder)) return files;
    for (const auto& entry : fs::directory_iterator(fs::path(root) / folder))
        if (entry.is_regular_file() && (!accept || accept(entry.path()))) files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    return files;
}
