// Contributor lists shared by the portable and the vector resampling code.
#pragma once

#include "PixelBuffer.h"

#include <vector>

// One list per destination column (or row): source indices, already mirrored into the source,
// with their weights, in the order the sums take them. List i is entries First[i] .. First[i+1]-1.
struct TContributors {
    std::vector<int> First;
    std::vector<int> Index;
    std::vector<float> Weight;

    int Count() const { return static_cast<int>(First.size()) - 1; }
};

TContributors BuildContributors(int sourceSize, int destSize, TFilterFunction filter, float support);

// The AVX2 + FMA passes; only to be called where the processor has both.
bool ProcessorHasAvx2Fma();
void ResampleAvx2(const TPixelBuffer& source, TPixelBuffer& destination, const TContributors& columns,
                  const TContributors& rows);
