// ZSoft Paintbrush and screen-capture files: 1, 2, 4 or 8 bits in one plane, 16 colours in four
// 1-bit planes, or 24-bit colour in three 8-bit planes; run-length decoded a row at a time.
#pragma once

#include "formats/ReaderGraphic.h"

#include <cstdint>
#include <vector>

class TPCXGraphic : public TReaderGraphic {
public:
    // More than 128 bytes left and a plausible header; the position is restored. Screen captures
    // (manufacturer 205) are not claimed; they come here by their extension.
    static bool CanLoadStream(TStream& stream);
    bool ReadProperties(TStream& stream, unsigned imageIndex) override;
    void LoadFromStream(TStream& stream) override;
    const char* FormatLabel() const override;

private:
    struct TLoad;
    // The colour manager and the pixel format for the plane layout; refuses layouts without one.
    void SetUpColors(TLoad& load);
    // The 256-colour trailer of 8-bit files, else the header palette, the VGA or a grey palette.
    void ReadPalette(TLoad& load);
    // One decoded (or stored) row of all planes into row y of the bitmap.
    void ConvertRow(const TLoad& load, const std::uint8_t* row, int y);
};

// The 16 standard VGA colours, used by version 3 files that carry no palette.
const TPalette& StandardVGAPalette();
