// The seven resampling filters of TPixelBuffer::Resample and the choice of its code path.
#pragma once

#include "PixelBuffer.h"

#include <memory>

// The seven resampling filters; each is even and zero outside its support.
float BoxFilter(float x);
float TriangleFilter(float x);
float HermiteFilter(float x);
float BellFilter(float x);
float SplineFilter(float x);
float Lanczos3Filter(float x);
float MitchellFilter(float x);
float SinC(float x);

struct TResampleFilter {
    const char* Name;     // the scale dialog's list text
    const char* CliName;  // pixamo-cli's name: the list text in lower case
    TFilterFunction Filter;
    float Support;
};
// In the scale dialog's order: Box, Triangle, Hermite, Bell, Spline, Lanczos3, Mitchell.
extern const TResampleFilter ResampleFilters[7];
// Places in ResampleFilters, which are the scale dialog's list indices.
enum TResampleFilterIndex : int { rfBox, rfTriangle, rfHermite, rfBell, rfSpline, rfLanczos3, rfMitchell };
// The filter of a list index; any index outside 0-5 is Mitchell.
const TResampleFilter& ResampleFilterAt(int index);

// Resample runs AVX2 + FMA code where the processor has both and portable code otherwise;
// the two give the same bytes. Forcing the portable code lets tests compare them.
bool ResampleVectorPathAvailable();
void ForceScalarResample(bool force);

struct TContributors;

// The contributor lists of one destination size, built once: any rectangle of that destination
// is then computed on its own, byte for byte what Resample gives at that place. A zoomed view
// renders its visible tiles this way. Render may run on several threads at once.
class TResamplePlan {
public:
    static std::unique_ptr<TResamplePlan> Create(int sourceWidth, int sourceHeight, int destWidth, int destHeight,
                                                 TFilterFunction filter, float support);
    TResamplePlan(int sourceWidth, int sourceHeight, int destWidth, int destHeight, TFilterFunction filter,
                  float support);
    ~TResamplePlan();
    TResamplePlan(const TResamplePlan&) = delete;
    TResamplePlan& operator=(const TResamplePlan&) = delete;

    int SourceWidth() const { return sourceWidth_; }
    int SourceHeight() const { return sourceHeight_; }
    int DestWidth() const { return destWidth_; }
    int DestHeight() const { return destHeight_; }

    // Computes the destination pixels from column left and row top on into tile, as many as it
    // holds. The source has the plan's source size; the rectangle lies inside the destination.
    // An empty source gives black pixels.
    void Render(const TPixelBuffer& source, int left, int top, TPixelBuffer& tile) const;

private:
    int sourceWidth_, sourceHeight_, destWidth_, destHeight_;
    std::unique_ptr<TContributors> columns_;
    std::unique_ptr<TContributors> rows_;
};
