// What turning a photo upright and into sRGB costs on a 12-megapixel (4000x3000) photo: the
// orientation step against the rotation it performs, the sRGB conversion against the JPEG
// decode it follows (and against Little CMS doing the same conversion itself).
#include "core/PixelBuffer.h"
#include "formats/ExifOrientation.h"
#include "formats/LoadPipeline.h"
#include "platform/ColorProfile.h"
#include "platform/PictureFiles.h"
#include "platform/Stream.h"

#include <benchmark/benchmark.h>
#include <lcms2.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

constexpr int Width = 4000, Height = 3000;

// A photo-like picture: smooth ramps with a little texture (compresses like a photograph).
TBitmap& Photo() {
    static TBitmap photo = [] {
        TBitmap bitmap;
        bitmap.SetPixelFormat(TPixelFormat::pf24bit);
        bitmap.SetSize(Width, Height);
        std::uint32_t seed = 1;
        for (int y = 0; y < Height; ++y) {
            std::uint8_t* row = bitmap.ScanLine(y);
            for (int x = 0; x < Width; ++x) {
                seed = seed * 1664525u + 1013904223u;
                const int noise = static_cast<int>(seed >> 28) - 8;
                row[3 * x] = static_cast<std::uint8_t>(std::clamp(x * 255 / Width + noise, 0, 255));
                row[3 * x + 1] = static_cast<std::uint8_t>(std::clamp(y * 255 / Height + noise, 0, 255));
                row[3 * x + 2] =
                    static_cast<std::uint8_t>(std::clamp((x + y) * 255 / (Width + Height) + noise, 0, 255));
            }
        }
        return bitmap;
    }();
    return photo;
}

const std::vector<std::uint8_t>& PhotoJpeg() {
    static const std::vector<std::uint8_t> jpeg = [] {
        TMemoryStream stream;
        WriteJpegStream(BgrViewOf(Photo()), stream, 90, false);
        return stream.Data();
    }();
    return jpeg;
}

std::vector<std::uint8_t> DisplayP3Profile() {
    const cmsCIExyY white = {0.3127, 0.3290, 1.0};
    const cmsCIExyYTRIPLE primaries = {{0.680, 0.320, 1.0}, {0.265, 0.690, 1.0}, {0.150, 0.060, 1.0}};
    const cmsFloat64Number parameters[5] = {2.4, 1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045};
    cmsToneCurve* curve = cmsBuildParametricToneCurve(nullptr, 4, parameters);
    cmsToneCurve* curves[3] = {curve, curve, curve};
    cmsHPROFILE profile = cmsCreateRGBProfile(&white, &primaries, curves);
    cmsUInt32Number size = 0;
    cmsSaveProfileToMem(profile, nullptr, &size);
    std::vector<std::uint8_t> bytes(size);
    cmsSaveProfileToMem(profile, bytes.data(), &size);
    cmsCloseProfile(profile);
    cmsFreeToneCurve(curve);
    return bytes;
}

// An EXIF block with orientation 6, as a phone held upright writes it.
const std::vector<std::uint8_t> ExifRotated = {'I', 'I', 42, 0, 8, 0, 0, 0, 1, 0, 0x12, 1, 3,
                                               0,   1,   0,  0, 0, 6, 0, 0, 0, 0, 0,    0, 0};

void BM_JpegDecode(benchmark::State& state) {
    const auto& jpeg = PhotoJpeg();
    for (auto _ : state) {
        TMemoryStream stream(jpeg);
        TJPEGImage image;
        image.LoadFromStream(stream);
        benchmark::DoNotOptimize(image.Bits());
    }
}

void BM_SrgbFromDisplayP3(benchmark::State& state) {
    const auto profile = DisplayP3Profile();
    TBitmap bitmap = Photo();
    ConvertToSrgb(bitmap, profile);  // the transform is built once per profile
    for (auto _ : state) {
        ConvertToSrgb(bitmap, profile);
        benchmark::DoNotOptimize(bitmap.Bits());
    }
}

// The same conversion by Little CMS's own 8-bit path, for comparison.
void BM_SrgbFromDisplayP3ByLcms(benchmark::State& state) {
    const auto bytes = DisplayP3Profile();
    cmsHPROFILE source = cmsOpenProfileFromMem(bytes.data(), static_cast<cmsUInt32Number>(bytes.size()));
    cmsHPROFILE srgb = cmsCreate_sRGBProfile();
    cmsHTRANSFORM transform = cmsCreateTransform(source, TYPE_BGR_8, srgb, TYPE_BGR_8, INTENT_RELATIVE_COLORIMETRIC,
                                                 cmsFLAGS_BLACKPOINTCOMPENSATION);
    TBitmap bitmap = Photo();
    for (auto _ : state) {
        for (int y = 0; y < Height; ++y) cmsDoTransform(transform, bitmap.ScanLine(y), bitmap.ScanLine(y), Width);
        benchmark::DoNotOptimize(bitmap.Bits());
    }
    cmsDeleteTransform(transform);
    cmsCloseProfile(srgb);
    cmsCloseProfile(source);
}

// A CMYK profile with lookup tables goes through Little CMS itself.
void BM_SrgbFromCmykProfile(benchmark::State& state) {
    TMemoryStream file;
    try {
        file.LoadFromFile("/usr/share/color/icc/ghostscript/default_cmyk.icc");
    } catch (const Exception&) {
        state.SkipWithError("no CMYK profile (libgs-common)");
        return;
    }
    TPictureMetadata metadata;
    metadata.Icc = file.Data();
    const auto transform = CreateInkTransform(metadata, false);
    std::vector<std::uint8_t> ink(4 * std::size_t(Width)), row(3 * std::size_t(Width));
    for (std::size_t i = 0; i < ink.size(); ++i) ink[i] = static_cast<std::uint8_t>(i * 7);
    for (auto _ : state) {
        for (int y = 0; y < Height; ++y) transform->Convert(ink.data(), row.data(), Width);
        benchmark::DoNotOptimize(row.data());
    }
}

void BM_RotateRight(benchmark::State& state) {
    auto buffer = TPixelBuffer::CreateFromBitmap(Photo());
    for (auto _ : state) {
        buffer->RotateRight();
        benchmark::DoNotOptimize(buffer->Bits());
    }
}

// Reading the orientation from the EXIF block and turning the loaded bitmap upright.
void BM_UprightOrientation6(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        TBitmap bitmap = Photo();
        TPictureMetadata metadata;
        metadata.Exif = ExifRotated;
        state.ResumeTiming();
        metadata.Orientation = ExifOrientation(metadata.Exif).value_or(0);
        auto buffer = TakeUprightBuffer(bitmap, metadata);
        benchmark::DoNotOptimize(buffer->Bits());
        state.PauseTiming();
        buffer.reset();
        state.ResumeTiming();
    }
}

void BM_ExifOrientation(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(ExifOrientation(ExifRotated));
}

}  // namespace

BENCHMARK(BM_JpegDecode)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SrgbFromDisplayP3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SrgbFromDisplayP3ByLcms)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SrgbFromCmykProfile)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RotateRight)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UprightOrientation6)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ExifOrientation);

BENCHMARK_MAIN();
