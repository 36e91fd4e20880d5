// Photoshop: the merged image of grey, indexed, RGB(A), CMYK and L*a*b* files, raw or PackBits.
// Layers, masks and image resources are passed over.
#pragma once

#include "formats/ReaderGraphic.h"

#include <cstdint>
#include <vector>

class TPSDGraphic : public TReaderGraphic {
public:
    // More than 26 bytes left, "8BPS" in any letter case and version 1; the position is restored.
    static bool CanLoadStream(TStream& stream);
    // False unless the signature is "8BPS" exactly; the index is ignored.
    bool ReadProperties(TStream& stream, unsigned imageIndex) override;
    void LoadFromStream(TStream& stream) override;
    const char* FormatLabel() const override;

private:
    struct TLoad;
    void SetUpColors(const TLoad& load);
    // The colour mode data: the palette of indexed pictures, passed over for the others.
    void ReadColorModeData();
    void ReadRowCounts(TLoad& load);
    // PackBits data of the planes used into planes.
    void DecodePlanes(const TLoad& load, std::vector<std::uint8_t>& planes);
    void ConvertRows(const TLoad& load, std::vector<std::uint8_t>& planes);
};
