#include "Cli.h"

#include "BatchRunner.h"
#include "PictureLoader.h"

#include "core/ColorEffects.h"
#include "core/FitBox.h"
#include "core/PixelBuffer.h"
#include "core/Resample.h"
#include "core/SavePicture.h"
#include "core/Transforms.h"
#include "formats/LoadPipeline.h"
#include "platform/Exception.h"
#include "platform/Warnings.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <memory>
#include <new>
#include <optional>
#include <ostream>
#include <utility>

namespace {

// Larger results are refused rather than left to exhaust the machine.
constexpr std::uint64_t MaxResultPixels = MaxPicturePixels;

// The scale dialog's first choice.
constexpr int DefaultFilter = rfLanczos3;

enum class TOperationKind {
    Scale,
    ScalePercent,
    Fit,
    RotateLeft,
    RotateRight,
    Flip,
    Flop,
    Crop,
    Enlighten,
    Endarken,
    Mix,
    Gamma
};

struct TOperation {
    TOperationKind Kind;
    std::string Text;  // the argument as given
    int X = 0, Y = 0, Width = 0, Height = 0;
    double Percent = 0;
    int Filter = DefaultFilter;
    TColor Color = 0;
    float Gamma = 1;
};

struct TConvertJob {
    std::vector<TOperation> Operations;
    std::vector<std::string> Inputs;
    std::string Output;        // single picture
    std::string OutputFolder;  // batch
    std::string Format;        // batch: the extension of one of SaveFormats
    TSaveOptions Save;
    bool Strip = false;  // no EXIF or XMP in the results
    bool Verbose = false;
    bool Enlarge = false;  // --fit may make a picture larger
    bool Draft = false;    // JPEG sources may be decoded at a reduced size
    TBatchOptions Batch;
    TLoadOptions Load;
};

// "a, b or c".
template <class TItem, std::size_t N, class TText> std::string Listed(const TItem (&items)[N], TText textOf) {
    std::string list;
    for (std::size_t i = 0; i < N; ++i) {
        if (i > 0) list += i + 1 == N ? " or " : ", ";
        list += textOf(items[i]);
    }
    return list;
}

std::string FilterList() {
    return Listed(ResampleFilters, [](const TResampleFilter& filter) { return std::string(filter.CliName); });
}

std::string FormatList() {
    return Listed(SaveFormats, [](const TSaveFormatInfo& format) { return std::string(format.Extension()); });
}

std::optional<int> ParseInt(std::string_view text) {
    int value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

std::optional<double> ParseNumber(const std::string& text) {
    if (text.empty() || std::isspace(static_cast<unsigned char>(text[0]))) return std::nullopt;
    char* end = nullptr;
    double value = std::strtod(text.c_str(), &end);
    if (end != text.c_str() + text.size() || !std::isfinite(value)) return std::nullopt;
    return value;
}

std::vector<std::string_view> Split(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    while (true) {
        std::size_t cut = text.find(separator, start);
        parts.push_back(text.substr(start, cut == std::string_view::npos ? std::string_view::npos : cut - start));
        if (cut == std::string_view::npos) return parts;
        start = cut + 1;
    }
}

void CheckResultSize(std::uint64_t width, std::uint64_t height, const std::string& what) {
    if (width * height > MaxResultPixels)
        throw EUsage(FormatText("%s: a picture of %llux%llu pixels is too large (at most %llu pixels).", what.c_str(),
                                static_cast<unsigned long long>(width), static_cast<unsigned long long>(height),
                                static_cast<unsigned long long>(MaxResultPixels)));
}

TOperation ParseScale(const std::string& text, int filter) {
    TOperation op{TOperationKind::Scale, text};
    op.Filter = filter;
    if (!text.empty() && text.back() == '%') {
        std::optional<double> percent = ParseNumber(text.substr(0, text.size() - 1));
        if (!percent || *percent <= 0) throw EUsage("--scale " + text + ": the percentage must be a number above 0.");
        op.Kind = TOperationKind::ScalePercent;
        op.Percent = *percent;
        return op;
    }
    std::vector<std::string_view> parts = Split(text, 'x');
    std::optional<int> width = parts.size() == 2 ? ParseInt(parts[0]) : std::nullopt;
    std::optional<int> height = parts.size() == 2 ? ParseInt(parts[1]) : std::nullopt;
    if (!width || !height || *width <= 0 || *height <= 0)
        throw EUsage("--scale " + text + ": give WIDTHxHEIGHT in whole pixels above 0, or a percentage such as 50%.");
    CheckResultSize(static_cast<std::uint64_t>(*width), static_cast<std::uint64_t>(*height), "--scale " + text);
    op.Width = *width;
    op.Height = *height;
    return op;
}

// --fit WxH or --fit N (an N x N box).
TOperation ParseFit(const std::string& text, int filter) {
    TOperation op{TOperationKind::Fit, text};
    op.Filter = filter;
    std::vector<std::string_view> parts = Split(text, 'x');
    std::optional<int> width = parts.size() <= 2 ? ParseInt(parts[0]) : std::nullopt;
    std::optional<int> height = parts.size() == 2 ? ParseInt(parts[1]) : width;
    if (!width || !height || *width <= 0 || *height <= 0)
        throw EUsage("--fit " + text + ": give the box as WIDTHxHEIGHT or as one side N, in whole pixels above 0.");
    CheckResultSize(static_cast<std::uint64_t>(*width), static_cast<std::uint64_t>(*height), "--fit " + text);
    op.Width = *width;
    op.Height = *height;
    return op;
}

TOperation ParseCrop(const std::string& text) {
    TOperation op{TOperationKind::Crop, text};
    std::vector<std::string_view> parts = Split(text, ',');
    std::optional<int> v[4];
    if (parts.size() == 4)
        for (int i = 0; i < 4; ++i) v[i] = ParseInt(parts[static_cast<std::size_t>(i)]);
    if (parts.size() != 4 || !v[0] || !v[1] || !v[2] || !v[3] || *v[0] < 0 || *v[1] < 0 || *v[2] <= 0 || *v[3] <= 0)
        throw EUsage("--crop " + text +
                     ": give X,Y,WIDTH,HEIGHT in whole pixels (X and Y from 0, WIDTH and HEIGHT above 0).");
    op.X = *v[0];
    op.Y = *v[1];
    op.Width = *v[2];
    op.Height = *v[3];
    return op;
}

TOperation ParseMix(const std::string& text) {
    TOperation op{TOperationKind::Mix, text};
    std::string_view hex = text;
    if (!hex.empty() && hex[0] == '#') hex.remove_prefix(1);
    unsigned value = 0;
    auto [end, error] = std::from_chars(hex.data(), hex.data() + hex.size(), value, 16);
    if (hex.size() != 6 || error != std::errc() || end != hex.data() + hex.size())
        throw EUsage("--mix " + text + ": give the colour as six hexadecimal digits RRGGBB, such as FF8000.");
    op.Color = RGBColor(static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 8),
                        static_cast<std::uint8_t>(value));
    return op;
}

TOperation ParseGamma(const std::string& text) {
    TOperation op{TOperationKind::Gamma, text};
    std::optional<double> gamma = ParseNumber(text);
    if (!gamma || *gamma < 0.1 || *gamma > 2.5) throw EUsage("--gamma " + text + ": give a number from 0.1 to 2.5.");
    op.Gamma = static_cast<float>(*gamma);
    return op;
}

TConvertJob ParseConvert(const std::vector<std::string>& args, const TLoadOptions& load, std::istream& standardInput) {
    TConvertJob job;
    job.Load = load;
    std::vector<std::string> positional;
    int filter = DefaultFilter;
    bool onlyNames = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (onlyNames || arg.empty() || arg[0] != '-' || arg == "-") {
            positional.push_back(arg);
            continue;
        }
        auto value = [&]() -> const std::string& {
            if (i + 1 >= args.size()) throw EUsage(arg + " needs a value.");
            return args[++i];
        };
        if (arg == "--")
            onlyNames = true;
        else if (job.Batch.Parse(arg, value))
            continue;
        else if (arg == "--verbose")
            job.Verbose = true;
        else if (arg == "-o")
            job.OutputFolder = value();
        else if (arg == "--format") {
            job.Format = value();
            if (std::none_of(std::begin(SaveFormats), std::end(SaveFormats),
                             [&job](const TSaveFormatInfo& format) { return job.Format == format.Extension(); }))
                throw EUsage("--format " + job.Format + ": give " + FormatList() + ".");
        } else if (arg == "--quality") {
            const std::string& text = value();
            std::optional<int> quality = ParseInt(text);
            if (!quality || *quality < MinSaveQuality || *quality > MaxSaveQuality)
                throw EUsage(FormatText("--quality %s: give a whole number from %d to %d.", text.c_str(),
                                        MinSaveQuality, MaxSaveQuality));
            job.Save.Quality = *quality;
        } else if (arg == "--lossless")
            job.Save.Lossless = true;
        else if (arg == "--strip")
            job.Strip = true;
        else if (arg == "--filter") {
            const std::string& name = value();
            auto found = std::find_if(std::begin(ResampleFilters), std::end(ResampleFilters),
                                      [&name](const TResampleFilter& f) { return name == f.CliName; });
            if (found == std::end(ResampleFilters)) throw EUsage("--filter " + name + ": give " + FilterList() + ".");
            filter = static_cast<int>(found - std::begin(ResampleFilters));
        } else if (arg == "--scale")
            job.Operations.push_back(ParseScale(value(), filter));
        else if (arg == "--fit")
            job.Operations.push_back(ParseFit(value(), filter));
        else if (arg == "--enlarge")
            job.Enlarge = true;
        else if (arg == "--draft")
            job.Draft = true;
        else if (arg == "--crop")
            job.Operations.push_back(ParseCrop(value()));
        else if (arg == "--mix")
            job.Operations.push_back(ParseMix(value()));
        else if (arg == "--gamma")
            job.Operations.push_back(ParseGamma(value()));
        else if (arg == "--rotate-left")
            job.Operations.push_back({TOperationKind::RotateLeft, ""});
        else if (arg == "--rotate-right")
            job.Operations.push_back({TOperationKind::RotateRight, ""});
        else if (arg == "--flip")
            job.Operations.push_back({TOperationKind::Flip, ""});
        else if (arg == "--flop")
            job.Operations.push_back({TOperationKind::Flop, ""});
        else if (arg == "--enlighten")
            job.Operations.push_back({TOperationKind::Enlighten, ""});
        else if (arg == "--endarken")
            job.Operations.push_back({TOperationKind::Endarken, ""});
        else
            throw EUsage("Unknown option " + arg + ".");
    }
    if (!job.Batch.FilesFrom.empty()) {
        if (job.OutputFolder.empty()) throw EUsage("--files-from goes with -o DIR.");
        std::ifstream file;
        if (job.Batch.FilesFrom != "-") {
            file.open(job.Batch.FilesFrom, std::ios::binary);
            if (!file) throw EUsage("--files-from " + job.Batch.FilesFrom + ": the list cannot be read.");
        }
        std::istream& list = job.Batch.FilesFrom == "-" ? standardInput : file;
        for (std::string& name : ReadFileList(list, job.Batch.NulSeparated)) positional.push_back(std::move(name));
    } else if (job.Batch.NulSeparated)
        throw EUsage("-0 goes with --files-from.");
    if (job.OutputFolder.empty()) {
        if (!job.Format.empty()) throw EUsage("--format goes with -o DIR.");
        if (positional.size() != 2)
            throw EUsage("convert needs INPUT and OUTPUT (or -o DIR --format FORMAT INPUT...).");
        job.Inputs = {positional[0]};
        job.Output = positional[1];
    } else {
        if (job.Format.empty()) throw EUsage("-o DIR needs --format " + FormatList() + ".");
        if (positional.empty() && job.Batch.FilesFrom.empty()) throw EUsage("convert -o DIR needs at least one INPUT.");
        job.Inputs = positional;
    }
    return job;
}

long long MillisecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
}

// Runs step and, when verbose, reports "label: N ms".
void Timed(const TConvertJob& job, std::ostream& err, const std::string& label, const std::function<void()>& step) {
    auto start = std::chrono::steady_clock::now();
    step();
    if (job.Verbose) err << label << ": " << MillisecondsSince(start) << " ms\n";
}

bool IsScaling(const TOperation& op) {
    return op.Kind == TOperationKind::Scale || op.Kind == TOperationKind::ScalePercent ||
           op.Kind == TOperationKind::Fit;
}

// The size a scaling operation gives a width x height picture.
TFitSize ScaledSize(const TOperation& op, int width, int height, bool enlarge) {
    if (op.Kind == TOperationKind::Fit) return FitIntoBox(width, height, op.Width, op.Height, enlarge);
    if (op.Kind == TOperationKind::Scale) return {op.Width, op.Height};
    const long long newWidth = std::llround(width * op.Percent / 100);
    const long long newHeight = std::llround(height * op.Percent / 100);
    if (newWidth < 1 || newHeight < 1 ||
        static_cast<double>(newWidth) * static_cast<double>(newHeight) > static_cast<double>(MaxResultPixels))
        throw Exception(FormatText("Scaling the %dx%d picture by %s gives %lldx%lld pixels, which cannot be made.",
                                   width, height, op.Text.c_str(), newWidth, newHeight));
    return {static_cast<int>(newWidth), static_cast<int>(newHeight)};
}

// Applies one operation; returns the verbose label.
std::string Apply(const TOperation& op, std::unique_ptr<TPixelBuffer>& picture, bool enlarge) {
    const int width = picture->Width(), height = picture->Height();
    switch (op.Kind) {
        case TOperationKind::Scale:
        case TOperationKind::ScalePercent:
        case TOperationKind::Fit: {
            const TFitSize size = ScaledSize(op, width, height, enlarge);
            const long long newWidth = size.Width, newHeight = size.Height;
            // A picture that already fits its box is left as it is.
            if (op.Kind == TOperationKind::Fit && newWidth == width && newHeight == height)
                return FormatText("fit %s: kept %dx%d", op.Text.c_str(), width, height);
            const TResampleFilter& filter = ResampleFilterAt(op.Filter);
            auto result = TPixelBuffer::Create(static_cast<int>(newWidth), static_cast<int>(newHeight));
            picture->Resample(*result, filter.Filter, filter.Support);
            picture = std::move(result);
            return FormatText("scale %lldx%lld %s", newWidth, newHeight, filter.CliName);
        }
        case TOperationKind::RotateLeft:
            picture->RotateLeft();
            return "rotate-left";
        case TOperationKind::RotateRight:
            picture->RotateRight();
            return "rotate-right";
        case TOperationKind::Flip:
            picture->Flip();
            return "flip";
        case TOperationKind::Flop:
            picture->Flop();
            return "flop";
        case TOperationKind::Crop:
            if (static_cast<long long>(op.X) + op.Width > width || static_cast<long long>(op.Y) + op.Height > height)
                throw Exception(FormatText("The crop rectangle %s does not lie inside the %dx%d picture.",
                                           op.Text.c_str(), width, height));
            picture = CopyRect(*picture, op.X, op.Y, op.Width, op.Height);
            return "crop " + op.Text;
        case TOperationKind::Enlighten:
            Enlighten(*picture);
            return "enlighten";
        case TOperationKind::Endarken:
            Endarken(*picture);
            return "endarken";
        case TOperationKind::Mix:
            MixWithColor(*picture, op.Color);
            return "mix " + op.Text;
        case TOperationKind::Gamma:
            ApplyGamma(*picture, op.Gamma);
            return "gamma " + op.Text;
    }
    return "";
}

// --draft: a JPEG file whose first operation shrinks it is decoded at 1/2, 1/4 or 1/8 of its
// size (libjpeg's DCT scaling), never below twice that operation's target; the operation then
// scales to the target it would have given the full picture.
struct TDraftDecode {
    int FullWidth = 0, FullHeight = 0;  // as stored, before any turn by the orientation
    int Denominator = 1;
};

TJPEGImage::TScaleDenominatorHint DraftHint(const std::vector<TOperation>& operations, bool enlarge,
                                            TDraftDecode& draft) {
    if (operations.empty() || !IsScaling(operations[0])) return {};
    return [&first = operations[0], enlarge, &draft](int width, int height) {
        draft.FullWidth = width;
        draft.FullHeight = height;
        // The orientation is applied after decoding: the target must fit either way round.
        TFitSize target, turned;
        try {
            target = ScaledSize(first, width, height, enlarge);
            turned = ScaledSize(first, height, width, enlarge);
        } catch (const Exception&) {
            return 1;  // the operation reports it on the full picture
        }
        const int needWidth = 2 * std::max(target.Width, turned.Height);
        const int needHeight = 2 * std::max(target.Height, turned.Width);
        for (int denominator : {8, 4, 2})
            if ((width + denominator - 1) / denominator >= needWidth &&
                (height + denominator - 1) / denominator >= needHeight)
                return draft.Denominator = denominator;
        return 1;
    };
}

// The first operation as a plain scaling to the size it gives the full, upright picture.
void ScaleFromDraft(TOperation& first, const TDraftDecode& draft, bool turned, bool enlarge) {
    const TFitSize target = turned ? ScaledSize(first, draft.FullHeight, draft.FullWidth, enlarge)
                                   : ScaledSize(first, draft.FullWidth, draft.FullHeight, enlarge);
    first.Kind = TOperationKind::Scale;
    first.Width = target.Width;
    first.Height = target.Height;
}

void ConvertOne(const TConvertJob& job, const std::string& input, const std::string& output, std::ostream& err) {
    std::unique_ptr<TPixelBuffer> picture;
    std::vector<TOperation> operations = job.Operations;
    TDraftDecode draft;
    TPictureMetadata metadata;
    Timed(job, err, "load", [&] {
        TLoadOptions load = job.Load;
        if (job.Draft) load.JpegScale = DraftHint(operations, job.Enlarge, draft);
        TCliPicture loaded = LoadCliPicture(input, load);
        const int decodedWidth = loaded.Bitmap->Width();
        picture = TakeUprightBuffer(*loaded.Bitmap, loaded.Metadata, job.Load);
        if (draft.Denominator > 1) ScaleFromDraft(operations[0], draft, picture->Width() != decodedWidth, job.Enlarge);
        metadata = std::move(loaded.Metadata);
    });
    for (const TOperation& op : operations) {
        AbandonWhenStopping();
        auto start = std::chrono::steady_clock::now();
        std::string label = Apply(op, picture, job.Enlarge);
        if (job.Verbose) err << label << ": " << MillisecondsSince(start) << " ms\n";
    }
    AbandonWhenStopping();
    Timed(job, err, "save", [&] { SavePicture(*picture, output, job.Save, job.Strip ? nullptr : &metadata); });
}

// Runs action and turns any failure into "NAME: MESSAGE" on stderr; returns whether it worked.
// Warnings that do not stop the work (a JPEG that ends early) name the file they concern.
class TScopedWarnings {
public:
    TScopedWarnings(const std::string& name, std::ostream& err)
        : previous_(SetThreadWarningHandler(
              [&name, &err](const std::string& message) { err << name << ": Warning: " << message << "\n"; })) {}
    ~TScopedWarnings() { SetThreadWarningHandler(previous_); }
    TScopedWarnings(const TScopedWarnings&) = delete;
    TScopedWarnings& operator=(const TScopedWarnings&) = delete;

private:
    TWarningHandler previous_;
};

bool Reported(const std::string& name, std::ostream& err, const std::function<void()>& action) {
    TScopedWarnings warnings(name, err);
    try {
        action();
        return true;
    } catch (const EBatchStopped&) {
        throw;
    } catch (const std::bad_alloc&) {
        err << name << ": Out of memory.\n";
    } catch (const std::exception& e) {
        err << name << ": " << e.what() << "\n";
    }
    return false;
}

int RunConvert(const std::vector<std::string>& args, const TCliStreams& io, const TLoadOptions& load) {
    const TConvertJob job = ParseConvert(args, load, io.In ? *io.In : std::cin);
    std::vector<TBatchItem> items;
    if (job.OutputFolder.empty())
        items.push_back({job.Inputs[0], job.Output});
    else
        for (const std::string& input : job.Inputs)
            items.push_back(
                {input, (std::filesystem::path(job.OutputFolder) / std::filesystem::path(input).stem()).string() + "." +
                            job.Format});
    return RunBatch(
        items, job.OutputFolder, job.Batch,
        [&job](const TBatchItem& item, std::ostream& messages) {
            return Reported(item.Input, messages, [&] { ConvertOne(job, item.Input, item.Output, messages); });
        },
        io);
}

std::string PixelFormatText(const TBitmap& bitmap) {
    std::string text = std::to_string(BitsPerPixelOf(bitmap.PixelFormat())) + " bits per pixel";
    if (!bitmap.Palette().empty()) text += ", " + std::to_string(bitmap.Palette().size()) + " palette entries";
    return text;
}

int RunInfo(const std::vector<std::string>& files, const TCliStreams& io, const TLoadOptions& load) {
    if (files.empty()) throw EUsage("info needs at least one FILE.");
    bool allRead = true;
    for (const std::string& file : files) {
        allRead = Reported(file, io.Err,
                           [&] {
                               TCliPicture picture = LoadCliPicture(file, load);
                               io.Out << file << "\n"
                                      << "  format: " << picture.Format << "\n"
                                      << "  size: " << picture.Bitmap->Width() << "x" << picture.Bitmap->Height()
                                      << "\n"
                                      << "  pixel format: " << PixelFormatText(*picture.Bitmap) << "\n";
                               for (const std::string& detail : picture.Details) io.Out << "  " << detail << "\n";
                           }) &&
                  allRead;
    }
    return allRead ? CliSuccess : CliFailure;
}

const char* const UsageText =
    "Usage: pixamo-cli convert INPUT OUTPUT [operations...]\n"
    "       pixamo-cli convert [operations...] -o DIR --format jpg|png|webp|tif|bmp INPUT...\n"
    "       pixamo-cli convert [operations...] -o DIR --format jpg|png|webp|tif|bmp --files-from LIST [-0]\n"
    "       pixamo-cli info FILE...\n"
    "       pixamo-cli --help\n"
    "       pixamo-cli --version\n";

std::string HelpText() {
    const std::string filters = Listed(ResampleFilters, [](const TResampleFilter& filter) {
        return std::string(filter.CliName) + (&filter == &ResampleFilters[DefaultFilter] ? " (the default)" : "");
    });
    return std::string(UsageText) +
           "\n"
           "convert loads INPUT, applies the operations in the order given and saves the result the\n"
           "way the editor saves, in the format OUTPUT's extension names (any letter case):\n"
           "  \".jpg\", \".jpeg\", \".jpe\", \".jfif\"  JPEG, progressive, quality 95 unless --quality\n"
           "  \".png\"                        PNG (zlib's default level)\n"
           "  \".webp\"                       WebP, lossy at quality 95 unless --quality or --lossless\n"
           "  \".tif\", \".tiff\"               TIFF, Deflate with the horizontal predictor\n"
           "  \".bmp\" and any other name     24-bit Windows bitmap\n"
           "Pictures with transparency are drawn on white: every result is 24-bit colour. EXIF and\n"
           "XMP of INPUT go into JPEG, PNG, WebP and TIFF results (not into bitmaps), with the\n"
           "orientation set to 1 and the pixel size to the result's; the colour profile does not.\n"
           "Pictures are read by their content: the reader that recognises the file's first bytes\n"
           "decodes it, and the file extension decides only when no reader does.\n"
           "\n"
           "Operations:\n"
           "  --filter NAME     resampling filter of the --scale operations after it:\n"
           "                    " +
           filters +
           "\n"
           "  --scale WxH       scale to W x H pixels\n"
           "  --scale N%        scale both sides by N percent (rounded, at least 1 pixel)\n"
           "  --fit WxH         scale into a W x H box keeping the aspect ratio: the side that meets\n"
           "                    the box takes its size, the other is rounded as the editor's scale\n"
           "                    dialog rounds; a picture that already fits is left as it is\n"
           "  --fit N           the same for an N x N box\n"
           "  --rotate-left     rotate by 90 degrees counter-clockwise\n"
           "  --rotate-right    rotate by 90 degrees clockwise\n"
           "  --flip            mirror left-right\n"
           "  --flop            mirror top-bottom\n"
           "  --crop X,Y,W,H    keep the W x H rectangle whose top-left pixel is (X, Y); it must lie\n"
           "                    inside the picture\n"
           "  --enlighten       mix 10 % white in\n"
           "  --endarken        mix 10 % black in\n"
           "  --mix RRGGBB      mix 30 % of a colour in, given as hexadecimal red, green, blue\n"
           "  --gamma G         gamma correction, G from 0.1 to 2.5 (above 1 brightens)\n"
           "A result larger than 268435456 pixels is refused.\n"
           "\n"
           "Other options of convert:\n"
           "  -o DIR            batch: write each result into DIR (made when missing) under its\n"
           "                    input's base name; needs --format\n"
           "  --format FORMAT   batch: the kind of file to write, jpg, png, webp, tif or bmp\n"
           "  --quality N       JPEG and WebP quality from 1 (smallest) to 100 (best), 95 by default;\n"
           "                    with --lossless the effort spent on compression\n"
           "  --lossless        WebP results lossless (exactly the pixels)\n"
           "  --strip           write no EXIF or XMP into the results\n"
           "  --enlarge         --fit also enlarges pictures smaller than their box\n"
           "  --draft           a JPEG file whose first operation (--scale, --fit) shrinks it by 2 or\n"
           "                    more is decoded at 1/2, 1/4 or 1/8 of its size by libjpeg, never\n"
           "                    below twice the target, and then scaled: much faster, but the\n"
           "                    pixels differ slightly from those of the editor's scaling\n"
           "  -j N, --jobs N    batch: convert N pictures at once (the default: one per processor\n"
           "                    core); the files written are the same whatever N is\n"
           "  --skip-existing   leave out a picture whose output file already exists, so that an\n"
           "                    interrupted batch picks up where it stopped\n"
           "  --files-from LIST\n"
           "                    batch: also convert the files named in LIST (- for standard\n"
           "                    input), one name a line\n"
           "  -0                the names in LIST end in NUL bytes instead (find -print0)\n"
           "  --quiet           batch: neither progress line nor summary\n"
           "  --verbose         one line per step on stderr with its time: \"load: N ms\",\n"
           "                    \"scale 1000x750 lanczos3: N ms\", ..., \"save: N ms\"\n"
           "  --                every later argument is a file name\n"
           "A batch shows its progress on stderr when that is a terminal (pictures done, rate, time\n"
           "left) and ends with \"N converted, M failed, K skipped in T s\". A picture that fails is\n"
           "reported and the others are still converted; an output folder that cannot be written\n"
           "stops the batch at once. Two inputs of the same base name: the later one fails rather\n"
           "than overwrite the earlier one's result. Ctrl+C or SIGTERM starts no further picture,\n"
           "abandons those in work between their steps (no partial or temporary file is left),\n"
           "prints the summary and gives exit status 130.\n"
           "\n"
           "info prints, for each FILE, how it was read, its size and pixel format and what the\n"
           "loader knows of it, with the orientation and colour profile the file states.\n"
           "\n"
           "Loading, for convert and info alike: a picture comes up upright, turned by the EXIF\n"
           "orientation of the file (its TIFF Orientation tag or XMP tiff:Orientation where no EXIF\n"
           "states one), and in sRGB, converted from an embedded ICC profile (relative colorimetric\n"
           "with black-point compensation). Options, anywhere before \"--\":\n"
           "  --keep-orientation     keep the picture as stored\n"
           "  --no-color-management keep the stored colours, ignoring the profile\n"
           "\n"
           "Errors: \"FILE: MESSAGE\" on stderr, where MESSAGE is the loader's, the operation's or the\n"
           "writer's own text, and exit status 1 when any picture failed. Wrong arguments print a\n"
           "usage message and give exit status 2. Success gives 0. A warning that does not stop the\n"
           "work, such as a JPEG file that ends early, is printed as \"FILE: Warning: MESSAGE\".\n"
           "\n"
           "--version prints the version; --help prints this text.\n";
}

// Takes the loading options, which may stand anywhere before "--", out of the arguments.
TLoadOptions TakeLoadOptions(std::vector<std::string>& arguments) {
    TLoadOptions options;
    auto endOfOptions = std::find(arguments.begin(), arguments.end(), "--");
    auto kept = std::remove_if(arguments.begin(), endOfOptions, [&options](const std::string& arg) {
        if (arg == "--keep-orientation")
            options.AutoOrient = false;
        else if (arg == "--no-color-management")
            options.ColorManagement = false;
        else
            return false;
        return true;
    });
    arguments.erase(kept, endOfOptions);
    return options;
}

}  // namespace

const std::string& CliHelpText() {
    static const std::string text = HelpText();
    return text;
}

int RunCli(const std::vector<std::string>& commandLine, const TCliStreams& io) {
    try {
        std::vector<std::string> arguments = commandLine;
        const TLoadOptions load = TakeLoadOptions(arguments);
        if (arguments.empty()) throw EUsage("No command given.");
        const std::string& command = arguments[0];
        std::vector<std::string> rest(arguments.begin() + 1, arguments.end());
        auto endOfOptions = std::find(arguments.begin(), arguments.end(), "--");
        if (command == "-h" || command == "help" ||
            std::find(arguments.begin(), endOfOptions, "--help") != endOfOptions) {
            io.Out << CliHelpText();
            return CliSuccess;
        }
        if (std::find(arguments.begin(), endOfOptions, "--version") != endOfOptions) {
            io.Out << "pixamo-cli " << PIXAMO_VERSION << "\n";
            return CliSuccess;
        }
        if (command == "convert") return RunConvert(rest, io, load);
        if (command == "info") return RunInfo(rest, io, load);
        throw EUsage("Unknown command " + command + ".");
    } catch (const EUsage& e) {
        io.Err << "pixamo-cli: " << e.what() << "\n" << UsageText << "Run pixamo-cli --help for the operations.\n";
        return CliUsage;
    }
}
