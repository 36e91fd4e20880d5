// Contributor lists shared by the portable and the vector resampling code.
#pragma once

#include "Resample.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

// sum + byte × weight rounded once to single, as a fused multiply-add gives it, for processors
// without FMA hardware (where std::fma is a library emulation per call). The product of a byte
// and a single is exact in double, so only the sum can round twice: exactly when the double sum
// is inexact and lies on a midpoint between two singles. There its exact error decides.
inline float MultiplyAddByte(float byte, float weight, float sum) {
    const double product = static_cast<double>(byte) * weight;
    double s = product + sum;
    const double back = s - product;
    const double error = (product - (s - back)) + (sum - back);
    if (error != 0) {
        if (std::fabs(s) < 0x1p-100) return std::fma(byte, weight, sum);  // single subnormals: rare, slow path
        std::uint64_t bits;
        std::memcpy(&bits, &s, sizeof bits);
        if ((bits & 0x1FFFFFFFu) == 0x10000000u)
            s = std::nextafter(
                s, error > 0 ? std::numeric_limits<double>::infinity() : -std::numeric_limits<double>::infinity());
    }
    return static_cast<float>(s);
}

// One list per destination column (or row): source indices, already mirrored into the source,
// with their weights, in the order the sums take them. List i is entries First[i] .. First[i+1]-1.
struct TContributors {
    std::vector<int> First;
    std::vector<int> Index;
    std::vector<float> Weight;

    int Count() const { return static_cast<int>(First.size()) - 1; }
};

TContributors BuildContributors(int sourceSize, int destSize, TFilterFunction filter, float support);

// The AVX2 + FMA passes; only to be called where the processor has both. They compute the
// destination columns left .. left + tile width - 1 and rows top .. top + tile height - 1 into tile.
bool ProcessorHasAvx2Fma();
void ResampleAvx2(const TPixelBuffer& source, TPixelBuffer& tile, const TContributors& columns,
                  const TContributors& rows, int left, int top);
