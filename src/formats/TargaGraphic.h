// Truevision Targa: uncompressed or run-length encoded, 8-bit palette or grey, 15-, 16-, 24- and
// 32-bit true colour. The stored pixel layouts equal the bitmap's, so rows are copied unchanged.
#pragma once

#include "formats/ReaderGraphic.h"

class TTargaGraphic : public TReaderGraphic {
public:
    // More than 18 bytes left and plausible header values; the position is restored. A header
    // with colour map entry size 0 (usual without a colour map) is not claimed.
    static bool CanLoadStream(TStream& stream);
    // Always true; the index is ignored.
    bool ReadProperties(TStream& stream, unsigned imageIndex) override;
    void LoadFromStream(TStream& stream) override;
    const char* FormatLabel() const override;

private:
    struct TLoad;
    void SetUpColors(TLoad& load);
    // Passes over the colour map and sets the palette of 8-bit pictures.
    void ReadPalette(const TLoad& load);
    void ReadStoredRows(TLoad& load);
    void ReadRunLengthRows(TLoad& load);
    // Where stored row n is decoded to, and its move into the bitmap when that is not its row.
    std::uint8_t* RowBuffer(TLoad& load, std::uint32_t n);
    void FinishRow(const TLoad& load, std::uint32_t n);
};
