#include "color/LineFrame.h"

#include "platform/Exception.h"

#include <bit>

std::uint64_t ConvertedPixels(std::uint32_t count, std::uint8_t mask) {
    const std::uint32_t rest = count % 8;
    const unsigned partial = rest == 0 ? 0 : std::popcount(static_cast<unsigned>(mask >> (8 - rest)));
    return static_cast<std::uint64_t>(count / 8) * std::popcount(mask) + partial;
}

void RequirePlanes(const TLine& line, std::size_t planes) {
    if (line.Sources.size() < planes)
        throw EColorConversionError(FormatText("Color conversion failed. %zu source planes are needed, %zu were given.",
                                               planes, line.Sources.size()));
}

void RequireSource(const TSourcePlane& plane, std::uint64_t bytes) {
    if (bytes > 0 && (plane.Data == nullptr || plane.Size < bytes))
        throw EColorConversionError(
            FormatText("Color conversion failed. The source line holds %zu bytes, %llu are needed.",
                       plane.Data == nullptr ? std::size_t{0} : plane.Size, static_cast<unsigned long long>(bytes)));
}

void RequireTarget(const TLine& line, std::uint64_t bytes) {
    if (bytes > 0 && (line.Target == nullptr || line.TargetSize < bytes))
        throw EColorConversionError(FormatText(
            "Color conversion failed. The target line holds %zu bytes, %llu are needed.",
            line.Target == nullptr ? std::size_t{0} : line.TargetSize, static_cast<unsigned long long>(bytes)));
}

TSampleLayout MakeLayout(const TLine& line, bool planar, std::size_t components, std::size_t interleavedSamples,
                         std::size_t sourceSampleBytes, std::size_t targetSamples, std::size_t targetSampleBytes) {
    const std::uint64_t pixels = ConvertedPixels(line.Count, line.Mask);
    TSampleLayout layout;
    if (planar) {
        RequirePlanes(line, components);
        for (std::size_t k = 0; k < components; ++k) {
            RequireSource(line.Sources[k], pixels * sourceSampleBytes);
            layout.Component[k] = line.Sources[k].Data;
        }
        layout.SourceStep = sourceSampleBytes;
    } else {
        RequirePlanes(line, 1);
        const TSourcePlane& plane = line.Sources[0];
        layout.SourceStep = interleavedSamples * sourceSampleBytes;
        RequireSource(plane, pixels * layout.SourceStep);
        for (std::size_t k = 0; k < components && plane.Data != nullptr; ++k)
            layout.Component[k] = plane.Data + k * sourceSampleBytes;
    }
    layout.TargetStep = targetSamples * targetSampleBytes;
    RequireTarget(line, static_cast<std::uint64_t>(line.Count) * layout.TargetStep);
    return layout;
}

void SetTargetOrder(TSampleLayout& layout, bool bgr, std::size_t targetSampleBytes) {
    layout.TargetOffset[0] = (bgr ? 2 : 0) * targetSampleBytes;
    layout.TargetOffset[1] = targetSampleBytes;
    layout.TargetOffset[2] = (bgr ? 0 : 2) * targetSampleBytes;
    layout.TargetOffset[3] = 3 * targetSampleBytes;
}
