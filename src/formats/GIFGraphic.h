// CompuServe GIF (87a and 89a): the first image of the file into an 8-bit palette bitmap.
// Extensions are passed over; later images, offsets and transparency are not used.
#pragma once

#include "formats/ReaderGraphic.h"

#include <cstdint>

class TGIFGraphic : public TReaderGraphic {
public:
    // More than 22 bytes left and "GIF" in any letter case; the position is restored.
    static bool CanLoadStream(TStream& stream);
    // Describes the first image (the index is ignored).
    bool ReadProperties(TStream& stream, unsigned imageIndex) override;
    void LoadFromStream(TStream& stream) override;
    const char* FormatLabel() const override;

private:
    // Passes over extensions and stray bytes up to an image descriptor (44) or the trailer
    // (59), which it returns.
    std::uint8_t SkipToImage();
    void SkipSubBlocks();
    std::uint8_t ReadByte();
    // Reads a colour table of 2^(N+1) entries.
    TPalette ReadColorTable(unsigned sizeBits);
};
