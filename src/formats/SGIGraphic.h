// SGI image files: grey, RGB or RGB with alpha, one or two bytes per sample, verbatim or run-length
// encoded per channel row. Rows are stored bottom-up.
#pragma once

#include "formats/ReaderGraphic.h"

#include <cstdint>

class TSGIGraphic : public TReaderGraphic {
public:
    // More than 512 bytes left, magic 474, 1 or 2 bytes per sample and dimension 1 to 3; the
    // position is restored.
    static bool CanLoadStream(TStream& stream);
    // False unless the magic is 474; the index is ignored.
    bool ReadProperties(TStream& stream, unsigned imageIndex) override;
    void LoadFromStream(TStream& stream) override;
    const char* FormatLabel() const override;

private:
    struct TLoad;
    // The start and length tables of the run-length encoded channel rows.
    void ReadRowTables(TLoad& load);
    void SetUpColors(TLoad& load);
    // Channel c of stored row r into buffer, zeroed where the file has no data.
    void ReadChannelRow(TLoad& load, unsigned c, std::uint32_t r, std::uint8_t* buffer);
    // Every stored row, bottom-up, into its bitmap row.
    void ReadRows(TLoad& load);
};
