#include "ResampleContributors.h"

bool ProcessorHasAvx2Fma() { return false; }

void ResampleAvx2(const TPixelBuffer&, TPixelBuffer&, const TContributors&, const TContributors&) {}
