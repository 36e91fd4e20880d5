#include "ColorEffects.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

TPixel24 ColorToPixel(TColor color) { return TPixel24{BlueOf(color), GreenOf(color), RedOf(color)}; }

namespace {

// Table entries come from values already inside 0-255; anything else (a NaN gamma) gives 0.
std::uint8_t ToByte(long double value) { return value >= 0 ? static_cast<std::uint8_t>(std::min(value, 255.0L)) : 0; }

using TChannelTable = std::uint8_t[256];

void ApplyTables(TPixelBuffer& image, const TChannelTable& blue, const TChannelTable& green, const TChannelTable& red) {
    if (!image.Bits()) return;
    for (int y = 0; y < image.Height(); ++y) {
        TPixel24* row = image.Row(y);
        for (int x = 0; x < image.Width(); ++x) {
            row[x].Blue = blue[row[x].Blue];
            row[x].Green = green[row[x].Green];
            row[x].Red = red[row[x].Red];
        }
    }
}

// The blend depends only on the byte and the colour's byte, so each channel gets a table.
void FillBlendTable(TChannelTable& table, std::uint8_t colorByte, double amount) {
    const long double a = amount;
    const long double keep = 1.0L - a;
    const long double added = a * colorByte;
    for (int p = 0; p < 256; ++p) {
        table[p] = ToByte(std::nearbyint(keep * p + added));
    }
}

long double Power(long double base, float exponent) {
    if (exponent == 0) return 1.0L;
    if (base == 0 && exponent > 0) return 0.0L;
    if (exponent == std::trunc(exponent) && std::fabs(exponent) <= 2147483647.0f) {
        long double result = 1.0L;
        const long long count = static_cast<long long>(std::fabs(exponent));
        for (long long i = 0; i < count; ++i) result *= base;
        return exponent < 0 ? 1.0L / result : result;
    }
    return std::exp(static_cast<long double>(exponent) * std::log(base));
}

}  // namespace

void BlendWithColor(TPixelBuffer& image, TColor color, double amount) {
    const TPixel24 c = ColorToPixel(color);
    TChannelTable blue, green, red;
    FillBlendTable(blue, c.Blue, amount);
    FillBlendTable(green, c.Green, amount);
    FillBlendTable(red, c.Red, amount);
    ApplyTables(image, blue, green, red);
}

void ApplyGamma(TPixelBuffer& image, float gamma) {
    // Below 0.1 (and for zero or negative values) the exponent is capped at 10.
    const float exponent = gamma < 0.1L ? 10.0f : static_cast<float>(1.0L / gamma);
    const long double step = 1.0L / 255.0L;
    TChannelTable table;
    for (int i = 0; i < 256; ++i) {
        table[i] = ToByte(std::nearbyint(255.0L * Power(i * step, exponent)));
    }
    ApplyTables(image, table, table, table);
}
