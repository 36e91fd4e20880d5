// The WebP, AVIF, HEIF and JPEG XL readers against the decoder tools of the same libraries (dwebp,
// avifdec, heif-convert, djxl): the corpus files, and pictures made by the matching encoders
// (cwebp, avifenc, heif-enc, cjxl), lossless ones also against the picture they were made from.
// Cases whose tools are missing are skipped.
#include "TestSupport.h"

#include "formats/AVIFGraphic.h"
#include "formats/FileFormatList.h"
#include "formats/HEIFGraphic.h"
#include "formats/JXLGraphic.h"
#include "formats/LibraryDecoding.h"
#include "formats/ReaderStrings.h"
#include "formats/WebPGraphic.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <sstream>

namespace fs = std::filesystem;

namespace {

// Decoded samples as the tools write them: 1 to 4 channels (grey, grey + alpha, RGB, RGBA).
struct TSamples {
    int Width = 0, Height = 0, Channels = 0;
    unsigned MaxValue = 255;
    std::vector<std::uint16_t> Values;

    std::uint16_t At(int x, int y, int c) const {
        return Values[(static_cast<std::size_t>(y) * Width + x) * Channels + c];
    }
};

// A PAM file (P7) as pngtopam -alphapam writes it.
std::optional<TSamples> ParsePam(const TBytes& bytes) {
    const std::string text(bytes.begin(), bytes.end());
    const std::size_t end = text.find("ENDHDR\n");
    if (text.rfind("P7\n", 0) != 0 || end == std::string::npos) return std::nullopt;
    std::istringstream header(text.substr(3, end - 3));
    TSamples s;
    for (std::string key; header >> key;) {
        if (key == "WIDTH") header >> s.Width;
        if (key == "HEIGHT") header >> s.Height;
        if (key == "DEPTH") header >> s.Channels;
        if (key == "MAXVAL") header >> s.MaxValue;
        if (key == "TUPLTYPE") header >> key;
    }
    const std::size_t bytesPerSample = s.MaxValue > 255 ? 2 : 1;
    const std::size_t count = std::size_t(s.Width) * s.Height * s.Channels;
    if (s.Channels < 1 || s.Channels > 4 || bytes.size() < end + 7 + count * bytesPerSample) return std::nullopt;
    const std::uint8_t* p = bytes.data() + end + 7;
    for (std::size_t i = 0; i < count; ++i, p += bytesPerSample)
        s.Values.push_back(bytesPerSample == 2 ? std::uint16_t(p[0] << 8 | p[1]) : *p);
    return s;
}

TBytes WritePam(const TSamples& s) {
    const char* type = s.Channels == 4 ? "RGB_ALPHA" : "RGB";
    std::string header = FormatText("P7\nWIDTH %d\nHEIGHT %d\nDEPTH %d\nMAXVAL %u\nTUPLTYPE %s\nENDHDR\n", s.Width,
                                    s.Height, s.Channels, s.MaxValue, type);
    TBytes bytes(header.begin(), header.end());
    for (std::uint16_t v : s.Values) {
        if (s.MaxValue > 255) bytes.push_back(static_cast<std::uint8_t>(v >> 8));
        bytes.push_back(static_cast<std::uint8_t>(v));
    }
    return bytes;
}

// The picture the readers should show: samples of significantBits (the tools write deeper ones
// shifted to the top of 16 bits) rounded to 8 bits, alpha drawn onto white.
TBgrImage OnWhite(const TSamples& s, int significantBits = 8) {
    const unsigned shift = s.MaxValue > 255 ? 16 - significantBits : 0;
    const unsigned max = s.MaxValue > 255 ? (1u << significantBits) - 1 : 255;
    auto eight = [&](int x, int y, int c) {
        return static_cast<std::uint8_t>(((s.At(x, y, c) >> shift) * 255 + max / 2) / max);
    };
    TBgrImage image{s.Width, s.Height, {}};
    const bool gray = s.Channels <= 2, alpha = s.Channels % 2 == 0;
    for (int y = 0; y < s.Height; ++y)
        for (int x = 0; x < s.Width; ++x) {
            const std::uint8_t a = alpha ? eight(x, y, s.Channels - 1) : 255;
            for (int c = 2; c >= 0; --c) image.Bgr.push_back(OverWhite(eight(x, y, gray ? 0 : c), a));
        }
    return image;
}

std::string Quoted(const fs::path& path) { return "'" + path.string() + "'"; }

// Runs a decoder tool that writes a PNG file, and reads that through pngtopam.
std::optional<TSamples> DecodeWithTool(const std::string& command, const fs::path& input) {
    const fs::path png = ScratchFolder() / (input.filename().string() + ".ref.png");
    std::string line = command;
    line.replace(line.find("{in}"), 4, Quoted(input));
    line.replace(line.find("{out}"), 5, Quoted(png));
    if (!RunTool(line + " >/dev/null 2>&1")) return std::nullopt;
    std::optional<TBytes> pam = RunTool("pngtopam -alphapam " + Quoted(png) + " 2>/dev/null");
    return pam ? ParsePam(*pam) : std::nullopt;
}

struct TCodec {
    const char* Extension;
    const TGraphicClass* Class;
    const char* Encoder;  // the encoder tool, to test for
    const char* Decoder;  // "{in}" to a PNG "{out}"
};

const TCodec WebP{"webp", &TWebPGraphicClass, "cwebp", "dwebp {in} -o {out}"};
const TCodec AVIF{"avif", &TAVIFGraphicClass, "avifenc", "avifdec -d 8 {in} {out}"};
const TCodec HEIF{"heic", &THEIFGraphicClass, "heif-enc", "heif-convert --quiet {in} {out}"};
const TCodec JXL{"jxl", &TJXLGraphicClass, "cjxl", "djxl {in} {out}"};

const char* DecoderName(const TCodec& codec) {
    static const std::map<std::string, std::string> names = {
        {"webp", "dwebp"}, {"avif", "avifdec"}, {"heic", "heif-convert"}, {"jxl", "djxl"}};
    return names.at(codec.Extension).c_str();
}

// A test picture with smooth ramps and fine detail (work for lossy coders), odd-sized so that
// chroma subsampling meets a half block; alpha runs from transparent at the top to opaque.
TSamples MakePicture(bool alpha, bool deep, int width = 151, int height = 99) {
    TSamples s{width, height, alpha ? 4 : 3, deep ? 65535u : 255u, {}};
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const unsigned detail = ((x * 7 + y * 13) % 32) * 4;
            const unsigned v[4] = {x * s.MaxValue / (width - 1), y * s.MaxValue / (height - 1),
                                   (detail + (x + y) / 2) * s.MaxValue / 255 % (s.MaxValue + 1),
                                   y * s.MaxValue / (height - 1)};
            for (int c = 0; c < s.Channels; ++c) s.Values.push_back(static_cast<std::uint16_t>(v[c]));
        }
    return s;
}

// Writes the picture as PNG through pamtopng; the path, or empty when that fails.
fs::path WritePng(const TSamples& picture, const std::string& name) {
    const fs::path pam = ScratchFolder() / (name + ".pam"), png = ScratchFolder() / (name + ".png");
    WriteFile(pam, WritePam(picture));
    return RunTool("pamtopng " + Quoted(pam) + " > " + Quoted(png) + " 2>/dev/null") ? png : fs::path();
}

// Encodes a PNG with a command ("{in}", "{out}"); the path, or empty when the encoder fails.
fs::path Encode(const std::string& command, const fs::path& png, const std::string& name) {
    const fs::path out = ScratchFolder() / name;
    std::string line = command;
    for (std::size_t at; (at = line.find("{in}")) != std::string::npos;) line.replace(at, 4, Quoted(png));
    line.replace(line.find("{out}"), 5, Quoted(out));
    return RunTool(line + " >/dev/null 2>&1") ? out : fs::path();
}

bool ToolsInstalled(const TCodec& codec) {
    return ToolInstalled(codec.Encoder) && ToolInstalled(DecoderName(codec)) && ToolInstalled("pngtopam") &&
           ToolInstalled("pamtopng");
}

// A small picture of the codec made by its encoder, for the tests that cut or damage files.
TBytes SmallFile(const TCodec& codec, bool alpha) {
    static const std::map<std::string, std::string> commands = {{"webp", "cwebp -q 80 {in} -o {out}"},
                                                                {"avif", "avifenc -s 8 {in} {out}"},
                                                                {"heic", "heif-enc -q 80 {in} -o {out}"},
                                                                {"jxl", "cjxl -d 1 {in} {out}"}};
    const std::string name = std::string("small") + (alpha ? "-alpha." : ".") + codec.Extension;
    const fs::path png = WritePng(MakePicture(alpha, false), name);
    const fs::path file = png.empty() ? png : Encode(commands.at(codec.Extension), png, name);
    return file.empty() ? TBytes() : ReadFile(file);
}

// The shown picture of samples after the container's clean aperture (x, y, w, h), rotation by
// angle × 90 degrees anticlockwise and mirror (0 top-bottom, 1 left-right, -1 none).
TSamples Oriented(const TSamples& s, int cx, int cy, int cw, int ch, int angle, int mirror) {
    TSamples r{angle % 2 ? ch : cw, angle % 2 ? cw : ch, s.Channels, s.MaxValue, {}};
    for (int y = 0; y < r.Height; ++y)
        for (int x = 0; x < r.Width; ++x) {
            const int mx = mirror == 1 ? r.Width - 1 - x : x, my = mirror == 0 ? r.Height - 1 - y : y;
            const int sx = angle == 1 ? cw - 1 - my : angle == 2 ? cw - 1 - mx : angle == 3 ? my : mx;
            const int sy = angle == 1 ? mx : angle == 2 ? ch - 1 - my : angle == 3 ? ch - 1 - mx : my;
            for (int c = 0; c < s.Channels; ++c) r.Values.push_back(s.At(cx + sx, cy + sy, c));
        }
    return r;
}

std::unique_ptr<TReaderGraphic> CreateReader(const TCodec& codec) {
    std::unique_ptr<TBitmap> bitmap = codec.Class->Create();
    return std::unique_ptr<TReaderGraphic>(static_cast<TReaderGraphic*>(bitmap.release()));
}

// The position of the payload of the first box of a type after from ("ispe": version and flags,
// then width and height); 0 when there is none.
std::size_t FindBox(const TBytes& bytes, const char* type, std::size_t from) {
    const auto found = std::search(bytes.begin() + static_cast<std::ptrdiff_t>(from), bytes.end(), type, type + 4);
    return found == bytes.end() ? 0 : static_cast<std::size_t>(found - bytes.begin()) + 4;
}

void PutBigEndian32(TBytes& bytes, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<std::uint8_t>(value >> (24 - 8 * i));
}

}  // namespace

TEST(CodecLibraryReaders, ContentTestsClaimTheirSignaturesOnly) {
    auto claims = [](bool (*test)(TStream&), const TBytes& bytes) {
        TMemoryStream stream(bytes);
        stream.SetPosition(1);
        const bool result = test(stream);
        EXPECT_EQ(stream.Position(), 1);
        return result;
    };
    // WebP: more than 12 bytes, "RIFF" ???? "WEBP".
    TBytes webp = {0, 'R', 'I', 'F', 'F', 1, 2, 3, 4, 'W', 'E', 'B', 'P'};
    EXPECT_FALSE(claims(&TWebPGraphic::CanLoadStream, webp));
    webp.push_back('V');
    EXPECT_TRUE(claims(&TWebPGraphic::CanLoadStream, webp));
    webp[10] = 'A';
    EXPECT_FALSE(claims(&TWebPGraphic::CanLoadStream, webp));

    // JPEG XL: the bare codestream after more than 2 bytes, the container's signature box.
    EXPECT_FALSE(claims(&TJXLGraphic::CanLoadStream, {0, 0xFF, 0x0A}));
    EXPECT_TRUE(claims(&TJXLGraphic::CanLoadStream, {0, 0xFF, 0x0A, 0xFA}));
    TBytes container = {0, 0, 0, 0, 12, 'J', 'X', 'L', ' ', 0x0D, 0x0A, 0x87, 0x0A, 0, 0, 0};
    EXPECT_TRUE(claims(&TJXLGraphic::CanLoadStream, container));
    container[7] = 'X';
    EXPECT_FALSE(claims(&TJXLGraphic::CanLoadStream, container));

    // ISO base media brands: AVIF takes avif and avis unless the major brand is HEVC's, HEIF its
    // own brands and the generic mif1/msf1.
    auto ftyp = [](const char* major, std::initializer_list<const char*> compatible) {
        TBytes bytes = {0};
        const std::uint32_t size = 16 + 4 * static_cast<std::uint32_t>(compatible.size());
        for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<std::uint8_t>(size >> (24 - 8 * i)));
        bytes.insert(bytes.end(), {'f', 't', 'y', 'p'});
        bytes.insert(bytes.end(), major, major + 4);
        bytes.insert(bytes.end(), 4, 0);
        for (const char* brand : compatible) bytes.insert(bytes.end(), brand, brand + 4);
        return bytes;
    };
    const struct {
        TBytes Bytes;
        bool Avif, Heif;
    } files[] = {
        {ftyp("avif", {"mif1", "miaf"}), true, true},
        {ftyp("mif1", {"avif"}), true, true},
        {ftyp("avis", {}), true, false},
        {ftyp("heic", {"mif1", "avif"}), false, true},
        {ftyp("mif1", {"heic"}), false, true},
        {ftyp("msf1", {}), false, true},
        {ftyp("isom", {"mp41"}), false, false},
        {ftyp("crx ", {}), false, false},
    };
    for (const auto& file : files) {
        EXPECT_EQ(claims(&TAVIFGraphic::CanLoadStream, file.Bytes), file.Avif);
        EXPECT_EQ(claims(&THEIFGraphic::CanLoadStream, file.Bytes), file.Heif);
    }
    // The whole box must be there.
    TBytes cut = ftyp("avif", {"mif1"});
    cut.pop_back();
    EXPECT_FALSE(claims(&TAVIFGraphic::CanLoadStream, cut));
}

TEST(CodecLibraryReaders, CorpusFilesMatchTheLibrariesOwnDecoders) {
    PIXAMO_REQUIRE_CORPUS();
    const std::map<std::string, const TCodec*> codecs = {
        {".webp", &WebP}, {".avif", &AVIF}, {".heif", &HEIF}, {".heic", &HEIF}, {".jxl", &JXL}};
    const std::vector<fs::path> files = CorpusFiles("modern", [](const fs::path& path) {
        const std::string e = path.extension().string();
        return e == ".webp" || e == ".avif" || e == ".heif" || e == ".heic" || e == ".jxl";
    });
    ASSERT_FALSE(files.empty());
    const bool pngtopam = ToolInstalled("pngtopam");
    for (const fs::path& file : files) {
        SCOPED_TRACE(file.filename().string());
        const TCodec& codec = *codecs.at(file.extension().string());
        TLoadedPicture loaded;
        const TBgrImage ours = LoadBgr(file.string(), &loaded);
        EXPECT_EQ(loaded.Class, codec.Class);
        ASSERT_TRUE(loaded.Properties);
        EXPECT_EQ(loaded.Properties->Width, static_cast<std::uint32_t>(ours.Width));
        EXPECT_EQ(loaded.Properties->Height, static_cast<std::uint32_t>(ours.Height));

        const std::string name = file.filename().string();
        // avifdec does not turn pictures; the turned ones are checked against libheif below.
        if (!pngtopam || !ToolInstalled(DecoderName(codec)) || name.rfind("rot", 0) == 0) continue;
        if (std::optional<TSamples> reference = DecodeWithTool(codec.Decoder, file))
            EXPECT_TRUE(SamePicture(ours, OnWhite(*reference)));
        else
            // dwebp shows no animations: the first frame of iss634.webp fills its canvas.
            EXPECT_EQ(name, "iss634.webp");
    }

    // The colour profile and Exif block stay with the picture, Exif from its TIFF header on.
    auto metadataOf = [](const std::string& name) -> TPictureMetadata {
        const fs::path path = fs::path(CorpusDir()) / "modern" / name;
        if (!fs::exists(path)) return {};
        std::unique_ptr<TBitmap> reader = FormatList().ClassFromContent(path.string())->Create();
        reader->LoadFromFile(path.string());
        return reader->Metadata();
    };
    EXPECT_EQ(metadataOf("icc_profile.avif").Icc.size(), 3144u);
    for (const char* name : {"exif.avif", "flower.webp"}) {
        const TByteArray exif = metadataOf(name).Exif;
        ASSERT_GE(exif.size(), 8u) << name;
        EXPECT_TRUE(std::memcmp(exif.data(), "II*\0", 4) == 0 || std::memcmp(exif.data(), "MM\0*", 4) == 0) << name;
    }
}

TEST(CodecLibraryReaders, RoundTripsMatchTheDecoderToolsAndLosslessSources) {
    const struct {
        const TCodec* Codec;
        const char* Encode;
        bool Alpha, Deep, Lossless;
        int Bits;  // significant bits of the decoder tool's 16-bit output
        int Tolerance;
    } cases[] = {
        {&WebP, "cwebp -q 75 {in} -o {out}", false, false, false, 8, 0},
        {&WebP, "cwebp -q 75 {in} -o {out}", true, false, false, 8, 0},
        {&WebP, "cwebp -lossless -exact {in} -o {out}", true, false, true, 8, 0},
        {&WebP, "img2webp -lossless {in} {in} -o {out}", true, false, true, 8, 0},
        {&AVIF, "avifenc -s 8 {in} {out}", false, false, false, 8, 0},
        {&AVIF, "avifenc -s 8 {in} {out}", true, false, false, 8, 0},
        {&AVIF, "avifenc -s 8 -d 10 {in} {out}", false, true, false, 8, 0},
        {&AVIF, "avifenc -s 8 -d 12 -y 444 {in} {out}", true, true, false, 8, 0},
        {&AVIF, "avifenc -s 8 -l {in} {out}", true, false, true, 8, 0},
        {&HEIF, "heif-enc -q 75 {in} -o {out}", false, false, false, 8, 0},
        {&HEIF, "heif-enc -q 75 {in} -o {out}", true, false, false, 8, 0},
        {&HEIF, "heif-enc -q 75 -b 10 {in} -o {out}", false, true, false, 10, 0},
        {&HEIF, "heif-enc -q 75 -b 12 {in} -o {out}", true, true, false, 12, 0},
        // x265's lossless mode still leaves a few samples 1 off the source: compared with the tool only.
        {&HEIF, "heif-enc -L -p chroma=444 --matrix_coefficients=0 {in} -o {out}", false, false, false, 8, 0},
        {&JXL, "cjxl -d 1 {in} {out}", false, false, false, 8, 0},
        {&JXL, "cjxl -d 1 {in} {out}", true, false, false, 8, 0},
        {&JXL, "cjxl -d 0 {in} {out}", true, false, true, 8, 0},
        // libjxl rounds its own float samples to 8 bits, the test the tool's 16 bits.
        {&JXL, "cjxl -d 0 {in} {out}", false, true, true, 16, 1},
    };
    int index = 0;
    for (const auto& c : cases) {
        const TCodec& codec = *c.Codec;
        const std::string name = FormatText("trip%d.%s", index++, codec.Extension);
        SCOPED_TRACE(name + ": " + c.Encode);
        if (!ToolsInstalled(codec) || !ToolInstalled(std::string(c.Encode).substr(0, std::string(c.Encode).find(' '))))
            continue;
        const TSamples source = MakePicture(c.Alpha, c.Deep);
        const fs::path file = Encode(c.Encode, WritePng(source, name), name);
        ASSERT_FALSE(file.empty());
        TLoadedPicture loaded;
        const TBgrImage ours = LoadBgr(file.string(), &loaded);
        EXPECT_EQ(loaded.Class, codec.Class);
        EXPECT_EQ(loaded.Properties->HasAlpha, c.Alpha);
        EXPECT_EQ(loaded.Properties->BitsPerSample > 8, c.Deep);
        if (c.Lossless) {
            EXPECT_TRUE(SamePicture(ours, OnWhite(source, 16), c.Tolerance));
        }
        const std::optional<TSamples> reference = DecodeWithTool(codec.Decoder, file);
        // dwebp shows no animations.
        if (std::string(c.Encode).rfind("img2webp", 0) == 0) continue;
        ASSERT_TRUE(reference);
        EXPECT_TRUE(SamePicture(ours, OnWhite(*reference, c.Bits), c.Tolerance));
    }
}

TEST(CodecLibraryReaders, TurnedAndMirroredPicturesShowAsTheContainerSays) {
    // libavif only reports the clean aperture, irot and imir; the reader applies them.
    if (ToolsInstalled(AVIF)) {
        const TSamples source = MakePicture(false, false);
        const fs::path png = WritePng(source, "turned");
        const struct {
            const char* Options;
            int X, Y, W, H, Angle, Mirror;
        } cases[] = {{"--irot 1", 0, 0, 151, 99, 1, -1},
                     {"--irot 2 --imir 1", 0, 0, 151, 99, 2, 1},
                     {"--irot 3 --imir 0", 0, 0, 151, 99, 3, 0},
                     {"--imir 0", 0, 0, 151, 99, 0, 0},
                     {"--crop 10,20,100,50 --irot 1 --imir 1", 10, 20, 100, 50, 1, 1}};
        for (const auto& c : cases) {
            SCOPED_TRACE(c.Options);
            const fs::path file = Encode(std::string("avifenc -s 8 -l ") + c.Options + " {in} {out}", png,
                                         "turned-" + std::to_string(&c - cases) + ".avif");
            ASSERT_FALSE(file.empty());
            EXPECT_TRUE(
                SamePicture(LoadBgr(file.string()), OnWhite(Oriented(source, c.X, c.Y, c.W, c.H, c.Angle, c.Mirror))));
        }
    }
    // The corpus's turned AVIF files through both readers against libheif's own tool: libheif
    // turns them itself (exactly its tool's picture); libavif's colour conversion differs from
    // libheif's by a few levels, a wrongly turned picture by a few dozen.
    PIXAMO_REQUIRE_CORPUS();
    if (!ToolInstalled("heif-convert") || !ToolInstalled("pngtopam")) GTEST_SKIP() << "heif-convert is not installed";
    for (const char* name : {"rot0mir1.avif", "rot1mir0.avif", "rot2mir1.avif", "rot3mir0.avif"}) {
        SCOPED_TRACE(name);
        const fs::path file = fs::path(CorpusDir()) / "modern" / name;
        PIXAMO_REQUIRE_CORPUS_FILE(file);
        const std::optional<TSamples> reference = DecodeWithTool(HEIF.Decoder, file);
        ASSERT_TRUE(reference);
        const TBgrImage expected = OnWhite(*reference);
        EXPECT_TRUE(SamePicture(ToBgr(*LoadReader<THEIFGraphic>(ReadFile(file))), expected));
        const TBgrImage avif = LoadBgr(file.string());
        ASSERT_TRUE(SamePicture(avif, expected, 64));
        double difference = 0;
        for (std::size_t i = 0; i < avif.Bgr.size(); ++i) difference += std::abs(avif.Bgr[i] - expected.Bgr[i]);
        EXPECT_LT(difference / double(avif.Bgr.size()), 2.0);
    }
}

TEST(CodecLibraryReaders, PropertiesComeFromTheHeaderAloneAndCutFilesAreRefused) {
    for (const TCodec* codec : {&WebP, &AVIF, &HEIF, &JXL}) {
        SCOPED_TRACE(codec->Extension);
        if (!ToolInstalled(codec->Encoder) || !ToolInstalled("pamtopng")) continue;
        for (bool alpha : {false, true}) {
            const TBytes file = SmallFile(*codec, alpha);
            ASSERT_FALSE(file.empty());
            // The last quarter, picture data, zeroed: the header still describes the picture.
            TBytes zeroed = file;
            std::fill(zeroed.begin() + static_cast<std::ptrdiff_t>(file.size() * 3 / 4), zeroed.end(), 0);
            std::unique_ptr<TReaderGraphic> reader = CreateReader(*codec);
            TMemoryStream stream(zeroed);
            ASSERT_TRUE(reader->ReadProperties(stream, 0));
            const TImageProperties& p = reader->ImageProperties;
            EXPECT_EQ(p.Width, 151u);
            EXPECT_EQ(p.Height, 99u);
            EXPECT_EQ(p.HasAlpha, alpha);
            EXPECT_EQ(p.BitsPerSample, 8);
            EXPECT_EQ(p.SamplesPerPixel, alpha ? 4 : 3);
            EXPECT_NE(p.Compression, CompressionKind::Unknown);
            // Cut after three quarters: refused (libavif already when it reads the container).
            const TBytes cut(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(file.size() * 3 / 4));
            TMemoryStream cutStream(cut);
            EXPECT_THROW(reader->LoadFromStream(cutStream), Exception);
        }
    }
}

TEST(CodecLibraryReaders, DamagedAndOversizedFilesAreRefused) {
    // Past a valid signature, bytes no decoder takes.
    auto garbage = [](TBytes head) {
        for (int i = 0; i < 200; ++i) head.push_back(static_cast<std::uint8_t>(i * 37 + 11));
        return head;
    };
    EXPECT_EQ(ReaderMessage<TWebPGraphic>(garbage({'R', 'I', 'F', 'F', 208, 0, 0, 0, 'W', 'E', 'B', 'P'})),
              "Cannot load image. Invalid or unexpected WebP image format.");
    EXPECT_EQ(ReaderMessage<TJXLGraphic>(garbage({0xFF, 0x0A})),
              "Cannot load image. Invalid or unexpected JPEG XL image format.");
    // libavif and libheif say what they found wrong.
    const TBytes ftyp = {0, 0, 0, 16, 'f', 't', 'y', 'p', 'a', 'v', 'i', 'f', 0, 0, 0, 0};
    EXPECT_EQ(ReaderMessage<TAVIFGraphic>(garbage(ftyp)).rfind("Cannot load AVIF image. ", 0), 0u);
    TBytes heic = ftyp;
    std::memcpy(&heic[8], "heic", 4);
    EXPECT_EQ(ReaderMessage<THEIFGraphic>(garbage(heic)).rfind("Cannot load HEIF/HEIC image. ", 0), 0u);

    // Headers that ask for 20000 x 20000 pixels are refused before anything is decoded.
    const std::string tooLarge = "Cannot load image. The %s image of 20000 x 20000 pixels is too large.";
    // WebP: an extended header announcing an animation on a 20000 x 20000 canvas.
    TBytes webp = {'R', 'I', 'F', 'F', 30, 0, 0, 0, 'W', 'E', 'B', 'P', 'V', 'P', '8', 'X', 10, 0, 0, 0, 0x02, 0, 0, 0};
    for (int i = 0; i < 2; ++i) webp.insert(webp.end(), {(20000 - 1) & 0xFF, ((20000 - 1) >> 8) & 0xFF, 0});
    webp.resize(38, 0);
    EXPECT_EQ(ReaderMessage<TWebPGraphic>(webp), FormatText(tooLarge.c_str(), gesWebP));
    // JPEG XL: a size header of 20000 x 20000 (not small, 18-bit sizes) with default metadata.
    std::vector<int> bits;
    auto put = [&bits](unsigned value, int count) {
        for (int i = 0; i < count; ++i) bits.push_back((value >> i) & 1);
    };
    put(0, 1), put(2, 2), put(19999, 18), put(0, 3), put(2, 2), put(19999, 18), put(1, 1);
    TBytes jxl = {0xFF, 0x0A};
    for (std::size_t i = 0; i < bits.size(); i += 8) {
        std::uint8_t byte = 0;
        for (std::size_t j = 0; j < 8 && i + j < bits.size(); ++j) byte |= static_cast<std::uint8_t>(bits[i + j] << j);
        jxl.push_back(byte);
    }
    jxl.resize(40, 0);
    EXPECT_EQ(ReaderMessage<TJXLGraphic>(jxl), FormatText(tooLarge.c_str(), gesJXL));
    // A 1 KB HEIF file (found by fuzzing) whose grid descriptor asks for 28009 x 28005 pixels
    // while the grid item declares 24 x 16: libheif, told the sides to expect, refuses it before
    // allocating the grid's picture.
    const std::string grid =
        ReaderMessage<THEIFGraphic>(ReadFile(fs::path(PIXAMO_TEST_DATA_DIR) / "fuzz-heif-grid-larger-than-declared"));
    EXPECT_EQ(grid.rfind("Cannot load HEIF/HEIC image. Memory allocation error: Security limit exceeded: Image size "
                         "28009x28005",
                         0),
              0u)
        << grid;
    // AVIF and HEIF: the picture's spatial extent property patched.
    for (const TCodec* codec : {&AVIF, &HEIF}) {
        if (!ToolInstalled(codec->Encoder) || !ToolInstalled("pamtopng")) continue;
        TBytes file = SmallFile(*codec, false);
        // Every item's: an odd-sized HEIF picture is a cropped 152 x 100 one.
        for (std::size_t ispe = 0; (ispe = FindBox(file, "ispe", ispe)) != 0;) {
            PutBigEndian32(file, ispe + 4, 20000);
            PutBigEndian32(file, ispe + 8, 20000);
        }
        std::unique_ptr<TReaderGraphic> reader = CreateReader(*codec);
        const std::string message = MessageOf([&] {
            TMemoryStream stream(file);
            reader->LoadFromStream(stream);
        });
        // libavif, told the limit, refuses the item itself and says so.
        if (codec == &AVIF)
            EXPECT_EQ(message,
                      "Cannot load AVIF image. BMFF parsing failed: Item ID [1] dimensions are too large "
                      "[20000x20000].");
        else
            EXPECT_EQ(message, FormatText(tooLarge.c_str(), reader->FormatLabel()));
    }
}
