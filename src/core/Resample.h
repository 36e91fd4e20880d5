// The seven resampling filters of TPixelBuffer::Resample and the choice of its code path.
#pragma once

#include "PixelBuffer.h"

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
