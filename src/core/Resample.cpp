#include "Resample.h"
#include "ResampleContributors.h"

#include "platform/Exception.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>

// ---- Filters ----
// The argument arrives in single precision; the polynomials run in extended precision and the
// result is rounded to single. Squares and differences that the filters store in single
// precision are rounded here at the same places, which fixes the last bit of every weight.

namespace {
constexpr long double Pi = 3.141592653589793238462643383279502884L;
}

float BoxFilter(float x) { return (x > -0.5f && x <= 0.5f) ? 1.0f : 0.0f; }

float TriangleFilter(float x) {
    const long double t = std::fabs(x);
    return t < 1 ? static_cast<float>(1.0L - t) : 0.0f;
}

float HermiteFilter(float x) {
    const long double t = std::fabs(x);
    return t < 1 ? static_cast<float>((2.0L * t - 3.0L) * (t * t) + 1.0L) : 0.0f;
}

float BellFilter(float x) {
    const long double t = std::fabs(x);
    if (t < 0.5L) return static_cast<float>(0.75L - t * t);
    if (t < 1.5L) {
        const long double u = t - 1.5L;
        return static_cast<float>(0.5L * (u * u));
    }
    return 0.0f;
}

float SplineFilter(float x) {
    const float t = std::fabs(x);
    if (t < 1.0f) {
        const float tt = static_cast<float>(static_cast<long double>(t) * t);
        return static_cast<float>(0.5L * tt * t - tt + 2.0L / 3.0L);
    }
    if (t < 2.0f) {
        const float u = static_cast<float>(2.0L - t);
        return static_cast<float>(1.0L / 6.0L * (static_cast<long double>(u) * u) * u);
    }
    return 0.0f;
}

float MitchellFilter(float x) {
    // B = C = 1/3
    const float t = std::fabs(x);
    const long double lt = t;
    const float tt = static_cast<float>(lt * t);
    float bracket;
    if (t < 1.0f)
        bracket = static_cast<float>(7.0L * (lt * tt) - 12.0L * tt + 16.0L / 3.0L);
    else if (t < 2.0f)
        bracket = static_cast<float>(-(7.0L / 3.0L) * (lt * tt) + 12.0L * tt - 20.0L * lt + 32.0L / 3.0L);
    else
        return 0.0f;
    return static_cast<float>(bracket / 6.0L);
}

float SinC(float x) {
    if (x == 0.0f) return 1.0f;
    const float y = static_cast<float>(x * Pi);
    // The extended sine is slow (a long argument reduction per call), and lists of thousands of
    // weights call it twice each. sin(y) / y in double is within 2^-51 of the exact quotient,
    // which decides the rounding to single unless the quotient lies right beside a midpoint
    // between two singles; only there does the extended sine have to speak.
    const double quotient = std::sin(static_cast<double>(y)) / static_cast<double>(y);
    const float result = static_cast<float>(quotient);
    if (static_cast<float>(quotient * (1 - 0x1p-46)) == result &&
        static_cast<float>(quotient * (1 + 0x1p-46)) == result)
        return result;
    return static_cast<float>(std::sin(static_cast<long double>(y)) / y);
}

float Lanczos3Filter(float x) {
    const float t = std::fabs(x);
    // Products and quotients of two singles are exact or rounded once in double, as in extended.
    if (t < 3.0f) return static_cast<float>(static_cast<double>(SinC(t)) * SinC(static_cast<float>(t / 3.0)));
    return 0.0f;
}

const TResampleFilter ResampleFilters[7] = {
    {"Box", "box", BoxFilter, 0.5f},
    {"Triangle", "triangle", TriangleFilter, 1.0f},
    {"Hermite", "hermite", HermiteFilter, 1.0f},
    {"Bell", "bell", BellFilter, 1.5f},
    {"Spline", "spline", SplineFilter, 2.0f},
    {"Lanczos3", "lanczos3", Lanczos3Filter, 3.0f},
    {"Mitchell", "mitchell", MitchellFilter, 2.0f},
};

const TResampleFilter& ResampleFilterAt(int index) {
    return (index >= rfBox && index < rfMitchell) ? ResampleFilters[index] : ResampleFilters[rfMitchell];
}

// ---- Contributor lists ----

namespace {

// First and last pixels of a line map onto each other. A one-pixel line on either side has no
// such pair: its factor is the plain size ratio.
float ScaleFactor(int sourceSize, int destSize) {
    if (sourceSize == 1 || destSize == 1) return static_cast<float>(static_cast<long double>(destSize) / sourceSize);
    return static_cast<float>(static_cast<long double>(destSize - 1) / (sourceSize - 1));
}

// Reflects an index into 0 .. size - 1 as often as it takes: sources narrower than the filter's
// reach would otherwise be read outside their rows.
int MirrorIndex(long long j, int size) {
    while (j < 0 || j >= size) j = j < 0 ? -j : 2LL * size - 1 - j;
    return static_cast<int>(j);
}

}  // namespace

TContributors BuildContributors(int sourceSize, int destSize, TFilterFunction filter, float support) {
    TContributors lists;
    lists.First.reserve(static_cast<std::size_t>(destSize) + 1);
    lists.First.push_back(0);
    const float scale = ScaleFactor(sourceSize, destSize);
    const bool shrinking = scale < 1.0f;
    const float radius = shrinking ? static_cast<float>(support / static_cast<long double>(scale)) : support;
    const float widen = shrinking ? static_cast<float>(1.0L / scale) : 1.0f;
    lists.Index.reserve(static_cast<std::size_t>(destSize) * static_cast<std::size_t>(2 * radius + 1));
    lists.Weight.reserve(lists.Index.capacity());
    for (int i = 0; i < destSize; ++i) {
        // A single destination pixel from a longer line sits over the line's middle.
        const float centre = (destSize == 1 && sourceSize > 1)
                                 ? static_cast<float>((sourceSize - 1) / 2.0L)
                                 : static_cast<float>(i / static_cast<long double>(scale));
        const long long left = std::llrint(static_cast<long double>(centre) - radius);
        const long long right = std::llrint(static_cast<long double>(centre) + radius);
        for (long long j = left; j <= right; ++j) {
            const long double distance = static_cast<long double>(centre) - j;
            const float weight =
                shrinking
                    ? static_cast<float>(filter(static_cast<float>(distance / widen)) / static_cast<long double>(widen))
                    : filter(static_cast<float>(distance));
            if (weight == 0.0f) continue;
            lists.Index.push_back(MirrorIndex(j, sourceSize));
            lists.Weight.push_back(weight);
        }
        lists.First.push_back(static_cast<int>(lists.Index.size()));
    }
    return lists;
}

// ---- Portable passes ----

namespace {

std::atomic<bool> ScalarForced{false};

std::uint8_t ToChannel(float sum) {
    if (sum > 255.0f) return 255;
    if (sum < 0.0f) return 0;
    return static_cast<std::uint8_t>(std::nearbyint(sum));
}

// Each sum adds its products in list order, rounding to single after every addition with the
// product kept exact: a fused multiply-add (MultiplyAddByte). Target row y is source row
// firstRow + y, target column i is list left + i.
void HorizontalPass(const TPixelBuffer& source, TPixelBuffer& target, const TContributors& columns, int left,
                    int firstRow) {
    for (int y = 0; y < target.Height(); ++y) {
        const std::uint8_t* in = source.RowBytes(firstRow + y);
        std::uint8_t* out = target.RowBytes(y);
        for (int i = 0; i < target.Width(); ++i) {
            float blue = 0, green = 0, red = 0;
            for (int k = columns.First[left + i]; k < columns.First[left + i + 1]; ++k) {
                const std::uint8_t* pixel = in + 3 * static_cast<std::size_t>(columns.Index[k]);
                const float weight = columns.Weight[k];
                blue = MultiplyAddByte(pixel[0], weight, blue);
                green = MultiplyAddByte(pixel[1], weight, green);
                red = MultiplyAddByte(pixel[2], weight, red);
            }
            out[3 * i] = ToChannel(blue);
            out[3 * i + 1] = ToChannel(green);
            out[3 * i + 2] = ToChannel(red);
        }
    }
}

// Target row j (of height) from list top + j; the source's row y holds row firstRow + y of the
// lists. Each row is reported finished once written.
void VerticalPass(const TPixelBuffer& source, TRowTarget& target, const TContributors& rows, int top, int firstRow,
                  int height) {
    const std::size_t bytes = 3 * static_cast<std::size_t>(source.Width());
    std::vector<float> sums(bytes);
    for (int j = 0; j < height; ++j) {
        std::fill(sums.begin(), sums.end(), 0.0f);
        for (int k = rows.First[top + j]; k < rows.First[top + j + 1]; ++k) {
            const std::uint8_t* in = source.RowBytes(rows.Index[k] - firstRow);
            const float weight = rows.Weight[k];
            for (std::size_t b = 0; b < bytes; ++b) sums[b] = MultiplyAddByte(in[b], weight, sums[b]);
        }
        std::uint8_t* out = target.Row(j);
        for (std::size_t b = 0; b < bytes; ++b) out[b] = ToChannel(sums[b]);
        target.Finished(j + 1);
    }
}

// An empty picture resamples to black.
void FillBlack(TRowTarget& target, int width, int height) {
    for (int y = 0; y < height; ++y) {
        std::memset(target.Row(y), 0, 3 * static_cast<std::size_t>(width));
        target.Finished(y + 1);
    }
}

// Rows handed on in bands of about a megabyte; the storage has room for the three rows a group
// of the vertical pass may write past a full band before it reports them finished.
class TBandTarget : public TRowTarget {
public:
    TBandTarget(int width, int height, const TPixelBuffer::TRowBandSink& sink)
        : band_(width, std::min(height, BandRows(width) + 3)), height_(height), sink_(sink) {}
    std::uint8_t* Row(int y) override { return band_.RowBytes(y - first_); }
    void Finished(int y) override {
        if (y - first_ < BandRows(band_.Width()) && y < height_) return;
        if (y > first_) sink_(first_, y - first_, band_);
        first_ = y;
    }
    bool HoldsAllRows() const override { return false; }

private:
    static int BandRows(int width) { return std::max(1, (1 << 20) / TPixelBuffer::StrideOf(width)); }

    TPixelBuffer band_;
    int height_;
    int first_ = 0;  // the picture row in band row 0
    const TPixelBuffer::TRowBandSink& sink_;
};

}  // namespace

bool ResampleVectorPathAvailable() {
    static const bool available = ProcessorHasAvx2Fma();
    return available;
}

void ForceScalarResample(bool force) { ScalarForced = force; }

TResamplePlan::TResamplePlan(int sourceWidth, int sourceHeight, int destWidth, int destHeight, TFilterFunction filter,
                             float support)
    : sourceWidth_(sourceWidth),
      sourceHeight_(sourceHeight),
      destWidth_(destWidth),
      destHeight_(destHeight),
      columns_(std::make_unique<TContributors>(BuildContributors(sourceWidth, destWidth, filter, support))),
      rows_(std::make_unique<TContributors>(BuildContributors(sourceHeight, destHeight, filter, support))) {}

TResamplePlan::~TResamplePlan() = default;

std::unique_ptr<TResamplePlan> TResamplePlan::Create(int sourceWidth, int sourceHeight, int destWidth, int destHeight,
                                                     TFilterFunction filter, float support) {
    return std::make_unique<TResamplePlan>(sourceWidth, sourceHeight, destWidth, destHeight, filter, support);
}

void TResamplePlan::Render(const TPixelBuffer& source, int left, int top, TPixelBuffer& tile) const {
    if (!tile.Bits()) return;
    TWholeBufferTarget target(tile);
    Render(source, left, top, tile.Width(), tile.Height(), target);
}

void TResamplePlan::Render(const TPixelBuffer& source, int left, int top, int width, int height,
                           TRowTarget& target) const {
    if (width <= 0 || height <= 0) return;
    if (left < 0 || top < 0 || left > destWidth_ - width || top > destHeight_ - height)
        throw Exception("The rectangle to resample lies outside the destination.");
    if (!source.Bits()) {
        FillBlack(target, width, height);
        return;
    }
    if (source.Width() != sourceWidth_ || source.Height() != sourceHeight_)
        throw Exception("The picture to resample does not have the size the contributor lists were built for.");
    if (!ScalarForced && ResampleVectorPathAvailable()) {
        ResampleAvx2(source, target, *columns_, *rows_, left, top, width, height);
        return;
    }
    // Only the source rows the tile's lists read go through the horizontal pass.
    int firstRow = sourceHeight_, lastRow = -1;
    for (int k = rows_->First[top]; k < rows_->First[top + height]; ++k) {
        firstRow = std::min(firstRow, rows_->Index[k]);
        lastRow = std::max(lastRow, rows_->Index[k]);
    }
    TPixelBuffer intermediate(width, std::max(0, lastRow - firstRow + 1));
    if (intermediate.Bits()) HorizontalPass(source, intermediate, *columns_, left, firstRow);
    VerticalPass(intermediate, target, *rows_, top, firstRow, height);
}

void TPixelBuffer::Resample(TPixelBuffer& destination, TFilterFunction filter, float support) const {
    if (!destination.Bits()) return;
    if (!bits_) {
        std::memset(destination.Bits(), 0, static_cast<std::size_t>(destination.Size()));
        return;
    }
    if (&destination == this) {
        // The vector passes write the destination strip by strip while the source is still read.
        CreateCopy(*this)->Resample(destination, filter, support);
        return;
    }
    TResamplePlan(width_, height_, destination.Width(), destination.Height(), filter, support)
        .Render(*this, 0, 0, destination);
}

void TPixelBuffer::ResampleInBands(int width, int height, TFilterFunction filter, float support,
                                   const TRowBandSink& sink) const {
    if (width <= 0 || height <= 0) return;
    TBandTarget target(width, height, sink);
    if (!bits_) {
        FillBlack(target, width, height);
        return;
    }
    TResamplePlan(width_, height_, width, height, filter, support).Render(*this, 0, 0, width, height, target);
}
